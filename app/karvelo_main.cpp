// main() of karvelo, the desktop program: creates the windows and runs the event loop.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "karvelo_version.h"
#include "ui/frmkarvelo.h"
#include "ui/termination.h"

namespace {

constexpr const char* kUsage =
    "usage: karvelo [options]\n"
    "\n"
    "Opens the main window, in which a data configuration is defined, audited, mapped with naive\n"
    "Bayes and validated with independent points, one tab per step. Results and the run log\n"
    "(Karvelo.log) are written to the current directory. The same work without a window, for\n"
    "scripted runs and the example data, is done by karvelo-batch.\n"
    "\n"
    "Options:\n"
    "  -h, --help     this text\n"
    "  --version      the program's version\n"
    "\n"
    "Qt's own options (such as -platform offscreen or -style NAME) are accepted as well.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("karvelo %s\n", KARVELO_VERSION_TEXT);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);
  karvelo::TfrmKarvelo frmKarvelo;
  // kill and Ctrl-C close the window as the user would, so the log is written and nothing is left.
  new karvelo::TerminationWatcher(frmKarvelo);
  frmKarvelo.show();
  return app.exec();
}
