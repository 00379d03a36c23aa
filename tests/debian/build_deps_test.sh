#!/bin/sh
# Whether the source package can be built where Debian builds it, judged as
# its build daemons judge it: dose-builddebcheck over the package lists of
# the release this machine runs (backports left out), for a native build on
# this machine's architecture, on arm64 and on armhf (a Pi building from
# source), and for cross builds from here to arm64 and to armhf. (CI runs
# it on Debian 12 and, in its Debian 13 root, on Debian 13.)
#   build_deps_test.sh SOURCE_DIR WORKDIR
# Needs dose-builddebcheck and arm64 and armhf in dpkg with their lists
# (dpkg --add-architecture ARCH; apt-get update); exits 77 (skipped) without.
set -eu
source_dir=$(realpath "$1")
work=$(realpath -m "$2")
native=$(dpkg --print-architecture)
command -v dose-builddebcheck >/dev/null ||
  { echo "SKIP: no dose-builddebcheck (apt-get install dose-builddebcheck)"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
cd "$work"
. /etc/os-release

# Each architecture's binary packages, from apt's lists as they are stored.
for arch in "$native" arm64 armhf; do
  : >"$arch.Packages"
  for list in /var/lib/apt/lists/*_binary-"$arch"_Packages*; do
    [ -e "$list" ] || { echo "SKIP: no package list for $arch (dpkg --add-architecture $arch; apt-get update)"; exit 77; }
    case $list in *-backports_*) continue ;; esac
    /usr/lib/apt/apt-helper cat-file "$list" >>"$arch.Packages"
    echo >>"$arch.Packages"
  done
done

# The source package as an archive's Sources file lists it: the source
# stanza of debian/control, its continued lines joined.
{
  sed -n '1,/^$/p' "$source_dir/debian/control" | sed '/^$/d; s/^Source:/Package:/' |
    awk '/^[ \t]/ { sub(/^[ \t]+/, " "); line = line $0; next } { if (line != "") print line; line = $0 } END { print line }'
  echo "Version: $(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)"
  echo "Architecture: any"
} >Sources

fail=0
check() { # description, dose-builddebcheck options and package lists...
  what=$1; shift
  dose-builddebcheck --failures --explain "$@" Sources >"dose.log" 2>&1 || true
  if grep -q '^broken-packages: 0$' dose.log; then echo "ok: $what"
  else echo "FAIL: $what"; cat dose.log; fail=1
  fi
}
for arch in "$native" arm64 armhf; do
  check "$VERSION_CODENAME: native build on $arch" --deb-native-arch="$arch" "$arch.Packages"
done
for host in arm64 armhf; do
  [ "$host" != "$native" ] || continue
  check "$VERSION_CODENAME: cross build from $native to $host" --deb-native-arch="$native" --deb-host-arch="$host" \
    --deb-profiles=cross "$native.Packages" "$host.Packages"
done
exit $fail
