// main() of karvelo-batch, the headless twin of the desktop program.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch.h"

int main(int argc, char** argv) {
  // Dates in the log follow the user's locale; numbers never do (they are formatted locale-free).
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  return karvelo::RunBatch(args, std::cout, std::cerr);
}
