#!/usr/bin/env bash
# Runs every test: the portable parts natively (plain, with address and
# undefined-behaviour sanitizers, with the thread sanitizer), then the
# Windows build under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

for preset in native asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
  ctest --preset "$preset"
done

echo "== windows (under Wine)"
cmake --preset windows >/dev/null
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
