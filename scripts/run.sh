#!/usr/bin/env bash
# Builds the project (installing what is missing) and starts Tavotest against the device
# simulator (tavosim) on a pseudo-terminal reached as COM1.
#
# With a display, the Tavotest window opens; close it (or "Quit") to end. Without one, the sample
# command file (a card cycle: poll, power-up acknowledge, card in, print, card out, three passes)
# runs headless against the simulator and its transcript is printed; then the sample picture is
# downloaded in fast block mode and printed on a card.
#   scripts/run.sh            window, or the headless sample when there is no display
#   scripts/run.sh --headless the headless sample in any case
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default

work="$(mktemp -d "${TMPDIR:-/tmp}/tavotest-run.XXXXXX")"
link="$work/com1"
sim_in="$work/sim-in"
mkfifo "$sim_in"
cleanup() {
  [[ -n "${sim_pid:-}" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

headless=0
if [[ "${1:-}" == "--headless" ]] ||
   [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  headless=1
fi

# The simulator keeps running on its timers (cards are inserted and taken by themselves); its
# control input stays open for its lifetime.
build/bin/tavosim --link "$link" --insert-ms 300 --remove-ms 300 --print-dir "$work/prints" \
  <"$sim_in" >/dev/null &
sim_pid=$!
exec 3>"$sim_in"
for _ in $(seq 50); do [[ -e "$link" ]] && break; sleep 0.1; done
export RAVLIN_COM1="$link"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"

if [[ $headless -eq 0 ]]; then
  echo "run.sh: simulator on $link (COM1); starting Tavotest" >&2
  build/bin/tavotest
fi

# The sample command file, in the ANSI code page (Shift-JIS) with CR LF line ends: line 1 is a
# comment (" サンプル"), lines 4 to 10 run three times.
sample="$work/Sample.dat"
printf "' \x83\x54\x83\x93\x83\x76\x83\x8b\r\n" >"$sample"
printf '%s\r\n' "POLL**" "PowAckPA" "COMANDCL" "COMANDCI" "Print>PC" \
  'Print>PD:0/10/50/esc$e22VX-T8820LClf$esc$e11Sample Print' "COMANDPO" "wait" "1" \
  "Loop" "4" "3" "END" >>"$sample"
echo "run.sh: no display; running the sample command file against the simulator on $link" >&2
mkdir -p "$work/home"
status=0
build/bin/tavotest --run "$sample" --home "$work/home" || status=$?
echo "run.sh: downloading the sample picture (115 blocks) and printing it on a card" >&2
build/bin/tavotest --download build/bin/ImagePic/BMPDownTest.bmp --mode ib --home "$work/home" \
  >"$work/download.txt" || status=$?
tail -n 1 "$work/download.txt"
echo "run.sh: tavotest ended with status $status; the simulator printed $(ls "$work/prints" 2>/dev/null | grep -c png || true) card(s)" >&2
exit $status
