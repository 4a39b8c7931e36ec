# What both Windows builds share: Debian's MinGW-w64 cross compiler for
# TARVEL_TRIPLE, with POSIX threads (std::thread), and programs and a DLL
# linked with the MinGW runtime inside, so that nothing else need lie beside
# them. A target's file sets TARVEL_TRIPLE, CMAKE_SYSTEM_PROCESSOR and, where
# its tests can run, TARVEL_EMULATOR, then includes this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARVEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEL_TRIPLE}-windres)
# The compiler's own root, and the prefixes given (an unpacked release, say),
# which are searched as they are.
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
if(TARVEL_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVEL_EMULATOR})
endif()
