# Debian's mips64el: mips64el-linux-gnuabi64-g++, tests run under qemu-mips64el-static.
set(TARVEL_TRIPLE mips64el-linux-gnuabi64)
set(CMAKE_SYSTEM_PROCESSOR mips64)
set(TARVEL_EMULATOR qemu-mips64el-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
