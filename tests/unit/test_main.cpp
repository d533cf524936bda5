// Entry of the engine tests: takes the user's locale from the environment, as both programs do.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
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
