# Shared by the mingw-w64 toolchain files, which set TORVANIX_MINGW_TRIPLET,
# TORVANIX_WINE_LOADER and CMAKE_SYSTEM_PROCESSOR first. The compilers are the POSIX-threads
# flavour, which has the C++ thread library the tests use. The program and
# tests link statically, so they run without the compiler's DLLs; the tests
# run under wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TORVANIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVANIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVANIX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TORVANIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# wine's loader for the build's word size, started directly: /usr/bin/wine
# starts the 32-bit loader whenever it is installed, also for 64-bit
# programs, and that loader cannot start where the kernel runs no i386 code.
find_program(TORVANIX_WINE NAMES ${TORVANIX_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(TORVANIX_WINE NAMES ${TORVANIX_WINE_LOADER})
if(TORVANIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_WINE})
endif()
