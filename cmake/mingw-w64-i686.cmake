# Cross build for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686),
# in its POSIX-threads flavour, which has the C++ thread library the tests use.
# The program and tests link statically, so they run without the compiler's
# DLLs; the tests run under wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TORVANIX_WINE wine)
if(TORVANIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_WINE})
endif()
