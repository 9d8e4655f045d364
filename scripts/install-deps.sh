#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the
# program need and this machine lacks. Safe to run again.
set -euo pipefail

packages=(
  cmake make g++ googletest          # native build and tests
  dpkg-dev                           # the Debian package's dependencies (dpkg-shlibdeps)
  g++-mingw-w64-x86-64-posix         # the Windows cross-compiler and windres
  wine wine64                        # runs Dulvet.exe and its tests
  xvfb xauth x11-utils               # a display where there is none
  fonts-wqy-microhei fonts-wine      # Chinese texts and caption glyphs under Wine
  socat                              # the benchmark's comparison relay
  clang libclang-rt-14-dev           # the fuzz targets (libFuzzer comes with clang's runtime)
  libboost-dev nlohmann-json3-dev    # header-only HTTP (Boost.Beast over Asio) and JSON
  tshark                             # reads the captures dulvet writes
  prometheus                         # promtool checks the /metrics text
  dnsmasq-base bind9-dnsutils        # a real DNS server and client over IPv6
  gnuplot-nox                        # the benchmark's pictures
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
# tshark asks whether ordinary users may capture; nothing here needs that.
echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
