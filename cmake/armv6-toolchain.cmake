# Cross-builds for every 32-bit Raspberry Pi, the Pi 1 and Zero included:
# ARMv6 with VFPv2, ARM code only, with Debian's armel cross compiler
# (package g++-arm-linux-gnueabi), whose C and C++ libraries are built for
# ARMv5TE and so need nothing newer. Linked statically, so the binary shares
# no calling convention with the system: it runs on hard-float Raspberry Pi
# OS as well.
#   cmake -S . -B build-armv6 -DCMAKE_TOOLCHAIN_FILE=cmake/armv6-toolchain.cmake
# Where qemu-arm is installed (package qemu-user), tests run under it on the
# Pi Zero's core, the ARM1176.
set(CMAKE_SYSTEM_PROCESSOR armv6)
set(CMAKE_C_FLAGS_INIT "-march=armv6+fp -mfpu=vfp -mfloat-abi=softfp -marm")
set(CMAKE_CXX_FLAGS_INIT "-march=armv6+fp -mfpu=vfp -mfloat-abi=softfp -marm -Wno-psabi")
set(SCALE_STATIC ON CACHE BOOL "Link the executables statically, to run on any system of the target")
set(SCALE_PI_BOARDS raspi0 CACHE STRING "The emulated Raspberry Pis this build is tested on")

set(SCALE_TRIPLET arm-linux-gnueabi)
set(SCALE_QEMU qemu-arm)
set(SCALE_QEMU_ARGS -cpu arm1176)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
