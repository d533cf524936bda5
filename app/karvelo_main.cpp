// main() of karvelo, the desktop program: creates the windows and runs the event loop.
#include <QApplication>

#include "ui/frmkarvelo.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  karvelo::TfrmKarvelo frmKarvelo;
  frmKarvelo.show();
  return app.exec();
}
