# What --capture costs: round trips a second through each engine (loss 0,
# delay 0) with and without a capture to a file on tmpfs, alternating; the
# link engine's --pipeline --delay 100 at 10 000 datagrams a second with a
# capture to tmpfs; and 10 000 datagrams a second of 1 200 bytes captured
# to a file on disk, where nothing may be left out. With --before REF the
# round trips are also measured with dulvet as built from REF, alternating.

capture_title() { echo "The capture's cost"; }

capture_file() { echo "/dev/shm/dulvet-bench-capture-$$.pcapng"; }

# The versions measured: "after" is this tree's build.
capture_versions() {
  if [[ -n $before_ref ]]; then echo before after; else echo after; fi
}

capture_measure() {
  local seconds warmup round kind version with line capture_args pinning=free rate_seconds before after
  local this_build=$native_dulvet
  seconds=$(full_or_quick 2.5 0.8) warmup=$(full_or_quick 0.3 0.2) rate_seconds=$(full_or_quick 10 2)
  result[seconds]=$seconds result[rate_seconds]=$rate_seconds
  capture_rounds=$(rounds_or 5)
  before_label=""
  [[ -n $before_ref ]] && build_before "$before_ref"
  # Throughput, with and without, alternating.
  start_echo "$pinning"
  for round in $(seq "$capture_rounds"); do
    for kind in relay link; do
      for version in $(capture_versions); do
        native_dulvet=$this_build
        [[ $version == before ]] && native_dulvet=$before_native
        for with in without with; do
          capture_args=()
          [[ $with == with ]] && capture_args=(--capture "$(capture_file)")
          start_relay "$kind" "$pinning" "$echo_port" "${capture_args[@]}"
          before=$(process_totals "$relay_process")
          line=$("$loadgen" rate --target "127.0.0.1:$relay_port" --size 1400 --window 32 \
                   --seconds "$seconds" --warmup "$warmup")
          after=$(process_totals "$relay_process")
          # The relay's processor time (all its threads) per datagram it took in.
          result[cpu:$kind:$version:$with]+=" $(awk -v b="$before" -v a="$after" -v n="$(field "$line" sent)" \
            -v hz="$(getconf CLK_TCK)" 'BEGIN { split(b, x, " "); split(a, y, " ");
              printf "%.2f", (y[1] - x[1]) / hz * 1e6 / (2 * n) }')"
          ask_stats
          stop_relay
          rm -f "$(capture_file)"
          note "capture $kind $version $with round $round: $line"
          result[rate:$kind:$version:$with]+=" $(field "$line" per_second)"
        done
      done
    done
  done
  native_dulvet=$this_build
  end_pid "$echo_pid"

  # --pipeline --delay 100 at 10 000/s of 64 B with a capture on tmpfs.
  for round in $(seq "$(rounds_or 3)"); do
    start_sink "$pinning" --delay-ms 100 --idle-ms 3000
    start_relay link "$pinning" "$sink_port" --delay 100 --seed 1 --stats 0.5 --capture "$(capture_file)"
    sleep 0.5
    line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds "$rate_seconds")
    await_sink
    ask_stats
    result[pipe_dropped:$round]=$(counter capture-dropped)
    stop_relay
    rm -f "$(capture_file)"
    note "capture pipeline round $round: $line"
    note "capture pipeline round $round: $sink_line"
    result[pipe_sent:$round]=$(field "$line" sent)
    result[pipe_received:$round]=$(field "$sink_line" unique)
    result[pipe_p99:$round]=$(field "$sink_line" err_p99_us)
  done

  # 10 000/s of 1 200 B captured to a file on disk: nothing left out.
  local file=$work/capture-1200.pcapng
  start_sink "$pinning" --idle-ms 3000
  start_relay link "$pinning" "$sink_port" --stats 0.5 --capture "$file"
  line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds "$rate_seconds" --size 1200)
  await_sink
  ask_stats
  result[disk_dropped]=$(counter capture-dropped)
  result[disk_sent]=$(field "$line" sent)
  result[disk_received]=$(field "$sink_line" unique)
  stop_relay
  result[disk_packets]=$(capinfos -c -M "$file" 2>/dev/null | sed -n 's/^Number of packets:[[:space:]]*//p')
  result[disk_bytes]=$(stat -c %s "$file")
  note "capture disk: $line"
  note "capture disk: $sink_line"
  rm -f "$file"
}

capture_label() {
  if [[ $2 == before ]]; then echo "dulvet, $1 engine, before ($before_label)"; else echo "dulvet, $1 engine"; fi
}

capture_report() {
  local kind version ratios round a b pipe_ok=0 pipe_runs=0 pipe_lost=0 worst=0
  echo "Round trips/s, 1400 B, 32 in flight, unpinned, loss 0, delay 0; each figure the median of $capture_rounds" \
    "runs of ${result[seconds]} s, with and without alternating${before_label:+ (and the build before, $before_label)};" \
    "the capture on tmpfs (/dev/shm)."
  echo
  table_head "round trips/s" "without --capture" "with --capture" "with ÷ without" "each round"
  for kind in relay link; do
    for version in $(capture_versions); do
      # shellcheck disable=SC2206
      a=(${result[rate:$kind:$version:without]}) b=(${result[rate:$kind:$version:with]})
      ratios=""
      for round in "${!a[@]}"; do ratios+=" $(ratio "${b[$round]}" "${a[$round]}")"; done
      # shellcheck disable=SC2086
      result[ratio:$kind:$version]=$(ratio "$(median ${result[rate:$kind:$version:with]})" \
        "$(median ${result[rate:$kind:$version:without]})")
      # shellcheck disable=SC2086
      echo "| $(capture_label "$kind" "$version") | $(median ${result[rate:$kind:$version:without]}) |" \
        "$(median ${result[rate:$kind:$version:with]}) | ${result[ratio:$kind:$version]} |${ratios} |"
    done
  done
  echo
  echo "The relay's processor time, all its threads, per datagram it took in (each round trip is two), in µs;" \
    "the median of the same runs. On a machine shared with other programs this is steadier than the rate."
  echo
  table_head "processor µs a datagram" "without --capture" "with --capture" "added by the capture"
  for kind in relay link; do
    for version in $(capture_versions); do
      # shellcheck disable=SC2086
      echo "| $(capture_label "$kind" "$version") | $(median ${result[cpu:$kind:$version:without]}) |" \
        "$(median ${result[cpu:$kind:$version:with]}) |" \
        "$(minus "$(median ${result[cpu:$kind:$version:with]})" "$(median ${result[cpu:$kind:$version:without]})") |"
    done
  done
  echo
  table_head "--pipeline --delay 100, 10 000/s of 64 B, --capture on tmpfs" sent received "error p99 µs" "capture-dropped"
  for round in $(seq "$(rounds_or 3)"); do
    echo "| run $round | $(v pipe_sent:$round) | $(v pipe_received:$round) | $(v pipe_p99:$round) | $(v pipe_dropped:$round) |"
    pipe_runs=$((pipe_runs + 1))
    pipe_lost=$((pipe_lost + $(v pipe_sent:$round) - $(v pipe_received:$round)))
    pipe_ok=$((pipe_ok + $(awk "BEGIN { print ($(v pipe_p99:$round) <= 1000) ? 1 : 0 }")))
  done
  echo
  echo "10 000/s of 1 200 B for ${result[rate_seconds]} s, the link engine, --capture to a file on disk:" \
    "$(v disk_sent) sent, $(v disk_received) received, $(v disk_packets) packets in the capture" \
    "($(v disk_bytes) bytes), capture-dropped $(v disk_dropped)."
  echo
  echo "Goals (natively):"
  echo
  for kind in relay link; do
    echo "- the $kind engine keeps at least 90 % of its round trips with a capture: ${result[ratio:$kind:after]} —" \
      "$(verdict "${result[ratio:$kind:after]} >= 0.9")"
  done
  echo "- --pipeline --delay 100 at 10 000/s with a capture: p99 ≤ 1000 µs in $pipe_ok of $pipe_runs runs," \
    "$pipe_lost lost — $(verdict "$pipe_ok == $pipe_runs && $pipe_lost == 0")"
  echo "- 10 000/s of 1 200 B to a file: nothing left out (capture-dropped $(v disk_dropped), every datagram twice in" \
    "the file: $(v disk_packets) = 2 × $(v disk_sent)) — $(verdict "$(v disk_dropped) == 0 && $(v disk_packets) == 2 * $(v disk_sent)")"
}
