# Debian's i386: i686-linux-gnu-g++. Tests run natively where the x86-64
# kernel runs i386 programs; the cross-i386-qemu preset sets TARVEL_EMULATOR
# for kernels that do not.
set(TARVEL_TRIPLE i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
