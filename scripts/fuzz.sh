#!/usr/bin/env bash
# Builds the fuzz preset (the libFuzzer targets only) and runs one target or all of them.
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (default: all, 60 seconds each)
#
# Each target runs for SECONDS with its working corpus build-fuzz/corpus/<target>/ (new inputs go
# there) and its seed folder <folder>/fuzz_corpus/<target>/ (read, never written). Crashes, leaks
# and time-outs land in build-fuzz/artifacts/<target>/. Prints the runs each target did; the exit
# status is non-zero when any target found something (or a target is unknown).
#   FUZZ_JOBS=N  build with N jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."

which_target="${1:-all}"
seconds="${2:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [[ "$seconds" -eq 0 ]]; then
  echo "fuzz: SECONDS must be a positive whole number, not '$seconds'" >&2
  exit 2
fi

# Every target and its seed folder.
declare -A seeds=(
  [command_script_fuzz]=app/files/fuzz_corpus/command_script_fuzz
  [command_line_fuzz]=tools/testcon/fuzz_corpus/command_line_fuzz
  [registry_file_fuzz]=platform/com/fuzz_corpus/registry_file_fuzz
  [cp932_fuzz]=platform/text/fuzz_corpus/cp932_fuzz
  [profile_fuzz]=platform/profile/fuzz_corpus/profile_fuzz
  [registrar_fuzz]=platform/com/fuzz_corpus/registrar_fuzz
  [sim_protocol_fuzz]=sim/fuzz_corpus/sim_protocol_fuzz
  [receive_fuzz]=app/core/fuzz_corpus/receive_fuzz
  [invoke_fuzz]=control/fuzz_corpus/invoke_fuzz
  [port_state_fuzz]=control/fuzz_corpus/port_state_fuzz
)
# In the order they run.
targets_in_order=(
  command_script_fuzz
  command_line_fuzz
  registry_file_fuzz
  cp932_fuzz
  profile_fuzz
  registrar_fuzz
  sim_protocol_fuzz
  receive_fuzz
  invoke_fuzz
  port_state_fuzz
)

if [[ "$which_target" == all ]]; then
  run=("${targets_in_order[@]}")
elif [[ -n "${seeds[$which_target]:-}" ]]; then
  run=("$which_target")
else
  echo "fuzz: unknown target '$which_target'; targets: all ${targets_in_order[*]}" >&2
  exit 2
fi

bash scripts/install-deps.sh clang-14 libclang-rt-14-dev
cmake --preset fuzz -DCOBRIX_WERROR="${COBRIX_WERROR:-OFF}" \
  -DCOBRIX_LINE_TABLES="${COBRIX_LINE_TABLES:-OFF}" >/dev/null
cmake --build --preset fuzz --parallel "${FUZZ_JOBS:-$(nproc)}"

export QT_QPA_PLATFORM=offscreen
# Allocations a system library keeps for the life of the process are no finding (as in the asan
# preset's tests).
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
failed=()
for target in "${run[@]}"; do
  corpus="build-fuzz/corpus/$target"
  artifacts="build-fuzz/artifacts/$target"
  log="build-fuzz/artifacts/$target.log"
  mkdir -p "$corpus" "$artifacts"
  echo "fuzz: $target for ${seconds}s (seeds ${seeds[$target]})"
  status=0
  "build-fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "${seeds[$target]}" \
    >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
  if [[ "$status" -ne 0 ]]; then
    failed+=("$target")
    echo "fuzz: $target: FOUND A FAULT after ${runs:-?} runs (exit $status); log $log:" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|[a-z_]+: )' "$log" \
      | head -20 >&2 || true
  else
    echo "fuzz: $target: ${runs:-?} runs, nothing found"
  fi
done

if [[ ${#failed[@]} -ne 0 ]]; then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
