# Cross build for 32-bit x86 Linux (Debian: g++-i686-linux-gnu). Its tests
# exercise on any x86-64 machine the code that the 32-bit Windows program
# runs (eight vector registers, the 32-bit calling convention, 64-bit
# arithmetic in register pairs): qemu-i386 is a 64-bit program and needs no
# kernel support for i386 programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TORVANIX_LINUX_TRIPLET i686-linux-gnu)
set(TORVANIX_QEMU_NAME qemu-i386-static)
# Linked statically, as the 32-bit Windows program is: under qemu-i386 (7.2)
# a dynamically linked i386 program hangs in its first pthread_create,
# walking the dynamic loader's list of thread stacks, while the same
# program linked statically runs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
