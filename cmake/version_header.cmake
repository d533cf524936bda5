# Writes the version header at every build, so a commit since configuring shows in --version;
# the header is only touched when its text changes, which keeps rebuilds to what includes it.
# Run as: cmake -DSOURCE_DIR=... -DPROJECT_VERSION=... -DTEMPLATE=... -DOUTPUT=... -P version_header.cmake
set(KARVELO_VERSION_TEXT "${PROJECT_VERSION}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  # Only a checkout of this very tree counts: a tarball unpacked inside some other repository does not.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" rev-parse --show-toplevel
    OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE top_status ERROR_QUIET)
  if(top_status EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(top_status EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C "${SOURCE_DIR}" describe --always --dirty
      OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND NOT describe STREQUAL "")
      set(KARVELO_VERSION_TEXT "${PROJECT_VERSION} (git ${describe})")
    endif()
  endif()
endif()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
