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

# --- fuzzing (replay of the committed corpus and a short bounded run per target)
echo "== fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target reader_fuzzer capture_fuzzer
fuzz_seeds=()
json_suite=../shared/testdata/json-test-suite/test_parsing
if [[ -d $json_suite ]]; then
  fuzz_seeds+=("$json_suite")
else
  echo "JSON conformance suite not found at $json_suite: fuzzing from our own corpus only"
fi
mkdir -p build/fuzz/artifacts
for target in reader capture; do
  fuzzer=build/fuzz/fuzz/${target}_fuzzer
  # Replay: every committed input once, each a past finding or a seed.
  "$fuzzer" fuzz/corpus/$target/*
  # A bounded run on a scratch copy, so the committed corpus stays as it is;
  # crash inputs are kept under build/fuzz/artifacts/.
  fuzz_work=$(mktemp -d)
  cp fuzz/corpus/$target/* "$fuzz_work"/
  fuzz_status=0
  "$fuzzer" -dict=fuzz/json.dict -max_total_time=60 -timeout=10 \
    -artifact_prefix=build/fuzz/artifacts/$target- "$fuzz_work" "${fuzz_seeds[@]}" || fuzz_status=$?
  rm -rf "$fuzz_work"
  if ((fuzz_status != 0)); then
    echo "$target fuzzer failed; the input is in build/fuzz/artifacts/" >&2
    exit 1
  fi
done

# --- Windows build and its tests under Wine
echo "== windows"
windows_packages=(g++-mingw-w64-x86-64-posix wine64)
windows_missing=()
for package in "${windows_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    windows_missing+=("$package")
done
if ((${#windows_missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${windows_missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${windows_missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${windows_missing[@]}"
fi
cmake --preset windows >/dev/null
cmake --build --preset windows
(cd build/windows && cpack >/dev/null)

# Debian's wine64 package keeps its loader off the PATH.
wine_loader=$(dpkg -L wine64 | grep -m1 '/wine64$')
wine_server=$(dirname "$wine_loader")/wineserver
# A private prefix in the build tree, made once; no add-on installers.
export WINEPREFIX="$PWD/build/windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "creating the wine prefix"
  "$wine_loader" wineboot --init >/dev/null 2>&1
fi
"$wine_server" -w
# One server for the whole stage: a run then starts in a fraction of a second.
"$wine_server" -p
trap '"$wine_server" -k 2>/dev/null || true' EXIT
# Without a preloader the loader's heap starts at a random place just below
# the addresses every Windows process needs, and about one start in several
# thousand fails ("failed to map the shared user data", status 1). Starting
# the loader with a fixed layout keeps its heap clear of them.
wine_wrapper=$wine_loader
if setarch "$(uname -m)" -R true 2>/dev/null; then
  wine_wrapper="setarch $(uname -m) -R $wine_loader"
fi
# The end-to-end suite of the native program, then the Windows-only cases,
# against the .exe; context directories are passed as Z:\... paths.
windows_e2e=(
  OBRELIX_E2E_PROGRAM="$PWD/build/windows/obrelix-statusline.exe"
  OBRELIX_E2E_WRAPPER="$wine_wrapper"
  OBRELIX_E2E_PATH_STYLE=windows
)
env "${windows_e2e[@]}" build/release/tests/e2e_tests --gtest_brief=1
env "${windows_e2e[@]}" build/release/tests/windows_e2e_tests --gtest_brief=1
env "${windows_e2e[@]}" build/release/tests/hostile_input_tests --gtest_brief=1
# Overlapping runs: fewer of them under the loader; a publication Wine
# refuses is counted, a torn read still fails.
env "${windows_e2e[@]}" build/release/tests/overlap_tests --gtest_brief=1
