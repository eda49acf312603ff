#!/usr/bin/env bash
# Builds the project and starts a front end against the device simulator (tavosim) on a
# pseudo-terminal reached as COM1. The front end is the Tavotest application once it is built;
# until then ravlin-testcon (the command-line container for the Port control) when it exists,
# else the simulator alone, driven by its control words on standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default

link="${TMPDIR:-/tmp}/tavosim-$$"
sim_in="$(mktemp -u "${TMPDIR:-/tmp}/tavosim-in.XXXXXX")"
mkfifo "$sim_in"
cleanup() {
  [[ -n "${sim_pid:-}" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$sim_in" "$link"
}
trap cleanup EXIT

front_end=""
if [[ -x build/bin/tavotest ]]; then
  front_end=build/bin/tavotest
elif [[ -x build/bin/ravlin-testcon ]]; then
  front_end=build/bin/ravlin-testcon
fi

if [[ -z "$front_end" ]]; then
  echo "run.sh: no front end is built yet; starting the simulator alone." >&2
  echo "run.sh: it answers on $link; type insert, remove, power, state N, fault SPEC or quit." >&2
  rm -f "$sim_in"
  exec build/bin/tavosim --link "$link"
fi

# The simulator keeps running on its timers while the front end has the terminal.
build/bin/tavosim --link "$link" <"$sim_in" >/dev/null &
sim_pid=$!
exec 3>"$sim_in"  # holds the control input open for the simulator's lifetime
for _ in $(seq 50); do [[ -e "$link" ]] && break; sleep 0.1; done
echo "run.sh: simulator on $link (COM1); starting $front_end" >&2
RAVLIN_COM1="$link" "$front_end"
