#!/bin/sh
# Judges the benchmark's loopback reader from the console of the emulated
# board that ran it (a -loopback board's boot_test.sh, which runs this): on
# a simulated line driven at 262 and 525 Hz it must read those frequencies;
# on a line with nothing on it, with nothing wired to the tone, or held by
# another consumer, or driven at another note's frequency, it must say so in
# one line.
#   loopback_test.sh CONSOLE_LOG
set -eu
log=$1
fail=0
check() { # description, command...
  what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
grep '^@@ \(loopback\|read\|wrong\|silent\|unwired\|held\|after loopback\)' "$log" || true
check "the loopback section ran" grep -q '^@@ loopback' "$log"
# The driver writes each edge at an absolute deadline on the clock that
# stamps it, so the mean frequency is off only by how late the first and the
# last edge of the 1-s span are: 5 cents (0.29 %) allows 1.4 ms at each end,
# six times the latest edge seen (216 us; the guest's clock counts its
# instructions, so a busy host cannot make it later). Jitter (p99 - p50
# lateness) within 1 ms tells the kernel's timestamps from times taken when
# the reader wakes, every 20 ms.
for hz in 262 525; do
  row=$(sed -n "s/^@@ read $hz //p" "$log")
  check "the $hz Hz signal read at $hz Hz within 5 cents, jitter within 1 ms (read '$row')" \
    sh -c "echo '$row' | awk '\$1 == $hz && \$3 >= -5 && \$3 <= 5 && \$8 <= 1000 { ok = 1 } END { exit !ok }'"
done
check "525 Hz when 262 Hz was asked: said in one line" \
  grep -q '^@@ wrong edges on LOOP_IN at 52[45]\.[0-9] Hz, not 262 Hz; ' "$log"
check "a line with nothing on it: said in one line" \
  grep -q '^@@ silent no edge on LOOP_IN within a second; ' "$log"
check "nothing wired to the tone pin: said in one line" \
  grep -q '^@@ unwired no edge on LOOP_IN within a second of playing 262 Hz on GPIO22 (header pin 15); is pin 15 wired to LOOP_IN?' "$log"
check "a line another holds: said in one line, naming the holder" \
  grep -q '^@@ held .*(LOOP_HELD): line busy, held by "other-driver"' "$log"
check "the benchmark leaves the kernel PWM unexported and GPIO22 low" \
  grep -q '^@@ after loopback gone out lo$' "$log"
exit $fail
