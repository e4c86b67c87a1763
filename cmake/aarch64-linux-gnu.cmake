# Cross build for 64-bit Arm Linux (Debian: g++-aarch64-linux-gnu); the tests
# run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TORVANIX_LINUX_TRIPLET aarch64-linux-gnu)
set(TORVANIX_QEMU_NAME qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
