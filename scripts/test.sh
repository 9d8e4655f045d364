#!/usr/bin/env bash
# Runs every test: the portable parts natively (plain, with address and
# undefined-behaviour sanitizers, with the thread sanitizer), the fuzz
# targets briefly, then the Windows build under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# Each build compiles its folders as a few large units: the headers (the
# test framework's, Asio's) are read once a unit rather than once a file.
unity=(-DCMAKE_UNITY_BUILD=ON)

for preset in native asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" "${unity[@]}" >/dev/null
  cmake --build --preset "$preset" >/dev/null
  ctest --preset "$preset"
done

echo "== fuzz (libFuzzer, 20 s a target)"
cmake --preset fuzz "${unity[@]}" >/dev/null
cmake --build --preset fuzz >/dev/null
for target in fuzz_number_text fuzz_ipv4_text; do
  log=build/fuzz/$target.log
  if build/fuzz/tests/fuzz/$target -max_total_time=20 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/$target-" >"$log" 2>&1; then
    echo "$target: $(grep -m1 '^Done' "$log")"
  else
    tail -n 30 "$log"
    echo "$target: FAILED; the input is in build/fuzz/"
    exit 1
  fi
done

echo "== windows (under Wine)"
cmake --preset windows "${unity[@]}" >/dev/null
cmake --build --preset windows >/dev/null
bash scripts/wine-prefix.sh build/windows/wineprefix
# One display and one persistent Wine server for the whole run (each test
# program then starts in a fraction of a second); the server is ended before
# the display goes away.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 || true
  status=0
  ctest --preset windows || status=$?
  wineserver -k 2>/dev/null || true
  exit $status'
