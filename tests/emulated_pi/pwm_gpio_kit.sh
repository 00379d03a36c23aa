#!/bin/sh
# Makes what an emulated Raspberry Pi 2 needs to offer a kernel PWM on
# GPIO22, as Raspberry Pi OS does with dtoverlay=pwm-gpio,gpio=22: Debian's
# 6.12 armmp kernel from backports, the mainline pwm-gpio driver built out of
# tree against it (Debian leaves CONFIG_PWM_GPIO off), and the Pi 2's device
# tree with a pwm-gpio node on GPIO22. The kernel source is downloaded here,
# never kept in the repository.
#   pwm_gpio_kit.sh KITDIR
# Leaves in KITDIR: vmlinuz, board.dtb, pwm-gpio.ko, bcm2835_wdt.ko.xz.
# Needs armhf in dpkg, g++-arm-linux-gnueabihf, make, device-tree-compiler.
set -eu
kit=$(realpath -m "$1")
here=$(dirname "$(realpath "$0")")
[ -f "$kit/pwm-gpio.ko" ] && exit 0
rm -rf "$kit"
mkdir -p "$kit/apt/lists/partial" "$kit/apt/cache/archives/partial" "$kit/deb" "$kit/x"
cd "$kit"
quiet() { "$@" >"$kit/log" 2>&1 || { cat "$kit/log"; exit 1; }; }

# A private apt configuration that adds only backports, from the mirror the
# system already uses; the system's own sources stay as they are.
. /etc/os-release
mirror=$(apt-cache policy | sed -n "s#^ *[0-9]* \([^ ]*\) $VERSION_CODENAME/main .*#\1#p" | head -n 1)
[ -n "$mirror" ] || { echo "FAIL: no $VERSION_CODENAME mirror in apt's sources"; exit 1; }
echo "deb [arch=armhf,$(dpkg --print-architecture) signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $VERSION_CODENAME-backports main" >apt/sources.list
apt="-o Dir::Etc::SourceList=$kit/apt/sources.list -o Dir::Etc::SourceParts=/dev/null
     -o Dir::State::Lists=$kit/apt/lists -o Dir::Cache=$kit/apt/cache"
quiet apt-get $apt update
image=$(apt-cache $apt depends linux-image-armmp:armhf | sed -n 's/^ *Depends: linux-image-\([^ :]*\)-armmp.*/\1/p' | head -n 1)
[ -n "$image" ] || { echo "FAIL: no armmp kernel in backports"; exit 1; }
series=$(echo "$image" | sed 's/^\([0-9]*\.[0-9]*\).*/\1/')
(cd deb && quiet apt-get $apt download "linux-image-$image-armmp:armhf" "linux-headers-$image-armmp:armhf" \
  "linux-headers-$image-common" "linux-kbuild-$image:$(dpkg --print-architecture)" "linux-source-$series")
for package in deb/linux-image-* deb/linux-headers-* deb/linux-kbuild-*; do dpkg-deb -x "$package" x; done
dpkg-deb --fsys-tarfile deb/linux-source-*.deb | tar -x -C x --wildcards '*.tar.xz'
tar -xJf x/usr/src/linux-source-$series.tar.xz -C x \
  "linux-source-$series/drivers/pwm/pwm-gpio.c" "linux-source-$series/scripts/mod" "linux-source-$series/scripts/include"
source=$kit/x/linux-source-$series
headers=$kit/x/usr/src/linux-headers-$image-armmp
common=$kit/x/usr/src/linux-headers-$image-common
# The headers include the common part by its installed path.
sed -i "s#include /usr/src/#include $kit/x/usr/src/#" "$headers/Makefile"
make_arm() { quiet make -C "$headers" ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf- "$@"; }

# Debian's modpost has the build machine's struct sizes and rejects a 32-bit
# ARM module's device table: build one from the source for the target.
mkdir -p modpost/scripts/mod
cp "$source"/scripts/mod/*.c "$source"/scripts/mod/*.h modpost/scripts/mod/
cp "$source/scripts/mod/Makefile" modpost/scripts/mod/Kbuild
ln -s "$common/include" modpost/include
make_arm M="$kit/modpost/scripts/mod" HOSTCFLAGS="-I$source/scripts/include" MODPOST=/bin/true
mkdir -p module
cp "$source/drivers/pwm/pwm-gpio.c" module/
echo 'obj-m := pwm-gpio.o' >module/Kbuild
make_arm M="$kit/module" MODPOST="$kit/modpost/scripts/mod/modpost" modules

dtc -q -@ -I dts -O dtb -o pwm-gpio22.dtbo "$here/pwm-gpio22.dts"
fdtoverlay -i "$(find x/usr/lib -name bcm2836-rpi-2-b.dtb)" -o board.dtb pwm-gpio22.dtbo
cp x/boot/vmlinuz-* vmlinuz
cp "$(find x/lib/modules -name 'bcm2835_wdt.ko*')" bcm2835_wdt.ko.xz
cp module/pwm-gpio.ko pwm-gpio.ko.part
rm -rf apt deb x modpost module
mv pwm-gpio.ko.part pwm-gpio.ko
