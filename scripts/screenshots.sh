#!/usr/bin/env bash
# Takes the README's pictures of the Tavotest windows, offscreen, after a few exchanges with the
# device simulator: docs/form1-ja.png, docs/form1-en.png, the tests page (English), docs/formcom.png,
# docs/formeep.png, docs/formfile.png, docs/formbmp.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default

work="$(mktemp -d "${TMPDIR:-/tmp}/tavotest-shots.XXXXXX")"
cleanup() {
  [[ -n "${sim_pid:-}" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
build/bin/tavosim --link "$work/com1" --speed 0 --insert-ms 0 </dev/null >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [[ -e "$work/com1" ]] && break; sleep 0.1; done
export RAVLIN_COM1="$work/com1" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen
docs="$PWD/docs"

for lang in ja en; do
  mkdir -p "$work/$lang"
  cat >"$work/$lang/shot.txt" <<SCRIPT
set Text5 PA
press cmdKaishi
set Text5 VS
press cmdKaishi
set Text5 MS:F1X0Y0N0K0
press cmdKaishi
set Text5 PD:0/4/0/esc\$e22TEST lf\$テスト
press cmdKaishi
set Text5 CT:0
press cmdKaishi
wait 100
check "Auto Poll" off
set Text5 VS
press cmdKaishi
check "Auto Poll" on
press Command2(8)
snapshot $docs/form1-$lang.png
SCRIPT
  if [[ $lang == en ]]; then
    printf '%s\n' 'set Text2 6' 'press Command47' "snapshot $docs/form1-tests-en.png" \
      >>"$work/$lang/shot.txt"
  fi
  if [[ $lang == ja ]]; then
    printf '%s\n' 'menu "Comm Setting"' "snapshot $docs/formcom.png" 'press Command22' \
      'window Form1' 'answer 48213' 'menu EEPcontrol' 'window FormEEP' 'press Command9' \
      "snapshot $docs/formeep.png" 'press Command6' 'window Form1' 'menu "File access"' \
      'window FormFile' 'set Text2 "COMANDPA\r\nCOMANDCI\r\nwait\r\n0.2\r\nLoop\r\n2\r\n2\r\nEND\r\n"' \
      'press Command4' 'press Command3' "snapshot $docs/formfile.png" 'window Form1' \
      'menu "BMP data download"' 'window FormBMP' 'check Check2 off' \
      "set Text6 $PWD/build/bin/ImagePic/BMPDownTest.bmp" 'press Command3' \
      "snapshot $docs/formbmp.png" >>"$work/$lang/shot.txt"
  fi
  build/bin/tavotest --ui-script "$work/$lang/shot.txt" --lang "$lang" --home "$work/$lang" >/dev/null
done
ls -l docs/*.png
