# --delay 50 --jitter 20: the one-way times should spread evenly over
# [30, 70] ms; the Kolmogorov-Smirnov distance to that uniform says how far
# they are from it.

jitter_title() { echo "The link engine's jitter"; }

jitter_measure() {
  start_sink free --delay-ms 50 --jitter-ms 20 --idle-ms 2000
  start_relay link free "$sink_port" --delay 50 --jitter 20 --seed 1
  "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 2000 --seconds "$(full_or_quick 5 2)" >/dev/null
  await_sink
  stop_relay
  note "jitter: $sink_line"
  result[ks]=$(field "$sink_line" ks)
  result[received]=$(field "$sink_line" unique)
  result[min]=$(field "$sink_line" oneway_min_us)
  result[max]=$(field "$sink_line" oneway_max_us)
}

jitter_report() {
  echo "Goal: --jitter 20 around 50 ms, KS distance to uniform on [30, 70] ms ≤ 0.05: $(v ks) over $(v received) datagrams" \
    "— $(verdict "$(v ks) <= 0.05") (one-way from $(v min) to $(v max) µs)"
}
