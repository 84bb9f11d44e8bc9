# The Windows download: rankora.exe and rankora-batch.exe with a short
# read-me in Chinese, as a zip (rankora-<version>-windows.zip, or
# -windows-x64.zip from a 64-bit build) and as an NSIS installer that installs
# per user, without administrator rights. `cpack` in the build folder makes
# both from the programs built; it does not build the rest of the tree (the
# test programs) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(RANKORA_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/readme.txt ${CMAKE_BINARY_DIR}/package/readme.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/readme.txt DESTINATION .)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(platform windows-x64)
  set(CPACK_RANKORA_NSIS_TARGET amd64-unicode)
else()
  set(platform windows)
  set(CPACK_RANKORA_NSIS_TARGET x86-unicode)
endif()

set(CPACK_PACKAGE_NAME Rankora)
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "批量查询网站域名的百度权重")
set(CPACK_PACKAGE_FILE_NAME rankora-${PROJECT_VERSION}-${platform})
set(CPACK_GENERATOR ZIP NSIS)
# The program without its debugging information.
set(CPACK_STRIP_FILES TRUE)
# rankora.exe at the zip's root, beside the read-me.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# The installer's own name, and the template that makes it a per-user one.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_names.cmake)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
include(CPack)

# The download checked under Wine as part of the Windows suites.
if(RANKORA_BUILD_TESTS)
  add_test(NAME WindowsDownload.InstallsStartsAndUninstalls
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/installer_test.sh ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:ui_win32_installed_program_test>)
  set_tests_properties(WindowsDownload.InstallsStartsAndUninstalls PROPERTIES TIMEOUT 240)
endif()
