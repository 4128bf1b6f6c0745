#!/usr/bin/env bash
# Runs the whole test suite on this machine: installs what is missing (as root,
# through apt-get), then builds and tests the release and the sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ make python3
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  rapidjson-dev
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for preset in release sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

# --- fuzzing (replay of the committed corpus and a short bounded run)

# --- Windows build and its tests under Wine
