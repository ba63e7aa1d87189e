#!/usr/bin/env bash
# Builds kestrel9 and all its tests and runs them. With --sanitize the build uses AddressSanitizer
# and UndefinedBehaviorSanitizer (in build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
dir=build
flags=(-DKESTREL9_WERROR=ON -DKESTREL9_BENCH=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  flags=(-DKESTREL9_WERROR=ON -DKESTREL9_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j 2
