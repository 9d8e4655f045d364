# Links like real ones: each --distribution's one-way delays against its
# configured curve (mean, standard deviation, Kolmogorov-Smirnov distance),
# a --rate-trace replayed with the link kept saturated (delivered against
# the trace in 100 ms windows), and what each option costs the link
# engine's throughput. Pictures for the README go to docs/real-link/.

real_link_title() { echo "Links like real ones: delay shapes, a rate trace, their cost"; }

real_link_measure() {
  local shape line count seconds ready base rate pictures=$root/docs/real-link
  mkdir -p "$pictures"
  count=$(full_or_quick 100000 10000)
  result[count]=$count
  for shape in uniform normal pareto paretonormal; do
    say "real-link: --distribution $shape"
    start_sink free --idle-ms 2000 --arrivals "$work/$shape.arrivals"
    start_relay link free "$sink_port" --delay 50 --jitter 10 --distribution "$shape" --seed 1 --quiet
    "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds "$((count / 10000))" >/dev/null
    await_sink
    stop_relay
    line=$(python3 bench/real_link.py shape "$work/$shape.arrivals" 50 10 "$shape" "$pictures/distribution-$shape.png")
    note "real-link $shape: $line"
    for key in n mean_ms sd_ms ks target_sd_ms; do result[$shape:$key]=$(field " $line" "$key"); done
  done

  seconds=$(full_or_quick 60 10)
  result[trace_seconds]=$seconds
  say "real-link: --rate-trace data/traces/mobile.trace for $seconds s"
  start_sink free --idle-ms 3000 --seconds $((seconds + 60)) --arrivals "$work/trace.arrivals"
  start_relay link free "$sink_port" --rate-trace data/traces/mobile.trace --queue 200 --quiet --seed 1
  ready=$(date +%s%N)
  "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 2500 --size 1500 --seconds "$seconds" >/dev/null
  stop_relay  # what still waits is not delivered: the windows end with the last arrival
  await_sink
  line=$(python3 bench/real_link.py trace "$work/trace.arrivals" data/traces/mobile.trace "$ready" \
           "$pictures/rate-trace-mobile.png")
  note "real-link trace: $line"
  for key in error_pct seconds opportunity_bytes delivered_bytes; do result[trace:$key]=$(field " $line" "$key"); done

  # Throughput: round trips through the link engine, each option beside
  # the same link without it, in alternating rounds: corruption beside the
  # plain link (a share too small to touch the probes), a shape beside
  # uniform jitter of 1 µs, a trace (100 opportunities each millisecond,
  # too fast to hold anything back) beside --rate 1000000.
  printf '1\n%.0s' $(seq 100) >"$work/fast.trace"
  start_echo free
  local -A config=(
    [plain]="" [corrupt]="--corrupt 0.0001"
    [uniform]="--jitter 0.001" [shape]="--jitter 0.001 --distribution paretonormal"
    [rate]="--rate 1000000" [trace]="--rate-trace $work/fast.trace")
  for round in $(seq "$(full_or_quick 3 1)"); do
    for base in plain corrupt uniform shape rate trace; do
      # shellcheck disable=SC2086 # the options split into words on purpose
      start_relay link free "$echo_port" --quiet --seed 1 ${config[$base]}
      line=$("$loadgen" rate --target "127.0.0.1:$relay_port" --size 64 --window 32 \
               --seconds "$(full_or_quick 5 2)" --warmup 1)
      stop_relay
      result[cost:$base]+=" $(field "$line" per_second)"
      note "real-link throughput $base round $round: $line"
    done
  done
  end_pid "$echo_pid"
}

real_link_report() {
  local shape
  echo "Goals: each shape over $(v count) datagrams (--delay 50 --jitter 10, 10 000 a second): mean and standard"
  echo "deviation within 2 % of the configured ones, KS distance to the configured curve ≤ 0.02. The Pareto shapes'"
  echo "deviation is that of the middle 99 %; uniform's configured deviation is 10/√3 ms."
  echo
  table_head "shape" "datagrams" "mean ms" "sd ms (configured)" "KS" "goal"
  for shape in uniform normal pareto paretonormal; do
    local mean=${result[$shape:mean_ms]:-0} sd=${result[$shape:sd_ms]:-0} target=${result[$shape:target_sd_ms]:-1}
    local ks=${result[$shape:ks]:-1}
    echo "| $shape | $(v "$shape:n") | $mean | $sd ($target) | $ks |" \
      "$(verdict "($mean - 50) ^ 2 <= 1 && ($sd - $target) ^ 2 <= (0.02 * $target) ^ 2 && $ks <= 0.02") |"
  done
  echo
  echo "Goal: data/traces/mobile.trace replayed saturated (2 500 datagrams of 1 500 bytes a second offered) for" \
    "$(v trace_seconds) s: the sum over 100 ms windows of |delivered − opportunity bytes| is $(v trace:error_pct) %" \
    "of the $(v trace:opportunity_bytes) opportunity bytes — $(verdict "$(v trace:error_pct) <= 3")"
  echo
  echo "Goal: none costs more than 10 % of the link engine's throughput (round trips a second, 64 bytes, window 32," \
    "median of the rounds, each beside the same link without it):"
  echo
  table_head "option" "round trips/s" "beside" "round trips/s" "ratio" "goal"
  local pair with without m w
  for pair in corrupt:plain shape:uniform trace:rate; do
    with=${pair%%:*} without=${pair##*:}
    m=$(median ${result[cost:$with]})
    w=$(median ${result[cost:$without]})
    echo "| $with | $m | $without | $w | $(ratio "$m" "$w") | $(verdict "$m >= 0.9 * $w") |"
  done
  echo
  echo "Pictures: docs/real-link/distribution-*.png, docs/real-link/rate-trace-mobile.png."
}
