# Cross build for 64-bit Arm Linux (Debian: g++-aarch64-linux-gnu), linked
# statically so the program runs on any aarch64 Linux. The tests run under
# qemu user emulation with every processor feature on, when it is installed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TORVANIX_QEMU qemu-aarch64-static)
if(TORVANIX_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_QEMU} -cpu max)
endif()
