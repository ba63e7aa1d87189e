#!/usr/bin/env bash
# The one-hour benchmark: makes the deterministic one-hour demo recording (make_demo --hour: the
# three-minute scene with its calls, repeated), runs the built kestrel9 over it with a final time
# of one hour in a fresh temporary drive root, and prints for each run and for the median of the
# runs: wall time, frames per second, real-time factor and peak resident memory.
#
# Usage: bench/hour_bench.sh [--build DIR] [--runs N] [--compare]
#   --build DIR  the build folder with kestrel9 and make_demo (default: build)
#   --runs N     runs to time (default: 5)
#   --compare    also run kestrel9_literal (the straightforward build) once and check that both
#                saved the same clips, byte for byte, and logged the same values
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
runs=5
compare=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --compare) compare=1; shift ;;
    *) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
for tool in "$build/kestrel9" "$build/make_demo"; do
  [ -x "$tool" ] || { echo "hour_bench: $tool is missing; build first" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "hour_bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/k9hour.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/recording"
"$build/make_demo" --dir "$work/recording" --hour >/dev/null
recording="$work/recording/Soundfile.wav"

finaltime=3600
# Steps at t = k x P for every k with t < 3600 (by the loop's epsilon test), then the final one.
period=0.3715192743764172
steps=$(awk -v p=$period -v T=$finaltime 'BEGIN { k = 0; while (T - k * p > k * p * 2.220446049250313e-16) k++; print k + 1 }')
signal=$(awk -v p=$period -v n="$steps" 'BEGIN { printf "%.3f", n * p }')

# Runs `binary` in a fresh drive root whose calls folder ends up in $2; prints "wall maxrssKB".
run_once() {
  local binary=$1 calls=$2 root
  root=$(mktemp -d "$work/root.XXXXXX")
  mkdir -p "$root/My Recordings" "$root/temp/calls"
  ln -s "$recording" "$root/My Recordings/Soundfile.wav"
  /usr/bin/time -f "%e %M" -o "$root/time.txt" env KESTREL9_ROOT="$root" "$binary" "$finaltime"
  rm -rf "$calls"
  mv "$root/temp/calls" "$calls"
  cat "$root/time.txt"
  rm -rf "$root"
}

report() {
  awk -v n="$steps" -v s="$signal" -v label="$1" -v wall="$2" -v kb="$3" 'BEGIN {
    printf "%-8s %7.3f s wall  %8.0f frames/s  real-time factor %6.0f  peak RSS %5.1f MB\n",
           label, wall, n / wall, s / wall, kb / 1024 }'
}

echo "kestrel9 over one hour of recording: $steps steps of 8192 samples ($signal s of signal)"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
walls=()
peak=0
for i in $(seq "$runs"); do
  read -r wall kb < <(run_once "$build/kestrel9" "$work/calls")
  report "run $i" "$wall" "$kb"
  walls+=("$wall")
  [ "$kb" -gt "$peak" ] && peak=$kb
done
median=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
report "median" "$median" "$peak"
clips=$(find "$work/calls" -name 'Swisk_*' | wc -l)
echo "clips saved: $clips; log lines: $(wc -l < "$work/calls/LogSwisk.txt")"

if [ "$compare" = 1 ]; then
  [ -x "$build/kestrel9_literal" ] || { echo "hour_bench: $build/kestrel9_literal is missing" >&2; exit 2; }
  read -r wall kb < <(run_once "$build/kestrel9_literal" "$work/literal")
  report "literal" "$wall" "$kb"
  # The clips byte for byte; the log lines by their value (the rest is the calendar time).
  if diff -r -x LogSwisk.txt "$work/calls" "$work/literal" >/dev/null &&
     diff <(awk '{ print $NF }' "$work/calls/LogSwisk.txt") \
          <(awk '{ print $NF }' "$work/literal/LogSwisk.txt") >/dev/null; then
    echo "same clips and logged values as the straightforward build"
  else
    echo "hour_bench: the clips or logged values differ from the straightforward build" >&2
    exit 1
  fi
fi
