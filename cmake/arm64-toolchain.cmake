# Cross-builds for 64-bit ARM Linux (Raspberry Pi 3, 4 and 5 with a 64-bit
# OS) with Debian's cross compiler, package g++-aarch64-linux-gnu:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
# Add -DSCALE_STATIC=ON for a binary that runs on any arm64 Linux. Where
# qemu-aarch64 is installed (package qemu-user), tests run under it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)  # multiarch install paths, as Debian has them

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(SCALE_PI_BOARD raspi3b CACHE STRING "The emulated Raspberry Pi this build is tested on")

find_program(QEMU_AARCH64 qemu-aarch64)
if(QEMU_AARCH64)
  # -L finds the target's dynamic loader and libraries for non-static builds.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
