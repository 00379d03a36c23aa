#!/bin/sh
# Boots a Raspberry Pi in QEMU with Debian's kernel and its BCM2835 GPIO
# driver, runs the program there with no environment (so the layer picks the
# chip backend itself), and checks from the kernel's side and from outside
# the guest that GPIO22 is held by the program as an output and toggles.
#   boot_test.sh BOARD PROGRAM WORKDIR
#   boot_test.sh BOARD-loopback BENCH WORKDIR SIM_SQUARE
#   boot_test.sh --prepare BOARD WORKDIR
# BOARD is raspi0 (Pi Zero: ARMv6, armel), raspi2b (Pi 2: armhf), raspi3b
# (Pi 3: arm64), raspi4b (Pi 4: arm64), or raspi2b-pwm or raspi4b-pwm: that
# board with GPIO22 held by a kernel PWM (module_kit.sh), where the tone
# must play through that PWM and stop when the program is killed. PROGRAM is
# a static build for the board. A -loopback board boots as its -pwm one but
# runs the benchmark's loopback reader (BENCH, a static tone_bench) on
# simulated lines (gpio-sim) that SIM_SQUARE drives, and loopback_test.sh
# judges what it said. With --prepare it only downloads and builds what the
# boot needs (kernel, busybox, kit), so that a build can make it ahead of
# the test. Needs that architecture in dpkg
# (dpkg --add-architecture ARCH; apt-get update), qemu-system-arm 10 or later
# (the Pi 4), cpio and socat.
set -eu
prepare=
if [ "$1" = --prepare ]; then
  prepare=yes board=$2 work=$(realpath -m "$3")
else
  board=$1 program=$(realpath "$2") work=$(realpath -m "$3") sim_square=${4:+$(realpath "$4")}
fi
here=$(dirname "$(realpath "$0")")

# What each board needs: Debian architecture, kernel flavour, QEMU and
# its memory (the boards accept only their own size), device tree, the
# console UART for early messages, the address of GPLEV0, and what else the
# kernel's command line must say.
machine=${board%%-*}
case $machine in
  raspi0)
    arch=armel flavour=rpi qemu=qemu-system-arm memory=512M
    dtb=bcm2835-rpi-zero.dtb uart=0x20201000 gplev0=0x20200034
    # QEMU does not model the power domains: without this the kernel panics.
    extra=initcall_blacklist=bcm2835_power_driver_init ;;
  raspi2b)
    arch=armhf flavour=armmp qemu=qemu-system-arm memory=1G
    dtb=bcm2836-rpi-2-b.dtb uart=0x3f201000 gplev0=0x3f200034 extra= ;;
  raspi3b)
    arch=arm64 flavour=arm64 qemu=qemu-system-aarch64 memory=1G
    dtb=bcm2837-rpi-3-b.dtb uart=0x3f201000 gplev0=0x3f200034 extra= ;;
  raspi4b)
    arch=arm64 flavour=arm64 qemu=qemu-system-aarch64 memory=2G
    dtb=bcm2711-rpi-4-b.dtb uart=0xfe201000 gplev0=0xfe200034
    # Clocks and interrupt and I2C blocks that QEMU does not model: the kernel dies without this.
    extra="clk_ignore_unused initcall_blacklist=brcmstb_l2_driver_init,brcmstb_i2c_driver_init" ;;
  *) echo "FAIL: unknown board '$board' (raspi0, raspi2b, raspi3b or raspi4b, the last two also with -pwm or -loopback)"; exit 1 ;;
esac
loopback=
case ${board#"$machine"} in
  ''|-pwm) ;;
  -loopback) loopback=yes ;;
  *) echo "FAIL: unknown board '$board' (a board, or a board with -pwm or -loopback)"; exit 1 ;;
esac
mkdir -p "$work"
cd "$work"

# Debian's 6.12 kernel from backports (the series Raspberry Pi OS ships), and busybox.
if [ ! -d "busybox-$arch" ]; then
  apt-get download "busybox-static:$arch" >download.log 2>&1 || { cat download.log; exit 1; }
  dpkg-deb -x busybox-static_*_"$arch".deb "busybox-$arch"
fi
pwm=
[ "$board" = "$machine" ] || pwm=yes
if [ -n "$pwm" ]; then
  # A board's -pwm and -loopback boots share its kit.
  kit=$(dirname "$work")/pwm-kit-$arch
  sh "$here/module_kit.sh" "$arch" "$kit"
  vmlinuz=$kit/vmlinuz dtb=$kit/board.dtb watchdog=$(ls "$kit"/bcm2835_wdt.ko.xz 2>/dev/null || true)
else
  # Boards of one architecture share its kernel.
  kernel=$(dirname "$work")/kernel-$arch-$flavour
  sh "$here/debian_kernel.sh" "$arch" "$flavour" "$kernel" >/dev/null
  vmlinuz=$(ls "$kernel"/x/boot/vmlinuz-*)
  dtb=$(find "$kernel/x/usr/lib" -name "$dtb" | head -n 1)
  watchdog=$(find "$kernel/x/lib/modules" -name 'bcm2835_wdt.ko*' | head -n 1)
fi

[ -z "$prepare" ] || exit 0

rm -rf root && mkdir -p root/bin
cp "busybox-$arch/bin/busybox" root/bin/busybox
cp "$here/init" root/init
# Built into some kernels, a module in others; without it poweroff hangs.
[ -z "$watchdog" ] || cp "$watchdog" root/bcm2835_wdt.ko
[ -z "$pwm" ] || cp "$kit/pwm-gpio.ko" root/pwm-gpio.ko
if [ -z "$loopback" ]; then
  cp "$program" root/scale
  chmod +x root/scale
else
  cp "$program" root/tone_bench
  cp "$sim_square" root/sim_square
  cp "$kit/gpio-sim.ko" root/gpio-sim.ko
  cp "$kit/configfs.ko.xz" root/configfs.ko
  chmod +x root/tone_bench root/sim_square
fi
chmod +x root/init
(cd root && find . | cpio -o -H newc --quiet | gzip -1) >initrd.gz

# One boot: QEMU runs the guest, and from outside the guest QEMU's own model
# of the GPIO level register (GPLEV0) is read through its monitor while the
# program plays and after it was killed. A busy host slows the emulated
# board, so it samples until the guest says it is done. The guest's clock
# counts its own instructions (-icount): a host that stalls QEMU between the
# kernel's reading of a timer and its setting of the next one slows the
# guest but cannot make that timer lie in the past (a Pi Zero's system timer
# would then wait for its counter to wrap, 71 minutes). With it QEMU runs a
# board's four cores in turn on one thread, and a guest using them all
# stalls for seconds at a time: the kernel brings up one core (maxcpus=1),
# as a Pi Zero has. QEMU retunes how long an instruction takes to follow the
# host's clock (shift=auto), which keeps a guest's sleeps near real time, so
# the program's boards use it. The loopback's driver, a real-time thread,
# fell 1.9 s behind its deadlines on auto while the guest translated a
# program just started: its boot has a fixed 16 ns an instruction (shift=4),
# a clock no host can make late. The kernel's crypto self-tests are left out
# (cryptomgr.notests): started by the first module load, they held the one
# core for the first half minute, and at that clock made the loopback's
# edges a millisecond late. The guard only ends a guest that hangs: three
# times the slowest guest seen, 340 s (a Pi 4 with its PWM and the loopback
# on one boot at the fixed clock, on a slower machine).
guard=1020
rm -f monitor.sock levels.log
icount=auto
[ -z "$loopback" ] || icount=4
started=$(date +%s)
timeout $guard "$qemu" -M "$machine" -icount shift=$icount -m "$memory" -nographic -no-reboot \
  -kernel "$vmlinuz" -dtb "$dtb" -initrd initrd.gz \
  -append "console=ttyAMA0 earlycon=pl011,$uart rdinit=/init panic=-1 maxcpus=1 cryptomgr.notests $extra" \
  -monitor unix:monitor.sock,server=on,wait=off \
  </dev/null >serial.log 2>&1 &
qemu_pid=$!
if [ -z "$loopback" ]; then
  until grep -q '@@ start' serial.log 2>/dev/null || ! kill -0 $qemu_pid 2>/dev/null; do
    sleep 1
  done
  sleep 1
  hex=${gplev0#0x}
  while kill -0 $qemu_pid 2>/dev/null && ! grep -q '@@ done' serial.log; do
    phase=playing
    grep -q '@@ killed' serial.log && phase=killed
    grep -q '@@ more' serial.log && phase=more
    echo "xp /1wx $gplev0" | socat -t 0.3 - UNIX-CONNECT:monitor.sock 2>/dev/null |
      tr -d '\r' | grep -o "0*$hex: 0x[0-9a-f]*" | sed "s/^/$phase /" >>levels.log || true
    sleep 0.07
  done
fi
wait $qemu_pid || true
took=$(($(date +%s) - started))
echo "the guest ran ${took} s (guard ${guard} s)"
[ $((took * 2)) -le $guard ] || echo "NOTE: the guest ran ${took} s, over half of its ${guard} s guard"
tr -d '\r' <serial.log >console.log
[ -z "$loopback" ] || exec sh "$here/loopback_test.sh" console.log

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
holder=scale
[ -z "$pwm" ] || holder=pwm_gpio22
check "GPIO22 is held by $holder as an output" grep -Eq "^@@ line .*GPIO22.*$holder.* out " console.log
check "GPIO22 was seen high" grep -Eq "^@@ line .*$holder.* out hi" console.log
check "GPIO22 was seen low" grep -Eq "^@@ line .*$holder.* out lo" console.log
# Bit 22 of GPLEV0: 0x4 in the sixth hex digit from the right.
set_bit=': 0x[0-9a-f]*[4567cdef][0-9a-f]{5}$'
clear_bit=': 0x([0-9a-f]*[012389ab])?[0-9a-f]{5}$'
check "GPLEV0 bit 22 was seen set" grep -Eq "^playing .*$set_bit" levels.log
check "GPLEV0 bit 22 was seen clear" grep -Eq "^playing .*$clear_bit" levels.log
if [ "$arch" = arm64 ]; then
  # The firmware's expander names its lines, but has no GPIO22: no stray line is driven.
  check "a named chip without GPIO22 is refused" \
    grep -q '^@@ chip1 gpio: pin 3: no line named GPIO22 on /dev/gpiochip1' console.log
fi
if [ -z "$pwm" ]; then
  check "after the kill of its process group GPIO22 is let go" \
    sh -c "grep -q '^@@ after ' console.log && ! grep -q '^@@ after .*scale' console.log"
else
  check "the program reported nothing while it played" \
    sh -c "! sed -n '/^@@ start/,/^@@ killed/p' console.log | grep -q '^gpio: '"
  # The scale's periods in ns, 262 to 525 Hz.
  seen=$(grep -oE '^@@ pwm [0-9]+ 1$' console.log | cut -d' ' -f3 | sort -u |
         grep -cxE '3816794|3401361|3030303|2865330|2551020|2272727|2024291|1904762' || true)
  check "the PWM played at least three of the scale's periods (saw $seen)" [ "$seen" -ge 3 ]
  # A thread that timed a 262 Hz tone would sleep at least once an edge, 1048
  # times in 2 s; the program whose kernel PWM times it sleeps once a note
  # (4 times) and writes 4 lines. 100 is ten times under the one and far
  # above the other. (A thread added to sleep 1.9 ms at a time was counted
  # 385 times: the emulated Pi cannot wake it as often as asked.)
  switches=$(sed -n 's/^@@ switches \([0-9]*\)$/\1/p' console.log)
  check "the program's threads went to sleep at most 100 times in 2 s (${switches:-none})" \
    [ "${switches:-999}" -le 100 ]
  check "a second after SIGKILL of its process group the PWM it exported is gone" \
    grep -Eq '^@@ killed pwm gone$' console.log
  check "then GPIO22 stays low" sh -c "! grep -Eq '^@@ after .* out hi' console.log"
  check "and GPLEV0 bit 22 stays clear" sh -c "! grep -Eq '^killed .*$set_bit' levels.log"
  check "GPLEV0 was sampled after the kill" grep -q '^killed ' levels.log
  early=$(grep -cE '^@@ early [0-9]+ms gone out lo$' console.log || true)
  check "after each of 10 kills in the first 500 ms nothing is exported and GPIO22 is low ($early)" \
    [ "$early" -eq 10 ]
  first=$(sed -n 's/^@@ first \([0-9]*\)$/\1/p' console.log)
  check "a second program on the PWM is refused, naming the first (pid ${first:-none})" \
    grep -q "^@@ second gpio: .*in use by another program (pid ${first:-none})" console.log
  playing=$(grep -E '^@@ survivor on [0-9]+$' console.log | sort -u | wc -l)
  check "the first still plays once the second is killed ($playing periods)" [ "$playing" -ge 2 ]
  check "its watcher killed alone, another one watches" \
    grep -Eq '^@@ watchers before [0-9]+ after [0-9]+ $' console.log
  check "and the program says so" grep -q "^gpio: .*watcher process was killed; started another" console.log
  check "killed in turn, it leaves nothing exported and GPIO22 low" grep -q '^@@ end gone out lo$' console.log
fi
if [ $fail -ne 0 ]; then
  echo "--- console (last 60 lines)"
  tail -n 60 console.log
fi
exit $fail
