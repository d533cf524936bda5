// The look shared by Karvelo's windows: one compact font, so the fixed-size layouts hold their texts.
#pragma once

class QWidget;

namespace karvelo {

inline constexpr int kWindowFontPixels = 10;

// Gives w (and so its children) the compact window font.
void ApplyWindowFont(QWidget* w);

}  // namespace karvelo
