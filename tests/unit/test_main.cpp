// Entry of the engine tests: a windowless GUI application and the user's locale, as both programs have.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <clocale>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Pictures with text need a GUI application, as in both programs; no screen is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  std::setlocale(LC_ALL, "");
  if (std::getenv("KARVELO_EXPECT_COMMA_LOCALE")) {
    // The run under a comma-decimal locale proves nothing if that locale is missing.
    const char* point = std::localeconv()->decimal_point;
    if (std::strcmp(point, ",") != 0) {
      std::fprintf(stderr, "the comma-decimal locale is not installed (decimal point is '%s')\n", point);
      return 1;
    }
  }
  return RUN_ALL_TESTS();
}
