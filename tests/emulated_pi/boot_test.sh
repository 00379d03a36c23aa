#!/bin/sh
# Boots a Raspberry Pi in QEMU with Debian's kernel and its BCM2835 GPIO
# driver, runs the program there with no environment (so the layer picks the
# chip backend itself), and checks from the kernel's side and from outside
# the guest that GPIO22 is held by the program as an output and toggles.
#   boot_test.sh BOARD PROGRAM WORKDIR
# BOARD is raspi0 (Pi Zero: ARMv6, armel), raspi2b (Pi 2: armhf) or raspi3b
# (Pi 3: arm64); PROGRAM a static build for it. Needs that architecture in
# dpkg (dpkg --add-architecture ARCH; apt-get update), qemu-system-arm, cpio
# and socat.
set -eu
board=$1
program=$(realpath "$2")
work=$3
here=$(dirname "$(realpath "$0")")

# What each board needs: Debian architecture, kernel metapackage, QEMU and
# its memory (the boards accept only their own size), device tree, the
# console UART for early messages, the address of GPLEV0, and what else the
# kernel's command line must say.
case $board in
  raspi0)
    arch=armel kernel_meta=linux-image-rpi qemu=qemu-system-arm memory=512M
    dtb=bcm2835-rpi-zero.dtb uart=0x20201000 gplev0=0x20200034
    # QEMU does not model the power domains: without this the kernel panics.
    extra=initcall_blacklist=bcm2835_power_driver_init ;;
  raspi2b)
    arch=armhf kernel_meta=linux-image-armmp qemu=qemu-system-arm memory=1G
    dtb=bcm2836-rpi-2-b.dtb uart=0x3f201000 gplev0=0x3f200034 extra= ;;
  raspi3b)
    arch=arm64 kernel_meta=linux-image-arm64 qemu=qemu-system-aarch64 memory=1G
    dtb=bcm2837-rpi-3-b.dtb uart=0x3f201000 gplev0=0x3f200034 extra= ;;
  *) echo "FAIL: unknown board '$board' (raspi0, raspi2b or raspi3b)"; exit 1 ;;
esac
mkdir -p "$work"
cd "$work"

# The kernel package that the metapackage points at today.
kernel_package=$(apt-cache depends "$kernel_meta:$arch" | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n 1)
[ -n "$kernel_package" ] || { echo "FAIL: no $arch kernel package (is $arch added to dpkg?)"; exit 1; }
if [ ! -d "kernel-$arch" ]; then
  rm -f linux-image-*_"$arch".deb busybox-static_*_"$arch".deb
  apt-get download "$kernel_package" "busybox-static:$arch" >download.log 2>&1 || { cat download.log; exit 1; }
  dpkg-deb -x linux-image-*_"$arch".deb "kernel-$arch"
  dpkg-deb -x busybox-static_*_"$arch".deb "busybox-$arch"
fi
vmlinuz=$(ls kernel-$arch/boot/vmlinuz-*)
dtb=$(find kernel-$arch/usr/lib -name "$dtb" | head -n 1)
watchdog=$(find kernel-$arch/lib/modules -name 'bcm2835_wdt.ko*' | head -n 1)

rm -rf root && mkdir -p root/bin
cp "busybox-$arch/bin/busybox" root/bin/busybox
cp "$here/init" root/init
# Built into some kernels, a module in others; without it poweroff hangs.
[ -z "$watchdog" ] || cp "$watchdog" root/bcm2835_wdt.ko
cp "$program" root/scale
chmod +x root/init root/scale
(cd root && find . | cpio -o -H newc --quiet | gzip -1) >initrd.gz

rm -f monitor.sock levels.log
timeout 300 "$qemu" -M "$board" -m "$memory" -nographic -no-reboot \
  -kernel "$vmlinuz" -dtb "$dtb" -initrd initrd.gz \
  -append "console=ttyAMA0 earlycon=pl011,$uart rdinit=/init panic=-1 $extra" \
  -monitor unix:monitor.sock,server=on,wait=off \
  </dev/null >serial.log 2>&1 &
qemu_pid=$!

# From outside the guest: QEMU's own model of the GPIO level register
# (GPLEV0), read through its monitor while the program plays. A busy host
# slows the emulated board, so sample until the guest says it is done.
waited=0
until grep -q '@@ start' serial.log 2>/dev/null || [ $waited -ge 240 ] || ! kill -0 $qemu_pid 2>/dev/null; do
  sleep 1
  waited=$((waited + 1))
done
sleep 1
hex=${gplev0#0x}
while kill -0 $qemu_pid 2>/dev/null && ! grep -q '@@ done' serial.log; do
  echo "xp /1wx $gplev0" | socat -t 0.3 - UNIX-CONNECT:monitor.sock 2>/dev/null |
    tr -d '\r' | grep -o "0*$hex: 0x[0-9a-f]*" >>levels.log || true
  sleep 0.07
done
wait $qemu_pid || true
tr -d '\r' <serial.log >console.log

fail=0
check() { # description, command...
  what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
grep '^@@' console.log || true
echo "GPLEV0 samples: $(wc -l <levels.log 2>/dev/null || echo 0)"
check "the guest ran the program to the end" grep -q '^@@ done' console.log
lines=$(grep -E '^  [0-7]$' console.log | head -n 4 | tr -d ' \n')
check "it printed 0, 1, 2, 3 in order (got '$lines')" [ "$lines" = "0123" ]
check "GPIO22 is held by scale as an output" grep -Eq '^@@ line .*GPIO22.*scale.* out ' console.log
check "GPIO22 was seen high" grep -Eq '^@@ line .*scale.* out hi' console.log
check "GPIO22 was seen low" grep -Eq '^@@ line .*scale.* out lo' console.log
# Bit 22 of GPLEV0: 0x4 in the sixth hex digit from the right.
check "GPLEV0 bit 22 was seen set" grep -Eq '0x[0-9a-f]*[4567cdef][0-9a-f]{5}$' levels.log
check "GPLEV0 bit 22 was seen clear" grep -Eq '0x([0-9a-f]*[012389ab])?[0-9a-f]{5}$' levels.log
if [ "$board" = raspi3b ]; then
  # The firmware's expander names its lines, but has no GPIO22: no stray line is driven.
  check "a named chip without GPIO22 is refused" \
    grep -q '^@@ chip1 gpio: pin 3: no line named GPIO22 on /dev/gpiochip1' console.log
fi
if [ $fail -ne 0 ]; then
  echo "--- console (last 60 lines)"
  tail -n 60 console.log
fi
exit $fail
