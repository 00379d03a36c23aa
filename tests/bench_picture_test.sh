#!/bin/sh
# The benchmark's picture whatever its file names hold: a --csv and --plot
# path with a quote, a semicolon and a space gets its PNG.
#   bench_picture_test.sh TONE_BENCH
set -u
command -v gnuplot >/dev/null || { echo "skipped: needs gnuplot (apt-get install gnuplot-nox)"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
name="$dir/it's; a test"
"$1" --seconds 0.3 --hz 262 --csv "$name.csv" --plot "$name.png" >"$dir/out" 2>&1
if grep -qxF "picture: $name.png" "$dir/out" && [ "$(head -c 4 "$name.png" | tail -c 3)" = PNG ]; then
  echo "ok: $name.png"
  exit 0
fi
echo "FAIL: no picture at $name.png"
cat "$dir/out"
exit 1
