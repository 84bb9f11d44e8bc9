# 64-bit Windows (x64). Rankora ships for x86; this build runs the same suites
# under 64-bit Wine on machines whose kernel runs no 32-bit programs.
#   cmake --preset windows-x64
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(rankora_mingw_triple x86_64-w64-mingw32)
set(rankora_mingw_wine wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
