# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64),
# in its POSIX-threads flavour, which has the C++ thread library the tests use.
# The program and tests link statically, so they run without the compiler's
# DLLs; the tests run under wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TORVANIX_WINE wine)
if(TORVANIX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_WINE})
endif()
