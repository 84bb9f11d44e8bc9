# 32-bit Windows (x86), the architecture Rankora ships for: the script control
# exists on Windows only as a 32-bit component.
#   cmake --preset windows
set(CMAKE_SYSTEM_PROCESSOR x86)
set(rankora_mingw_triple i686-w64-mingw32)
set(rankora_mingw_wine wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
