#!/usr/bin/env bash
# Measures dulvet running the link engine, as users run it (its lines going
# to a file, ended with "quit"), side by side in one run with socat and with
# dulvet running the dialog's engine, all on 127.0.0.1:
#
#   throughput       loss 0, delay 0: round trips/s, 64 B, 32 in flight
#   sessions         --clients each, 16 clients with 2 in flight each
#                    (socat: UDP4-LISTEN with fork, a child per client)
#   pipeline delay   --pipeline --delay 100 at 10 000 datagrams/s of 64 B for
#                    10 s: lost, one-way error, memory (VmRSS/VmHWM)
#   jitter           --delay 50 --jitter 20: KS distance to uniform [30, 70] ms
#   random loss      --random-loss 10 over 100 000 datagrams, twice with one
#                    seed and once with another: the dropped sequence numbers
#   rate             --rate 4000 --queue 100, offered 1.5 x the rate for 10 s
#   idle             processor and wake-ups, after start and after traffic
#
# and, under Wine, dulvet.exe's pipeline delay and throughput with the link
# engine. One-way times come from the kernel's receive stamp at the
# receiving end (dulvet_loadgen sink) against the sender's stamp.
# "Pinned" runs the relay, the client and the server on processor 0.
# Prints a markdown report and saves it to bench/results/link.md.
#
# Usage: bench/link.sh [--quick] [--no-wine]
#   --quick    shorter runs (about a minute); the goals need the full run
#   --no-wine  skip dulvet.exe
#
# Every process it starts is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/end-pids.sh
command_line="bench/link.sh${*:+ $*}"

quick=0 wine_wanted=1
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --no-wine) wine_wanted=0 ;;
    *) echo "usage: bench/link.sh [--quick] [--no-wine]" >&2; exit 2 ;;
  esac
done
if ((quick)); then
  rounds=1 pipeline_rounds=1 rate_seconds=1 load_seconds=2 loss_datagrams=20000 idle_seconds=2
else
  rounds=5 pipeline_rounds=3 rate_seconds=2.5 load_seconds=10 loss_datagrams=100000 idle_seconds=5
fi

loadgen=$root/build/native/bench/dulvet_loadgen
native=$root/build/native/cli/dulvet
wine_exe=$root/build/windows/cli/dulvet.exe
wine_prefix=$root/build/windows/bench-wineprefix

work=$(mktemp -d /tmp/dulvet-link.XXXXXX)
raw=$work/raw.txt
: >"$raw"
started=()
declare -A result=()
trap 'stop_wineserver; end_pids "${started[@]}"; rm -rf "$work"' EXIT

say() { echo "== $*" >&2; }
note() { echo "$*" | tee -a "$raw" >&2; }

# ---------------------------------------------------------------- processes

pin() { [[ $1 == pinned ]] && echo "taskset -c 0" || true; }

end_pid() {  # pid: ends one process started here and its children
  local child
  for child in $(pgrep -P "$1" 2>/dev/null || true); do kill "$child" 2>/dev/null || true; done
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Waits until the file has a line matching the pattern (up to 60 s).
await_line() {
  for _ in $(seq 1200); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "no '$2' in $1: $(cat "$1" 2>/dev/null)" >&2
  exit 1
}

# The echo server: sets echo_pid, echo_port.
start_echo() {
  $(pin "$1") "$loadgen" echo --seconds 900 >"$work/echo.out" &
  echo_pid=$!
  started+=("$echo_pid")
  await_line "$work/echo.out" "^echo port="
  echo_port=$(sed -n 's/^echo port=//p' "$work/echo.out")
}

# The time-stamping receiver, standing in for the server: sets sink_pid,
# sink_port; its report goes to $work/sink.out.
start_sink() {
  local pinning=$1
  shift
  $(pin "$pinning") "$loadgen" sink --seconds 120 "$@" >"$work/sink.out" &
  sink_pid=$!
  started+=("$sink_pid")
  await_line "$work/sink.out" "^sink port="
  sink_port=$(sed -n 's/^sink port=//p' "$work/sink.out")
}

# Waits for the receiver's report; sets sink_line.
await_sink() {
  wait "$sink_pid" || true
  sink_line=$(grep '^sink received' "$work/sink.out" || true)
}

# socat in front of the server at $1 (port); "fork" for a child per client.
start_socat() {
  local pinning=$1 server=$2 fork=${3:+,fork}
  relay_port=$("$loadgen" freeport)
  $(pin "$pinning") socat -T 60 "UDP4-LISTEN:$relay_port,bind=127.0.0.1,reuseaddr$fork" \
    "UDP4:127.0.0.1:$server" 2>>"$work/socat.err" &
  relay_pid=$!
  started+=("$relay_pid")
  for _ in $(seq 100); do
    grep -q "0100007F:$(printf '%04X' "$relay_port") " /proc/net/udp && return 0
    sleep 0.02
  done
  echo "socat did not start" >&2
  exit 1
}

# dulvet (or any command given before --) in front of the server at $2:
# its lines to relay.out, stats to relay.err, commands through a fifo.
# Sets relay_pid, relay_port.
start_dulvet() {
  local pinning=$1 server=$2
  shift 2
  local program=("$native")
  if [[ ${1:-} == wine ]]; then
    program=(env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine "$wine_exe")
    shift
  fi
  relay_port=$("$loadgen" freeport)
  rm -f "$work/relay.in"
  mkfifo "$work/relay.in"
  : >"$work/relay.out"
  $(pin "$pinning") "${program[@]}" --listen "127.0.0.1:$relay_port" --server "127.0.0.1:$server" \
    --duration 600 "$@" <"$work/relay.in" >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  started+=("$relay_pid")
  exec {relay_in}>"$work/relay.in"
  await_line "$work/relay.out" "^Delay :"
  # The process that holds the engine (under Wine, the .exe's own).
  relay_process=$relay_pid
  if [[ ${program[0]} == env ]]; then
    for _ in $(seq 100); do
      relay_process=$(pgrep -n -f "dulvet.exe --listen 127.0.0.1:$relay_port" || true)
      [[ -n $relay_process ]] && break
      sleep 0.05
    done
  fi
}

stop_dulvet() {
  echo quit >&"$relay_in"
  exec {relay_in}>&-
  for _ in $(seq 200); do
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.05
  done
  end_pid "$relay_pid"
  sed "s/\r$//; s/^/  relay: /" "$work/relay.err" | grep -v '^  relay: {' >>"$raw" || true
}

# The latest value of a counter in dulvet's stats lines (0 if none).
counter() {
  local value
  value=$(grep -o "\"$1\":[0-9]*" "$work/relay.err" | tail -1 | cut -d: -f2)
  echo "${value:-0}"
}

# The largest value a counter took in dulvet's stats lines.
counter_peak() {
  grep -o "\"$1\":[0-9]*" "$work/relay.err" | cut -d: -f2 | sort -n | tail -1
}

ask_stats() {  # a stats line now, and the time to write it
  echo stats >&"$relay_in"
  sleep 0.3
}

field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" <<<"$1"; }
status_kb() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }

# "<cpu ticks> <context switches>" of a process, over all its threads.
process_totals() {
  local task ticks=0 switches=0
  for task in /proc/"$1"/task/*; do
    ticks=$((ticks + $(sed 's/.*) //' "$task/stat" | awk '{print $12 + $13}')))
    switches=$((switches + $(awk '/ctxt_switches/ {n += $2} END {print n + 0}' "$task/status")))
  done
  echo "$ticks $switches"
}

# "<cpu %> <wake-ups/s>" of a process over the idle window.
idle_cost() {
  local before after
  before=$(process_totals "$1")
  sleep "$idle_seconds"
  after=$(process_totals "$1")
  awk -v b="$before" -v a="$after" -v s="$idle_seconds" -v hz="$(getconf CLK_TCK)" 'BEGIN {
    split(b, x, " "); split(a, y, " "); printf "%.2f %.1f\n", 100 * (y[1] - x[1]) / hz / s, (y[2] - x[2]) / s }'
}

# Median of the arguments.
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# ---------------------------------------------------------------- wine

wine_ok=0
wineserver_pid=""
start_wineserver() {
  ((wine_wanted)) && command -v wine >/dev/null || return 0
  say "building (windows)"
  cmake --preset windows >/dev/null && cmake --build --preset windows --target dulvet >/dev/null || {
    say "windows build failed: no Wine rows"; return 0; }
  bash scripts/wine-prefix.sh "$wine_prefix"
  WINEPREFIX=$wine_prefix timeout 900 wineserver -f -p 2>>"$work/wineserver.err" &
  wineserver_pid=$!
  started+=("$wineserver_pid")
  sleep 0.5
  wine_ok=1
}

stop_wineserver() {
  [[ -n $wineserver_pid ]] || return 0
  WINEPREFIX=$wine_prefix timeout 20 wineserver -k 2>/dev/null || true
  end_pid "$wineserver_pid"
  wineserver_pid=""
}

# ---------------------------------------------------------------- measurements

# Round trips/s through one relay kind into last_rate: socat, dialog
# (dulvet as the dialog's engine) or link (dulvet --pipeline: the link
# engine, delay 0), the last two also as dulvet.exe under Wine.
round_trips() {
  local kind=$1 pinning=$2 line
  case $kind in
    socat) start_socat "$pinning" "$echo_port" ;;
    dialog) start_dulvet "$pinning" "$echo_port" ;;
    link) start_dulvet "$pinning" "$echo_port" --pipeline --seed 1 ;;
    wine-dialog) start_dulvet "$pinning" "$echo_port" wine ;;
    wine-link) start_dulvet "$pinning" "$echo_port" wine --pipeline --seed 1 ;;
  esac
  line=$($(pin "$pinning") "$loadgen" rate --target "127.0.0.1:$relay_port" --size 64 --window 32 \
    --seconds "$rate_seconds" --warmup 0.3)
  [[ $kind == socat ]] && end_pid "$relay_pid" || stop_dulvet
  note "$kind $pinning: $line"
  last_rate=$(field "$line" per_second)
}

measure_throughput() {
  local pinning kind round kinds=(socat dialog link)
  ((wine_ok)) && kinds+=(wine-dialog wine-link)
  for pinning in pinned free; do
    say "throughput, $pinning"
    start_echo "$pinning"
    declare -A runs=()
    local ratios=""
    for round in $(seq "$rounds"); do
      for kind in "${kinds[@]}"; do
        [[ $kind == wine-* && $pinning == pinned ]] && continue
        round_trips "$kind" "$pinning"
        runs[$kind]+=" $last_rate"
        [[ $kind == socat ]] && local socat_rate=$last_rate
        [[ $kind == link ]] && ratios+=" $(ratio "$last_rate" "$socat_rate")"
      done
    done
    result[ratios:$pinning]=$(printf '%s\n' $ratios | sort -n | paste -sd' ')
    for kind in "${kinds[@]}"; do
      [[ -n ${runs[$kind]:-} ]] && result[rate:$kind:$pinning]=$(median ${runs[$kind]})
    done
    end_pid "$echo_pid"
  done
}

measure_sessions() {
  local pinning round line
  for pinning in pinned free; do
    say "16 clients, $pinning"
    start_echo "$pinning"
    local socat_runs="" link_runs="" foreign=0 session_ratios=""
    for round in $(seq "$rounds"); do
      start_socat "$pinning" "$echo_port" fork
      line=$($(pin "$pinning") "$loadgen" clients --target "127.0.0.1:$relay_port" --clients 16 --window 2 \
        --seconds "$rate_seconds")
      end_pid "$relay_pid"
      note "socat fork $pinning: $line"
      socat_runs+=" $(field "$line" per_second)"
      local socat_rate=$(field "$line" per_second)
      result[socat_foreign:$pinning]=$(field "$line" foreign)
      start_dulvet "$pinning" "$echo_port" --clients each --seed 1
      line=$($(pin "$pinning") "$loadgen" clients --target "127.0.0.1:$relay_port" --clients 16 --window 2 \
        --seconds "$rate_seconds")
      stop_dulvet
      note "link each $pinning: $line"
      link_runs+=" $(field "$line" per_second)"
      session_ratios+=" $(ratio "$(field "$line" per_second)" "$socat_rate")"
      foreign=$((foreign + $(field "$line" foreign)))
      result[link_fewest:$pinning]=$(field "$line" fewest)
      result[link_most:$pinning]=$(field "$line" most)
    done
    result[clients:socat:$pinning]=$(median $socat_runs)
    result[clients:link:$pinning]=$(median $link_runs)
    result[link_foreign:$pinning]=$foreign
    result[session_ratios:$pinning]=$(printf '%s\n' $session_ratios | sort -n | paste -sd' ')
    end_pid "$echo_pid"
  done
}

# --pipeline --delay 100 at 10 000 datagrams/s: sets result[pipe:*:<tag>].
pipeline_run() {
  local tag=$1 pinning=$2 rate=$3
  shift 3
  start_sink "$pinning" --delay-ms 100 --idle-ms 3000
  start_dulvet "$pinning" "$sink_port" "$@" --pipeline --delay 100 --seed 1 --stats 0.25
  local rss_start peak_rss=0 rss pace_line
  sleep 0.5
  rss_start=$(status_kb "$relay_process" VmRSS)
  $(pin "$pinning") "$loadgen" pace --target "127.0.0.1:$relay_port" --rate "$rate" --seconds "$load_seconds" \
    >"$work/pace.out" &
  local pace_pid=$!
  started+=("$pace_pid")
  while kill -0 "$pace_pid" 2>/dev/null; do
    rss=$(status_kb "$relay_process" VmRSS)
    ((rss > peak_rss)) && peak_rss=$rss
    sleep 0.2
  done
  wait "$pace_pid" || true
  pace_line=$(cat "$work/pace.out")
  await_sink
  local hwm
  hwm=$(status_kb "$relay_process" VmHWM)
  ask_stats
  result[pipe:waiting:$tag]=$(counter_peak waiting)
  result[pipe:waiting_bytes:$tag]=$(counter_peak waiting-bytes)
  stop_dulvet
  note "pipeline $tag: $pace_line"
  note "pipeline $tag: $sink_line"
  note "pipeline $tag: VmRSS before ${rss_start} kB, peak sampled ${peak_rss} kB, VmHWM ${hwm} kB"
  result[pipe:sent:$tag]=$(field "$pace_line" sent)
  result[pipe:late:$tag]=$(field "$pace_line" latest_us)
  result[pipe:received:$tag]=$(field "$sink_line" unique)
  result[pipe:p50:$tag]=$(field "$sink_line" err_p50_us)
  result[pipe:p99:$tag]=$(field "$sink_line" err_p99_us)
  result[pipe:max:$tag]=$(field "$sink_line" abs_err_max_us)
  result[pipe:rss_start:$tag]=$rss_start
  result[pipe:hwm:$tag]=$hwm
}

pipeline_tags=()
measure_pipeline() {
  local round pinning rate
  say "pipeline delay"
  for round in $(seq "$pipeline_rounds"); do
    for pinning in pinned free; do
      pipeline_run "$pinning-$round" "$pinning" 10000
      pipeline_tags+=("$pinning-$round")
    done
  done
  if ((wine_ok)); then
    for rate in 10000 5000 2000; do
      pipeline_run "wine-$rate" free "$rate" wine
      pipeline_tags+=("wine-$rate")
    done
  fi
}

measure_jitter() {
  say "jitter"
  start_sink free --delay-ms 50 --jitter-ms 20 --idle-ms 2000
  start_dulvet free "$sink_port" --delay 50 --jitter 20 --seed 1
  local line
  "$loadgen" pace --target "127.0.0.1:$relay_port" --rate 2000 --seconds 5 >/dev/null
  await_sink
  line=$sink_line
  stop_dulvet
  note "jitter: $line"
  result[jitter:ks]=$(field "$line" ks)
  result[jitter:received]=$(field "$line" unique)
  result[jitter:min]=$(field "$line" oneway_min_us)
  result[jitter:max]=$(field "$line" oneway_max_us)
}

# One random-loss run; its dropped sequence numbers go to the file.
loss_run() {
  local seed=$1 dropped=$2 line
  start_sink free --idle-ms 2000 --sequences "$work/received"
  start_dulvet free "$sink_port" --random-loss 10 --seed "$seed" --quiet
  line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 10000 --seconds $((loss_datagrams / 10000)))
  await_sink
  ask_stats
  result[loss:counted:$seed:$dropped]=$(counter to-server.random-loss)
  stop_dulvet
  comm -23 <(seq 0 $(($(field "$line" sent) - 1)) | sort) <(sort -u "$work/received") | sort -n >"$work/$dropped"
  note "random loss seed $seed: $line; received $(wc -l <"$work/received"), dropped $(wc -l <"$work/$dropped"), dulvet counted ${result[loss:counted:$seed:$dropped]}"
}

measure_random_loss() {
  say "random loss"
  loss_run 42 first
  loss_run 42 second
  loss_run 43 other
  result[loss:first]=$(wc -l <"$work/first")
  result[loss:second]=$(wc -l <"$work/second")
  result[loss:other]=$(wc -l <"$work/other")
  result[loss:same]=$(cmp -s "$work/first" "$work/second" && echo yes || echo no)
  result[loss:common_other]=$(comm -12 <(sort "$work/first") <(sort "$work/other") | wc -l)
  result[loss:counted]=${result[loss:counted:42:first]}
}

measure_rate() {
  say "rate limit"
  local line
  start_sink free --idle-ms 2000
  start_dulvet free "$sink_port" --rate 4000 --queue 100 --seed 1 --quiet --stats 0.1
  # 4000 kbit/s carries 1000 datagrams of 500 B a second; 1.5 x that is offered.
  line=$("$loadgen" pace --target "127.0.0.1:$relay_port" --rate 1500 --size 500 --seconds "$load_seconds")
  await_sink
  ask_stats
  result[limit:queue_full]=$(counter to-server.queue-full)
  result[limit:waiting_peak]=$(counter_peak waiting)
  stop_dulvet
  note "rate: $line"
  note "rate: $sink_line"
  result[limit:sent]=$(field "$line" sent)
  result[limit:received]=$(field "$sink_line" unique)
  result[limit:kbit]=$(field "$sink_line" kbit_per_s)
}

measure_idle() {
  say "idle"
  local cost line
  start_echo free
  start_dulvet free "$echo_port" --delay 100 --jitter 10 --random-loss 1 --rate 100000 --direction both \
    --clients each --seed 1
  cost=$(idle_cost "$relay_process")
  result[idle:start]=$cost
  line=$("$loadgen" clients --target "127.0.0.1:$relay_port" --clients 4 --window 2 --seconds 1 --timeout-ms 1000)
  sleep 1  # the last replies leave; the sessions stay open (60 s)
  cost=$(idle_cost "$relay_process")
  result[idle:after]=$cost
  stop_dulvet
  end_pid "$echo_pid"
  note "idle: after start ${result[idle:start]}, after traffic ${result[idle:after]} (cpu % and wake-ups/s); traffic: $line"
}

# ---------------------------------------------------------------- report

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "–"; else printf "%.2f\n", a / b }'; }
verdict() { awk "BEGIN { exit !($1) }" 2>/dev/null && echo "met" || echo "NOT met"; }
v() { echo "${result[$1]:-–}"; }

report() {
  local p
  echo "# Link engine benchmark"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Command: \`$command_line\`"
  echo "- Machine: $(nproc) processors, Linux $(uname -r), load average $(cut -d' ' -f1-3 /proc/loadavg) at the end;" \
    "$(socat -V 2>/dev/null | sed -n 's/^socat version \([^ ]*\).*/socat \1/p')$( ((wine_ok)) && echo ", $(wine --version 2>/dev/null)")"
  echo "- Round trips: median of $rounds runs of $rate_seconds s each, the kinds alternating; pinned = relay, client and server on processor 0."
  echo
  echo "| Throughput, loss 0, delay 0 (round trips/s, 64 B) | socat | dulvet, dialog's engine | dulvet, link engine | link ÷ socat | link ÷ dialog's |"
  echo "|---|---:|---:|---:|---:|---:|"
  for p in pinned free; do
    echo "| 1 client, 32 in flight, $p | $(v rate:socat:$p) | $(v rate:dialog:$p) | $(v rate:link:$p) |" \
      "$(ratio "$(v rate:link:$p)" "$(v rate:socat:$p)") | $(ratio "$(v rate:link:$p)" "$(v rate:dialog:$p)") |"
  done
  for p in pinned free; do
    echo "| 16 clients, 2 in flight each, $p (socat: fork; link: --clients each) | $(v clients:socat:$p) | – |" \
      "$(v clients:link:$p) | $(ratio "$(v clients:link:$p)" "$(v clients:socat:$p)") | – |"
  done
  if ((wine_ok)); then
    echo "| dulvet.exe under Wine, 1 client, 32 in flight, free | – | $(v rate:wine-dialog:free) | $(v rate:wine-link:free) | – |" \
      "$(ratio "$(v rate:wine-link:free)" "$(v rate:wine-dialog:free)") |"
  fi
  echo
  echo "| --pipeline --delay 100, 64 B for ${load_seconds} s | sent | received | error p50 µs | error p99 µs | error max µs | sender late at most µs | waiting at most | their blocks | VmRSS before | VmHWM after |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  for p in "${pipeline_tags[@]}"; do
    local label="dulvet, ${p%-*}, run ${p##*-}, 10 000/s"
    [[ $p == wine-* ]] && label="dulvet.exe under Wine, ${p#wine-}/s"
    echo "| $label | $(v pipe:sent:$p) | $(v pipe:received:$p) | $(v pipe:p50:$p) | $(v pipe:p99:$p) | $(v pipe:max:$p) |" \
      "$(v pipe:late:$p) | $(v pipe:waiting:$p) | $(awk -v b="$(v pipe:waiting_bytes:$p)" 'BEGIN { printf "%.0f KiB", b / 1024 }') |" \
      "$(v pipe:rss_start:$p) kB | $(v pipe:hwm:$p) kB |"
  done
  echo
  echo "(Sender late at most: how far behind its schedule the paced sender itself fell once; a stall of the whole machine shows there too.)"
  echo
  echo "Goals (natively):"
  echo
  local lost=0 p50=0 p99=0 runs=0 grown=0 waited=0
  for p in "${pipeline_tags[@]}"; do
    [[ $p == wine-* ]] && continue
    runs=$((runs + 1))
    lost=$((lost + $(v pipe:sent:$p) - $(v pipe:received:$p)))
    p50=$((p50 + $(awk "BEGIN { print ($(v pipe:p50:$p) <= 200) ? 1 : 0 }")))
    p99=$((p99 + $(awk "BEGIN { print ($(v pipe:p99:$p) <= 1000) ? 1 : 0 }")))
    grown=$(( $(v pipe:hwm:$p) - $(v pipe:rss_start:$p) > grown ? $(v pipe:hwm:$p) - $(v pipe:rss_start:$p) : grown ))
    waited=$(( $(v pipe:waiting:$p) > waited ? $(v pipe:waiting:$p) : waited ))
  done
  echo "- pipeline delay, $runs runs of 10 000/s for ${load_seconds} s (table above): none lost ($lost lost) — $(verdict "$lost == 0");" \
    "error p50 ≤ 200 µs in $p50 of $runs runs, p99 ≤ 1000 µs in $p99 of $runs — $(verdict "$p50 == $runs && $p99 == $runs")"
  echo "- memory: VmHWM grew by at most $grown kB while up to $waited datagrams waited, each in a 64-byte block (15 000 bytes each would be $((waited * 15000 / 1024)) KiB)"
  for p in pinned free; do
    echo "- throughput ≥ 1.6 × socat ($p): $(ratio "$(v rate:link:$p)" "$(v rate:socat:$p)") × — $(verdict "$(v rate:link:$p) >= 1.6 * $(v rate:socat:$p)")" \
      "(round by round: $(v ratios:$p));" \
      "16 clients: $(ratio "$(v clients:link:$p)" "$(v clients:socat:$p)") × — $(verdict "$(v clients:link:$p) >= 1.6 * $(v clients:socat:$p)")" \
      "(round by round: $(v session_ratios:$p));" \
      "each client only its own replies: $(v link_foreign:$p) foreign over $rounds runs — $(verdict "$(v link_foreign:$p) == 0")" \
      "(fewest/most replies a client got in the last run: $(v link_fewest:$p)/$(v link_most:$p); socat fork: $(v socat_foreign:$p) foreign)"
  done
  echo "- --jitter 20 around 50 ms: KS distance to uniform on [30, 70] ms $(v jitter:ks) over $(v jitter:received) datagrams — $(verdict "$(v jitter:ks) <= 0.05") (one-way from $(v jitter:min) to $(v jitter:max) µs)"
  local n=$loss_datagrams sd
  sd=$(awk -v n="$n" 'BEGIN { printf "%.1f", sqrt(n * 0.1 * 0.9) }')
  echo "- --random-loss 10 over $n datagrams: $(v loss:first) dropped, expected $((n / 10)) ± 4 × $sd — $(verdict "($(v loss:first) - $n * 0.1) ^ 2 <= (4 * $sd) ^ 2");" \
    "dulvet counted $(v loss:counted); the same seed again dropped $(v loss:second), the same sequence numbers: $(v loss:same) — $(verdict "\"$(v loss:same)\" == \"yes\"");" \
    "seed 43 dropped $(v loss:other), $(v loss:common_other) of them in common (chance: about $((n / 100)))"
  local r_sent r_recv
  r_sent=$(v limit:sent) r_recv=$(v limit:received)
  echo "- --rate 4000 offered 6000 kbit/s (500 B at 1500/s) for ${load_seconds} s: delivered $(v limit:kbit) kbit/s — $(verdict "($(v limit:kbit) - 4000) ^ 2 <= 120 ^ 2");" \
    "waiting at most $(v limit:waiting_peak) with --queue 100 — $(verdict "$(v limit:waiting_peak) <= 100");" \
    "$((r_sent - r_recv)) not delivered, $(v limit:queue_full) counted as queue-full — $(verdict "$((r_sent - r_recv)) == $(v limit:queue_full)")"
  echo "- idle (cpu %, wake-ups/s over ${idle_seconds} s): after start $(v idle:start), after traffic with 4 sessions open $(v idle:after) —" \
    "$(verdict "$(awk -v a="$(v idle:start)" -v b="$(v idle:after)" 'BEGIN { split(a, x, " "); split(b, y, " "); print (x[1] + y[1] == 0 && x[2] + y[2] <= 0.4) ? 1 : 0 }') == 1")"
  echo
  echo "<details><summary>Raw lines</summary>"
  echo
  echo '```'
  cat "$raw"
  echo '```'
  echo "</details>"
}

main() {
  local began=$SECONDS
  say "building (native)"
  cmake --preset native >/dev/null
  cmake --build --preset native --target dulvet_loadgen dulvet >/dev/null
  start_wineserver
  [[ -n ${LINK_ONLY:-} ]] || measure_throughput
  [[ -n ${LINK_ONLY:-} ]] || measure_sessions
  measure_pipeline
  measure_jitter
  measure_random_loss
  measure_rate
  measure_idle
  stop_wineserver
  mkdir -p bench/results
  report | tee bench/results/link.md
  say "done in $((SECONDS - began)) s; saved to bench/results/link.md"
}

main
