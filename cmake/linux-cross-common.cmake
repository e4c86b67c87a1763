# Shared by the Linux cross toolchain files, which set CMAKE_SYSTEM_PROCESSOR,
# TORVANIX_LINUX_TRIPLET (Debian's cross compilers' prefix) and
# TORVANIX_QEMU_NAME first. The programs link dynamically against the C
# library, as Debian's own do. The tests run under qemu user emulation, when
# it is installed, with every processor feature it emulates on, and the
# cross toolchain's libraries as the target's root (-L), where the dynamic
# loader and libc are found.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TORVANIX_LINUX_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TORVANIX_LINUX_TRIPLET}-g++)

set(TORVANIX_SYSROOT /usr/${TORVANIX_LINUX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${TORVANIX_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(TORVANIX_QEMU ${TORVANIX_QEMU_NAME})
if(TORVANIX_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANIX_QEMU} -cpu max -L ${TORVANIX_SYSROOT})
endif()
