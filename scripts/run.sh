#!/usr/bin/env bash
# Builds and starts the application against the built-in device simulator.
# The application and the simulator do not exist yet: for now this builds the project and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
echo "run.sh: the Tavotest application is not built yet; nothing to start." >&2
exit 1
