#!/usr/bin/env bash
# Installs what is missing, builds and runs the test suite of one preset (default: "default").
#   scripts/test.sh [default|asan|tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/build.sh "$preset"
export QT_QPA_PLATFORM=offscreen
if [[ "$preset" == asan ]]; then
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
ctest --preset "$preset" --output-on-failure -j "$(nproc)"
