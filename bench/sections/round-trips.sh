# Round trips a second and round-trip times through each relay, loss 0 and
# delay 0: the direct path, socat, dulvet with the relay engine and with the
# link engine, and under Wine dulvet.exe (both engines) and the minimal
# blocking relay (MinimalRelay.cpp: the most any relay gets from Wine's
# sockets). The kinds alternate within each round; a figure is the median
# over the rounds. "Pinned": client, echo server and relay (and the Wine
# server) on processor 0.

round_trips_title() { echo "Round trips through each relay"; }

round_trips_kinds() {
  echo direct socat relay link
  if ((wine_ok)); then echo wine-relay wine-link wine-minimal; fi
}

round_trips_measure() {
  need_wine
  local seconds warmup pinning size window round kind line
  seconds=$(full_or_quick 2.5 0.8) warmup=$(full_or_quick 0.3 0.2)
  rt_rounds=$(rounds_or 3)
  result[seconds]=$seconds result[warmup]=$warmup
  for pinning in pinned free; do
    start_echo "$pinning"
    pin_wineserver "$pinning"
    for size in 64 1400; do
      for window in 1 32; do
        for round in $(seq "$rt_rounds"); do
          for kind in $(round_trips_kinds); do
            start_relay "$kind" "$pinning" "$echo_port"
            line=$($(pin "$pinning") "$loadgen" rate --target "127.0.0.1:$relay_port" --size "$size" \
                     --window "$window" --seconds "$seconds" --warmup "$warmup")
            stop_relay
            note "$kind $pinning round $round: $line"
            result[rate:$kind:$size:$window:$pinning]+=" $(field "$line" per_second)"
            result[p50:$kind:$size:$window:$pinning]+=" $(field "$line" rtt_p50_us)"
            result[p99:$kind:$size:$window:$pinning]+=" $(field "$line" rtt_p99_us)"
          done
        done
      done
    done
    end_pid "$echo_pid"
  done
}

# The median over the rounds of one figure.
round_trips_median() {
  [[ -n ${result[$1]:-} ]] || { echo "–"; return; }
  # shellcheck disable=SC2086
  median ${result[$1]}
}

# Each round's ratio of two kinds' round trips, in order.
round_trips_ratios() {
  local a=(${result[rate:$1:$3]}) b=(${result[rate:$2:$3]}) i out=()
  for i in "${!a[@]}"; do out+=("$(ratio "${a[$i]}" "${b[$i]:-}")"); done
  echo "${out[*]}"
}

round_trips_report() {
  local pinning size window kind cells config q
  local kinds=($(round_trips_kinds))
  echo "Each figure: the median of $rt_rounds runs of ${result[seconds]} s after ${result[warmup]} s warm-up, the kinds alternating;" \
    "relay = dulvet (the relay engine), link = dulvet --pipeline (the link engine), wine-* = under Wine."
  echo
  table_head "round trips/s" "${kinds[@]}" "relay ÷ socat" "link ÷ socat"
  for pinning in pinned free; do
    for size in 64 1400; do
      for window in 1 32; do
        config=$size:$window:$pinning
        cells=""
        for kind in "${kinds[@]}"; do cells+=" $(round_trips_median "rate:$kind:$config") |"; done
        echo "| $size B, $window in flight, $pinning |$cells $(ratio "$(round_trips_median "rate:relay:$config")" \
          "$(round_trips_median "rate:socat:$config")") | $(ratio "$(round_trips_median "rate:link:$config")" \
          "$(round_trips_median "rate:socat:$config")") |"
      done
    done
  done
  echo
  table_head "RTT µs, 64 B, 1 in flight" "${kinds[@]}"
  for pinning in pinned free; do
    for q in p50 p99; do
      cells="" added=""
      for kind in "${kinds[@]}"; do
        cells+=" $(round_trips_median "$q:$kind:64:1:$pinning") |"
        added+=" $(minus "$(round_trips_median "$q:$kind:64:1:$pinning")" "$(round_trips_median "$q:direct:64:1:$pinning")") |"
      done
      echo "| $q, $pinning |$cells"
      echo "| added $q over direct, $pinning |$added"
    done
  done
  echo
  echo "Goals (natively, 64 B, 32 in flight, loss 0, delay 0):"
  echo
  for pinning in pinned free; do
    config=64:32:$pinning
    for kind in relay link; do
      local r
      r=$(ratio "$(round_trips_median "rate:$kind:$config")" "$(round_trips_median "rate:socat:$config")")
      echo "- $kind ≥ 1.6 × socat, $pinning: $r × — $(verdict "\"$r\" + 0 >= 1.6") (round by round: $(round_trips_ratios "$kind" socat "$config"))"
    done
  done
  local added_relay added_socat
  added_relay=$(minus "$(round_trips_median "p50:relay:64:1:pinned")" "$(round_trips_median "p50:direct:64:1:pinned")")
  added_socat=$(minus "$(round_trips_median "p50:socat:64:1:pinned")" "$(round_trips_median "p50:direct:64:1:pinned")")
  echo "- relay's added RTT p50 (64 B, 1 in flight, pinned) ≤ socat's: $added_relay µs against $added_socat µs — $(verdict "\"$added_relay\" + 0 <= \"$added_socat\" + 0")"
  if ((wine_ok)); then
    echo "- dulvet.exe under Wine against the minimal Wine relay (64 B, 32 in flight, pinned): relay engine" \
      "$(ratio "$(round_trips_median rate:wine-relay:64:32:pinned)" "$(round_trips_median rate:wine-minimal:64:32:pinned)") ×," \
      "link engine $(ratio "$(round_trips_median rate:wine-link:64:32:pinned)" "$(round_trips_median rate:wine-minimal:64:32:pinned)") ×"
  fi
}
