# The relay engine's delay accuracy: one datagram at a time through dulvet
# (and dulvet.exe under Wine) with --delay 1, 20 and 200 ms; the error is the
# one-way time less the delay.

delay_title() { echo "The relay engine's delay accuracy"; }

delay_measure() {
  need_wine
  local delay kind line seconds
  local kinds=(relay)
  if ((wine_ok)); then kinds+=(wine-relay); fi
  start_echo free
  pin_wineserver free
  for delay in 1 20 200; do
    case $delay in
      1) seconds=$(full_or_quick 1.5 0.6) ;;
      20) seconds=$(full_or_quick 1.5 0.8) ;;
      200) seconds=$(full_or_quick 3 1.6) ;;
    esac
    for kind in "${kinds[@]}"; do
      start_relay "$kind" free "$echo_port" --delay "$delay"
      line=$("$loadgen" delay --target "127.0.0.1:$relay_port" --delay-ms "$delay" --seconds "$seconds")
      stop_relay
      note "$kind delay $delay: $line"
      result[p50:$kind:$delay]=$(field "$line" err_p50_us)
      result[p99:$kind:$delay]=$(field "$line" abs_err_p99_us)
    done
  done
  end_pid "$echo_pid"
}

delay_report() {
  local delay
  table_head "one-way − delay, µs: p50 / \|p99\|" "relay" "wine-relay"
  for delay in 1 20 200; do
    echo "| delay $delay ms | $(v p50:relay:$delay) / $(v p99:relay:$delay) | $(v p50:wine-relay:$delay) / $(v p99:wine-relay:$delay) |"
  done
  echo
  echo "Goals: delay 20 ms, |one-way − delay| p99 ≤ 1000 µs: natively $(v p99:relay:20) µs — $(verdict "$(v p99:relay:20) + 0 <= 1000")$( ((wine_ok)) &&
    echo "; under Wine $(v p99:wine-relay:20) µs — $(verdict "$(v p99:wine-relay:20) + 0 <= 1000")")"
}
