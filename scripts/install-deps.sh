#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing, without questions.
# Works as root, through sudo (asking for a password when it needs one and a terminal is there),
# and says what to install by hand where there is no apt. Packages given as arguments are wanted as well (scripts/fuzz.sh
# asks for clang and its fuzzer runtime this way).
#   scripts/install-deps.sh [PACKAGE ...]
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev fonts-ipafont-gothic
  libgtest-dev libgmock-dev libbenchmark-dev
  "$@"
)

# Without Debian's package tools nothing can be installed from here: say what is needed.
if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
  echo "install-deps: this system has no apt; install these by hand (or their equivalents):" >&2
  echo "  CMake 3.22+, Ninja, a C++20 compiler (g++ 11+), pkg-config, Qt 6 Widgets development" >&2
  echo "  files, GoogleTest and GoogleMock, Google Benchmark, a Japanese font (IPA Gothic)" >&2
  echo "  Debian names: ${packages[*]}" >&2
  # Carry on when the tools are there already; the build says what is still missing.
  command -v cmake >/dev/null 2>&1 && command -v ninja >/dev/null 2>&1 && exit 0
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo -n)
elif command -v sudo >/dev/null 2>&1 && [ -t 0 ]; then
  echo "install-deps: sudo will ask for your password to install: ${missing[*]}"
  as_root=(sudo)
else
  echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
  echo "  run: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
