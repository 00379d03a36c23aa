#!/bin/sh
# Boots a Raspberry Pi 2 in QEMU with Debian's armhf kernel and its BCM2835
# GPIO driver, runs the program there with no environment (so the layer
# picks the chip backend itself), and checks from the kernel's side that
# GPIO22 is held by the program as an output and toggles.
#   boot_test.sh PROGRAM WORKDIR
# PROGRAM must be a static armhf build. Needs the armhf architecture in dpkg
# (dpkg --add-architecture armhf; apt-get update), qemu-system-arm, cpio
# and socat.
set -eu
program=$(realpath "$1")
work=$2
here=$(dirname "$(realpath "$0")")
mkdir -p "$work"
cd "$work"

# The kernel package that linux-image-armmp points at today.
kernel_package=$(apt-cache depends linux-image-armmp:armhf | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n 1)
[ -n "$kernel_package" ] || { echo "FAIL: no armhf kernel package (is armhf added to dpkg?)"; exit 1; }
if [ ! -d kernel ]; then
  apt-get download "$kernel_package" busybox-static:armhf >download.log 2>&1 || { cat download.log; exit 1; }
  dpkg-deb -x linux-image-*_armhf.deb kernel
  dpkg-deb -x busybox-static_*_armhf.deb busybox
fi
vmlinuz=$(ls kernel/boot/vmlinuz-*)
dtb=$(ls kernel/usr/lib/linux-image-*/bcm2836-rpi-2-b.dtb)
watchdog=$(find kernel/lib/modules -name 'bcm2835_wdt.ko*' | head -n 1)

rm -rf root && mkdir -p root/bin
cp busybox/bin/busybox root/bin/busybox
cp "$here/init" root/init
cp "$watchdog" root/bcm2835_wdt.ko
cp "$program" root/scale
chmod +x root/init root/scale
(cd root && find . | cpio -o -H newc --quiet | gzip -1) >initrd.gz

rm -f monitor.sock levels.log
timeout 300 qemu-system-arm -M raspi2b -m 1G -nographic -no-reboot \
  -kernel "$vmlinuz" -dtb "$dtb" -initrd initrd.gz \
  -append "console=ttyAMA0 earlycon=pl011,0x3f201000 rdinit=/init panic=-1" \
  -monitor unix:monitor.sock,server=on,wait=off \
  </dev/null >serial.log 2>&1 &
qemu=$!

# From outside the guest: QEMU's own model of the GPIO level register
# (GPLEV0), read through its monitor while the program plays.
waited=0
until grep -q '@@ start' serial.log 2>/dev/null || [ $waited -ge 240 ] || ! kill -0 $qemu 2>/dev/null; do
  sleep 1
  waited=$((waited + 1))
done
sleep 1
samples=0
while [ $samples -lt 30 ] && kill -0 $qemu 2>/dev/null; do
  echo 'xp /1wx 0x3f200034' | socat -t 0.3 - UNIX-CONNECT:monitor.sock 2>/dev/null |
    tr -d '\r' | grep -o '3f200034: 0x[0-9a-f]*' >>levels.log || true
  sleep 0.07
  samples=$((samples + 1))
done
wait $qemu || true
tr -d '\r' <serial.log >console.log

fail=0
check() { # description, command...
  what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
grep '^@@' console.log || true
check "the guest ran the program to the end" grep -q '^@@ done' console.log
lines=$(grep -E '^  [0-7]$' console.log | head -n 4 | tr -d ' \n')
check "it printed 0, 1, 2, 3 in order (got '$lines')" [ "$lines" = "0123" ]
check "GPIO22 is held by scale as an output" grep -Eq '^@@ line .*GPIO22.*scale.* out ' console.log
check "GPIO22 was seen high" grep -Eq '^@@ line .*scale.* out hi' console.log
check "GPIO22 was seen low" grep -Eq '^@@ line .*scale.* out lo' console.log
# Bit 22 of GPLEV0: 0x4 in the sixth hex digit from the right.
check "GPLEV0 bit 22 was seen set" grep -Eq '0x[0-9a-f]*[4567cdef][0-9a-f]{5}$' levels.log
check "GPLEV0 bit 22 was seen clear" grep -Eq '0x([0-9a-f]*[012389ab])?[0-9a-f]{5}$' levels.log
if [ $fail -ne 0 ]; then
  echo "--- console (last 60 lines)"
  tail -n 60 console.log
fi
exit $fail
