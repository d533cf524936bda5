// main() of karvelo-batch, the headless twin of the desktop program.
#include <QGuiApplication>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch.h"

int main(int argc, char** argv) {
  karvelo::InstallInterruptHandlers();
  // Pictures with text need a GUI application; the headless tool never needs a screen.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qInstallMessageHandler(karvelo::QuietQtMessages);
  QGuiApplication app(argc, argv);
  // Dates in the log follow the user's locale; numbers never do (they are formatted locale-free).
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  return karvelo::RunBatch(args, std::cout, std::cerr);
}
