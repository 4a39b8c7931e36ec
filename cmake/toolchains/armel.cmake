# Debian's armel: arm-linux-gnueabi-g++, tests run under qemu-arm-static.
set(TARVEL_TRIPLE arm-linux-gnueabi)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TARVEL_EMULATOR qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
