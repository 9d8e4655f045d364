# The link engine's --pipeline --delay 100 at 10 000 datagrams of 64 B a
# second: how many are lost, the error of each one-way time (the sender's
# stamp against the kernel's receive stamp at the receiver), and the memory
# the waiting datagrams take. Runs pinned and free in turn; under Wine
# dulvet.exe at 10 000, 5 000 and 2 000 a second.

pipeline_title() { echo "The link engine's pipeline delay at 10 000 datagrams a second"; }

# One run: sets result[*:<tag>].
pipeline_run() {
  local tag=$1 pinning=$2 rate=$3 kind=$4 seconds=$5
  local rss_start peak_rss=0 rss pace_line pace_pid hwm
  start_sink "$pinning" --delay-ms 100 --idle-ms 3000
  start_relay "$kind" "$pinning" "$sink_port" --delay 100 --seed 1 --stats 0.25
  sleep 0.5
  rss_start=$(status_kb "$relay_process" VmRSS)
  $(pin "$pinning") "$loadgen" pace --target "127.0.0.1:$relay_port" --rate "$rate" --seconds "$seconds" \
    >"$work/pace.out" &
  pace_pid=$!
  started_pids+=("$pace_pid")
  while kill -0 "$pace_pid" 2>/dev/null; do
    rss=$(status_kb "$relay_process" VmRSS)
    ((rss > peak_rss)) && peak_rss=$rss
    sleep 0.2
  done
  end_pid "$pace_pid"
  pace_line=$(cat "$work/pace.out")
  await_sink
  hwm=$(status_kb "$relay_process" VmHWM)
  ask_stats
  result[waiting:$tag]=$(counter_peak waiting)
  result[waiting_bytes:$tag]=$(counter_peak waiting-bytes)
  stop_relay
  note "pipeline $tag: $pace_line"
  note "pipeline $tag: $sink_line"
  note "pipeline $tag: VmRSS before ${rss_start} kB, peak sampled ${peak_rss} kB, VmHWM ${hwm} kB"
  record_paced "$tag" "$pace_line" "$sink_line"
  result[rss_start:$tag]=$rss_start
  result[hwm:$tag]=$hwm
  pipeline_tags+=("$tag")
}

pipeline_measure() {
  need_wine
  local round pinning rate seconds
  seconds=$(full_or_quick 10 2)
  result[seconds]=$seconds
  pipeline_tags=()
  for round in $(seq "$(rounds_or 3)"); do
    for pinning in pinned free; do
      pipeline_run "$pinning-$round" "$pinning" 10000 link "$seconds"
    done
  done
  if ((wine_ok)); then
    pin_wineserver free
    for rate in 10000 5000 2000; do
      pipeline_run "wine-$rate" free "$rate" wine-link "$seconds"
    done
  fi
}

pipeline_report() {
  local tag label lost=0 p50=0 p99=0 runs=0 grown=0 waited=0
  table_head "--pipeline --delay 100, 64 B for ${result[seconds]} s" sent received "error p50 µs" "error p99 µs" \
    "error max µs" "sender late at most µs" "waiting at most" "their blocks" "VmRSS before" "VmHWM after"
  for tag in "${pipeline_tags[@]}"; do
    label="dulvet, ${tag%-*}, run ${tag##*-}, 10 000/s"
    [[ $tag == wine-* ]] && label="dulvet.exe under Wine, ${tag#wine-}/s"
    echo "| $label | $(v sent:$tag) | $(v received:$tag) | $(v p50:$tag) | $(v p99:$tag) | $(v max:$tag) |" \
      "$(v late:$tag) | $(v waiting:$tag) | $(awk -v b="$(v waiting_bytes:$tag)" 'BEGIN { printf "%.0f KiB", b / 1024 }') |" \
      "$(v rss_start:$tag) kB | $(v hwm:$tag) kB |"
  done
  echo
  echo "(Sender late at most: how far behind its schedule the paced sender itself fell once; a stall of the whole machine shows there too.)"
  for tag in "${pipeline_tags[@]}"; do
    [[ $tag == wine-* ]] && continue
    runs=$((runs + 1))
    lost=$((lost + $(v sent:$tag) - $(v received:$tag)))
    p50=$((p50 + $(awk "BEGIN { print ($(v p50:$tag) <= 200) ? 1 : 0 }")))
    p99=$((p99 + $(awk "BEGIN { print ($(v p99:$tag) <= 1000) ? 1 : 0 }")))
    grown=$(( $(v hwm:$tag) - $(v rss_start:$tag) > grown ? $(v hwm:$tag) - $(v rss_start:$tag) : grown ))
    waited=$(( $(v waiting:$tag) > waited ? $(v waiting:$tag) : waited ))
  done
  echo
  echo "Goals (natively):"
  echo
  echo "- $runs runs of 10 000/s: none lost ($lost lost) — $(verdict "$lost == 0");" \
    "error p50 ≤ 200 µs in $p50 of $runs runs, p99 ≤ 1000 µs in $p99 of $runs — $(verdict "$p50 == $runs && $p99 == $runs")"
  echo "- memory: VmHWM grew by at most $grown kB while up to $waited datagrams waited, each in a 64-byte block" \
    "(15 000 bytes each would be $((waited * 15000 / 1024)) KiB)"
}
