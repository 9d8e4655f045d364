# The control API and scenarios (bench/control.py), each against its goal:
# a change through PATCH /settings met by the first datagram sent after the
# answer (1 000 changes); 1 000 calls a second beside --pipeline --delay 100
# at 10 000 datagrams a second, against the same run without calls, in
# turn; and how late a 60 s scenario's steps apply, idle and beside that
# traffic. With --before REF the scenario runs on the build from REF too.

control_title() { echo "The control API and scenarios: changes on time, calls beside traffic, steps on time"; }

# dulvet --pipeline with the control API; sets control_api (its URL).
control_start() {
  local server=$1
  shift
  start_relay link free "$server" --control 127.0.0.1:0 "$@"
  await_line "$work/relay.err" "control API on"
  control_api=$(sed -n 's/^dulvet: control API on //p' "$work/relay.err" | head -1)
}

control_changes() {
  local server line key
  server=$("$loadgen" freeport)
  control_start "$server"
  line=$(timeout 600 python3 bench/control.py changes --api "$control_api" --relay-port "$relay_port" \
    --server-port "$server" --count "$(full_or_quick 1000 100)")
  stop_relay
  note "$line"
  for key in count met missed failed_calls call_p50_us call_p99_us send_after_answer_p99_us send_after_answer_max_us; do
    result[changes:$key]=$(field " $line" "$key")
  done
}

# One run of 10 000/s through --pipeline --delay 100, with or without 1 000
# calls a second: sets result[*:<tag>].
control_load() {
  local tag=$1 calls=$2 seconds=$3 pace_pid hammer_pid="" pace_line hammer_line=""
  start_sink free --delay-ms 100 --idle-ms 3000
  control_start "$sink_port" --delay 100 --seed 1 --quiet
  sleep 0.5
  "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds "$seconds" >"$work/pace.out" &
  pace_pid=$!
  started_pids+=("$pace_pid")
  if ((calls)); then
    timeout $((seconds * 3 + 30)) python3 bench/control.py hammer --api "$control_api" --rate 1000 \
      --seconds "$seconds" >"$work/hammer.out" &
    hammer_pid=$!
    started_pids+=("$hammer_pid")
  fi
  wait "$pace_pid" || true
  end_pid "$pace_pid"
  if [[ -n $hammer_pid ]]; then
    wait "$hammer_pid" || true
    end_pid "$hammer_pid"
    hammer_line=$(cat "$work/hammer.out")
  fi
  pace_line=$(cat "$work/pace.out")
  await_sink
  stop_relay
  note "load $tag: $pace_line"
  note "load $tag: $sink_line"
  [[ -n $hammer_line ]] && note "load $tag: $hammer_line"
  record_paced "$tag" "$pace_line" "$sink_line"
  result[calls:$tag]=$(field " $hammer_line" calls)
  result[rate:$tag]=$(field " $hammer_line" rate)
  result[failed:$tag]=$(field " $hammer_line" failed)
  result[call_p99:$tag]=$(field " $hammer_line" call_p99_us)
  control_tags+=("$tag")
}

# A scenario of a step every 100 ms through dulvet (program), idle or
# beside 10 000/s: sets result[lateness:<tag>:*].
control_lateness() {
  local tag=$1 program=$2 traffic=$3 seconds=$4 pace_pid="" line key
  python3 bench/control.py scenario --seconds "$seconds" --every-ms 100 --out "$work/steps.txt"
  start_sink free --delay-ms 100 --idle-ms 3000 --seconds $((seconds + 60))
  dulvet_ready='"settings"' start_dulvet free "$sink_port" "$program" -- --pipeline --delay 100 --quiet \
    --log-format json --scenario "$work/steps.txt"
  relay_kind=link
  if ((traffic)); then
    "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds "$seconds" >"$work/pace.out" &
    pace_pid=$!
    started_pids+=("$pace_pid")
  fi
  # Every step's own line, within the scenario's length and a minute more.
  sleep "$seconds"
  for _ in $(seq 600); do
    (($(grep -c '"text":"Set --keep-order' "$work/relay.out") >= seconds * 10)) && break
    sleep 0.1
  done
  [[ -n $pace_pid ]] && { wait "$pace_pid" || true; end_pid "$pace_pid"; }
  stop_relay
  end_pid "$sink_pid"
  line=$(python3 bench/control.py lateness --log "$work/relay.out")
  note "lateness $tag: $line"
  for key in steps p50_us p99_us max_us early early_max_us; do
    result[lateness:$tag:$key]=$(field " $line" "$key")
  done
  control_late_tags+=("$tag")
}

control_measure() {
  local round seconds scenario_seconds
  seconds=$(full_or_quick 10 2)
  scenario_seconds=$(full_or_quick 60 6)
  result[seconds]=$seconds
  result[scenario_seconds]=$scenario_seconds
  control_tags=() control_late_tags=()
  say "control: changes"
  control_changes
  for round in $(seq "$(rounds_or 2)"); do
    say "control: load, round $round"
    control_load "without-$round" 0 "$seconds"
    control_load "with-$round" 1 "$seconds"
  done
  say "control: scenario lateness"
  if [[ -n $before_ref ]]; then
    build_before "$before_ref"
    control_lateness "before-idle" "$before_native" 0 "$scenario_seconds"
  fi
  control_lateness idle "$native_dulvet" 0 "$scenario_seconds"
  control_lateness traffic "$native_dulvet" 1 "$scenario_seconds"
}

control_report() {
  local tag label worst_p99=0 ok_p99=1 lost_with=0 lost_without=0 rate_with=0 rate_without=0 runs=0
  echo "All figures from one run, natively; the machine has 2 processors shared with two other engineers' work."
  echo
  echo "### A change applies by the time the call returns"
  echo
  table_head "PATCH /settings, random loss 100 % and 0 % in turn" changes "met by the next datagram" missed \
    "failed calls" "call p50 µs" "call p99 µs" "datagram sent after the answer, p99 µs" "max µs"
  echo "| then one datagram, decided before the next change | $(v changes:count) | $(v changes:met) | $(v changes:missed) |" \
    "$(v changes:failed_calls) | $(v changes:call_p50_us) | $(v changes:call_p99_us) | $(v changes:send_after_answer_p99_us) |" \
    "$(v changes:send_after_answer_max_us) |"
  echo
  echo "### 1 000 calls a second beside --pipeline --delay 100 at 10 000 datagrams a second"
  echo
  table_head "${result[seconds]} s each, 64 B" sent received "received/s" "error p50 µs" "error p99 µs" \
    "error max µs" "sender late at most µs" "calls" "calls/s" "failed" "call p99 µs"
  for tag in "${control_tags[@]}"; do
    label="${tag%-*} calls, run ${tag##*-}"
    echo "| $label | $(v sent:$tag) | $(v received:$tag) |" \
      "$(awk -v r="$(v received:$tag)" -v s="${result[seconds]}" 'BEGIN { printf "%.0f", r / s }') |" \
      "$(v p50:$tag) | $(v p99:$tag) | $(v max:$tag) | $(v late:$tag) | $(v calls:$tag) | $(v rate:$tag) |" \
      "$(v failed:$tag) | $(v call_p99:$tag) |"
    if [[ $tag == with-* ]]; then
      runs=$((runs + 1))
      lost_with=$((lost_with + $(v sent:$tag) - $(v received:$tag)))
      rate_with=$((rate_with + $(v received:$tag)))
      awk "BEGIN { exit !($(v p99:$tag) > $worst_p99) }" && worst_p99=$(v p99:$tag)
      awk "BEGIN { exit !($(v p99:$tag) <= 1000) }" || ok_p99=0
    else
      lost_without=$((lost_without + $(v sent:$tag) - $(v received:$tag)))
      rate_without=$((rate_without + $(v received:$tag)))
    fi
  done
  echo
  echo "(Error: the one-way time less the 100 ms delay, the sender's stamp against the kernel's receive stamp." \
    "Sender late at most: how far behind its schedule the paced sender itself fell once.)"
  echo
  echo "### Scenario steps on time"
  echo
  table_head "a step every 100 ms for ${result[scenario_seconds]} s" steps "late p50 µs" "late p99 µs" "late max µs" \
    "seemingly early" "by at most µs"
  for tag in "${control_late_tags[@]}"; do
    case $tag in
      idle) label="dulvet, idle" ;;
      traffic) label="dulvet, beside 10 000 datagrams/s" ;;
      before-idle) label="dulvet from $before_label, idle" ;;
    esac
    echo "| $label | $(v lateness:$tag:steps) | $(v lateness:$tag:p50_us) | $(v lateness:$tag:p99_us) |" \
      "$(v lateness:$tag:max_us) | $(v lateness:$tag:early) | $(v lateness:$tag:early_max_us) |"
  done
  echo
  echo "(Late: the time of the engine's own line for the step, less the step's time counted from the line that" \
    "says the scenario started. That line is stamped a little after the scenario's true start, later still when" \
    "the main thread waits behind the engine's raised one; no step applies before its time, so a step that" \
    "seems early measures that error of the origin.)"
  echo
  echo "Goals:"
  echo
  echo "- a change applies within 1 ms of the call returning: $(v changes:met) of $(v changes:count) changes met by" \
    "the first datagram sent after the answer (the call answers once the engine has applied it) —" \
    "$(verdict "$(v changes:missed) == 0 && $(v changes:count) > 0")"
  echo "- 1 000 calls/s beside 10 000 datagrams/s: delay error p99 at most $worst_p99 µs with calls —" \
    "$(verdict "$ok_p99 == 1 && $runs > 0"); received $rate_with with calls against $rate_without without" \
    "over $runs runs each ($lost_with and $lost_without lost) — $(verdict "$lost_with <= $lost_without + $runs * 10")"
  echo "- steps within 1 ms of their time, p99, over ${result[scenario_seconds]} s: idle $(v lateness:idle:p99_us) µs," \
    "beside traffic $(v lateness:traffic:p99_us) µs —" \
    "$(verdict "$(v lateness:idle:p99_us) + 0 <= 1000 && $(v lateness:traffic:p99_us) + 0 <= 1000 && $(v lateness:idle:steps) + 0 > 0")"
}
