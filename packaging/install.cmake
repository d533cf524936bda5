# Install rules and the Debian package: the programs, the raster module in a private folder, the
# example data, docs, desktop entry, icons, AppStream metainfo, man pages and bash completion.
include(GNUInstallDirs)

set(KARVELO_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(KARVELO_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(KARVELO_APP_ID org.karvelo.Karvelo)
set(KARVELO_MAINTAINER "The Karvelo developers <developers@karvelo.org>")
# The programs look for the module in lib/karvelo beside their own folder, whatever the platform's
# library folder is called, so this path is fixed rather than CMAKE_INSTALL_LIBDIR.
set(KARVELO_MODULE_INSTALL_DIR lib/karvelo)

# The release date: the last commit's, so that a package built twice from one commit is the same.
execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
  OUTPUT_VARIABLE KARVELO_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0 OR KARVELO_RELEASE_EPOCH STREQUAL "")
  string(TIMESTAMP KARVELO_RELEASE_EPOCH "%s" UTC)
endif()
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${KARVELO_RELEASE_EPOCH})
string(TIMESTAMP KARVELO_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KARVELO_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

install(TARGETS karvelo karvelo-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS karvelo_gis_module LIBRARY DESTINATION ${KARVELO_MODULE_INSTALL_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/meuse DESTINATION ${CMAKE_INSTALL_DATADIR}/karvelo/examples)

set(KARVELO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/karvelo)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/guide.md ${CMAKE_SOURCE_DIR}/docs/bad-input.md
  ${KARVELO_PACKAGING_DIR}/copyright DESTINATION ${KARVELO_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${KARVELO_DOC_DIR})

install(FILES ${KARVELO_PACKAGING_DIR}/${KARVELO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${KARVELO_PACKAGING_DIR}/${KARVELO_APP_ID}.metainfo.xml ${KARVELO_PACKAGING_OUT}/${KARVELO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${KARVELO_PACKAGING_OUT}/${KARVELO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KARVELO_PACKAGING_DIR}/${KARVELO_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The QGIS Processing plugin, in QGIS's system plugin folder, with the program's icon as its own.
set(KARVELO_QGIS_PLUGIN_DIR ${CMAKE_INSTALL_DATADIR}/qgis/python/plugins/karvelo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/qgis/karvelo/ DESTINATION ${KARVELO_QGIS_PLUGIN_DIR}
  FILES_MATCHING PATTERN "*.py" PATTERN "metadata.txt" PATTERN "__pycache__" EXCLUDE)
install(FILES ${KARVELO_PACKAGING_DIR}/${KARVELO_APP_ID}.svg DESTINATION ${KARVELO_QGIS_PLUGIN_DIR} RENAME icon.svg)
install(FILES ${KARVELO_PACKAGING_DIR}/karvelo-batch.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME karvelo-batch)

# Generated at build time: the PNG icons (the About box's logo), the man pages (from --help) and the
# compressed changelog. The sanitizer build's programs run here too, without its leak report.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(run_program ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen)
add_executable(karvelo_render_icon ${KARVELO_PACKAGING_DIR}/render_icon.cpp)
target_link_libraries(karvelo_render_icon PRIVATE karvelo_ui)
set(generated "")
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${KARVELO_PACKAGING_OUT}/icons/${size}/${KARVELO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KARVELO_PACKAGING_OUT}/icons/${size}
    COMMAND ${run_program} $<TARGET_FILE:karvelo_render_icon> ${size} ${png}
    DEPENDS karvelo_render_icon VERBATIM)
  list(APPEND generated ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

find_program(HELP2MAN_EXECUTABLE help2man)
if(HELP2MAN_EXECUTABLE)
  foreach(program karvelo karvelo-batch)
    set(page ${KARVELO_PACKAGING_OUT}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KARVELO_PACKAGING_OUT}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KARVELO_RELEASE_EPOCH} ASAN_OPTIONS=detect_leaks=0
        QT_QPA_PLATFORM=offscreen ${HELP2MAN_EXECUTABLE} --no-info --section=1
        --include=${KARVELO_PACKAGING_DIR}/${program}.h2m --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP_EXECUTABLE} -9nf ${page}
      DEPENDS ${program} ${KARVELO_PACKAGING_DIR}/${program}.h2m VERBATIM)
    list(APPEND generated ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(WARNING "help2man was not found: the man pages of karvelo and karvelo-batch are not built or installed")
endif()

configure_file(${KARVELO_PACKAGING_DIR}/changelog ${KARVELO_PACKAGING_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${KARVELO_PACKAGING_OUT}/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9nc ${KARVELO_PACKAGING_OUT}/changelog > ${KARVELO_PACKAGING_OUT}/changelog.gz
  DEPENDS ${KARVELO_PACKAGING_OUT}/changelog)
list(APPEND generated ${KARVELO_PACKAGING_OUT}/changelog.gz)
install(FILES ${KARVELO_PACKAGING_OUT}/changelog.gz DESTINATION ${KARVELO_DOC_DIR})
add_custom_target(karvelo_install_files ALL DEPENDS ${generated})

# cpack -G DEB: karvelo_<version>_amd64.deb, its dependencies read from the shared libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME karvelo)
set(CPACK_PACKAGE_VENDOR "The Karvelo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "probability maps with naive Bayes over classified raster grids")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KARVELO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Karvelo maps the probability that a feature occurs over an area (an
archaeological find, a mineral deposit, a plant) from observation grids
that mark presences and absences and auxiliary grids divided into classes.
A configuration is defined and audited with chi-squared tests, mapped with
naive Bayes (optionally with bootstrap uncertainty) and validated with
independent points (ROC curve, AUC with intervals, gain table).
.
The package holds the desktop program karvelo, the command-line tool
karvelo-batch, the GDAL raster module, example data and a QGIS Processing
plugin that runs karvelo-batch.")
include(CPack)
