# Debian's ppc64el: powerpc64le-linux-gnu-g++, tests run under qemu-ppc64le-static.
set(TARVEL_TRIPLE powerpc64le-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(TARVEL_EMULATOR qemu-ppc64le-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
