#!/usr/bin/env bash
# The kestrel9 demo: builds everything, makes a three-minute demo recording, runs the detector
# over it in the drive root demo/root and compares the clips it saved with the recording's list
# of calls. Exits 1 when a clip is missing or unexpected.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

bash tools/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build

root=$repo/demo/root
rm -rf "$root"
mkdir -p "$root/My Recordings" "$root/temp/calls"
build/make_demo --dir "$root/My Recordings"
list="$root/My Recordings/Soundfile.calls.txt"

# The recording lasts 180 s; 2 s more let the last clip be saved. The end of the file alone
# would not end the run.
echo
echo "running: KESTREL9_ROOT=$root build/kestrel9 182"
started=$(date +%s.%N)
KESTREL9_ROOT=$root build/kestrel9 182
ended=$(date +%s.%N)
clips=$(find "$root/temp/calls" -maxdepth 1 -name 'Swisk_*.wav' -printf '%f\n' | sort)
count=$(printf '%s' "$clips" | grep -c . || true)
awk -v a="$started" -v b="$ended" -v n="$count" -v dir="$root/temp/calls" \
  'BEGIN { printf "done in %.1f s: %d clips in %s\n", b - a, n, dir }'

echo
echo "log lines ($root/temp/calls/LogSwisk.txt; one at the start of the run, which reads minus"
echo "infinity because the hour before it is empty, then one per hour of signal):"
sed 's/^/  /' "$root/temp/calls/LogSwisk.txt"

echo
echo "sounds of the recording ($list) and the clips they gave:"
printf '%s\n' "$clips" >"$root/.clips"
status=0
awk -F'\t' -v clipsFile="$root/.clips" '
  BEGIN {
    while ((getline name < clipsFile) > 0) {
      if (name == "") continue
      stamp = substr(name, 6, 10)
      queue[stamp] = queue[stamp] " " name
      left[name] = 1
    }
    printf "  %8s  %-20s  %-24s  %s\n", "onset s", "expected", "clip", "sound"
  }
  /^#/ { next }
  {
    clip = "-"
    if ($6 == "clip") {
      ++expected
      split(queue[$7], names, " ")
      if (names[1] != "") {
        clip = names[1]
        sub(" " clip, "", queue[$7])
        delete left[clip]
        ++found
      } else {
        clip = "MISSING"
        ++missing
      }
    }
    printf "  %8.3f  %-20s  %-24s  %s\n", $1, $6, clip, $8
  }
  END {
    for (name in left) {
      printf "  unexpected clip: %s\n", name
      ++unexpected
    }
    printf "\n%d of %d expected clips found, %d missing, %d unexpected\n",
      found, expected, missing, unexpected
    exit (missing + unexpected > 0) ? 1 : 0
  }
' "$list" || status=1
rm -f "$root/.clips"
echo "clips and log: $root/temp/calls"
exit $status
