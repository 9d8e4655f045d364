#!/usr/bin/env bash
# The activity log at the relay's full speed, in the real Dulvet.exe under
# Wine: a native client and echo server push datagrams through it for a
# minute at loss 25 % (every client datagram writes one log line) while a
# driver program measures how fast the dialog answers. Afterwards it checks
# that the log box shows the whole log, scrolled to its end, and compares
# the program's memory with the log's size. Traffic stays on 127.0.0.1.
#
# Usage: bench/log_at_speed.sh [--seconds S] [--window W]
#   --seconds  how long the traffic runs (default 60)
#   --window   client datagrams in flight (default 128)
#
# Needs a display; without one it runs itself under xvfb-run. Prints the
# driver's figures and saves them to bench/results/log_at_speed.md. Every
# process it starts is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/end-pids.sh
command_line="bench/log_at_speed.sh${*:+ $*}"

seconds=60
window=128
while (($#)); do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --window) window=$2; shift 2 ;;
    *) echo "usage: bench/log_at_speed.sh [--seconds S] [--window W]" >&2; exit 2 ;;
  esac
done

if [[ -z ${DISPLAY:-} && -z ${DULVET_UNDER_XVFB:-} ]]; then
  DULVET_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --seconds "$seconds" --window "$window"
fi

loadgen=$root/build/native/bench/dulvet_loadgen
driver=$root/build/windows/bench/dulvet_log_at_speed.exe
prefix=$root/build/windows/logspeed-wineprefix
export WINEPREFIX=$prefix WINEDEBUG=-all

work=$(mktemp -d /tmp/dulvet-logspeed.XXXXXX)
started_pids=()
say() { echo "== $*" >&2; }

finish() {
  [[ -n ${driver_in:-} ]] && { exec {driver_in}>&- || true; }
  # Everything in this prefix was started by this run. Ended through the
  # server before the server itself goes, or Wine's device helpers outlive it.
  [[ -n ${wineserver_pid:-} ]] && { timeout 20 wineserver -k 2>/dev/null || true; }
  end_pids "${started_pids[@]}"
  rm -rf "$work"
}
trap finish EXIT

build() {
  say "building (native load generator, Windows driver and Dulvet.exe)"
  cmake --preset native >/dev/null
  cmake --build --preset native --target dulvet_loadgen >/dev/null
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target dulvet_log_at_speed >/dev/null
  bash scripts/wine-prefix.sh "$prefix"
}

start_wineserver() {
  timeout $((seconds + 1300)) wineserver -f -p 2>/dev/null &
  wineserver_pid=$!
  started_pids+=("$wineserver_pid")
  sleep 0.5
  kill -0 "$wineserver_pid" 2>/dev/null || { say "a Wine server already runs for $prefix; stop it first"; exit 1; }
}

# The drops counter of the socket bound to 127.0.0.1:port (0 if not found).
socket_drops() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v local="0100007F:$hex" '$2 == local { print $NF; found = 1 } END { if (!found) print 0 }' /proc/net/udp
}

# Peak and current resident size (kB) of the Wine process running Dulvet.exe
# in this prefix.
dulvet_memory() {
  local pid
  for pid in $(pgrep -f 'Dulvet\.exe' || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
    awk '/^VmHWM/ { hwm = $2 } /^VmRSS/ { rss = $2 } END { printf "vm_hwm_kb=%d vm_rss_kb=%d\n", hwm, rss }' \
      "/proc/$pid/status"
    return
  done
  echo "vm_hwm_kb=0 vm_rss_kb=0"
}

# Starts the driver, which starts Dulvet.exe and presses Start; sets
# relay_port, echo_port, driver_in and driver_out.
start_driver() {
  local line
  relay_port=$("$loadgen" freeport)
  echo_port=$("$loadgen" freeport)
  mkfifo "$work/driver.in" "$work/driver.out"
  timeout $((seconds + 1200)) wine "$driver" "$relay_port" "$echo_port" \
    <"$work/driver.in" >"$work/driver.out" 2>"$work/driver.err" &
  started_pids+=("$!")
  exec {driver_in}>"$work/driver.in"
  exec {driver_out}<"$work/driver.out"
  if ! read -r -t 120 line <&"$driver_out" || [[ ${line%$'\r'} != ready ]]; then
    say "the driver did not start Dulvet.exe: ${line:-} $(cat "$work/driver.err")"
    exit 1
  fi
}

# The client and the echo server for the given time; the echo server stays
# a few seconds longer to count what the relay still had queued. Sets
# client_line, echo_line and the load averages.
drive_traffic() {
  local echo_pid
  "$loadgen" echo --port "$echo_port" --seconds $((seconds + 4)) >"$work/echo.out" &
  echo_pid=$!
  started_pids+=("$echo_pid")
  sleep 0.2
  say "traffic for ${seconds} s at loss 25 %, ${window} in flight"
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  client_line=$("$loadgen" rate --target "127.0.0.1:$relay_port" --window "$window" --seconds "$seconds" \
                  --warmup 0 --timeout-ms 50)
  load_after=$(cut -d' ' -f1-3 /proc/loadavg)
  memory_traffic=$(dulvet_memory)
  wait "$echo_pid" 2>/dev/null || true
  echo_line=$(grep '^echo done' "$work/echo.out" || true)
}

# Tells the driver what the traffic was and collects its figures.
collect() {
  local line
  printf 'done sent=%s echoed=%s relay_drops=%s echo_drops=%s\n' \
    "$(sed -n 's/.* sent=\([0-9]*\).*/\1/p' <<<"$client_line")" \
    "$(sed -n 's/.*echoed=\([0-9]*\).*/\1/p' <<<"$echo_line")" \
    "$(socket_drops "$relay_port")" "$(socket_drops "$echo_port")" >&"$driver_in"
  results=()
  while read -r -t 1000 line <&"$driver_out"; do
    line=${line%$'\r'}
    [[ $line == end ]] && break
    results+=("$line")
  done
  memory_end=$(dulvet_memory)
  echo close >&"$driver_in"
}

report() {
  echo "# The activity log at full speed (Dulvet.exe under Wine)"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Command: \`$command_line\`"
  echo "- Machine: $(nproc) processors, Linux $(uname -r); $(wine --version 2>/dev/null)"
  echo "- Load average (1, 5, 15 min) before / after the traffic: $load_before / $load_after"
  echo "- Traffic: loss 25 %, delay 0, ${window} client datagrams in flight, ${seconds} s; a dropped datagram's slot is resent after 50 ms"
  echo
  echo '```'
  echo "client: $client_line"
  echo "server: $echo_line"
  printf '%s\n' "${results[@]}"
  echo "wine process while the traffic ran: $memory_traffic"
  echo "wine process at the end: $memory_end"
  echo '```'
}

main() {
  local began=$SECONDS
  build
  start_wineserver
  start_driver
  drive_traffic
  collect
  mkdir -p bench/results
  report | tee bench/results/log_at_speed.md
  say "done in $((SECONDS - began)) s; saved to bench/results/log_at_speed.md"
}

main
