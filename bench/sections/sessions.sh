# Many clients at once: 16 clients with 2 datagrams in flight each through
# the link engine with a session per client (--clients each) and through
# socat with fork (a child per client), alternating in each round. Each
# client must get only its own replies.

sessions_title() { echo "16 clients, a session each"; }

sessions_measure() {
  local seconds pinning round kind line
  seconds=$(full_or_quick 2.5 1)
  sessions_rounds=$(rounds_or 3)
  result[seconds]=$seconds
  for pinning in pinned free; do
    start_echo "$pinning"
    for round in $(seq "$sessions_rounds"); do
      for kind in socat-fork link; do
        if [[ $kind == link ]]; then
          start_relay link "$pinning" "$echo_port" --clients each --seed 1
        else
          start_relay socat-fork "$pinning" "$echo_port"
        fi
        line=$($(pin "$pinning") "$loadgen" clients --target "127.0.0.1:$relay_port" --clients 16 --window 2 \
                 --seconds "$seconds")
        stop_relay
        note "$kind $pinning round $round: $line"
        result[rate:$kind:$pinning]+=" $(field "$line" per_second)"
        result[foreign:$kind:$pinning]=$((${result[foreign:$kind:$pinning]:-0} + $(field "$line" foreign)))
        result[fewest:$kind:$pinning]=$(field "$line" fewest)
        result[most:$kind:$pinning]=$(field "$line" most)
      done
    done
    end_pid "$echo_pid"
  done
}

sessions_report() {
  local pinning link socat
  echo "Each figure: the median of $sessions_rounds runs of ${result[seconds]} s, the kinds alternating; link = dulvet --clients each."
  echo
  table_head "16 clients, 2 in flight each" "socat with fork" "link" "link ÷ socat" "replies to another client: socat / link"
  for pinning in pinned free; do
    # shellcheck disable=SC2086
    socat=$(median ${result[rate:socat-fork:$pinning]}) link=$(median ${result[rate:link:$pinning]})
    echo "| round trips/s, $pinning | $socat | $link | $(ratio "$link" "$socat") |" \
      "$(v foreign:socat-fork:$pinning) / $(v foreign:link:$pinning) |"
  done
  echo
  echo "Goals (natively):"
  echo
  for pinning in pinned free; do
    # shellcheck disable=SC2086
    socat=$(median ${result[rate:socat-fork:$pinning]}) link=$(median ${result[rate:link:$pinning]})
    echo "- link ≥ 1.6 × socat, $pinning: $(ratio "$link" "$socat") × — $(verdict "$link >= 1.6 * $socat");" \
      "each client only its own replies: $(v foreign:link:$pinning) foreign over $sessions_rounds runs — $(verdict "$(v foreign:link:$pinning) == 0")" \
      "(fewest/most replies a client got in the last run: $(v fewest:link:$pinning)/$(v most:link:$pinning))"
  done
}
