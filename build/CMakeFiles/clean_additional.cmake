# Additional clean files
cmake_minimum_required(VERSION 3.16)

if("${CONFIG}" STREQUAL "" OR "${CONFIG}" STREQUAL "Release")
  file(REMOVE_RECURSE
  "CMakeFiles/karvelo-batch_autogen.dir/AutogenUsed.txt"
  "CMakeFiles/karvelo-batch_autogen.dir/ParseCache.txt"
  "CMakeFiles/karvelo_autogen.dir/AutogenUsed.txt"
  "CMakeFiles/karvelo_autogen.dir/ParseCache.txt"
  "CMakeFiles/karvelo_batchlib_autogen.dir/AutogenUsed.txt"
  "CMakeFiles/karvelo_batchlib_autogen.dir/ParseCache.txt"
  "CMakeFiles/karvelo_engine_autogen.dir/AutogenUsed.txt"
  "CMakeFiles/karvelo_engine_autogen.dir/ParseCache.txt"
  "CMakeFiles/karvelo_ui_autogen.dir/AutogenUsed.txt"
  "CMakeFiles/karvelo_ui_autogen.dir/ParseCache.txt"
  "karvelo-batch_autogen"
  "karvelo_autogen"
  "karvelo_batchlib_autogen"
  "karvelo_engine_autogen"
  "karvelo_ui_autogen"
  "tests/CMakeFiles/karvelo_unit_tests_autogen.dir/AutogenUsed.txt"
  "tests/CMakeFiles/karvelo_unit_tests_autogen.dir/ParseCache.txt"
  "tests/karvelo_unit_tests_autogen"
  )
endif()
