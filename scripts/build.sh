#!/usr/bin/env bash
# Installs what is missing, configures and builds one preset (default: "default").
#   scripts/build.sh [default|asan|tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/install-deps.sh
cmake --preset "$preset" -DCOBRIX_WERROR="${COBRIX_WERROR:-OFF}" \
  -DCOBRIX_LINE_TABLES="${COBRIX_LINE_TABLES:-OFF}" >/dev/null
cmake --build --preset "$preset"
