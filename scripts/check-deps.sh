#!/usr/bin/env bash
# Checks that dependencies point down only: every #include "..." of a source file names a header
# of its own folder or of a lower layer. Prints each offending line and exits 1 when there is any.
#
#   bash scripts/check-deps.sh
#
# Layers, lowest first (a folder may include its own headers and those of lower layers only;
# folders on the same layer do not include each other):
#   0  platform/wintypes.h platform/winerror.h
#   1  platform/text platform/fileio platform/kernel
#   2  platform/profile platform/com
#   3  platform/comm platform/host
#   4  serial sim
#   5  control
#   6  app tools
#   7  tests bench
# Besides: sim includes nothing above platform/text and platform/fileio (the simulator stands in
# for the device, not for the system), and app never includes control (the application reaches
# the control by CLSID and DISPID only). Unit tests (*_test.cpp, *_fuzz.cpp) follow their folder.
set -uo pipefail
cd "$(dirname "$0")/.."

# The layer unit of a path: platform/<part> for platform, else the top folder.
unit_of() {
  local path=$1
  case "$path" in
    platform/wintypes.h | platform/winerror.h) echo "platform/base" ;;
    platform/*/*) echo "platform/$(cut -d/ -f2 <<<"$path")" ;;
    */*) cut -d/ -f1 <<<"$path" ;;
    *) echo "" ;;
  esac
}

layer_of() {
  case "$1" in
    platform/base) echo 0 ;;
    platform/text | platform/fileio | platform/kernel) echo 1 ;;
    platform/profile | platform/com) echo 2 ;;
    platform/comm | platform/host) echo 3 ;;
    serial | sim) echo 4 ;;
    control) echo 5 ;;
    app | tools) echo 6 ;;
    tests | bench) echo 7 ;;
    *) echo "" ;;
  esac
}

bad=0
report() {
  echo "check-deps: $1: $2" >&2
  bad=1
}

while IFS= read -r -d '' file; do
  file=${file#./}
  from=$(unit_of "$file")
  from_layer=$(layer_of "$from")
  [[ -z "$from_layer" ]] && continue
  while IFS= read -r line; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
    to=$(unit_of "$header")
    [[ -z "$to" || "$to" == "$from" ]] && continue
    to_layer=$(layer_of "$to")
    if [[ -z "$to_layer" ]]; then
      report "$file" "includes \"$header\", which belongs to no layer"
    elif ((to_layer >= from_layer)); then
      report "$file" "includes \"$header\" ($to is not below $from)"
    elif [[ "$from" == sim && "$to" != platform/text && "$to" != platform/fileio &&
      "$to" != platform/base ]]; then
      report "$file" "includes \"$header\" (the simulator uses platform/text and platform/fileio only)"
    elif [[ "$from" == app && "$to" == control ]]; then
      report "$file" "includes \"$header\" (the application reaches the control by DISPID only)"
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
done < <(find platform serial sim control app tools tests bench -type f \
  \( -name '*.cpp' -o -name '*.h' \) -print0)

if ((bad)); then
  echo "check-deps: includes that point up or sideways (see above)" >&2
  exit 1
fi
echo "check-deps: every include points down"
