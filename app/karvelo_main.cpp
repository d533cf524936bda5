// main() of karvelo, the desktop program: creates the windows and runs the event loop.
#include <QApplication>

#include "ui/frmkarvelo.h"
#include "ui/termination.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  karvelo::TfrmKarvelo frmKarvelo;
  // kill and Ctrl-C close the window as the user would, so the log is written and nothing is left.
  new karvelo::TerminationWatcher(frmKarvelo);
  frmKarvelo.show();
  return app.exec();
}
