# Windows on x86-64; tests run under Debian's wine64.
set(TARVEL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVEL_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/windows.cmake)
