#!/usr/bin/env bash
# Runs kestrel9 over many recordings at once, in parallel with GNU parallel.
#
# kestrel9 always reads c:\My Recordings\Soundfile.wav and writes to c:\temp\calls, so every
# recording gets a drive root of its own: OUTDIR/<recording name>/ holds
# "My Recordings/Soundfile.wav" (a link to the recording) and "temp/calls" (its clips and its
# log). Each run's final time is the recording's length plus 2 to 3 s (whole seconds), so that
# the last clip is saved; what the program prints goes to OUTDIR/<recording name>/kestrel9.out.
#
# Usage: tools/batch.sh [-j JOBS] [-b KESTREL9] OUTDIR RECORDING.wav...
# Recordings must be 22,050 Hz mono PCM (see the README for converting others with sox).
# Exits 0 when every run ended with status 0.
set -euo pipefail

usage() {
  echo "usage: $0 [-j JOBS] [-b KESTREL9] OUTDIR RECORDING.wav..." >&2
  exit 2
}

# Length in seconds of the sample data of a wave file, from its "fmt " and "data" chunks.
wave_seconds() {
  local file=$1 size offset=12 id length byteRate=0
  size=$(stat -c %s "$file")
  while [ $((offset + 8)) -le "$size" ]; do
    id=$(dd if="$file" bs=1 skip="$offset" count=4 2>/dev/null)
    length=$(od -An -tu4 -j $((offset + 4)) -N4 "$file" | tr -d ' ')
    if [ "$id" = "fmt " ]; then
      byteRate=$(od -An -tu4 -j $((offset + 16)) -N4 "$file" | tr -d ' ')
    elif [ "$id" = "data" ] && [ "$byteRate" -gt 0 ]; then
      awk -v n="$length" -v r="$byteRate" 'BEGIN { printf "%.3f\n", n / r }'
      return 0
    fi
    offset=$((offset + 8 + length + length % 2))
  done
  return 1
}

# One recording in its own drive root (called by parallel).
run_one() {
  local binary=$1 outdir=$2 recording=$3 name root seconds final status
  name=$(basename "$recording")
  name=${name%.*}
  root=$outdir/$name
  if ! seconds=$(wave_seconds "$recording"); then
    echo "$name: not a wave file: $recording"
    return 1
  fi
  rm -rf "$root"
  mkdir -p "$root/My Recordings" "$root/temp/calls"
  ln -s "$(realpath "$recording")" "$root/My Recordings/Soundfile.wav"
  final=$(awk -v s="$seconds" 'BEGIN { printf "%d\n", s + 3 }')
  status=0
  KESTREL9_ROOT=$root "$binary" "$final" >"$root/kestrel9.out" 2>&1 || status=$?
  local clips
  clips=$(find "$root/temp/calls" -maxdepth 1 -name 'Swisk_*' | wc -l)
  echo "$name: status $status, $clips clips in $root/temp/calls ($seconds s of sound)"
  return "$status"
}

if [ "${1:-}" = "--one" ]; then
  shift
  run_one "$@"
  exit $?
fi

jobs=$(nproc)
binary=$(dirname "$0")/../build/kestrel9
while getopts "j:b:" option; do
  case $option in
    j) jobs=$OPTARG ;;
    b) binary=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 2 ] || usage
outdir=$1
shift
binary=$(realpath "$binary")
[ -x "$binary" ] || { echo "$0: no kestrel9 program at $binary" >&2; exit 2; }
mkdir -p "$outdir"
outdir=$(realpath "$outdir")

# Recordings with the same name would share a drive root.
duplicates=$(for r in "$@"; do b=$(basename "$r"); echo "${b%.*}"; done | sort | uniq -d)
if [ -n "$duplicates" ]; then
  echo "$0: recordings with the same name: $duplicates" >&2
  exit 2
fi

script=$(realpath "$0")
# -q quotes every word, so that folders with blanks survive the shell that parallel runs.
parallel --will-cite -q -j "$jobs" --keep-order bash "$script" --one "$binary" "$outdir" {} ::: "$@"
