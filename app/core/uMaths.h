// Decibel conversion of sample values. Silence reads as one quantisation step, never -infinity.
#pragma once

#include <cstdint>

// 20 x log10(|Value| / Reference); Value 0 (or an arithmetic failure) gives 20 x log10(1 / Reference).
double AmplitudeToDb(int32_t Reference, double Value);
// AmplitudeToDb against AudioInParams.FullScale.
double SampleToDb(double Value);
// The lowest level worth showing: one quantisation step less 6 dB.
double FloorDb(int32_t Reference);
