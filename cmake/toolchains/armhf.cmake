# Debian's armhf: arm-linux-gnueabihf-g++, tests run under qemu-arm-static.
set(TARVEL_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TARVEL_EMULATOR qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
