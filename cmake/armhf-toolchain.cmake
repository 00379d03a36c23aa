# Cross-builds for 32-bit ARM hard-float Linux (Debian's armhf: ARMv7 with
# VFPv3-D16, so Raspberry Pi 2 and later) with Debian's cross compiler,
# package g++-arm-linux-gnueabihf:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
# Where qemu-arm is installed (package qemu-user), tests run under it.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)  # multiarch install paths, as Debian has them
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")  # GCC 7 ABI notes, moot when all is built alike
# The Pi 2 as it is, and with a kernel PWM on the tone pin.
set(SCALE_PI_BOARDS "raspi2b;raspi2b-pwm" CACHE STRING "The emulated Raspberry Pis this build is tested on")

set(SCALE_TRIPLET arm-linux-gnueabihf)
set(SCALE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
