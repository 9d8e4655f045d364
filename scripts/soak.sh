#!/usr/bin/env bash
# A long run of dulvet, by hand (scripts/test.sh does not run it).
#
# Dialog mode (the default): the native dulvet runs the relay engine
# with loss and delay on, its lines going to a file, and gets a "modify"
# command on a schedule (alternating 10 % / 1 ms and 25 % / 2 ms every
# 30 s), while the load generator keeps a few datagrams in flight through it
# to an echo server, all on 127.0.0.1. At the end it checks that dulvet
# neither crashed nor lost a line (one count or miss line and one delay
# line per datagram sent, one count line per datagram the server got, one
# settings block per modify, and its own counters agreeing).
#
# Link mode (--link): dulvet runs the link engine with a session per
# client, jitter, random loss and a rate limit with a short queue, both
# ways. Every minute a new set of clients starts (new sessions; the last
# set's close as idle), and a "modify" alternates the delay. At the end it
# checks that nothing was lost beyond the configured drops: what the
# clients sent, what the server echoed and what the clients got back
# against dulvet's counters, each drop counted by its cause and logged.
#
# Both modes sample dulvet's memory every 5 s and report the peak (VmHWM)
# and whether it stayed flat (the last minute against the first).
#
# Usage: scripts/soak.sh [--link] [MINUTES]     (default 10)
#   DULVET_BUILD_DIR  the native build to use (default build/native)
#
# Every process it starts is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/end-pids.sh
mode=dialog minutes=10
for arg in "$@"; do
  case "$arg" in
    --link) mode=link ;;
    *[!0-9]*|"") echo "usage: scripts/soak.sh [--link] [MINUTES]" >&2; exit 2 ;;
    *) minutes=$arg ;;
  esac
done
((minutes >= 1)) || { echo "usage: scripts/soak.sh [--link] [MINUTES]" >&2; exit 2; }
seconds=$((minutes * 60))
build=${DULVET_BUILD_DIR:-build/native}

cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j2 --target dulvet_loadgen dulvet >/dev/null
loadgen=$build/bench/dulvet_loadgen
relay=$build/cli/dulvet

work=$(mktemp -d /tmp/dulvet-soak.XXXXXX)
started=()
cleanup() {
  end_pids "${started[@]}"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# "name key=value ..." -> value (the file's last such line)
field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" "$1" | tail -1; }
# the sum of a key over every line of the file
field_sum() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" "$1" | awk '{n += $1} END {print n + 0}'; }
# how many lines of the file begin with the text
lines_with() { grep -c "^$2" "$1" || true; }
# "..., <n> <what>, ..." in dulvet's summary -> n (0 when it is left out)
summary() {
  local n
  n=$(sed -n "s/.*[:,] \([0-9]*\) $1\(,.*\)*$/\1/p" "$work/relay.err" | tail -1)
  echo "${n:-0}"
}
wait_for_line() {  # file pattern
  for _ in $(seq 200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "no '$2' in $1" >&2
  return 1
}

# The echo server outlives the load by a little, then ends and reports.
"$loadgen" echo --seconds $((seconds + 10)) >"$work/echo.out" &
echo_pid=$!
started+=("$echo_pid")
wait_for_line "$work/echo.out" "^echo port="
echo_port=$(sed -n 's/^echo port=//p' "$work/echo.out")

if [[ $mode == dialog ]]; then
  loss1=10 delay1=1 loss2=25 delay2=2 every=30
  settings=(--loss "$loss1" --delay "$delay1")
  description="loss $loss1/$loss2 %, delay $delay1/$delay2 ms, Modify every ${every} s"
else
  # 8 clients with 2 in flight each; 256 kbit/s carries 500 datagrams of
  # 64 B a second in each direction, and a queue of 8 drops some of the 16.
  clients=8 every=60 delay1=5 delay2=8
  settings=(--pipeline --delay "$delay1" --jitter 2 --random-loss 1 --rate 256 --queue 8 --direction both
            --clients each --session-idle 5 --seed 7)
  description="${settings[*]}; $clients new clients and a modify every ${every} s"
fi

# dulvet runs until "quit" (bounded by its own --duration).
relay_port=$("$loadgen" freeport)
mkfifo "$work/relay.in"
"$relay" --listen "127.0.0.1:$relay_port" --server "127.0.0.1:$echo_port" "${settings[@]}" \
  --duration $((seconds + 120)) <"$work/relay.in" >"$work/relay.out" 2>"$work/relay.err" &
relay_pid=$!
started+=("$relay_pid")
exec {relay_in}>"$work/relay.in"
wait_for_line "$work/relay.out" "^Delay :"

echo "soak ($mode): ${minutes} min through 127.0.0.1:$relay_port, $description"

# The load: one run for the dialog, a new set of clients every minute for
# the link engine (their lines gather in load.out).
: >"$work/load.out"
if [[ $mode == dialog ]]; then
  "$loadgen" rate --target "127.0.0.1:$relay_port" --size 64 --window 4 --timeout-ms 50 --warmup 0 \
    --seconds "$seconds" >"$work/load.out" &
else
  (
    for ((round = 0; round < seconds / every; ++round)); do
      "$loadgen" clients --target "127.0.0.1:$relay_port" --clients "$clients" --window 2 --size 64 --warmup 0 \
        --timeout-ms 200 --seconds $((every - 1)) --drain-ms 500 >>"$work/load.out" || exit 1
    done
  ) &
fi
load_pid=$!
started+=("$load_pid")

peak_kb=0
rss_samples=()
next_report=60
elapsed=0
presses=0
while kill -0 "$load_pid" 2>/dev/null; do
  sleep 5
  elapsed=$((elapsed + 5))
  kill -0 "$relay_pid" 2>/dev/null || { echo "FAIL: the relay ended during the run" >&2; exit 1; }
  if ((elapsed % every == 0 && elapsed < seconds)); then
    if [[ $mode == dialog ]]; then
      if ((presses % 2 == 0)); then echo "modify $loss2 $delay2"; else echo "modify $loss1 $delay1"; fi
    else
      if ((presses % 2 == 0)); then echo "modify 0 $delay2"; else echo "modify 0 $delay1"; fi
    fi >&"$relay_in"
    presses=$((presses + 1))
  fi
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$relay_pid/status")
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$relay_pid/status")
  rss_samples+=("$rss")
  ((hwm > peak_kb)) && peak_kb=$hwm
  if ((elapsed >= next_report)); then
    echo "  $((elapsed / 60)) min: VmRSS $rss kB"
    next_report=$((next_report + 60))
  fi
done
wait "$load_pid" || { echo "FAIL: the load generator failed" >&2; exit 1; }

# Let the last datagrams through, then "quit": it stops and writes its summary.
sleep 1
echo quit >&"$relay_in"
exec {relay_in}>&-
status=0
for _ in $(seq 600); do kill -0 "$relay_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$relay_pid" 2>/dev/null; then
  echo "FAIL: the relay did not end within 60 s of quit" >&2
  exit 1
fi
wait "$relay_pid" || status=$?
((status == 0)) || { echo "FAIL: the relay exited with status $status" >&2; exit 1; }
wait "$echo_pid" || true

# Memory: the largest sample of the first minute against the last minute's.
per_minute=$((60 / 5))
first_kb=$(printf '%s\n' "${rss_samples[@]:0:$per_minute}" | sort -n | tail -1)
last_kb=$(printf '%s\n' "${rss_samples[@]: -$per_minute}" | sort -n | tail -1)
echoed=$(field "$work/echo.out" echoed)
bytes=$(stat -c %s "$work/relay.out")
out_mib=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')

failures=0
check() {  # description, actual, expected
  if [[ $2 == "$3" ]]; then echo "ok: $1 ($2)"; else echo "FAIL: $1: $2, expected $3"; failures=$((failures + 1)); fi
}

echo
echo "| measure | value |"
echo "| --- | --- |"
echo "| duration | ${minutes} min |"
if [[ $mode == dialog ]]; then
  sent=$(field "$work/load.out" sent)
  counted=$(lines_with "$work/relay.out" "count:")
  missed=$(lines_with "$work/relay.out" "Miss a packet\.")
  delays=$(lines_with "$work/relay.out" "Delay [-0-9]* ms\.")
  # The first settings block is the start's.
  blocks=$(($(lines_with "$work/relay.out" "Dulvet Ready!") - 1))
  echo "| datagrams sent by the client | $sent ($((sent / seconds)) per second) |"
  echo "| forwarded / dropped (log) | $counted / $missed |"
  echo "| reached the server | $echoed |"
  echo "| delay lines | $delays |"
fi
if [[ $mode == link ]]; then
  sent=$(field_sum "$work/load.out" sent)
  got=$(field_sum "$work/load.out" received)
  foreign=$(field_sum "$work/load.out" foreign)
  rounds=$(grep -c '^clients ' "$work/load.out" || true)
  blocks=$(($(lines_with "$work/relay.out" "Dulvet Ready!") - 1))
  echo "| client sets (sessions each) | $rounds × $clients |"
  echo "| datagrams the clients sent / the server echoed / the clients got back | $sent / $echoed / $got ($((sent / seconds)) a second) |"
fi
echo "| modify commands / settings blocks | $presses / $blocks |"
echo "| standard output | $bytes bytes ($out_mib MiB) |"
echo "| summary | $(sed 's/|/\\|/g' "$work/relay.err" | tail -1) |"
echo "| relay memory: VmRSS first minute / last minute, peak VmHWM | $first_kb / $last_kb kB, $peak_kb kB |"
echo
check "memory flat (the last minute's VmRSS within 1 MiB of the first's)" "$((last_kb <= first_kb + 1024))" 1
check "one settings block per modify" "$blocks" "$presses"
check "modify sent on schedule" "$((presses >= seconds / every - 1))" 1

if [[ $mode == dialog ]]; then
  check "one count or miss line per datagram sent" $((counted + missed)) "$sent"
  check "one count line per datagram the server got" "$counted" "$echoed"
  check "one delay line per datagram" "$delays" $((counted + missed))
  check "its count of datagrams from the client" "$(summary "from clients")" "$sent"
  check "its count of datagrams to the server" "$(summary "to server")" "$counted"
  check "its count of drops" "$(summary dropped)" "$missed"
else
  ts_received=$(summary to-server.received) ts_sent=$(summary to-server.sent)
  tc_received=$(summary to-client.received) tc_sent=$(summary to-client.sent)
  ts_dropped=$(($(summary to-server.random-loss) + $(summary to-server.queue-full)))
  tc_dropped=$(($(summary to-client.random-loss) + $(summary to-client.queue-full)))
  check "dulvet took every datagram the clients sent" "$ts_received" "$sent"
  check "to the server: taken = sent + random-loss + queue-full" "$ts_received" $((ts_sent + ts_dropped))
  check "the server echoed what dulvet sent it" "$echoed" "$ts_sent"
  check "dulvet took every echo" "$tc_received" "$echoed"
  check "to the clients: taken = sent + random-loss + queue-full" "$tc_received" $((tc_sent + tc_dropped))
  check "the clients got what dulvet sent them" "$got" "$tc_sent"
  check "no client got another's reply" "$foreign" 0
  for cause in periodic-loss burst-loss no-room send-failed; do
    check "no $cause" $(($(summary "to-server.$cause") + $(summary "to-client.$cause"))) 0
  done
  for counter in closed-session-drops stray-drops no-client-drops sessions.open-failed sessions.closed-limit; do
    check "no $counter" "$(summary "$counter")" 0
  done
  check "a session per client" "$(summary sessions.opened)" $((rounds * clients))
  check "the sets before the last closed as idle" "$(( $(summary sessions.closed-idle) >= (rounds - 1) * clients ))" 1
  check "a line per random drop" "$(lines_with "$work/relay.out" "Lost at random\.")" \
    $(($(summary to-server.random-loss) + $(summary to-client.random-loss)))
  check "a line per queue drop" "$(lines_with "$work/relay.out" "Queue full, dropped\.")" \
    $(($(summary to-server.queue-full) + $(summary to-client.queue-full)))
  check "a delay line per datagram sent" "$(lines_with "$work/relay.out" "Delay [0-9]* ms\.")" $((ts_sent + tc_sent))
  check "a line per session opened" "$(lines_with "$work/relay.out" "Session .* opened on port")" "$(summary sessions.opened)"
  check "random loss near 1 % (within 4 standard deviations)" "$(awk -v n=$((ts_received + tc_received)) \
    -v d=$(($(summary to-server.random-loss) + $(summary to-client.random-loss))) \
    'BEGIN { sd = sqrt(n * 0.01 * 0.99); print (d - n * 0.01) ^ 2 <= (4 * sd) ^ 2 ? 1 : 0 }')" 1
fi
((failures == 0)) || exit 1
