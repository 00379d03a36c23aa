#!/bin/sh
# The benchmark's options: --help prints them and ends; a wrong option or
# value is one line on standard error and status 2, before anything runs.
#   bench_options_test.sh TONE_BENCH
set -u
bench=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail=0
# The benchmark itself runs for minutes: 10 s is only there to end it.
expect() { # status, args...
  want=$1; shift
  timeout 10 "$bench" "$@" >"$out/stdout" 2>"$out/stderr"
  got=$?
  lines=$(wc -l <"$out/stderr")
  if [ $want -eq 0 ]; then
    ok=$([ $got -eq 0 ] && [ "$lines" -eq 0 ] && grep -q -- '--loopback LINE' "$out/stdout" && echo yes)
  else
    ok=$([ $got -eq $want ] && [ "$lines" -eq 1 ] && [ ! -s "$out/stdout" ] && echo yes)
  fi
  if [ "$ok" = yes ]; then echo "ok: $* -> $got"; else
    echo "FAIL: $* -> status $got (want $want), $lines lines on stderr:"; cat "$out/stderr"; fail=1
  fi
}
expect 0 --help
expect 0 --seconds 1 --help
expect 2 --bogus 1
expect 2 --seconds abc
expect 2 --seconds 1x
expect 2 --hz 0
expect 2 --hz 262.5
expect 2 --hz
expect 2 --listen
exit $fail
