# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
add_test([=[unit]=] "/work/main/build/tests/karvelo_unit_tests")
set_tests_properties([=[unit]=] PROPERTIES  ENVIRONMENT "QT_QPA_PLATFORM=offscreen" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;11;add_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[unit_comma_locale]=] "/work/main/build/tests/karvelo_unit_tests")
set_tests_properties([=[unit_comma_locale]=] PROPERTIES  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=de_DE.UTF-8;KARVELO_EXPECT_COMMA_LOCALE=1" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;13;add_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[batch_cli]=] "/work/main/tests/cli/run_cli_tests.sh" "/work/main/build/karvelo-batch" "/work/main/tests/data")
set_tests_properties([=[batch_cli]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;27;add_test;/work/main/tests/CMakeLists.txt;0;")
