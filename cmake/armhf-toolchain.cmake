# Cross-builds for 32-bit ARM hard-float Linux (Debian's armhf: ARMv7 with
# VFPv3-D16, so Raspberry Pi 2 and later) with Debian's cross compiler,
# package g++-arm-linux-gnueabihf:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
# Where qemu-arm is installed (package qemu-user), tests run under it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)  # multiarch install paths, as Debian has them

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(QEMU_ARM qemu-arm)
if(QEMU_ARM)
  # -L finds the target's dynamic loader and libraries for non-static builds.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_ARM} -L /usr/arm-linux-gnueabihf)
endif()

set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")  # GCC 7 ABI notes, moot when all is built alike

set(SCALE_PI_BOARD raspi2b CACHE STRING "The emulated Raspberry Pi this build is tested on")
