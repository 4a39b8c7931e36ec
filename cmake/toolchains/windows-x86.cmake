# Windows on x86 (32-bit), from Debian's MinGW-w64 cross compiler with POSIX
# threads. Built in CI, not tested: its Wine needs Debian's i386 packages.
include(${CMAKE_CURRENT_LIST_DIR}/windows-x64.cmake)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARVEL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_TRIPLE})
unset(CMAKE_CROSSCOMPILING_EMULATOR)
