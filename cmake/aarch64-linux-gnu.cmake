# Cross build for 64-bit Arm Linux (Debian: g++-aarch64-linux-gnu), linked
# dynamically against the C library as Debian's own arm64 programs are. The
# tests run under qemu user emulation with every processor feature on, when
# it is installed, with the cross toolchain's libraries as the target's root
# (-L), where the dynamic loader and libc are found.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(TORVANIX_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${TORVANIX_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TORVANIX_QEMU qemu-aarch64-static)
if(TORVANIX_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_QEMU} -cpu max -L ${TORVANIX_SYSROOT})
endif()
