#!/bin/sh
# Install, run, purge: the packages in DEBS_DIR go into a fresh Debian root
# made by debootstrap, beside a package that owns libwiringPi and wiringPi.h
# as the platform's GPIO library does. Installing ours must leave it
# installed and untouched, the program must play from the installed package,
# and purging ours must leave no file behind. Needs root and debootstrap;
# exits 77 (skipped) with a line otherwise.
#   install_cycle_test.sh DEBS_DIR ROOTDIR
set -eu
debs=$1
root=$2
fail() { echo "FAIL: $*"; exit 1; }
if [ "$(id -u)" != 0 ] || ! command -v debootstrap >/dev/null; then
  echo "SKIP: the install cycle needs root and debootstrap"; exit 77
fi
. /etc/os-release
mirror=$(apt-cache policy | sed -n "s#^ *[0-9]* \([^ ]*\) $VERSION_CODENAME/main .*#\1#p" | head -n 1)
[ -n "$mirror" ] || fail "no $VERSION_CODENAME mirror in apt's sources"
rm -rf "$root"
debootstrap --variant=minbase "$VERSION_CODENAME" "$root" "$mirror" >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; fail "debootstrap"; }
in_root() { chroot "$root" "$@"; }
# Every file but the kernel's, the scratch and the logs, and dpkg's and
# apt's own bookkeeping; of dpkg's, what it holds for each package.
files() {
  in_root find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /run \
    -o -path /var/log -o -path /var/cache -o -path /var/lib/dpkg -o -path /var/lib/apt \) -prune -o -print | sort
  ls "$root/var/lib/dpkg/info" | sed 's#^#dpkg-info: #'
}

# The platform's GPIO library, as a package of its own.
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
platform=$root/tmp/wiringpi
mkdir -p "$platform/DEBIAN" "$platform/usr/lib/$multiarch" "$platform/usr/include"
printf 'Package: wiringpi\nVersion: 3.10\nArchitecture: %s\nMaintainer: Test <test@example.org>\nDescription: the platform GPIO library\n' \
  "$arch" >"$platform/DEBIAN/control"
echo "platform library" >"$platform/usr/lib/$multiarch/libwiringPi.so.3.10"
ln -s libwiringPi.so.3.10 "$platform/usr/lib/$multiarch/libwiringPi.so"
echo "/* the platform's wiringPi.h */" >"$platform/usr/include/wiringPi.h"
dpkg-deb --root-owner-group --build "$platform" "$root/tmp/wiringpi.deb" >/dev/null
in_root dpkg -i /tmp/wiringpi.deb >/dev/null

in_root apt-get update >"$root.log" 2>&1 || { cat "$root.log"; fail "apt-get update"; }
files >"$root.before"
cp "$debs"/scale_*.deb "$debs"/libscalegpio-dev_*.deb "$root/tmp/"
# As a user would: apt brings what they depend on.
in_root sh -c 'apt-get install -y --no-install-recommends /tmp/scale_*.deb /tmp/libscalegpio-dev_*.deb' \
  >"$root.log" 2>&1 || { cat "$root.log"; fail "apt-get install"; }
in_root dpkg -s wiringpi | grep -q '^Status: install ok installed$' || fail "the platform's library was removed"
grep -q "the platform's" "$root/usr/include/wiringPi.h" || fail "the platform's wiringPi.h was replaced"
echo "ok: installed beside another package's libwiringPi, which stays installed and untouched"
[ -f "$root/usr/share/man/man1/scale.1.gz" ] || fail "no manual page"
in_root env GPIO_BACKEND=sim GPIO_TRACE=/tmp/scale.vcd timeout -s KILL 2 scale >/dev/null 2>&1 || true
grep -q '^1\$$' "$root/tmp/scale.vcd" || fail "the installed program played no tone on pin 3"
echo "ok: the installed program plays"
in_root apt-get purge -y --autoremove scale libscalegpio-dev >"$root.log" 2>&1 ||
  { cat "$root.log"; fail "apt-get purge"; }
files >"$root.after"
diff "$root.before" "$root.after" >"$root.diff" || { cat "$root.diff"; fail "the purge left files behind"; }
echo "ok: purged, nothing is left behind"
rm -rf "$root" "$root.before" "$root.after" "$root.diff" "$root.log"
