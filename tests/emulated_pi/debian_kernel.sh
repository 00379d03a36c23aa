#!/bin/sh
# Unpacks Debian's 6.12 kernel for an emulated Raspberry Pi, from backports
# (the series Raspberry Pi OS ships), through a private apt configuration:
# the system's own sources stay as they are.
#   debian_kernel.sh ARCH FLAVOUR DIR [headers]
# ARCH and FLAVOUR: armel rpi (Pi Zero), armhf armmp (Pi 2), arm64 arm64
# (Pi 3 and 4). Leaves the kernel package's files in DIR/x, and with
# "headers" also its headers, kbuild and source package, and prints the
# kernel's version (e.g. 6.12.95+deb12-armmp). Boards that share a kernel
# share DIR: a lock makes the second wait for the first's download, and what
# is there once done is never changed.
# Needs the architecture in dpkg and flock.
set -eu
arch=$1 flavour=$2 dir=$(realpath -m "$3") headers=${4:-}
mkdir -p "$dir"
exec 9>"$dir.lock"
flock 9
if [ ! -f "$dir/done" ]; then
  rm -rf "$dir"
  mkdir -p "$dir/apt/lists/partial" "$dir/apt/cache/archives/partial" "$dir/deb" "$dir/x"
  quiet() { "$@" >"$dir/log" 2>&1 || { cat "$dir/log" >&2; exit 1; }; }
  . /etc/os-release
  mirror=$(apt-cache policy | sed -n "s#^ *[0-9]* \([^ ]*\) $VERSION_CODENAME/main .*#\1#p" | head -n 1)
  [ -n "$mirror" ] || { echo "FAIL: no $VERSION_CODENAME mirror in apt's sources" >&2; exit 1; }
  echo "deb [arch=$arch,$(dpkg --print-architecture) signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $VERSION_CODENAME-backports main" >"$dir/apt/sources.list"
  apt="-o Dir::Etc::SourceList=$dir/apt/sources.list -o Dir::Etc::SourceParts=/dev/null
       -o Dir::State::Lists=$dir/apt/lists -o Dir::Cache=$dir/apt/cache"
  quiet apt-get $apt update
  image=$(apt-cache $apt depends "linux-image-$flavour:$arch" | sed -n "s/^ *Depends: linux-image-\([^ :]*\)-$flavour.*/\1/p" | head -n 1)
  [ -n "$image" ] || { echo "FAIL: no $flavour kernel for $arch in backports" >&2; exit 1; }
  packages="linux-image-$image-$flavour:$arch"
  if [ -n "$headers" ]; then
    series=$(echo "$image" | sed 's/^\([0-9]*\.[0-9]*\).*/\1/')
    packages="$packages linux-headers-$image-$flavour:$arch linux-headers-$image-common"
    packages="$packages linux-kbuild-$image:$(dpkg --print-architecture) linux-source-$series"
  fi
  (cd "$dir/deb" && quiet apt-get $apt download $packages)
  for package in "$dir"/deb/linux-image-* "$dir"/deb/linux-headers-* "$dir"/deb/linux-kbuild-*; do
    [ ! -e "$package" ] || dpkg-deb -x "$package" "$dir/x"
  done
  [ -z "$headers" ] || dpkg-deb --fsys-tarfile "$dir"/deb/linux-source-*.deb | tar -x -C "$dir/x" --wildcards '*.tar.xz'
  echo "$image-$flavour" >"$dir/version"
  rm -rf "$dir/apt" "$dir/deb"
  touch "$dir/done"
fi
cat "$dir/version"
