#!/usr/bin/env bash
# Prepares a Wine prefix for Dulvet: created once, with the dialog font
# ("MS Shell Dlg") mapped to a font that has Chinese glyphs, and a virtual
# desktop for its windows.
# Usage: wine-prefix.sh PREFIX
set -euo pipefail
prefix=$(realpath -m "$1")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$prefix/.dulvet-ready" ]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1 || true
  reg="$prefix/dulvet-fonts.reg"
  cat > "$reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"

; Windows live on one virtual desktop: they get a caption and frame
; without a window manager, and hiding one does not wait on the X server.
[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
REG
  wine regedit "$reg" >/dev/null 2>&1 || true
  wineserver -w
  touch "$prefix/.dulvet-ready"
fi
