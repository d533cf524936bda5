// Writes the About box's logo as the PNG icons of the desktop entry: render_icon SIZE OUT.png
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/frmabout.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: render_icon SIZE OUT.png\n");
    return 2;
  }
  const int size = std::atoi(argv[1]);
  if (size < 8 || size > 1024) {
    std::fprintf(stderr, "render_icon: the size must be from 8 to 1024 pixels, not '%s'\n", argv[1]);
    return 2;
  }
  // The build runs without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  if (!karvelo::TfrmAbout::Logo(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "render_icon: %s: cannot write the icon\n", argv[2]);
    return 1;
  }
  return 0;
}
