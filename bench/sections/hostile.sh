# Hostile traffic (bench/hostile.py): a datagram spoofed from the relay's
# own address with an echoing server, output nobody reads, a flood of
# one-byte datagrams up to the cap and a shorter delay with all of them
# waiting, a spray of new source ports beside a client in real use. With
# --before REF the build from REF runs the same cases beside it.

hostile_title() { echo "Hostile traffic: loops, blocked output, the cap, modify under a flood, a spray"; }

hostile_measure() {
  local version program what line quick=""
  ((quick)) && quick=quick
  hostile_versions=(after)
  before_label=""
  if [[ -n $before_ref ]]; then
    build_before "$before_ref"
    hostile_versions=(before after)
  fi
  for version in "${hostile_versions[@]}"; do
    program=$native_dulvet
    [[ $version == before ]] && program=$before_native
    for what in loop blocked flood spray; do
      say "hostile: $what ($version)"
      while IFS= read -r line; do
        note "$version $line"
        hostile_record "$version" "$line"
      done < <(timeout 900 python3 bench/hostile.py "$program" "$what" $quick)
    done
  done
}

# "loop link-each: echoed=0 ..." -> result[version:loop link-each:echoed]
hostile_record() {
  local version=$1 line=$2 name pair
  name=${line%%:*}
  for pair in ${line#*:}; do
    [[ $pair == *=* ]] && result[$version:$name:${pair%%=*}]=${pair#*=}
  done
}

hostile_cell() {
  local key=$2
  if [[ -n $before_ref ]]; then
    echo "$(v "before:$1:$key") → $(v "after:$1:$key")"
  else
    v "after:$1:$key"
  fi
}

hostile_report() {
  local what
  echo "Each figure from one run${before_label:+; \"before → after\": $before_label, then this build}." \
    "The machine has 2 processors shared with other work: compare within one run only."
  echo
  table_head "Case" "figure" "value"
  for what in relay link-last link-each; do
    echo "| one datagram from the relay's own address, echoing server, 2.5 s ($what) | datagrams echoed | $(hostile_cell "loop $what" echoed) |"
  done
  for what in relay link; do
    echo "| stdout nobody reads, 20 000 datagrams/s ($what) | memory growth, MB/hour | $(hostile_cell "blocked $what" mb_per_hour) |"
  done
  echo "| one-byte datagrams up to the cap | waiting at the cap | $(hostile_cell flood waiting_at_cap) |"
  echo "| | RSS at the cap, MiB | $(hostile_cell flood rss_at_cap_mib) |"
  echo "| | RSS 10 s after the backlog left, MiB | $(hostile_cell flood rss_10s_after_mib) |"
  echo "| 'modify 0 0' with all of them waiting | longest gap the other way, ms | $(hostile_cell flood longest_gap_ms) |"
  echo "| | 'stats' answered after, ms | $(hostile_cell flood stats_answer_ms) |"
  echo "| | the backlog left within, s | $(hostile_cell flood backlog_left_s) |"
  for what in same-address many-addresses; do
    echo "| 6 000 new ports/s ($what) beside a client at 200/s | its replies lost, % | $(hostile_cell "spray $what" lost_pct) |"
  done
  echo
  echo "Goals:"
  echo
  echo "- no loop: $(v "after:loop link-each:echoed") / $(v "after:loop link-last:echoed") / $(v "after:loop relay:echoed") echoed — $(verdict "$(v "after:loop link-each:echoed") + $(v "after:loop link-last:echoed") + $(v "after:loop relay:echoed") == 0")"
  echo "- RSS at the cap within about 320 MiB: $(v after:flood:rss_at_cap_mib) — $(verdict "$(v after:flood:rss_at_cap_mib) <= 330")"
  echo "- under 64 MiB 10 s after the backlog left: $(v after:flood:rss_10s_after_mib) — $(verdict "$(v after:flood:rss_10s_after_mib) < 64")"
  echo "- no gap over 50 ms the other way while the backlog leaves: $(v after:flood:longest_gap_ms) ms — $(verdict "$(v after:flood:longest_gap_ms) <= 50")"
  for what in same-address many-addresses; do
    echo "- at most 5 % of the client's replies lost ($what): $(v "after:spray $what:lost_pct") % — $(verdict "$(v "after:spray $what:lost_pct") <= 5")"
  done
}
