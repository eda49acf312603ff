#!/usr/bin/env bash
# Installs what is missing, builds and runs the test suite of one preset (default: "default").
#   scripts/test.sh [default|asan|tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/build.sh "$preset"
export QT_QPA_PLATFORM=offscreen
ctest --preset "$preset" --output-on-failure -j "$(nproc)"
