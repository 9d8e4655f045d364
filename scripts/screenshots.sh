#!/usr/bin/env bash
# Photographs Dulvet under Wine on a virtual display for the README:
# docs/dulvet-dialog.png (a relay at work) and docs/dulvet-about.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
command -v import >/dev/null || { echo "needs ImageMagick's import (apt-get install imagemagick)"; exit 1; }
cmake --preset windows >/dev/null
cmake --build --preset windows --target app_tests >/dev/null
bash scripts/wine-prefix.sh build/windows/wineprefix
mkdir -p docs

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
  wineserver -p
  shoot() {  # scene, picture
    wine build/windows/tests/app/app_tests.exe --gtest_also_run_disabled_tests \
      --gtest_filter="Showcase.DISABLED_$1" >/dev/null & scene=$!
    sleep 5
    # The dialogs open in the middle of the 1024x768 desktop.
    import -window root "$2.full.png"
    convert "$2.full.png" -gravity center -crop 600x440+0+0 +repage "$2"
    rm -f "$2.full.png"
    wait $scene
  }
  shoot RelayRunningWithLoss docs/dulvet-dialog.png
  shoot AboutBox docs/dulvet-about.png
  wineserver -k'
echo "Wrote docs/dulvet-dialog.png and docs/dulvet-about.png"
