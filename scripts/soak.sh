#!/usr/bin/env bash
# A long run of dulvet, by hand (scripts/test.sh does not run it).
#
# The native dulvet runs with loss and delay on, its lines going to a file,
# and gets a "modify" command on a schedule (alternating 10 % / 1 ms and
# 25 % / 2 ms every 30 s), while the load generator keeps a few datagrams
# in flight through it to an echo server, all on 127.0.0.1. Meanwhile its
# memory is sampled. At the end it checks that dulvet neither crashed nor
# lost a line (one count or miss line and one delay line per datagram
# sent, one count line per datagram the server got, one settings block per
# modify, and its own counters agreeing) and reports the rate, the peak
# memory (VmHWM) and the size of its output.
#
# Usage: scripts/soak.sh [MINUTES]     (default 10)
#   DULVET_BUILD_DIR  the native build to use (default build/native)
#
# Every process it starts is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/end-pids.sh
minutes=${1:-10}
[[ $minutes =~ ^[0-9]+$ && $minutes -ge 1 ]] || { echo "usage: scripts/soak.sh [MINUTES]" >&2; exit 2; }
seconds=$((minutes * 60))
build=${DULVET_BUILD_DIR:-build/native}
loss1=10 delay1=1 loss2=25 delay2=2 every=30

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

# "name key=value ..." -> value
field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" "$1" | tail -1; }
# how many lines of the file begin with the text
lines_with() { grep -c "^$2" "$1" || true; }
# "..., <n> <what>, ..." in dulvet's summary -> n
summary() { sed -n "s/.*[:,] \([0-9]*\) $1\(,.*\)*$/\1/p" "$work/relay.err" | tail -1; }
wait_for_line() {  # file pattern
  for _ in $(seq 200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "no '$2' in $1" >&2
  return 1
}

# The echo server outlives the load by a little, then ends and reports.
"$loadgen" echo --seconds $((seconds + 20)) >"$work/echo.out" &
echo_pid=$!
started+=("$echo_pid")
wait_for_line "$work/echo.out" "^echo port="
echo_port=$(sed -n 's/^echo port=//p' "$work/echo.out")

# dulvet runs until "quit" (bounded by its own --duration).
relay_port=$("$loadgen" freeport)
mkfifo "$work/relay.in"
"$relay" --listen "127.0.0.1:$relay_port" --server "127.0.0.1:$echo_port" --loss "$loss1" --delay "$delay1" \
  --duration $((seconds + 120)) <"$work/relay.in" >"$work/relay.out" 2>"$work/relay.err" &
relay_pid=$!
started+=("$relay_pid")
exec {relay_in}>"$work/relay.in"
wait_for_line "$work/relay.out" "^Delay :"

echo "soak: ${minutes} min through 127.0.0.1:$relay_port, loss $loss1/$loss2 %, delay $delay1/$delay2 ms, Modify every ${every} s"
"$loadgen" rate --target "127.0.0.1:$relay_port" --size 64 --window 4 --timeout-ms 50 --warmup 0 \
  --seconds "$seconds" >"$work/rate.out" &
rate_pid=$!
started+=("$rate_pid")

peak_kb=0
samples=()
next_report=60
elapsed=0
presses=0
while kill -0 "$rate_pid" 2>/dev/null; do
  sleep 5
  elapsed=$((elapsed + 5))
  kill -0 "$relay_pid" 2>/dev/null || { echo "FAIL: the relay ended during the run" >&2; exit 1; }
  if ((elapsed % every == 0 && elapsed < seconds)); then
    if ((presses % 2 == 0)); then echo "modify $loss2 $delay2"; else echo "modify $loss1 $delay1"; fi >&"$relay_in"
    presses=$((presses + 1))
  fi
  hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$relay_pid/status")
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$relay_pid/status")
  ((hwm > peak_kb)) && peak_kb=$hwm
  if ((elapsed >= next_report)); then
    samples+=("$((elapsed / 60)) min: VmRSS $((rss / 1024)) MiB")
    echo "  ${samples[-1]}"
    next_report=$((next_report + 60))
  fi
done
wait "$rate_pid" || { echo "FAIL: the load generator failed" >&2; exit 1; }

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

sent=$(field "$work/rate.out" sent)
echoed=$(field "$work/echo.out" echoed)
counted=$(lines_with "$work/relay.out" "count:")
missed=$(lines_with "$work/relay.out" "Miss a packet\.")
delays=$(lines_with "$work/relay.out" "Delay [-0-9]* ms\.")
# The first settings block is the start's.
blocks=$(($(lines_with "$work/relay.out" "Dulvet Ready!") - 1))
bytes=$(stat -c %s "$work/relay.out")
out_mib=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')

echo
echo "| measure | value |"
echo "| --- | --- |"
echo "| duration | ${minutes} min |"
echo "| datagrams sent by the client | $sent ($((sent / seconds)) per second) |"
echo "| forwarded / dropped (log) | $counted / $missed |"
echo "| reached the server | $echoed |"
echo "| delay lines | $delays |"
echo "| modify commands / settings blocks | $presses / $blocks |"
echo "| standard output | $bytes bytes ($out_mib MiB) |"
echo "| summary | $(sed 's/|/\\|/g' "$work/relay.err" | tail -1) |"
echo "| relay peak memory (VmHWM, sampled every 5 s) | $((peak_kb / 1024)) MiB |"

failures=0
check() {  # description, actual, expected
  if [[ $2 == "$3" ]]; then echo "ok: $1 ($2)"; else echo "FAIL: $1: $2, expected $3"; failures=$((failures + 1)); fi
}
echo
check "one count or miss line per datagram sent" $((counted + missed)) "$sent"
check "one count line per datagram the server got" "$counted" "$echoed"
check "one delay line per datagram" "$delays" $((counted + missed))
check "one settings block per modify" "$blocks" "$presses"
check "modify sent on schedule" "$((presses >= seconds / every - 1))" 1
check "its count of datagrams from the client" "$(summary "from clients")" "$sent"
check "its count of datagrams to the server" "$(summary "to server")" "$counted"
check "its count of drops" "$(summary dropped)" "$missed"
((failures == 0)) || exit 1
