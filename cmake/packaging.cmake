# A Debian package of the program, the GPIO layer as a shared library, its
# headers, pkg-config file and CMake package: `cpack -G DEB` in a build made
# with -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX=/usr, native or with
# cmake/arm64-toolchain.cmake (or armhf).
set(CPACK_PACKAGE_NAME scale)
set(CPACK_PACKAGE_VENDOR "scale player developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "eight-note scale on a GPIO pin, with a wiringPi-compatible GPIO layer")
set(CPACK_PACKAGE_DESCRIPTION
    "Plays the C-major scale as a tone on pin 3 (Broadcom GPIO 22, header pin 15) of a\n\
Raspberry Pi through the kernel's GPIO character device. Ships the GPIO layer it uses\n\
as libwiringPi (wiringPiSetup, softToneCreate, softToneWrite, delay), with headers,\n\
pkg-config and CMake files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "scale player developers <scale@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Built on Debian 12, as Raspberry Pi OS 12 is.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
# Raspberry Pi OS's own GPIO library: the same library and header names.
set(CPACK_DEBIAN_PACKAGE_CONFLICTS wiringpi)
# The target's architecture, not the build machine's.
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL aarch64)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL arm)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  endif()
endif()
include(CPack)
