#!/bin/sh
# Makes what an emulated Raspberry Pi 2 (armhf) or 4 (arm64) needs to offer a
# kernel PWM on GPIO22, as Raspberry Pi OS does with
# dtoverlay=pwm-gpio,gpio=22, and simulated GPIO lines to read edges from:
# Debian's 6.12 kernel from backports (debian_kernel.sh), the mainline
# pwm-gpio and gpio-sim drivers built out of tree against it (Debian leaves
# CONFIG_PWM_GPIO and CONFIG_GPIO_SIM off; gpio-sim takes the interrupt
# simulator, also left out, into its module), and the board's device tree
# with a pwm-gpio node on GPIO22. The kernel source is downloaded, never
# kept in the repository.
#   module_kit.sh armhf|arm64 KITDIR
# Leaves in KITDIR: vmlinuz, board.dtb, pwm-gpio.ko, gpio-sim.ko with the
# configfs.ko.xz it needs, and bcm2835_wdt.ko.xz where the watchdog is a
# module.
# Needs the architecture in dpkg, its cross compiler (gcc-arm-linux-gnueabihf
# or gcc-aarch64-linux-gnu), make, device-tree-compiler and flock.
set -eu
case $1 in
  armhf) flavour=armmp kernel_arch=arm cross=arm-linux-gnueabihf- board_dtb=bcm2836-rpi-2-b.dtb ;;
  arm64) flavour=arm64 kernel_arch=arm64 cross=aarch64-linux-gnu- board_dtb=bcm2711-rpi-4-b.dtb ;;
  *) echo "FAIL: no kit for '$1' (armhf or arm64)"; exit 1 ;;
esac
arch=$1
kit=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")
# A board's boots share its kit: the second waits for the first to make it.
mkdir -p "$(dirname "$kit")"
exec 9>"$kit.lock"
flock 9
[ -f "$kit/done" ] && exit 0
rm -rf "$kit"
mkdir -p "$kit"
cd "$kit"
quiet() { "$@" >"$kit/log" 2>&1 || { cat "$kit/log"; exit 1; }; }

image=$(sh "$here/debian_kernel.sh" "$arch" "$flavour" "$kit/kernel" headers)
image=${image%-$flavour}
series=$(echo "$image" | sed 's/^\([0-9]*\.[0-9]*\).*/\1/')
mv kernel/x x
tar -xJf x/usr/src/linux-source-$series.tar.xz -C x \
  "linux-source-$series/drivers/pwm/pwm-gpio.c" "linux-source-$series/drivers/gpio/gpio-sim.c" \
  "linux-source-$series/kernel/irq/irq_sim.c" "linux-source-$series/scripts/mod" "linux-source-$series/scripts/include"
source=$kit/x/linux-source-$series
headers=$kit/x/usr/src/linux-headers-$image-$flavour
common=$kit/x/usr/src/linux-headers-$image-common
# The headers include the common part by its installed path.
sed -i "s#include /usr/src/#include $kit/x/usr/src/#" "$headers/Makefile"
# No BTF for the module (arm64's kernel asks for it): it would need pahole, and loads without.
make_target() { quiet make -C "$headers" ARCH=$kernel_arch CROSS_COMPILE=$cross CONFIG_DEBUG_INFO_BTF_MODULES= "$@"; }

# Debian's modpost has the build machine's struct sizes and rejects a 32-bit
# module's device table: build one from the source for the target.
mkdir -p modpost/scripts/mod
cp "$source"/scripts/mod/*.c "$source"/scripts/mod/*.h modpost/scripts/mod/
cp "$source/scripts/mod/Makefile" modpost/scripts/mod/Kbuild
ln -s "$common/include" modpost/include
make_target M="$kit/modpost/scripts/mod" HOSTCFLAGS="-I$source/scripts/include" MODPOST=/bin/true
mkdir -p module
cp "$source/drivers/pwm/pwm-gpio.c" "$source/kernel/irq/irq_sim.c" module/
cp "$source/drivers/gpio/gpio-sim.c" module/gpio-sim-driver.c
# The kernel does not export irq_to_desc to modules: the interrupt goes
# through the exported call that reaches the same handler.
sed -i 's/handle_simple_irq(irq_to_desc(irqnum))/generic_handle_irq_safe(irqnum)/' module/irq_sim.c
grep -q generic_handle_irq_safe module/irq_sim.c || { echo "FAIL: irq_sim.c changed: no irq_to_desc call to replace"; exit 1; }
printf 'obj-m := pwm-gpio.o gpio-sim.o\ngpio-sim-y := gpio-sim-driver.o irq_sim.o\n' >module/Kbuild
make_target M="$kit/module" MODPOST="$kit/modpost/scripts/mod/modpost" modules

dtc -q -@ -I dts -O dtb -o pwm-gpio22.dtbo "$here/pwm-gpio22.dts"
fdtoverlay -i "$(find x/usr/lib -name "$board_dtb")" -o board.dtb pwm-gpio22.dtbo
cp x/boot/vmlinuz-* vmlinuz
watchdog=$(find x/lib/modules -name 'bcm2835_wdt.ko*')
[ -z "$watchdog" ] || cp "$watchdog" bcm2835_wdt.ko.xz
cp "$(find x/lib/modules -name 'configfs.ko*')" configfs.ko.xz
cp module/pwm-gpio.ko module/gpio-sim.ko .
rm -rf kernel x modpost module
touch done
