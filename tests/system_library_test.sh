#!/bin/sh
# Builds the program alone against an installed libwiringPi (our layer,
# installed as a shared library into a temporary prefix) and runs it.
set -eu
source_dir=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }; }

# Our layer stands in for the board's library, under that library's name.
quiet cmake -S "$source_dir" -B "$work/layer" -DBUILD_SHARED_LIBS=ON -DSCALE_BUILD_TESTS=OFF \
  -DSCALE_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$work/prefix" -DSCALE_LAYER_NAME=wiringPi
quiet cmake --build "$work/layer" -j2
quiet cmake --install "$work/layer"

quiet cmake -S "$source_dir" -B "$work/program" -DSCALE_SYSTEM_WIRINGPI=ON \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DWIRINGPI_INCLUDE_DIR="$work/prefix/include/wiringPi"
quiet cmake --build "$work/program" -j2

if [ -e "$work/program/gpio" ]; then echo "FAIL: the GPIO layer was built again"; exit 1; fi
if ! readelf -d "$work/program/src/scale" | grep -q 'NEEDED.*libwiringPi\.so'; then
  echo "FAIL: the program does not load libwiringPi.so"; exit 1
fi

LD_LIBRARY_PATH="$work/prefix/lib" GPIO_BACKEND=sim GPIO_TRACE="$work/scale.vcd" \
  timeout -s KILL 1 "$work/program/src/scale" >/dev/null 2>&1 || true
# Pin 3 is the wire '$': it must have gone high.
if ! grep -q '^1\$$' "$work/scale.vcd"; then echo "FAIL: no tone on pin 3"; exit 1; fi
echo "the program built against the installed library plays"
rm -rf "$work"
