// The two colours of one zone of a level bar: Low for a dark (unlit) segment, High for a lit one.
#pragma once

#include <QColor>

#include "VrColors.h"

struct TVrPalette {
  QColor Low = VrColor::Green;
  QColor High = VrColor::Lime;

  // State 0 or less is dark, 1 or more lit.
  const QColor& Colors(int state) const { return state <= 0 ? Low : High; }
  bool operator==(const TVrPalette&) const = default;
};
