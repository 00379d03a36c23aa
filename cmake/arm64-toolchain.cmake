# Cross-builds for 64-bit ARM Linux (Raspberry Pi 3, 4 and 5 with a 64-bit
# OS) with Debian's cross compiler, package g++-aarch64-linux-gnu:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
# Add -DSCALE_STATIC=ON for a binary that runs on any arm64 Linux. Where
# qemu-aarch64 is installed (package qemu-user), tests run under it.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)  # multiarch install paths, as Debian has them
# The Pi 3, and the Pi 4 as it is and with a kernel PWM on the tone pin, whose
# boot also reads edges back as the benchmark's loopback does.
set(SCALE_PI_BOARDS "raspi3b;raspi4b;raspi4b-pwm;raspi4b-loopback" CACHE STRING "The emulated Raspberry Pis this build is tested on")

set(SCALE_TRIPLET aarch64-linux-gnu)
set(SCALE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
