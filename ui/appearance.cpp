// The compact window font.
#include "ui/appearance.h"

#include <QFont>
#include <QWidget>

namespace karvelo {

void ApplyWindowFont(QWidget* w) {
  QFont f = w->font();
  f.setPixelSize(kWindowFontPixels);
  w->setFont(f);
}

}  // namespace karvelo
