#!/bin/sh
# A C program written for wiringPi builds unchanged against the layer as
# libscalegpio-dev installs it, with pkg-config and with CMake, and runs.
#   layer_users_test.sh PREFIX WORKDIR    (PREFIX: an unpacked /usr)
set -eu
prefix=$1
work=$2
mkdir -p "$work/cmake"
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }; }
fail() { echo "FAIL: $*"; exit 1; }
cat >"$work/tone.c" <<'C'
#include <softTone.h>
#include <wiringPi.h>
int main(void) { wiringPiSetup(); return softToneCreate(3) == 0 ? 0 : 1; }
C
pc=$(dirname "$(find "$prefix/lib" -name scalegpio.pc | head -n 1)")
PKG_CONFIG_PATH=$pc quiet sh -c "cc -o '$work/tone' '$work/tone.c' \$(pkg-config --cflags --libs scalegpio)"
GPIO_BACKEND=sim "$work/tone" 2>/dev/null || fail "the pkg-config build did not run"
echo "ok: a C program builds with pkg-config (scalegpio) and runs"
cp "$work/tone.c" "$work/cmake/"
cat >"$work/cmake/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.22)
project(tone C CXX)
find_package(scalegpio 1 REQUIRED)
add_executable(tone tone.c)
target_link_libraries(tone PRIVATE scalegpio::scalegpio)
CM
quiet cmake -S "$work/cmake" -B "$work/cmake/build" -DCMAKE_PREFIX_PATH="$prefix"
quiet cmake --build "$work/cmake/build"
GPIO_BACKEND=sim "$work/cmake/build/tone" 2>/dev/null || fail "the CMake build did not run"
echo "ok: a C program builds with find_package(scalegpio) and runs"
