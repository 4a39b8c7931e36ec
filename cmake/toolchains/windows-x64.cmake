# Windows on x86-64, from Debian's MinGW-w64 cross compiler with POSIX
# threads (std::thread); tests run under Debian's wine64. Programs, and a DLL, are
# linked with the MinGW runtime inside, so that nothing else need lie beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVEL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
