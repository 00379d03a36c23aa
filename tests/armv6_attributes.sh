#!/bin/sh
# The program must run on the Pi Zero's and Pi 1's ARM1176: ARMv6 with
# VFPv2 and nothing newer, Thumb-2 above all (ARMv7's glibc start-up code
# is Thumb-2 and dies there with SIGILL on its first instruction).
#   armv6_attributes.sh PROGRAM
set -eu
attributes=$(readelf -A "$1")
fail=0
expect() { # description, pattern
  if printf '%s\n' "$attributes" | grep -Eq "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
expect "built for ARMv6" '^ *Tag_CPU_arch: v6$'
expect "no Thumb-2 code" '^ *Tag_THUMB_ISA_use: Thumb-1$|^ *Tag_THUMB_ISA_use: No$'
expect "VFPv2 floating point" '^ *Tag_FP_arch: VFPv2$'
[ $fail -eq 0 ] || printf '%s\n' "$attributes"
exit $fail
