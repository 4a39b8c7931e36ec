# Debian's i386: i686-linux-gnu-g++, tests run natively (an x86-64 kernel runs i386 programs).
set(TARVEL_TRIPLE i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
