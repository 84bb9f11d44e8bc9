# Header-only libraries from Debian's packages, each reached through an
# INTERFACE target that parts of the project link like any library:
#   rankora_json   nlohmann-json (nlohmann-json3-dev)
#   rankora_cli11  CLI11 (libcli11-dev)
#
# Linux finds them where the packages put them. A cross build cannot put the
# build machine's /usr/include on its include path (its C and C++ headers
# would shadow the target's), so for Windows only each library's own folder
# is exposed: a link to it in a folder of its own in the build tree, added as
# a SYSTEM include directory.
function(rankora_header_library target folder probe package)
  add_library(${target} INTERFACE)
  if(WIN32)
    set(source /usr/include/${folder})
    if(NOT EXISTS ${source}/${probe})
      message(FATAL_ERROR "${source}/${probe} not found: install ${package}")
    endif()
    set(include ${CMAKE_BINARY_DIR}/${target}/include)
    file(MAKE_DIRECTORY ${include})
    file(CREATE_LINK ${source} ${include}/${folder} SYMBOLIC)
    target_include_directories(${target} SYSTEM INTERFACE ${include})
  else()
    find_path(${target}_DIR ${folder}/${probe} REQUIRED)
  endif()
endfunction()

rankora_header_library(rankora_json nlohmann json.hpp nlohmann-json3-dev)
rankora_header_library(rankora_cli11 CLI CLI.hpp libcli11-dev)
