# Debian's s390x: s390x-linux-gnu-g++, tests run under qemu-s390x-static.
set(TARVEL_TRIPLE s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TARVEL_EMULATOR qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
