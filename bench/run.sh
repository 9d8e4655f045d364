#!/usr/bin/env bash
# Measures the console program dulvet side by side with the direct path
# and socat, on 127.0.0.1 only: round trips per second, added latency,
# delay accuracy and idle cost, natively and (dulvet.exe, the Windows
# build) under Wine. Prints one markdown table and saves it to
# bench/results/latest.md.
#
# Under Wine it also runs a minimal blocking relay (MinimalRelay.cpp), the
# most any Windows relay can get from Wine's sockets, next to dulvet.exe.
#
# Beside a busy program it measures the delay of both engines (the
# dialog's and the link engine's, both in dulvet) with the
# relay and a busy loop pinned to one processor and the load generator on
# the other, idle and busy, natively and under Wine; --before REF adds the
# same figures for the engines as built from the commit REF, side by side.
#
# Usage: bench/run.sh [--quick] [--no-wine] [--before REF] [--rounds N] [--busy-only]
#   --quick      shorter measurements, about two minutes in all
#   --no-wine    skip the Windows build and its column
#   --before REF also measure the delay beside a busy program for REF's build
#   --rounds N   rounds of the measurements beside a busy program (3; --quick 1)
#   --busy-only  only the measurements beside a busy program
#
# Every process it starts is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/end-pids.sh
command_line="bench/run.sh${*:+ $*}"

usage="usage: bench/run.sh [--quick] [--no-wine] [--before REF] [--rounds N] [--busy-only]"
quick=0
wine_wanted=1
before_ref=""
busy_rounds=""
busy_only=0
while (($#)); do
  case "$1" in
    --quick) quick=1 ;;
    --no-wine) wine_wanted=0 ;;
    --before) before_ref=${2:?$usage}; shift ;;
    --rounds) busy_rounds=${2:?$usage}; shift ;;
    --busy-only) busy_only=1 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
[[ -z $busy_rounds || $busy_rounds =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }

if ((quick)); then
  rate_seconds=0.8; warmup_seconds=0.2; idle_seconds=2
  delay_seconds=([1]=0.6 [20]=0.8 [200]=1.6)
  busy_seconds=2; busy_rounds=${busy_rounds:-1}
else
  rate_seconds=2.5; warmup_seconds=0.3; idle_seconds=3
  delay_seconds=([1]=1.5 [20]=1.5 [200]=3)
  busy_seconds=4; busy_rounds=${busy_rounds:-3}
fi
sizes=(64 1400)
windows=(1 32)
delays=(1 20 200)

loadgen=$root/build/native/bench/dulvet_loadgen
native_relay=$root/build/native/cli/dulvet
wine_relay=$root/build/windows/cli/dulvet.exe
floor_relay=$root/build/windows/bench/dulvet_minimal_relay.exe
wine_prefix=$root/build/windows/bench-wineprefix

work=$(mktemp -d /tmp/dulvet-bench.XXXXXX)
raw=$work/raw.txt
declare -A result=()      # measurement key -> value
started_pids=()           # everything started here that may still run

say() { echo "== $*" >&2; }

end_started() {
  end_pids "${started_pids[@]}"
  started_pids=()
}
trap 'stop_wineserver; end_started; rm -rf "$work"' EXIT

forget_pid() {
  local kept=() pid
  for pid in "${started_pids[@]}"; do
    [[ $pid == "$1" ]] || kept+=("$pid")
  done
  started_pids=("${kept[@]}")
}

# Ends one process started here, by its pid, and reaps it.
end_pid() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  forget_pid "$1"
}

# ---------------------------------------------------------------- building

build() {
  say "building (native)"
  cmake --preset native >/dev/null
  cmake --build --preset native --target dulvet_loadgen dulvet >/dev/null
  wine_ok=0
  if ((wine_wanted)) && command -v wine >/dev/null; then
    say "building (windows)"
    if cmake --preset windows >/dev/null && \
       cmake --build --preset windows --target dulvet dulvet_minimal_relay >/dev/null; then
      # A prefix of the benchmark's own, so its Wine server is not shared
      # with anything else that runs from the build.
      bash scripts/wine-prefix.sh "$wine_prefix"
      wine_ok=1
    else
      say "windows build failed: no Wine column"
    fi
  fi
}

# The engines as built from the commit $before_ref, for the side-by-side
# figures beside a busy program; kept in build/bench-before/<commit> for
# later runs. Sets before_native_relay and, with Wine, before_wine_relay.
build_before() {
  [[ -n $before_ref ]] || return 0
  local commit dir
  commit=$(git rev-parse --short "$before_ref^{commit}")
  before_label="$before_ref ($commit)"
  dir=$root/build/bench-before/$commit
  if [[ ! -d $dir/src ]]; then
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
  fi
  say "building $before_label (native)"
  cmake -S "$dir/src" -B "$dir/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir/native" -j2 --target dulvet >/dev/null
  before_native_relay=$dir/native/cli/dulvet
  ((wine_ok)) || return 0
  say "building $before_label (windows)"
  cmake -S "$dir/src" -B "$dir/windows" -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir/windows" -j2 --target dulvet >/dev/null
  before_wine_relay=$dir/windows/cli/dulvet.exe
}

# ------------------------------------------------------------ the processes

# pinned: processor 0, with the relay; other: processor 1, away from it.
pin_prefix() {
  case "$1" in
    pinned) echo "taskset -c 0" ;;
    other) echo "taskset -c 1" ;;
  esac
}

wait_udp_bound() {
  local hex
  hex=$(printf '%04X' "$1")
  for _ in $(seq 100); do
    grep -q "0100007F:$hex " /proc/net/udp && return 0
    sleep 0.02
  done
  return 1
}

# Starts the echo server; sets echo_pid and echo_port.
start_echo() {
  local out=$work/echo.out
  $(pin_prefix "$1") "$loadgen" echo --seconds 400 >"$out" &
  echo_pid=$!
  started_pids+=("$echo_pid")
  for _ in $(seq 100); do
    echo_port=$(sed -n 's/^echo port=//p' "$out")
    [[ -n $echo_port ]] && return 0
    sleep 0.02
  done
  echo "echo server did not start" >&2
  exit 1
}

# Starts the Wine server of the benchmark's prefix ourselves, so it can be
# pinned with everything else; sets wineserver_pid.
start_wineserver() {
  wineserver_pid=""
  ((wine_ok)) || return 0
  WINEPREFIX=$wine_prefix timeout 600 wineserver -f -p 2>>"$work/wineserver.err" &
  local pid=$!
  sleep 0.5
  if kill -0 "$pid" 2>/dev/null; then
    wineserver_pid=$(pgrep -P "$pid" || true)
    wineserver_timeout_pid=$pid
    started_pids+=("$pid")
  else
    say "a Wine server already runs for $wine_prefix: it is left alone and not pinned"
  fi
}

# Ends our Wine server together with the helper processes (services.exe
# and the like) that Wine started in the benchmark's own prefix: every
# process of that prefix was started by this run.
stop_wineserver() {
  [[ -n ${wineserver_timeout_pid:-} ]] || return 0
  WINEPREFIX=$wine_prefix timeout 20 wineserver -k 2>/dev/null || true
  end_pid "$wineserver_timeout_pid"
  wineserver_timeout_pid=""
}

pin_wineserver() {
  [[ -n ${wineserver_pid:-} ]] || return 0
  local cpus=0-$(($(nproc) - 1))
  [[ $1 == pinned ]] && cpus=0
  taskset -a -p -c "$cpus" "$wineserver_pid" >/dev/null
}

# Starts one relay of the given kind in front of the echo server; sets
# relay_pid (empty for the direct path) and relay_port.
start_relay() {
  local kind=$1 delay=$2 pin=$3
  relay_pid=""
  case "$kind" in
    direct) relay_port=$echo_port ;;
    socat) start_socat "$pin" ;;
    native) start_dulvet "$pin" "$delay" "$native_relay" ;;
    wine) start_dulvet "$pin" "$delay" env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine "$wine_relay" ;;
    floor) start_floor "$pin" env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine "$floor_relay" ;;
  esac
}

# One socat per measurement: UDP4-LISTEN takes its peer from the first
# datagram. -T ends it after 60 s without traffic.
start_socat() {
  relay_port=$("$loadgen" freeport)
  $(pin_prefix "$1") socat -T 60 "UDP4-LISTEN:$relay_port,bind=127.0.0.1,reuseaddr" \
    "UDP4:127.0.0.1:$echo_port" 2>>"$work/socat.err" &
  relay_pid=$!
  started_pids+=("$relay_pid")
  wait_udp_bound "$relay_port" || { echo "socat did not start" >&2; exit 1; }
}

# dulvet as a user runs it, bounded to 300 s: its lines go to a file, its
# input is a fifo held here (sets relay_in), and it is ready once it has
# written its three settings lines.
start_dulvet() {
  local pin=$1 delay=$2
  shift 2
  relay_port=$("$loadgen" freeport)
  rm -f "$work/relay.in" "$work/relay.out"  # the minimal relay's are fifos
  mkfifo "$work/relay.in"
  : >"$work/relay.out"
  $(pin_prefix "$pin") "$@" --listen "127.0.0.1:$relay_port" --server "127.0.0.1:$echo_port" --delay "$delay" \
    --duration 300 <"$work/relay.in" >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  started_pids+=("$relay_pid")
  exec {relay_in}>"$work/relay.in"
  for _ in $(seq 1200); do
    grep -q "^Delay :" "$work/relay.out" && return 0
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "relay did not start: $* ($(cat "$work/relay.err"))" >&2
  exit 1
}

# The minimal Wine relay: it prints "ready <port>" and ends when its input
# closes (sets relay_in, relay_out).
start_floor() {
  local pin=$1
  shift
  local line
  rm -f "$work/relay.in" "$work/relay.out"
  mkfifo "$work/relay.in" "$work/relay.out"
  $(pin_prefix "$pin") "$@" 127.0.0.1 0 127.0.0.1 "$echo_port" 0 0 300 \
    <"$work/relay.in" >"$work/relay.out" 2>/dev/null &
  relay_pid=$!
  started_pids+=("$relay_pid")
  exec {relay_in}>"$work/relay.in"
  exec {relay_out}<"$work/relay.out"
  if ! read -r -t 60 line <&"$relay_out"; then
    echo "relay did not start: $*" >&2
    exit 1
  fi
  line=${line%$'\r'}
  relay_port=${line#ready }
}

# Waits up to 5 s for the relay to end by itself, then ends it.
await_end() {
  for _ in $(seq 100); do
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.05
  done
  end_pid "$relay_pid"
}

stop_relay() {
  local kind=$1
  case "$kind" in
    direct) ;;
    socat) end_pid "$relay_pid" ;;
    floor)
      exec {relay_in}>&-
      exec {relay_out}<&-
      await_end
      ;;
    *)
      # "quit", as a script would end it; its summary goes with the raw lines.
      echo quit >&"$relay_in"
      exec {relay_in}>&-
      await_end
      sed "s/\r$//; s/^/$kind relay: /" "$work/relay.err" >>"$raw"
      ;;
  esac
}

relay_kinds() {
  echo direct socat native
  ((wine_ok)) && echo wine floor || true
}

# ------------------------------------------------------------ measurements

# "name key=value ..." -> the value of key
field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" <<<"$1"; }

measure_rates() {
  local pin kind size window line
  for pin in pinned free; do
    say "round trips per second ($pin)"
    start_echo "$pin"
    pin_wineserver "$pin"
    for size in "${sizes[@]}"; do
      for window in "${windows[@]}"; do
        for kind in $(relay_kinds); do
          start_relay "$kind" 0 "$pin"
          line=$($(pin_prefix "$pin") "$loadgen" rate --target "127.0.0.1:$relay_port" --size "$size" \
                   --window "$window" --seconds "$rate_seconds" --warmup "$warmup_seconds")
          stop_relay "$kind"
          echo "$kind $pin: $line" | tee -a "$raw" >&2
          result[rate:$kind:$size:$window:$pin]=$(field "$line" per_second)
          if [[ $size == 64 && $window == 1 ]]; then
            result[p50:$kind:$pin]=$(field "$line" rtt_p50_us)
            result[p99:$kind:$pin]=$(field "$line" rtt_p99_us)
          fi
        done
      done
    done
    end_pid "$echo_pid"
  done
}

measure_delays() {
  local kind delay line
  say "delay accuracy"
  start_echo free
  pin_wineserver free
  for delay in "${delays[@]}"; do
    for kind in $(relay_kinds); do
      [[ $kind == native || $kind == wine ]] || continue
      start_relay "$kind" "$delay" free
      line=$("$loadgen" delay --target "127.0.0.1:$relay_port" --delay-ms "$delay" \
               --seconds "${delay_seconds[$delay]}")
      stop_relay "$kind"
      echo "$kind: $line" | tee -a "$raw" >&2
      result[delay50:$kind:$delay]=$(field "$line" err_p50_us)
      result[delay99:$kind:$delay]=$(field "$line" abs_err_p99_us)
    done
  done
  end_pid "$echo_pid"
}

# "<cpu ticks> <context switches>" of a process, summed over its threads.
process_totals() {
  local task ticks=0 switches=0 t s
  for task in /proc/"$1"/task/*; do
    t=$(sed 's/.*) //' "$task/stat" 2>/dev/null | awk '{print $12 + $13}') || continue
    s=$(awk '/ctxt_switches/ {n += $2} END {print n + 0}' "$task/status" 2>/dev/null) || continue
    ticks=$((ticks + ${t:-0}))
    switches=$((switches + ${s:-0}))
  done
  echo "$ticks $switches"
}

# Processor % and context switches per second over the idle window.
idle_cost() {
  local pid=$1 before after ticks_per_second
  ticks_per_second=$(getconf CLK_TCK)
  before=$(process_totals "$pid")
  sleep "$idle_seconds"
  after=$(process_totals "$pid")
  awk -v b="$before" -v a="$after" -v s="$idle_seconds" -v hz="$ticks_per_second" 'BEGIN {
    split(b, x, " "); split(a, y, " ");
    printf "%.2f %.1f\n", 100 * (y[1] - x[1]) / hz / s, (y[2] - x[2]) / s }'
}

measure_idle() {
  local kind cost
  say "idle cost over ${idle_seconds} s after start"
  start_echo free
  pin_wineserver free
  for kind in $(relay_kinds); do
    [[ $kind == direct || $kind == floor ]] && continue
    start_relay "$kind" 0 free
    if [[ $kind == wine && -n ${wineserver_pid:-} ]]; then
      local server_before server_after
      server_before=$(process_totals "$wineserver_pid")
      cost=$(idle_cost "$relay_pid")
      server_after=$(process_totals "$wineserver_pid")
      result[idle_wineserver]=$(awk -v b="$server_before" -v a="$server_after" -v s="$idle_seconds" \
        'BEGIN { split(b, x, " "); split(a, y, " "); printf "%.1f", (y[2] - x[2]) / s }')
    else
      cost=$(idle_cost "$relay_pid")
    fi
    stop_relay "$kind"
    echo "$kind idle: cpu_percent=${cost% *} switches_per_second=${cost#* }" | tee -a "$raw" >&2
    result[idlecpu:$kind]=${cost% *}
    result[idlesw:$kind]=${cost#* }
  done
  end_pid "$echo_pid"
}

# ------------------------------------------------ delay beside a busy program

# The cases measured beside a busy program, one "engine version" a line.
# link-user is the link engine run as nobody, who may not raise its
# priority (no root, no CAP_SYS_NICE).
busy_cases() {
  local engine version versions=(after)
  [[ -n $before_ref ]] && versions=(before after)
  for engine in dialog link link-user wine-dialog wine-link; do
    [[ $engine == link-user && ($EUID != 0 || -z $(command -v setpriv)) ]] && continue
    [[ $engine == wine-* ]] && ((!wine_ok)) && continue
    for version in "${versions[@]}"; do
      [[ $engine == link-user && $version == before ]] && continue
      echo "$engine $version"
    done
  done
}

start_case() {
  local engine=$1 version=$2
  local wine=(env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine)
  case "$engine:$version" in
    dialog:after) start_dulvet pinned 20 "$native_relay" ;;
    dialog:before) start_dulvet pinned 20 "$before_native_relay" ;;
    link:after) start_dulvet pinned 20 "$native_relay" --pipeline ;;
    link:before) start_dulvet pinned 20 "$before_native_relay" --pipeline ;;
    link-user:after) start_dulvet pinned 20 setpriv --reuid=65534 --regid=65534 --clear-groups "$native_relay" --pipeline ;;
    wine-dialog:after) start_dulvet pinned 20 "${wine[@]}" "$wine_relay" ;;
    wine-dialog:before) start_dulvet pinned 20 "${wine[@]}" "$before_wine_relay" ;;
    wine-link:after) start_dulvet pinned 20 "${wine[@]}" "$wine_relay" --pipeline ;;
    wine-link:before) start_dulvet pinned 20 "${wine[@]}" "$before_wine_relay" --pipeline ;;
  esac
}

stop_case() {
  case "$1" in
    wine-*) stop_relay wine ;;
    *) stop_relay native ;;
  esac
}

# Delay 20 ms through each engine, its relay (and the Wine server) pinned
# to processor 0, the client and echo server on processor 1; idle, then
# with a busy loop on processor 0. Cases alternate within each round.
measure_beside_busy() {
  local round condition engine version line busy_pid cases=()
  mapfile -t cases < <(busy_cases)
  say "delay beside a busy program (${busy_rounds} rounds of ${busy_seconds} s)"
  start_echo other
  pin_wineserver pinned
  for ((round = 1; round <= busy_rounds; round++)); do
    for condition in idle busy; do
      for entry in "${cases[@]}"; do
        read -r engine version <<<"$entry"
        start_case "$engine" "$version"
        busy_pid=""
        if [[ $condition == busy ]]; then
          $(pin_prefix pinned) "$loadgen" busy --seconds 120 &
          busy_pid=$!
          started_pids+=("$busy_pid")
        fi
        line=$($(pin_prefix other) "$loadgen" delay --target "127.0.0.1:$relay_port" --delay-ms 20 \
                 --seconds "$busy_seconds")
        [[ -n $busy_pid ]] && end_pid "$busy_pid"
        stop_case "$engine"
        echo "$engine $version $condition round $round: $line" | tee -a "$raw" >&2
        result[b50:$engine:$version:$condition:$round]=$(field "$line" err_p50_us)
        result[b99:$engine:$version:$condition:$round]=$(field "$line" abs_err_p99_us)
        result[blate:$engine:$version:$condition:$round]=$(field "$line" over_1ms)
        result[bcount:$engine:$version:$condition:$round]=$(field "$line" samples)
      done
    done
  done
  end_pid "$echo_pid"
}

# ------------------------------------------------------------ the table

value() { echo "${result[$1]:-}"; }

# a / b with two decimals, or "–" when either is missing.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "–"; else printf "%.2f\n", a / b }'
}

# a - b with one decimal, or "–".
minus() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "") print "–"; else printf "%.1f\n", a - b }'
}

cell() { [[ -n $1 ]] && echo "$1" || echo "–"; }

# name direct socat native wine [floor [no-ratio]]
row() {
  local name=$1 direct=$2 socat=$3 native=$4 wine=$5 floor=${6:-}
  local vs_socat vs_direct wine_socat wine_floor
  vs_socat=$(ratio "$native" "$socat"); vs_direct=$(ratio "$native" "$direct")
  wine_socat=$(ratio "$wine" "$socat"); wine_floor=$(ratio "$wine" "$floor")
  [[ ${7:-} == no-ratio ]] && vs_socat="" vs_direct="" wine_socat="" wine_floor=""
  printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$name" "$(cell "$direct")" "$(cell "$socat")" \
    "$(cell "$native")" "$(cell "$wine")" "$(cell "$floor")" "$(cell "$vs_socat")" "$(cell "$vs_direct")" \
    "$(cell "$wine_socat")" "$(cell "$wine_floor")"
}

print_table() {
  local pin size window kind
  echo "| Measurement | direct | socat | dulvet | dulvet.exe (Wine) | minimal Wine relay | dulvet ÷ socat | dulvet ÷ direct | Wine ÷ socat | Wine ÷ minimal |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  for pin in pinned free; do
    for size in "${sizes[@]}"; do
      for window in "${windows[@]}"; do
        row "round trips/s, $size B, $window in flight, $pin" \
          "$(value "rate:direct:$size:$window:$pin")" "$(value "rate:socat:$size:$window:$pin")" \
          "$(value "rate:native:$size:$window:$pin")" "$(value "rate:wine:$size:$window:$pin")" \
          "$(value "rate:floor:$size:$window:$pin")"
      done
    done
  done
  for pin in pinned free; do
    row "RTT p50 µs (64 B, 1 in flight, $pin)" "$(value "p50:direct:$pin")" "$(value "p50:socat:$pin")" \
      "$(value "p50:native:$pin")" "$(value "p50:wine:$pin")" "$(value "p50:floor:$pin")" no-ratio
    row "RTT p99 µs (64 B, 1 in flight, $pin)" "$(value "p99:direct:$pin")" "$(value "p99:socat:$pin")" \
      "$(value "p99:native:$pin")" "$(value "p99:wine:$pin")" "$(value "p99:floor:$pin")" no-ratio
    for q in p50 p99; do
      local added_socat added_native added_wine="" added_floor=""
      added_socat=$(minus "$(value "$q:socat:$pin")" "$(value "$q:direct:$pin")")
      added_native=$(minus "$(value "$q:native:$pin")" "$(value "$q:direct:$pin")")
      ((wine_ok)) && added_wine=$(minus "$(value "$q:wine:$pin")" "$(value "$q:direct:$pin")")
      ((wine_ok)) && added_floor=$(minus "$(value "$q:floor:$pin")" "$(value "$q:direct:$pin")")
      row "added $q µs over direct ($pin)" "0" "$added_socat" "$added_native" "$added_wine" "$added_floor"
    done
  done
  for delay in "${delays[@]}"; do
    row "delay $delay ms: (one-way − D) p50 µs" "" "" "$(value "delay50:native:$delay")" \
      "$(value "delay50:wine:$delay")" "" no-ratio
    row "delay $delay ms: \|one-way − D\| p99 µs" "" "" "$(value "delay99:native:$delay")" \
      "$(value "delay99:wine:$delay")" "" no-ratio
  done
  row "idle CPU % (${idle_seconds} s after start)" "" "$(value idlecpu:socat)" "$(value idlecpu:native)" \
    "$(value idlecpu:wine)" "" no-ratio
  row "idle context switches/s" "" "$(value idlesw:socat)" "$(value idlesw:native)" "$(value idlesw:wine)" "" no-ratio
}

verdict() { awk "BEGIN { exit !($1) }" 2>/dev/null && echo "met" || echo "NOT met"; }

# "median min max" of one figure over the rounds, or nothing.
over_rounds() {
  local round values=()
  for ((round = 1; round <= busy_rounds; round++)); do
    [[ -n ${result[$1:$round]:-} ]] && values+=("${result[$1:$round]}")
  done
  ((${#values[@]})) || return 0
  printf '%s\n' "${values[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[1], v[NR] }'
}

# "k of n": datagrams off by more than 1 ms over all rounds of one case.
late_of_all() {
  local round late=0 all=0
  for ((round = 1; round <= busy_rounds; round++)); do
    late=$((late + ${result[blate:$1:$round]:-0}))
    all=$((all + ${result[bcount:$1:$round]:-0}))
  done
  echo "$late of $all"
}

# "p50 / p99" (medians over the rounds) and the p99's range, for one case.
busy_cell() {
  local p50 p99
  p50=$(over_rounds "b50:$1:$2:$3")
  p99=$(over_rounds "b99:$1:$2:$3")
  [[ -n $p50 && -n $p99 ]] || { echo "–"; return; }
  awk -v a="$p50" -v b="$p99" -v n="$busy_rounds" 'BEGIN { split(a, x, " "); split(b, y, " ");
    printf "%.0f / %.0f", x[1], y[1]; if (n > 1) printf " (%.0f–%.0f)", y[2], y[3]; printf "\n" }'
}

busy_label() {
  case "$1" in
    dialog) echo "dulvet (the dialog's engine)" ;;
    link) echo "link engine, as $(id -un)" ;;
    link-user) echo "link engine, as nobody (no CAP_SYS_NICE)" ;;
    wine-dialog) echo "dulvet.exe under Wine" ;;
    wine-link) echo "link engine under Wine" ;;
  esac
}

print_busy_table() {
  local engine
  if [[ -n $before_ref ]]; then
    echo "| one-way − 20 ms, µs: p50 / p99 (p99 range over $busy_rounds rounds) | idle, before | idle | busy neighbour, before | busy neighbour |"
    echo "|---|---:|---:|---:|---:|"
  else
    echo "| one-way − 20 ms, µs: p50 / p99 (p99 range over $busy_rounds rounds) | idle | busy neighbour |"
    echo "|---|---:|---:|"
  fi
  for engine in dialog link link-user wine-dialog wine-link; do
    [[ -n ${result[b50:$engine:after:idle:1]:-} ]] || continue
    if [[ -n $before_ref ]]; then
      printf '| %s | %s | %s | %s | %s |\n' "$(busy_label "$engine")" "$(busy_cell "$engine" before idle)" \
        "$(busy_cell "$engine" after idle)" "$(busy_cell "$engine" before busy)" "$(busy_cell "$engine" after busy)"
    else
      printf '| %s | %s | %s |\n' "$(busy_label "$engine")" "$(busy_cell "$engine" after idle)" \
        "$(busy_cell "$engine" after busy)"
    fi
  done
}

# The goals beside a busy program, natively: p99 ≤ 1 ms busy, p50 ≤ 0.3 ms
# idle and busy (medians over the rounds; the worst round in brackets).
print_busy_goals() {
  local engine p99 p50_idle p50_busy
  echo "Goals beside a busy program (delay 20 ms, natively; median of $busy_rounds rounds, worst in brackets):"
  echo
  for engine in dialog link link-user; do
    [[ -n ${result[b50:$engine:after:idle:1]:-} ]] || continue
    read -r p99 _ worst99 <<<"$(over_rounds "b99:$engine:after:busy")"
    read -r p50_idle _ worst_idle <<<"$(over_rounds "b50:$engine:after:idle")"
    read -r p50_busy _ worst_busy <<<"$(over_rounds "b50:$engine:after:busy")"
    echo "- $(busy_label "$engine"): busy p99 $p99 µs ($worst99) ≤ 1000 — $(verdict "$p99 + 0 <= 1000")," \
      "$(late_of_all "$engine:after:busy") datagrams over 1 ms;" \
      "p50 idle $p50_idle ($worst_idle) and busy $p50_busy ($worst_busy) ≤ 300 — $(verdict "$p50_idle + 0 <= 300 && $p50_busy + 0 <= 300")"
  done
}


print_goals() {
  local speedup added_native added_socat
  speedup=$(ratio "$(value rate:native:64:32:pinned)" "$(value rate:socat:64:32:pinned)")
  added_native=$(minus "$(value p50:native:pinned)" "$(value p50:direct:pinned)")
  added_socat=$(minus "$(value p50:socat:pinned)" "$(value p50:direct:pinned)")
  echo "Goals (dulvet natively, pinned, 64 B, 32 in flight, loss 0, delay 0):"
  echo
  echo "- throughput ≥ 1.6 × socat: $speedup × — $(verdict "\"$speedup\" + 0 >= 1.6")"
  echo "- added p50 (1 in flight, pinned) ≤ socat's: $added_native µs vs $added_socat µs — $(verdict "$added_native + 0 <= $added_socat + 0")"
  echo "- idle 0 % CPU and ~0 wake-ups/s: $(value idlecpu:native) %, $(value idlesw:native)/s —" \
    "$(verdict "$(value idlecpu:native) + 0 == 0 && $(value idlesw:native) + 0 <= 1")"
  echo "- delay 20 ms, |one-way − D| p99 ≤ 1000 µs: native $(value delay99:native:20) µs —" \
    "$(verdict "$(value delay99:native:20) + 0 <= 1000")"
  if ((wine_ok)); then
    echo "  under Wine $(value delay99:wine:20) µs — $(verdict "$(value delay99:wine:20) + 0 <= 1000")"
    echo "- dulvet.exe under Wine against the minimal Wine relay (64 B, 32 in flight, pinned):" \
      "$(ratio "$(value rate:wine:64:32:pinned)" "$(value rate:floor:64:32:pinned)") × (socat: $(ratio "$(value rate:wine:64:32:pinned)" "$(value rate:socat:64:32:pinned)") ×)"
    [[ -n ${result[idle_wineserver]:-} ]] &&
      echo "- (Wine server context switches/s while the Wine relay idled: ${result[idle_wineserver]})"
  fi
}

report() {
  echo "# Dulvet relay benchmark"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Command: \`$command_line\`"
  echo "- Machine: $(nproc) processors, Linux $(uname -r); $(socat -V 2>/dev/null | sed -n 's/^socat version \([^ ]*\).*/socat \1/p')$( ((wine_ok)) && echo ", $(wine --version 2>/dev/null)")"
  if ((!busy_only)); then
    echo "- Each round-trip figure: ${rate_seconds} s after ${warmup_seconds} s warm-up; pinned = client, echo server and relay (and the Wine server) on processor 0."
    echo
    print_table
    echo
    print_goals
  fi
  echo
  echo "## Delay beside a busy program"
  echo
  echo "The relay (and the Wine server) on processor 0, the client and echo server on processor 1; \"busy neighbour\": \`dulvet_loadgen busy\` spins on processor 0 as well. Each case ${busy_seconds} s of one datagram at a time, the cases alternating within each of ${busy_rounds} rounds${before_label:+; \"before\" is $before_label}. The link engine is dulvet with --pipeline; as root it gets a raised priority, as nobody short scheduler turns."
  echo
  print_busy_table
  echo
  print_busy_goals
  echo
  echo "<details><summary>Raw lines</summary>"
  echo
  echo '```'
  cat "$raw"
  echo '```'
  echo "</details>"
}

# ------------------------------------------------------------ the run

main() {
  local began=$SECONDS saved=bench/results/latest.md
  ((busy_only)) && saved=bench/results/busy_neighbour.md
  build
  build_before
  : >"$raw"
  start_wineserver
  if ((!busy_only)); then
    measure_rates
    measure_delays
    measure_idle
  fi
  measure_beside_busy
  stop_wineserver
  mkdir -p bench/results
  report | tee "$saved"
  say "done in $((SECONDS - began)) s; saved to $saved"
}

main
