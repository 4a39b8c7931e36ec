# Debian's arm64: aarch64-linux-gnu-g++, tests run under qemu-aarch64-static.
set(TARVEL_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TARVEL_EMULATOR qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
