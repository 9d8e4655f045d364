#!/usr/bin/env bash
# Builds Dulvet.exe and opens it: natively on Windows is the real thing;
# here it runs under Wine on this machine's display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target Dulvet >/dev/null
exe="$PWD/build/windows/app/Dulvet.exe"
echo "Built $exe"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
There is no display to open the window on (DISPLAY is not set).
  - On a desktop session, run this command from a terminal inside it.
  - Over ssh, connect with X forwarding: ssh -X host, then run it again.
  - Without any screen, run it on a virtual one:  xvfb-run -a bash scripts/run.sh
  - Or copy $exe to a Windows machine and run it there.
MSG
  exit 1
fi

bash scripts/wine-prefix.sh build/windows/wineprefix
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
echo "Opening Dulvet (close its window to end it)..."
exec wine "$exe"
