#!/bin/sh
# Debian 13 (trixie), today's Raspberry Pi OS base, as a new user meets it,
# in a fresh root made by debootstrap: the README's own apt-get line installs
# the build tools and the README's own build-and-test command passes; then
# the source package builds there with its tests (apt-get build-dep,
# dpkg-buildpackage), its build dependencies are installable from Debian 13's
# lists in the five cases the build daemons know (dose-builddebcheck), and
# Debian 13's lintian is clean on what it makes.
# Anything that fails in the root fails this; it is never skipped.
#   debian13_test.sh SOURCE_DIR ROOTDIR
# Needs root and debootstrap, and the Debian mirror the system uses.
set -eu
source_dir=$(realpath "$1")
root=$(realpath -m "$2")
fail() { echo "FAIL: $*"; exit 1; }
[ "$(id -u)" = 0 ] || fail "making a Debian 13 root needs root"
command -v debootstrap >/dev/null || fail "no debootstrap (apt-get install debootstrap)"
. /etc/os-release
mirror=$(apt-cache policy | sed -n "s#^ *[0-9]* \([^ ]*\) $VERSION_CODENAME/main .*#\1#p" | head -n 1)
[ -n "$mirror" ] || fail "no $VERSION_CODENAME mirror in apt's sources"
started=$(date +%s)
step() { echo "-- $1 ($(($(date +%s) - started)) s)"; }

# The README's lines, as a new user copies them.
install_line=$(sed -n 's/.*(`sudo \(apt-get install [^`]*\)`).*/\1/p' "$source_dir/README.md" | head -n 1)
test_line=$(sed -n '/^Build and run the tests:/,/^##/s/^    \(cmake .*\)$/\1/p' "$source_dir/README.md" | head -n 1)
[ -n "$install_line" ] && [ -n "$test_line" ] || fail "the README's install or test line was not found"

unmount() {
  for dir in dev/pts dev proc sys; do
    ! mountpoint -q "$root/$dir" 2>/dev/null || umount -l "$root/$dir"
  done
}
trap unmount EXIT
trap 'exit 143' TERM INT
unmount
rm -rf "$root"
mkdir -p "$(dirname "$root")"
step "debootstrap trixie"
debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; fail "debootstrap"; }
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t proc proc "$root/proc"
# As on any system: the layer asks sysfs what a device is before it opens it.
mount -t sysfs -o ro sysfs "$root/sys"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
# A user at a terminal answers apt's question; here apt is told the answer.
echo 'APT::Get::Assume-Yes "true";' >"$root/etc/apt/apt.conf.d/90yes"
in_root apt-get update >"$root.log" 2>&1 || { cat "$root.log"; fail "apt-get update"; }
step "the README's packages: $install_line"
in_root sh -c "$install_line" >"$root.log" 2>&1 || { tail -n 20 "$root.log"; fail "the README's apt-get line"; }
echo "$(in_root g++ --version | head -n 1); $(in_root cmake --version | head -n 1)"

tar -C "$source_dir" --exclude=./.git --exclude='./build*' --exclude='./obj-*' -cf - . | (mkdir "$root/src" && tar -C "$root/src" -xf -)
step "the README's build and tests: $test_line"
in_root sh -c "cd /src && $test_line" >"$root.log" 2>&1 || { tail -n 60 "$root.log"; fail "the README's build and tests"; }
grep -E 'tests passed|Skipped|Not Run' "$root.log" || true
# Warning-free with Debian 13's compiler too (the other builds make warnings errors).
! grep -E 'warning:' "$root.log" || fail "GCC 14 warns"
echo "ok: built without a warning, tests passed"
rm -rf "$root/src/build"

step "the source package, built with its tests"
in_root sh -c 'cd /src && apt-get build-dep --no-install-recommends ./' >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; fail "apt-get build-dep"; }
in_root sh -c 'cd /src && DEB_BUILD_OPTIONS=parallel=2 dpkg-buildpackage -b -us -uc' >"$root.log" 2>&1 ||
  { tail -n 60 "$root.log"; fail "dpkg-buildpackage"; }
grep -E 'tests passed' "$root.log" || fail "the package build ran no tests"
echo "built: $(cd "$root" && ls ./*.deb | xargs -n 1 basename | tr '\n' ' ')"
in_root dpkg-deb -f "$(cd "$root" && ls scale_*.deb)" Depends

step "the build dependencies on Debian 13, as its build daemons judge them"
in_root dpkg --add-architecture arm64
in_root dpkg --add-architecture armhf
in_root apt-get update >"$root.log" 2>&1 || { cat "$root.log"; fail "apt-get update"; }
in_root apt-get install --no-install-recommends dose-builddebcheck >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; fail "installing dose-builddebcheck"; }
in_root sh /src/tests/debian/build_deps_test.sh /src /tmp/build-deps || fail "the build dependencies"

step "Debian 13's lintian"
in_root apt-get install --no-install-recommends lintian >"$root.log" 2>&1 || { tail -n 20 "$root.log"; fail "installing lintian"; }
# Standard error only says that it runs as root.
in_root sh -c 'lintian --fail-on error,warning /*.deb' >"$root.log" 2>"$root.err" ||
  { cat "$root.log" "$root.err"; fail "lintian"; }
[ ! -s "$root.log" ] || { cat "$root.log"; fail "lintian has something to say"; }
echo "ok: $(in_root lintian --version) reports no error and no warning"
step "done"
unmount
rm -rf "$root" "$root.log" "$root.err"
