// The named colours the indicators and the main window's design use, with the values of the
// classic 16-colour palette, and the light system colours of a panel.
#pragma once

#include <QColor>

namespace VrColor {
inline const QColor Black{0, 0, 0};
inline const QColor Maroon{128, 0, 0};
inline const QColor Green{0, 128, 0};
inline const QColor Olive{128, 128, 0};
inline const QColor Navy{0, 0, 128};
inline const QColor Purple{128, 0, 128};
inline const QColor Teal{0, 128, 128};
inline const QColor Gray{128, 128, 128};
inline const QColor Silver{192, 192, 192};
inline const QColor Red{255, 0, 0};
inline const QColor Lime{0, 255, 0};
inline const QColor Yellow{255, 255, 0};
inline const QColor Blue{0, 0, 255};
inline const QColor Fuchsia{255, 0, 255};
inline const QColor Aqua{0, 255, 255};
inline const QColor White{255, 255, 255};
inline const QColor Orange{255, 128, 64};

// Fixed rather than taken from the desktop theme, so that a panel looks the same everywhere and
// pixel tests do not depend on the style in use.
inline const QColor BtnFace{240, 240, 240};
inline const QColor BtnShadow{160, 160, 160};
inline const QColor BtnHighlight{255, 255, 255};
}  // namespace VrColor
