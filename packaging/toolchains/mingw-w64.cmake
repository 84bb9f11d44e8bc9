# The part of the MinGW-w64 toolchains that both Windows architectures share.
# The including file sets `rankora_mingw_triple` (such as i686-w64-mingw32)
# and `rankora_mingw_wine` (the names of the Wine loader that runs its
# programs), then includes this file.
#
# The POSIX thread model of MinGW-w64 gives std::thread and std::mutex; the
# C++ runtime, libgcc and winpthread are linked in statically, so every
# program runs on its own without DLLs beside it. CTest and
# gtest_discover_tests run the programs through Wine.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${rankora_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${rankora_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${rankora_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${rankora_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Debian keeps the 64-bit loader out of PATH, in /usr/lib/wine.
find_program(RANKORA_WINE NAMES ${rankora_mingw_wine} PATHS /usr/lib/wine
  DOC "The Wine loader that runs the cross-built programs")
if(RANKORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RANKORA_WINE})
endif()
