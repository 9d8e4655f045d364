# What each relay costs while nothing passes: processor share and context
# switches a second (wake-ups) of its process, after start; for the link
# engine also after traffic, with 4 sessions open and every rule on. Under
# Wine also the Wine server's context switches while dulvet.exe idles.

idle_title() { echo "Idle cost of each engine"; }

idle_measure() {
  need_wine
  local seconds kind cost before after line
  seconds=$(full_or_quick 5 2)
  result[seconds]=$seconds
  local kinds=(socat relay link)
  if ((wine_ok)); then kinds+=(wine-relay); fi
  start_echo free
  pin_wineserver free
  for kind in "${kinds[@]}"; do
    if [[ $kind == link ]]; then
      start_relay link free "$echo_port" --delay 100 --jitter 10 --random-loss 1 --rate 100000 --direction both \
        --clients each --seed 1
    else
      start_relay "$kind" free "$echo_port"
    fi
    [[ $kind == socat ]] && relay_process=$relay_pid
    if [[ $kind == wine-relay && -n $wineserver_pid ]]; then
      before=$(process_totals "$wineserver_pid")
      cost=$(idle_cost "$relay_process" "$seconds")
      after=$(process_totals "$wineserver_pid")
      result[wineserver]=$(awk -v b="$before" -v a="$after" -v s="$seconds" \
        'BEGIN { split(b, x, " "); split(a, y, " "); printf "%.1f", (y[2] - x[2]) / s }')
    else
      cost=$(idle_cost "$relay_process" "$seconds")
    fi
    result[start:$kind]=$cost
    if [[ $kind == link ]]; then
      line=$("$loadgen" clients --target "127.0.0.1:$relay_port" --clients 4 --window 2 --seconds 1 --timeout-ms 1000)
      sleep 1  # the last replies leave; the sessions stay open (60 s)
      result[after:$kind]=$(idle_cost "$relay_process" "$seconds")
      note "link traffic before idling: $line"
    fi
    stop_relay
    note "$kind idle (cpu %, switches/s): after start ${result[start:$kind]}${result[after:$kind]:+, after traffic ${result[after:$kind]}}"
  done
  end_pid "$echo_pid"
}

idle_report() {
  local kind cpu switches met=1
  table_head "idle over ${result[seconds]} s" "processor %" "context switches/s"
  for kind in socat relay link wine-relay; do
    [[ -n ${result[start:$kind]:-} ]] || continue
    read -r cpu switches <<<"${result[start:$kind]}"
    echo "| $kind, after start | $cpu | $switches |"
    if [[ -n ${result[after:$kind]:-} ]]; then
      read -r cpu switches <<<"${result[after:$kind]}"
      echo "| $kind, after traffic, 4 sessions open | $cpu | $switches |"
    fi
  done
  if [[ -n ${result[wineserver]:-} ]]; then echo "| the Wine server while dulvet.exe idles | – | ${result[wineserver]} |"; fi
  echo
  for cost in "${result[start:relay]}" "${result[start:link]}" "${result[after:link]}"; do
    read -r cpu switches <<<"$cost"
    [[ $(verdict "$cpu + 0 == 0 && $switches + 0 <= 1") == met ]] || met=0
  done
  echo "Goal: both engines idle at 0 % processor and no periodic wake-ups (at most 1 a second) — $(verdict "$met == 1")"
}
