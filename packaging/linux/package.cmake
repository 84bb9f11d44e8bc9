# Rankora on a Linux desktop: `cmake --install` puts the window (rankora) and
# rankora-batch in bin/, with the desktop entry, the icon in the hicolor theme,
# the AppStream metadata, the manual pages and the Debian documentation files,
# every path relative to the prefix. `cpack -G DEB` in the build folder makes
# rankora_<version>_<arch>.deb of the same files under /usr.
include(GNUInstallDirs)

set(RANKORA_APP_ID io.github.rankora.Rankora)
set(package_dir ${CMAKE_BINARY_DIR}/package)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/rankora)

install(TARGETS rankora rankora-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${RANKORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/rankora-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${RANKORA_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/rankora.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${RANKORA_APP_ID}.svg)

# The release's date is the build's, or SOURCE_DATE_EPOCH's for a
# reproducible package (string(TIMESTAMP) honours it).
string(TIMESTAMP RANKORA_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP RANKORA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
# Software centres lay out the screenshot by its size before fetching it; the
# PNG header holds width and height as big-endian words at offset 16.
set(screenshot ${PROJECT_SOURCE_DIR}/docs/window.png)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${screenshot})
file(READ ${screenshot} png_size OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING "${png_size}" 0 8 width)
string(SUBSTRING "${png_size}" 8 8 height)
math(EXPR RANKORA_SCREENSHOT_WIDTH "0x${width}")
math(EXPR RANKORA_SCREENSHOT_HEIGHT "0x${height}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/${RANKORA_APP_ID}.metainfo.xml.in
  ${package_dir}/${RANKORA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${package_dir}/${RANKORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog are installed compressed, as Debian's
# policy asks: gzip at its best, without a name or time stamp in the header.
find_program(RANKORA_GZIP gzip REQUIRED)
set(compressed)
foreach(page rankora.1 rankora-batch.1 changelog)
  if(page STREQUAL "changelog")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${package_dir}/changelog @ONLY)
  else()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${page} ${package_dir}/${page} @ONLY)
  endif()
  add_custom_command(OUTPUT ${package_dir}/${page}.gz
    COMMAND ${RANKORA_GZIP} -9 -n -c ${package_dir}/${page} > ${package_dir}/${page}.gz
    DEPENDS ${package_dir}/${page}
    VERBATIM)
  list(APPEND compressed ${package_dir}/${page}.gz)
endforeach()
add_custom_target(rankora_package_docs ALL DEPENDS ${compressed})
install(FILES ${package_dir}/rankora.1.gz ${package_dir}/rankora-batch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${package_dir}/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rankora)
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillon <dev@rankora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "look up the Baidu weight of many web-site domains")
# The summary is the first line of the package's description; CPack indents
# these lines and makes the empty one a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Rankora is a desktop tool with a Chinese interface for search-engine
optimisation: paste a list of domains and it asks the aizhan statistics
service for each domain's weight, lists them, sorts them by weight and
saves them.

rankora-batch, a command-line tool, looks up long lists: resumable after an
interruption, paced per exit through several proxies, with CSV, JSON lines
and Excel outputs.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/rankora/rankora)
# The libraries' packages from the binaries (dpkg-shlibdeps); beside them
# what no binary names: the font that has the interface's Chinese, and Qt's
# platform plugins, without which the window cannot open (libqt6gui6 only
# recommends them).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
include(CPack)

# A sanitizer build is for finding faults in the code; nothing is installed
# or packaged from it.
if(RANKORA_BUILD_TESTS AND NOT RANKORA_SANITIZE)
  add_test(NAME LinuxInstall.InstalledFilesValidate
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${RANKORA_APP_ID})
  add_test(NAME LinuxPackage.DebBuildsAndPassesLintian
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/deb_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${RANKORA_APP_ID})
  # A missing validator skips the test with its reason instead of failing it.
  set_tests_properties(LinuxInstall.InstalledFilesValidate LinuxPackage.DebBuildsAndPassesLintian
    PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
