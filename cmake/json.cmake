# rankora_json: the INTERFACE target through which any part of the project
# reaches nlohmann-json (header-only, Debian's nlohmann-json3-dev). Link it
# like a library: target_link_libraries(<target> PRIVATE rankora_json).
#
# Linux takes the package's own CMake target. A cross build cannot put the
# build machine's /usr/include on its include path (its C and C++ headers
# would shadow the target's), so for Windows only the nlohmann folder is
# exposed: a link to it in a folder of its own in the build tree, added as a
# SYSTEM include directory.
if(WIN32)
  set(RANKORA_NLOHMANN_JSON_DIR /usr/include/nlohmann CACHE PATH
    "The build machine's nlohmann-json headers (the folder holding json.hpp)")
  if(NOT EXISTS ${RANKORA_NLOHMANN_JSON_DIR}/json.hpp)
    message(FATAL_ERROR "nlohmann-json not found in ${RANKORA_NLOHMANN_JSON_DIR}: install nlohmann-json3-dev")
  endif()
  set(rankora_json_include ${CMAKE_BINARY_DIR}/rankora_json/include)
  file(MAKE_DIRECTORY ${rankora_json_include})
  file(CREATE_LINK ${RANKORA_NLOHMANN_JSON_DIR} ${rankora_json_include}/nlohmann SYMBOLIC)
  add_library(rankora_json INTERFACE)
  target_include_directories(rankora_json SYSTEM INTERFACE ${rankora_json_include})
else()
  find_package(nlohmann_json 3 REQUIRED)
  add_library(rankora_json INTERFACE)
  target_link_libraries(rankora_json INTERFACE nlohmann_json::nlohmann_json)
endif()
