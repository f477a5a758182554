// The devices of the program itself: capture, output, MIDI and sounds on the system's services.
#pragma once

#include "WindowDevices.h"

TWindowDevices MakeRealDevices();
