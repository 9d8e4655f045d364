# Delay beside a busy program: delay 20 ms, one datagram at a time, through
# each engine with the relay (and the Wine server) on processor 0 and the
# client and echo server on processor 1; idle, then with a loop that never
# waits (dulvet_loadgen busy) on processor 0 as well. The cases alternate
# within each round. The link engine is dulvet --pipeline; link-nobody runs
# it as nobody, who may not raise its priority (only when run as root).
# With --before REF the engines built from REF are measured beside them.

busy_title() { echo "Delay beside a busy program"; }

busy_label() {
  case "$1" in
    relay) echo "dulvet, the relay engine, as $(id -un)" ;;
    link) echo "dulvet, the link engine, as $(id -un)" ;;
    link-nobody) echo "dulvet, the link engine, as nobody (no CAP_SYS_NICE)" ;;
    wine-relay) echo "dulvet.exe under Wine, the relay engine" ;;
    wine-link) echo "dulvet.exe under Wine, the link engine" ;;
  esac
}

# The cases, one "engine version" a line.
busy_cases() {
  local engine version versions=(after)
  [[ -n $before_ref ]] && versions=(before after)
  for engine in relay link link-nobody wine-relay wine-link; do
    [[ $engine == link-nobody && ($EUID != 0 || -z $(command -v setpriv)) ]] && continue
    [[ $engine == wine-* ]] && ((!wine_ok)) && continue
    for version in "${versions[@]}"; do
      [[ $engine == link-nobody && $version == before ]] && continue
      echo "$engine $version"
    done
  done
}

busy_start_case() {
  local engine=$1 version=$2 native=$native_dulvet wine=$wine_dulvet
  if [[ $version == before ]]; then native=$before_native wine=${before_wine:-}; fi
  local on_wine=(env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine "$wine")
  case "$engine" in
    relay) start_dulvet pinned "$echo_port" "$native" -- --delay 20 ;;
    link) start_dulvet pinned "$echo_port" "$native" -- --pipeline --delay 20 ;;
    link-nobody) start_dulvet pinned "$echo_port" setpriv --reuid=65534 --regid=65534 --clear-groups "$native" -- \
                   --pipeline --delay 20 ;;
    wine-relay) start_dulvet pinned "$echo_port" "${on_wine[@]}" -- --delay 20 ;;
    wine-link) start_dulvet pinned "$echo_port" "${on_wine[@]}" -- --pipeline --delay 20 ;;
  esac
  relay_kind=$engine
}

busy_measure() {
  need_wine
  local round condition entry engine version line cases=()
  busy_seconds=$(full_or_quick 4 2)
  busy_rounds=$(rounds_or 3)
  before_label=""
  [[ -n $before_ref ]] && build_before "$before_ref"
  mapfile -t cases < <(busy_cases)
  start_echo other
  pin_wineserver pinned
  for ((round = 1; round <= busy_rounds; round++)); do
    for condition in idle busy; do
      for entry in "${cases[@]}"; do
        read -r engine version <<<"$entry"
        busy_start_case "$engine" "$version"
        busy_pid=""
        [[ $condition == busy ]] && start_busy
        line=$($(pin other) "$loadgen" delay --target "127.0.0.1:$relay_port" --delay-ms 20 --seconds "$busy_seconds")
        [[ -n $busy_pid ]] && end_pid "$busy_pid"
        stop_relay
        note "$engine $version $condition round $round: $line"
        result[p50:$engine:$version:$condition]+=" $(field "$line" err_p50_us)"
        result[p99:$engine:$version:$condition]+=" $(field "$line" abs_err_p99_us)"
        result[late:$engine:$version:$condition]=$((${result[late:$engine:$version:$condition]:-0} + $(field "$line" over_1ms)))
        result[count:$engine:$version:$condition]=$((${result[count:$engine:$version:$condition]:-0} + $(field "$line" samples)))
      done
    done
  done
  end_pid "$echo_pid"
}

# "p50 / p99 (best–worst p99)": medians over the rounds, for one case.
busy_cell() {
  local key=$1:$2:$3 p50 p99 best worst
  [[ -n ${result[p99:$key]:-} ]] || { echo "–"; return; }
  # shellcheck disable=SC2086
  p50=$(median ${result[p50:$key]})
  # shellcheck disable=SC2086
  read -r p99 best worst <<<"$(spread ${result[p99:$key]})"
  awk -v a="$p50" -v b="$p99" -v lo="$best" -v hi="$worst" -v n="$busy_rounds" 'BEGIN {
    printf "%.0f / %.0f", a, b; if (n > 1) printf " (%.0f–%.0f)", lo, hi; printf "\n" }'
}

busy_report() {
  local engine columns=(idle "busy neighbour")
  echo "Each case ${busy_seconds} s of one datagram at a time, the cases alternating within each of ${busy_rounds} rounds${before_label:+; \"before\" is $before_label}."
  echo "A cell: the medians over the rounds of p50 / p99 of (one-way − 20 ms) in µs, and in brackets the best and the worst round's p99."
  echo
  [[ -n $before_ref ]] && columns=("idle, before" idle "busy neighbour, before" "busy neighbour")
  table_head "one-way − 20 ms, µs" "${columns[@]}"
  for engine in relay link link-nobody wine-relay wine-link; do
    [[ -n ${result[p99:$engine:after:idle]:-} ]] || continue
    if [[ -n $before_ref ]]; then
      echo "| $(busy_label "$engine") | $(busy_cell "$engine" before idle) | $(busy_cell "$engine" after idle) |" \
        "$(busy_cell "$engine" before busy) | $(busy_cell "$engine" after busy) |"
    else
      echo "| $(busy_label "$engine") | $(busy_cell "$engine" after idle) | $(busy_cell "$engine" after busy) |"
    fi
  done
  echo
  echo "Goals (natively, median of $busy_rounds rounds, the worst round in brackets): p99 ≤ 1000 µs beside the busy loop, p50 ≤ 300 µs idle and busy."
  echo
  local p99 worst p50_idle p50_busy
  for engine in relay link link-nobody; do
    [[ -n ${result[p99:$engine:after:busy]:-} ]] || continue
    # shellcheck disable=SC2086
    read -r p99 _ worst <<<"$(spread ${result[p99:$engine:after:busy]})"
    # shellcheck disable=SC2086
    p50_idle=$(median ${result[p50:$engine:after:idle]}) p50_busy=$(median ${result[p50:$engine:after:busy]})
    echo "- $(busy_label "$engine"): busy p99 $p99 µs ($worst) — $(verdict "$p99 + 0 <= 1000")," \
      "${result[late:$engine:after:busy]} of ${result[count:$engine:after:busy]} datagrams over 1 ms;" \
      "p50 idle $p50_idle, busy $p50_busy — $(verdict "$p50_idle + 0 <= 300 && $p50_busy + 0 <= 300")"
  done
}
