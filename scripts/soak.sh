#!/usr/bin/env bash
# Soak of the whole bench: Tavotest headless (a looping command file, --run --reconnect) against
# the simulator with faults on the line (NAKs, bad check bytes, silence, garbage, busy answers),
# and the simulator unplugged (its pty's master closed) and plugged in again (a new simulator on
# the same link) every few hundred exchanges.
#
#   scripts/soak.sh [EXCHANGES]      default 10000; CI runs 300
#
# Environment: SOAK_UNPLUG_EVERY (exchanges between unplugs, default 250), SOAK_FAULTS (the
# simulator's --fault spec), SOAK_HANG_SECONDS (no new exchange for this long is a hang, default
# 30), SOAK_KEEP=1 keeps the work folder (transcript, simulator output), SOAK_BIN=DIR runs the
# programs found in DIR instead of building (a copy of build/bin, so that building goes on while
# a long soak runs).
#
# Prints the exchanges done, give-ups, reconnections, unplugs, hangs, and Tavotest's resident
# memory and open descriptors after the warm-up and at the end. Exits non-zero on a hang, a crash
# (of Tavotest or the simulator), a run that ended early, or growth of memory or descriptors
# above 10 %.
set -euo pipefail
cd "$(dirname "$0")/.."

exchanges="${1:-10000}"
if ! [[ "$exchanges" =~ ^[0-9]+$ ]] || ((exchanges < 20)); then
  echo "soak.sh: EXCHANGES must be a number of at least 20" >&2
  exit 2
fi
unplug_every="${SOAK_UNPLUG_EVERY:-250}"
faults="${SOAK_FAULTS:-nak=0.05,bcc=0.05,silence=0.02,garbage=0.05,busy=0.05}"
hang_seconds="${SOAK_HANG_SECONDS:-30}"

bin="${SOAK_BIN:-build/bin}"
[[ -z "${SOAK_BIN:-}" ]] && bash scripts/build.sh default >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/tavotest-soak.XXXXXX")"
link="$work/com1"
transcript="$work/transcript.txt"
sim_pid=""
app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  stop_sim
  if [[ "${SOAK_KEEP:-0}" == 1 ]]; then echo "soak.sh: work folder kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

sims=0
# A simulator on the link; its seed differs each time so that the faults do too. It reads its
# control words from a FIFO held open here, so that it never sees the end of its input.
start_sim() {
  sims=$((sims + 1))
  rm -f "$work/sim-in"
  mkfifo "$work/sim-in"
  "$bin/tavosim" --link "$link" --baud 0 --speed 0 --insert-ms 0 --remove-ms 0 \
    --fault "$faults" --seed "$sims" <"$work/sim-in" >>"$work/sim.out" 2>>"$work/sim.err" &
  sim_pid=$!
  exec 3>"$work/sim-in"
  for _ in $(seq 100); do
    [[ -L "$link" ]] && [[ -e "$link" ]] && return 0
    sleep 0.05
  done
  echo "soak.sh: the simulator did not make $link" >&2
  exit 1
}
# Unplugged: the simulator ends and its pty's master closes. A simulator that is already gone
# crashed.
stop_sim() {
  [[ -z "$sim_pid" ]] && return 0
  local status=0
  if kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  else
    wait "$sim_pid" 2>/dev/null || status=$?
    echo "soak.sh: the simulator ended by itself (status $status)" >&2
    sim_crashed=1
  fi
  exec 3>&-
  sim_pid=""
}

# The command file: a poll and the power-up acknowledge, then four commands a pass that any
# simulator state answers (a freshly plugged one answers all but PA with status 10 until PA).
passes=$(((exchanges - 1 + 3) / 4))
file="$work/soak.dat"
printf '%s\r\n' "POLL**" "PowAckPA" "Cycle>PA" "Cycle>VS" "Cycle>MR" "Cycle>RC" \
  "Loop" "3" "$passes" "END" >"$file"
mkdir -p "$work/home"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }
fds() { { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null || true; } | wc -l; }
count() { grep -c -- "$1" "$transcript" 2>/dev/null || true; }

sim_crashed=0
start_sim
export RAVLIN_COM1="$link"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"
"$bin/tavotest" --run "$file" --reconnect 60 --lang en --home "$work/home" \
  >"$transcript" 2>"$work/tavotest.err" &
app_pid=$!

echo "soak.sh: $exchanges exchanges, faults $faults, an unplug every $unplug_every" >&2
start_time=$SECONDS
last_done=0
last_progress=$SECONDS
next_unplug=$unplug_every
warm=$((exchanges / 10 > 50 ? exchanges / 10 : 50))
rss_start=0 fds_start=0 rss_end=0 fds_end=0
looks=()
unplugs=0
hung=0
while kill -0 "$app_pid" 2>/dev/null; do
  sleep 0.5
  done_now=$(count '^=> ')
  if ((done_now != last_done)); then
    last_done=$done_now
    last_progress=$SECONDS
  elif ((SECONDS - last_progress >= hang_seconds)); then
    hung=1
    echo "soak.sh: no exchange for $hang_seconds s after $done_now; last lines:" >&2
    tail -n 5 "$transcript" >&2
    break
  fi
  # Figures: after the warm-up, and the last ones seen while the run was still going. The
  # descriptors come and go by one or two (a reconnection under way): the start is the most of
  # the first ten looks, the end the fewest of the last ten, so that only a lasting rise counts.
  if ((rss_start == 0 && done_now >= warm)); then rss_start=$(rss_kb "$app_pid"); fi
  if ((rss_start > 0)); then
    r=$(rss_kb "$app_pid") f=$(fds "$app_pid")
    if ((r > 0)); then
      rss_end=$r
      looks+=("$f")
      if ((${#looks[@]} <= 10 && f > fds_start)); then fds_start=$f; fi
    fi
  fi
  if ((done_now >= next_unplug && done_now < exchanges - 20)); then
    stop_sim
    unplugs=$((unplugs + 1))
    start_sim
    next_unplug=$((done_now + unplug_every))
  fi
  if [[ -n "$sim_pid" ]] && ! kill -0 "$sim_pid" 2>/dev/null; then stop_sim; start_sim; fi
done

status=0
if ((hung)); then
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  status=1
else
  wait "$app_pid" || status=$?
  app_pid=""
fi
elapsed=$((SECONDS - start_time))
for f in "${looks[@]: -10}"; do
  if ((fds_end == 0 || f < fds_end)); then fds_end=$f; fi
done
done_now=$(count '^=> ')
give_ups=$(count '^message: No response')
reconnects=$(count '^reconnected$')
growth() { # percent, start end
  (($1 > 0)) && echo $((($2 - $1) * 100 / $1)) || echo 0
}
rss_growth=$(growth "$rss_start" "$rss_end")
fds_growth=$(growth "$fds_start" "$fds_end")

echo "exchanges done:   $done_now of $exchanges in ${elapsed} s"
echo "give-ups:         $give_ups"
echo "reconnections:    $reconnects"
echo "unplugs:          $unplugs"
echo "hangs:            $hung"
echo "messages:         $(grep '^message:' "$transcript" | sort | uniq -c | sort -rn |
  awk '{$1=$1; print}' | paste -sd ';' - || true)"
echo "RSS (KiB):        $rss_start after warm-up, $rss_end at the end (${rss_growth} %)"
echo "descriptors:      $fds_start after warm-up, $fds_end at the end (${fds_growth} %)"
echo "tavotest status:  $status"

failed=0
if ((hung)); then echo "soak.sh: FAIL: a hang" >&2; failed=1; fi
if ((status >= 128)); then echo "soak.sh: FAIL: tavotest crashed (status $status)" >&2; failed=1
elif ((status != 0)); then echo "soak.sh: FAIL: the run ended with status $status" >&2; failed=1; fi
if ((done_now < exchanges)); then echo "soak.sh: FAIL: only $done_now exchanges" >&2; failed=1; fi
stop_sim
if ((sim_crashed)); then echo "soak.sh: FAIL: the simulator crashed" >&2; failed=1; fi
if ((rss_start == 0)); then echo "soak.sh: FAIL: no figures (the run was too short)" >&2; failed=1; fi
if ((rss_growth > 10 || fds_growth > 10)); then
  echo "soak.sh: FAIL: growth above 10 %" >&2
  failed=1
fi
if [[ -s "$work/tavotest.err" ]]; then
  echo "soak.sh: tavotest's standard error:" >&2
  tail -n 20 "$work/tavotest.err" >&2
fi
exit $failed
