# Windows on x86 (32-bit). Built, not tested: its Wine needs Debian's i386
# packages.
set(TARVEL_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
