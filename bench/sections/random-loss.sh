# --random-loss 10: the share dropped against the binomial expectation, and
# the dropped sequence numbers of two runs with one seed (the same) and one
# with another (about as many in common as chance gives).

random_loss_title() { echo "The link engine's random loss and its seed"; }

# One run; its dropped sequence numbers go to $work/<name>.
random_loss_run() {
  local seed=$1 name=$2 line
  start_sink free --idle-ms 2000 --sequences "$work/received"
  start_relay link free "$sink_port" --random-loss 10 --seed "$seed" --quiet
  line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds $((result[datagrams] / 10000)))
  await_sink
  ask_stats
  result[counted:$name]=$(counter to-server.random-loss)
  stop_relay
  comm -23 <(seq 0 $(($(field "$line" sent) - 1)) | sort) <(sort -u "$work/received") | sort -n >"$work/$name"
  result[dropped:$name]=$(wc -l <"$work/$name")
  note "random loss seed $seed: $line; received $(wc -l <"$work/received"), dropped ${result[dropped:$name]}, dulvet counted ${result[counted:$name]}"
}

random_loss_measure() {
  result[datagrams]=$(full_or_quick 100000 20000)
  random_loss_run 42 first
  random_loss_run 42 second
  random_loss_run 43 other
  result[same]=$(cmp -s "$work/first" "$work/second" && echo yes || echo no)
  result[common]=$(comm -12 <(sort "$work/first") <(sort "$work/other") | wc -l)
}

random_loss_report() {
  local n=${result[datagrams]} sd
  sd=$(awk -v n="$n" 'BEGIN { printf "%.1f", sqrt(n * 0.1 * 0.9) }')
  echo "Goals:"
  echo
  echo "- --random-loss 10 over $n datagrams: $(v dropped:first) dropped, expected $((n / 10)) ± 4 × $sd —" \
    "$(verdict "($(v dropped:first) - $n * 0.1) ^ 2 <= (4 * $sd) ^ 2"); dulvet counted $(v counted:first)"
  echo "- the same seed again dropped $(v dropped:second), the same sequence numbers: $(v same) — $(verdict "\"$(v same)\" == \"yes\"");" \
    "seed 43 dropped $(v dropped:other), $(v common) of them in common (chance: about $((n / 100)))"
}
