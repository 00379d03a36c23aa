# What the toolchain files here share: Debian's cross compiler for a target
# triplet, that target's libraries as the only ones to find, and QEMU's user
# mode to run the tests where it is installed (package qemu-user). Set
# SCALE_TRIPLET, SCALE_QEMU and optionally SCALE_QEMU_ARGS before including.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${SCALE_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SCALE_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${SCALE_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(SCALE_QEMU_PATH ${SCALE_QEMU})
if(SCALE_QEMU_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SCALE_QEMU_PATH} ${SCALE_QEMU_ARGS})
  # -L finds the target's dynamic loader and libraries for non-static builds;
  # it also shows the programs that directory for "/", where a trace's path
  # is walked from, so a static build goes without it.
  if(NOT SCALE_STATIC)
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -L /usr/${SCALE_TRIPLET})
  endif()
endif()
