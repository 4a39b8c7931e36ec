# What every cross build shares: Debian's cross compiler for TARVEL_TRIPLE,
# its sysroot, and the programs linked statically, so that they run under
# qemu-user (or natively, for i386) without the target's loader installed.
# A target's file sets TARVEL_TRIPLE, CMAKE_SYSTEM_PROCESSOR and
# TARVEL_EMULATOR, then includes this one.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TARVEL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${TARVEL_TRIPLE}-g++)
# The compiler's own root, and the prefixes given (an unpacked release, say),
# which are searched as they are.
set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
if(TARVEL_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVEL_EMULATOR})
endif()
