// Stand-in until the hit engine's own limits land: brings every hit setting within the range the
// engine accepts. Any thread; plain data.
#pragma once

#include "hit/HitSettings.h"

void ClampHitSettings(THitSettings& settings);
