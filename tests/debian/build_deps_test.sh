#!/bin/sh
# Whether the source package can be built where Debian builds it, judged as
# its build daemons judge it: dose-builddebcheck over the package lists of
# the release this machine runs (backports left out) and of Debian 13
# (trixie), today's Raspberry Pi OS base, for a native build on this
# machine's architecture, on arm64 and on armhf (a Pi building from source),
# and for cross builds from here to arm64 and to armhf.
#   build_deps_test.sh SOURCE_DIR WORKDIR
# Needs dose-builddebcheck and arm64 and armhf in dpkg with their lists
# (dpkg --add-architecture ARCH; apt-get update); exits 77 (skipped)
# without. Debian 13's lists are downloaded through a private apt
# configuration, from the mirror the system uses.
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

# Each release's binary packages for an architecture, from apt's lists as
# they are stored: lists RELEASE DIR writes DIR/ARCH.Packages.
lists() {
  mkdir -p "$2"
  for arch in "$native" arm64 armhf; do
    : >"$2/$arch.Packages"
    for list in "$1"/*_binary-"$arch"_Packages*; do
      [ -e "$list" ] || { echo "SKIP: no package list for $arch (dpkg --add-architecture $arch; apt-get update)"; exit 77; }
      case $list in *-backports_*) continue ;; esac
      /usr/lib/apt/apt-helper cat-file "$list" >>"$2/$arch.Packages"
      echo >>"$2/$arch.Packages"
    done
  done
}
lists /var/lib/apt/lists "$VERSION_CODENAME"
releases=$VERSION_CODENAME
if [ "$VERSION_CODENAME" != trixie ]; then
  mirror=$(apt-cache policy | sed -n "s#^ *[0-9]* \([^ ]*\) $VERSION_CODENAME/main .*#\1#p" | head -n 1)
  [ -n "$mirror" ] || { echo "FAIL: no $VERSION_CODENAME mirror in apt's sources"; exit 1; }
  mkdir -p apt/lists/partial apt/cache/archives/partial
  for suite in trixie trixie-updates; do
    echo "deb [arch=$native,arm64,armhf signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main"
  done >apt/sources.list
  apt-get -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" update >apt.log 2>&1 ||
    { cat apt.log; echo "FAIL: Debian 13's package lists could not be had"; exit 1; }
  lists apt/lists trixie
  releases="$releases trixie"
fi

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
for release in $releases; do
  for arch in "$native" arm64 armhf; do
    check "$release: native build on $arch" --deb-native-arch="$arch" "$release/$arch.Packages"
  done
  for host in arm64 armhf; do
    [ "$host" != "$native" ] || continue
    check "$release: cross build from $native to $host" --deb-native-arch="$native" --deb-host-arch="$host" \
      --deb-profiles=cross "$release/$native.Packages" "$release/$host.Packages"
  done
done
exit $fail
