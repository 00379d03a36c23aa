#!/bin/sh
# Builds the Debian packages with Debian's own tools (dpkg-buildpackage and
# debhelper) for the machine or, cross, for ARCH; has lintian check them;
# and shows that what they hold works:
#   armhf  the program is the ARMv6 build and plays under qemu-arm on the
#          Pi Zero's core; the layer is ARMv6 with the hard-float convention
#   arm64  the program plays under qemu-aarch64
#   native the program plays, C programs build against the layer with
#          pkg-config and CMake, and as root an install, run and purge in a
#          fresh Debian root (debootstrap) leaves nothing behind and leaves
#          another package's libwiringPi installed
#   package_test.sh SOURCE_DIR WORKDIR [ARCH]
# Exits 77 (skipped) where debhelper, lintian or the build dependencies are
# missing, or the install cycle cannot run (not root, no debootstrap).
set -eu
source_dir=$(realpath "$1")
work=$(realpath -m "$2")
native=$(dpkg --print-architecture)
arch=${3:-$native}
here=$(dirname "$(realpath "$0")")
quiet() { "$@" >"$work/log" 2>&1 || { tail -n 40 "$work/log"; exit 1; }; }
fail() { echo "FAIL: $*"; exit 1; }
for tool in dpkg-buildpackage dh lintian; do
  command -v $tool >/dev/null || { echo "SKIP: no $tool (apt-get install debhelper lintian)"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work/src"

# dpkg-buildpackage writes beside the tree it builds: a copy of the sources.
tar -C "$source_dir" --exclude=./.git --exclude='./build*' --exclude='./obj-*' --exclude=./debian/tmp -cf - . |
  tar -C "$work/src" -xf -
cd "$work/src"
# The suite runs by itself in CTest; here only the packages are built, with
# their build dependencies checked as a build daemon checks them.
for_arch="-Pnocheck"
[ "$arch" = "$native" ] || for_arch="-Pnocheck,cross -a $arch"
if ! dpkg-checkbuilddeps $for_arch >"$work/log" 2>&1; then
  cat "$work/log"
  echo "SKIP: the build dependencies for $arch are not installed (apt-get build-dep $for_arch ./)"
  exit 77
fi
DEB_BUILD_OPTIONS="nocheck parallel=2" quiet dpkg-buildpackage $for_arch -b -us -uc
cd "$work"
echo "built: $(ls ./*.deb | xargs -n 1 basename | tr '\n' ' ')"
lintian --fail-on error,warning ./*.deb >lintian.log 2>lintian.err || { cat lintian.log lintian.err; fail "lintian"; }
[ ! -s lintian.log ] || { cat lintian.log; fail "lintian has something to say"; }
echo "ok: lintian reports no error and no warning"

root=$work/unpacked
for deb in ./*.deb; do dpkg -x "$deb" "$root"; done
plays() { # description, command...: the program on the simulated pin, pin 3 (wire '$') going high
  what=$1; shift
  rm -f "$work/scale.vcd"
  GPIO_BACKEND=sim GPIO_TRACE="$work/scale.vcd" timeout -s KILL 3 "$@" >/dev/null 2>&1 || true
  grep -q '^1\$$' "$work/scale.vcd" 2>/dev/null || fail "$what: no tone on pin 3"
  echo "ok: $what"
}
case $arch in
  armhf)
    sh "$here/../armv6_attributes.sh" "$root/usr/bin/scale"
    plays "the armhf program plays on the Pi Zero's core" qemu-arm -cpu arm1176 "$root/usr/bin/scale"
    object=$work/layer.o
    ar p "$root"/usr/lib/arm-linux-gnueabihf/libscalegpio.a layer.cpp.o >"$object"
    readelf -A "$object" | grep -q 'Tag_CPU_arch: v6$' || fail "the armhf library is not ARMv6"
    readelf -A "$object" | grep -q 'Tag_ABI_VFP_args: VFP registers' || fail "the armhf library is not hard-float"
    echo "ok: the armhf library is ARMv6 with the hard-float convention" ;;
  arm64)
    # With arm64's own C library installed (multiarch, as dpkg-shlibdeps
    # wants it) QEMU finds the loader and libraries on their usual paths;
    # mixing in the cross compiler's copies would hang the program.
    prefix=
    [ -e /lib/ld-linux-aarch64.so.1 ] || prefix="-L /usr/aarch64-linux-gnu"
    plays "the arm64 program plays" qemu-aarch64 $prefix "$root/usr/bin/scale" ;;
  "$native")
    plays "the program plays" "$root/usr/bin/scale"
    "$root/usr/bin/tone_bench" --help | grep -q -- '--loopback LINE' || fail "the benchmark does not answer --help"
    [ -f "$root/usr/share/scale/tone_bench.gp" ] || fail "the benchmark's picture script is not packaged"
    echo "ok: the benchmark is packaged with its picture script"
    sh "$here/layer_users_test.sh" "$root/usr" "$work/users"
    cycle=0
    sh "$here/install_cycle_test.sh" "$work" "$work/chroot" || cycle=$?
    [ $cycle -eq 0 ] || [ $cycle -eq 77 ] || exit $cycle ;;
esac
rm -rf "$work"
# All else passed, but a part that did not run makes the whole a skip, not a pass.
[ "${cycle:-0}" -ne 77 ] || exit 77
