# The activity log at the relay's full speed, in the real Dulvet.exe under
# Wine: the native client and echo server push datagrams through it at loss
# 25 % (every client datagram writes one log line) while a driver program
# (LogAtSpeed.cpp) measures how fast the dialog answers. Afterwards it
# checks that the log box shows the whole log, scrolled to its end, and
# compares the program's memory with the log's size. Needs Wine and a
# display (bench/run.sh starts one with xvfb-run when there is none).

log_at_speed_title() { echo "The activity log at full speed (Dulvet.exe under Wine)"; }

# The drops counter of the socket bound to 127.0.0.1:port (0 if not found).
log_at_speed_socket_drops() {
  local hex
  hex=$(printf '%04X' "$1")
  awk -v local="0100007F:$hex" '$2 == local { print $NF; found = 1 } END { if (!found) print 0 }' /proc/net/udp
}

# Peak and current resident size (kB) of the Wine process running
# Dulvet.exe in the benchmark's prefix.
log_at_speed_memory() {
  local pid
  for pid in $(pgrep -f 'Dulvet\.exe' || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$wine_prefix" || continue
    awk '/^VmHWM/ { hwm = $2 } /^VmRSS/ { rss = $2 } END { printf "vm_hwm_kb=%d vm_rss_kb=%d\n", hwm, rss }' \
      "/proc/$pid/status"
    return
  done
  echo "vm_hwm_kb=0 vm_rss_kb=0"
}

log_at_speed_measure() {
  need_wine
  local seconds window=128 line driver=$root/build/windows/bench/dulvet_log_at_speed.exe
  seconds=$(full_or_quick 60 10)
  result[seconds]=$seconds result[window]=$window
  if ((!wine_ok)) || [[ -z ${DISPLAY:-} ]]; then
    result[skipped]="no Wine or no display"
    return 0
  fi
  cmake --build --preset windows --target dulvet_log_at_speed >/dev/null
  pin_wineserver free
  # The driver starts Dulvet.exe and presses Start.
  local relay_port echo_port
  relay_port=$("$loadgen" freeport)
  echo_port=$("$loadgen" freeport)
  mkfifo "$work/driver.in" "$work/driver.out"
  WINEPREFIX=$wine_prefix WINEDEBUG=-all timeout $((seconds + 1200)) wine "$driver" "$relay_port" "$echo_port" \
    <"$work/driver.in" >"$work/driver.out" 2>"$work/driver.err" &
  local driver_pid=$!
  started_pids+=("$driver_pid")
  exec {driver_in}>"$work/driver.in"
  exec {driver_out}<"$work/driver.out"
  if ! read -r -t 120 line <&"$driver_out" || [[ ${line%$'\r'} != ready ]]; then
    echo "the driver did not start Dulvet.exe: ${line:-} $(cat "$work/driver.err")" >&2
    exit 1
  fi
  # The echo server stays a few seconds longer to count what the relay
  # still had queued; a dropped datagram's slot is resent after 50 ms.
  "$loadgen" echo --port "$echo_port" --seconds $((seconds + 4)) >"$work/echo.out" &
  local echo_pid=$!
  started_pids+=("$echo_pid")
  sleep 0.2
  result[load_before]=$(cut -d' ' -f1-3 /proc/loadavg)
  local client_line echo_line
  client_line=$("$loadgen" rate --target "127.0.0.1:$relay_port" --window "$window" --seconds "$seconds" \
                  --warmup 0 --timeout-ms 50)
  result[load_after]=$(cut -d' ' -f1-3 /proc/loadavg)
  result[memory_traffic]=$(log_at_speed_memory)
  wait "$echo_pid" 2>/dev/null || true
  end_pid "$echo_pid"
  echo_line=$(grep '^echo done' "$work/echo.out" || true)
  # Tells the driver what the traffic was and collects its figures.
  printf 'done sent=%s echoed=%s relay_drops=%s echo_drops=%s\n' "$(field "$client_line" sent)" \
    "$(field "$echo_line" echoed)" "$(log_at_speed_socket_drops "$relay_port")" \
    "$(log_at_speed_socket_drops "$echo_port")" >&"$driver_in"
  note "client: $client_line"
  note "server: $echo_line"
  while read -r -t 1000 line <&"$driver_out"; do
    line=${line%$'\r'}
    [[ $line == end ]] && break
    note "$line"
  done
  result[memory_end]=$(log_at_speed_memory)
  echo close >&"$driver_in"
  exec {driver_in}>&-
  exec {driver_out}<&-
  for _ in $(seq 200); do kill -0 "$driver_pid" 2>/dev/null || break; sleep 0.05; done
  end_pid "$driver_pid"
}

log_at_speed_report() {
  if [[ -n ${result[skipped]:-} ]]; then
    echo "Not measured: ${result[skipped]}."
    return 0
  fi
  echo "Traffic: loss 25 %, delay 0, ${result[window]} client datagrams in flight for ${result[seconds]} s;" \
    "load average before / after the traffic: ${result[load_before]} / ${result[load_after]}."
  echo
  echo "Goals (the driver's verdicts):"
  echo
  grep '^verdict ' "$raw" | sed 's/^verdict /- /' || true
  echo
  echo "The Wine process while the traffic ran: ${result[memory_traffic]}; at the end: ${result[memory_end]}."
}
