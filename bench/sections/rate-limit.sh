# --rate 4000 --queue 100 offered 1.5 times the rate (500 B at 1500 a
# second): what is delivered, how many wait at most, and whether every
# datagram not delivered is counted as queue-full.

rate_limit_title() { echo "The link engine's rate limit and its queue"; }

rate_limit_measure() {
  local line seconds
  seconds=$(full_or_quick 10 2)
  result[seconds]=$seconds
  start_sink free --idle-ms 2000
  start_relay link free "$sink_port" --rate 4000 --queue 100 --seed 1 --quiet --stats 0.1
  line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 1500 --size 500 --seconds "$seconds")
  await_sink
  ask_stats
  result[queue_full]=$(counter to-server.queue-full)
  result[waiting_peak]=$(counter_peak waiting)
  stop_relay
  note "rate: $line"
  note "rate: $sink_line"
  result[sent]=$(field "$line" sent)
  result[received]=$(field "$sink_line" unique)
  result[kbit]=$(field "$sink_line" kbit_per_s)
}

rate_limit_report() {
  local missing=$(( $(v sent) - $(v received) ))
  echo "Goals: --rate 4000 offered 6000 kbit/s for ${result[seconds]} s:"
  echo
  echo "- delivered $(v kbit) kbit/s, within 3 % — $(verdict "($(v kbit) - 4000) ^ 2 <= 120 ^ 2")"
  echo "- waiting at most $(v waiting_peak) with --queue 100 — $(verdict "$(v waiting_peak) <= 100")"
  echo "- $missing not delivered, $(v queue_full) counted as queue-full — $(verdict "$missing == $(v queue_full)")"
}
