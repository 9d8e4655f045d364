# Throughput over ::1 against the same run over 127.0.0.1, for both
# engines: echo server, dulvet and client all on one family, with the
# direct path of each family as the yardstick. Within a round every kind
# runs over both families back to back (which goes first alternates from
# round to round); a figure is the median over the rounds. "Pinned":
# client, echo server and relay on processor 0.

ipv6_title() { echo "IPv6 against IPv4: round trips over ::1 and over 127.0.0.1"; }

ipv6_measure() {
  local seconds warmup pinning size round kind family families line echo4_pid echo4_port echo6_pid echo6_port key
  seconds=$(full_or_quick 2.5 0.8) warmup=$(full_or_quick 0.3 0.2)
  v6_rounds=$(rounds_or 5)
  result[seconds]=$seconds result[warmup]=$warmup
  for pinning in pinned free; do
    loopback=127.0.0.1
    start_echo "$pinning"
    echo4_pid=$echo_pid echo4_port=$echo_port
    loopback=::1
    start_echo "$pinning"
    echo6_pid=$echo_pid echo6_port=$echo_port
    for size in 64 1400; do
      for round in $(seq "$v6_rounds"); do
        families="4 6"
        ((round % 2)) || families="6 4"
        for kind in direct relay link; do
          for family in $families; do
            if ((family == 6)); then loopback=::1 echo_port=$echo6_port; else loopback=127.0.0.1 echo_port=$echo4_port; fi
            start_relay "$kind" "$pinning" "$echo_port"
            line=$($(pin "$pinning") "$loadgen" rate --target "$(at_loopback "$relay_port")" --size "$size" \
                     --window 32 --seconds "$seconds" --warmup "$warmup")
            stop_relay
            note "$kind IPv$family $size B $pinning round $round: $line"
            key=$kind:$family:$size:$pinning
            result[rate:$key]+=" $(field "$line" per_second)"
            result[p50:$key]+=" $(field "$line" rtt_p50_us)"
            result[lost:$key]+=" $(field "$line" lost)"
          done
        done
      done
    done
    loopback=127.0.0.1
    end_pid "$echo4_pid"
    end_pid "$echo6_pid"
  done
}

ipv6_median() {
  [[ -n ${result[$1]:-} ]] || { echo "–"; return; }
  # shellcheck disable=SC2086
  median ${result[$1]}
}

# The sum over the rounds of one figure.
ipv6_sum() { awk '{ s = 0; for (i = 1; i <= NF; i++) s += $i; print s }' <<<"${result[$1]:-0}"; }

# Each round's IPv6 ÷ IPv4 round trips for one kind and configuration.
ipv6_ratios() {
  local a=(${result[rate:$1:6:$2]}) b=(${result[rate:$1:4:$2]}) i out=()
  for i in "${!a[@]}"; do out+=("$(ratio "${a[$i]}" "${b[$i]:-}")"); done
  echo "${out[*]}"
}

ipv6_report() {
  local pinning size kind config r lost
  echo "Each figure: the median of $v6_rounds runs of ${result[seconds]} s after ${result[warmup]} s warm-up, 32 in flight," \
    "loss 0, delay 0; relay = dulvet (the relay engine), link = dulvet --pipeline (the link engine), direct = no relay."
  echo "IPv4: \`--listen 127.0.0.1:P --server 127.0.0.1:Q\`, the client on 127.0.0.1; IPv6: \`--listen [::1]:P --server [::1]:Q\`, the client on ::1."
  echo
  table_head "round trips/s" "IPv4" "IPv6" "IPv6 ÷ IPv4" "RTT p50 µs IPv4" "RTT p50 µs IPv6" "lost (v4 / v6)"
  for pinning in pinned free; do
    for size in 64 1400; do
      for kind in direct relay link; do
        config=$size:$pinning
        lost="$(ipv6_sum "lost:$kind:4:$config") / $(ipv6_sum "lost:$kind:6:$config")"
        echo "| $kind, $size B, $pinning | $(ipv6_median "rate:$kind:4:$config") | $(ipv6_median "rate:$kind:6:$config") |" \
          "$(ratio "$(ipv6_median "rate:$kind:6:$config")" "$(ipv6_median "rate:$kind:4:$config")") |" \
          "$(ipv6_median "p50:$kind:4:$config") | $(ipv6_median "p50:$kind:6:$config") | $lost |"
      done
    done
  done
  echo
  echo "Goal: throughput over ::1 within 10 % of the same run over 127.0.0.1 (IPv6 ÷ IPv4 ≥ 0.90), each engine:"
  echo
  for pinning in pinned free; do
    for size in 64 1400; do
      for kind in relay link; do
        config=$size:$pinning
        r=$(ratio "$(ipv6_median "rate:$kind:6:$config")" "$(ipv6_median "rate:$kind:4:$config")")
        echo "- $kind, $size B, $pinning: $r × — $(verdict "\"$r\" + 0 >= 0.90") (round by round: $(ipv6_ratios "$kind" "$config"); direct path $(ratio "$(ipv6_median "rate:direct:6:$config")" "$(ipv6_median "rate:direct:4:$config")") ×)"
      done
    done
  done
}
