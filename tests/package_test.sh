#!/bin/sh
# Builds the Debian package (`cpack -G DEB`) of a shared-library build, for
# the machine or for the toolchain file given, and checks what it holds.
# For the machine's own architecture it also unpacks the package into a
# scratch root and shows that its program plays there and that other
# programs build against its library with pkg-config and with CMake.
#   package_test.sh SOURCE_DIR WORKDIR [TOOLCHAIN_FILE]
set -eu
source_dir=$1
work=$2
toolchain=${3:-}
rm -rf "$work"
mkdir -p "$work"
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }; }
fail() { echo "FAIL: $*"; exit 1; }

quiet cmake -S "$source_dir" -B "$work/build" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} \
  -DBUILD_SHARED_LIBS=ON -DSCALE_STATIC=OFF -DSCALE_BUILD_TESTS=OFF -DSCALE_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
quiet cmake --build "$work/build" -j2
(cd "$work/build" && quiet cpack -G DEB)
deb=$(ls "$work"/build/scale_*.deb)
arch=$(dpkg-deb -f "$deb" Architecture)
echo "built $(basename "$deb")"
dpkg-deb -c "$deb" >"$work/contents"
for file in /usr/bin/scale /usr/include/wiringPi.h /usr/include/softTone.h \
            '/usr/lib/[^ ]*/libwiringPi\.so\.1' '/usr/lib/[^ ]*/pkgconfig/wiringPi\.pc' \
            '/usr/lib/[^ ]*/cmake/wiringPi/wiringPiConfig\.cmake'; do
  grep -q " \.$file" "$work/contents" || { cat "$work/contents"; fail "$file is not in the package"; }
done
echo "ok: program, library, headers, pkg-config and CMake files are in the package"
[ "$arch" = "$(dpkg --print-architecture)" ] || exit 0

root=$work/root
dpkg -x "$deb" "$root"
libdir=$(dirname "$(find "$root/usr/lib" -name 'libwiringPi.so.1' | head -n 1)")
LD_LIBRARY_PATH=$libdir GPIO_BACKEND=sim GPIO_TRACE="$work/scale.vcd" \
  timeout -s KILL 1 "$root/usr/bin/scale" >/dev/null 2>&1 || true
grep -q '^1\$$' "$work/scale.vcd" || fail "the unpacked program played no tone on pin 3"
echo "ok: the unpacked program plays on the simulated pin"

cat >"$work/tone.c" <<'C'
#include <softTone.h>
#include <wiringPi.h>
int main(void) { wiringPiSetup(); return softToneCreate(3) == 0 ? 0 : 1; }
C
PKG_CONFIG_PATH=$libdir/pkgconfig quiet sh -c \
  "cc -o '$work/tone' '$work/tone.c' \$(pkg-config --cflags --libs wiringPi)"
LD_LIBRARY_PATH=$libdir GPIO_BACKEND=sim "$work/tone" 2>/dev/null || fail "the pkg-config build did not run"
echo "ok: a C program builds with pkg-config and runs"

mkdir -p "$work/user"
cp "$work/tone.c" "$work/user/tone.c"
cat >"$work/user/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.18)
project(tone C)
find_package(wiringPi 1 REQUIRED)
add_executable(tone tone.c)
target_link_libraries(tone PRIVATE wiringPi::wiringPi)
CM
quiet cmake -S "$work/user" -B "$work/user/build" -DCMAKE_PREFIX_PATH="$root/usr"
quiet cmake --build "$work/user/build"
LD_LIBRARY_PATH=$libdir GPIO_BACKEND=sim "$work/user/build/tone" 2>/dev/null || fail "the CMake build did not run"
echo "ok: a C program builds with find_package(wiringPi) and runs"
rm -rf "$work"
