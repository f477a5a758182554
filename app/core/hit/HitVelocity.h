// From a hit's level to the velocity of its note or the volume of its sound: a line in dB from
// the pad's threshold to its full-velocity level, bent by the pad's curve.
// Any thread; no allocation.
#pragma once

#include "HitSettings.h"

// 0 at the threshold, 1 at the full-velocity level and above, along the curve.
double HitCurve(double level_db, const THitPadSettings& pad);
// 1..127; 100 when the pad's velocity does not follow the level.
int HitVelocity(double level_db, const THitPadSettings& pad);
// 0..100; 100 when the pad's volume does not follow the level.
double HitVolume(double level_db, const THitPadSettings& pad);
