# The benchmark runner's shared helpers, sourced by bench/run.sh before the
# sections (bench/sections/*.sh). Everything here sends only on 127.0.0.1 (or ::1),
# bounds every process it starts in time and ends them by pid.
#
# A section records its figures in result[KEY] and its raw lines with
# note; its report prints markdown from result[].

source scripts/end-pids.sh

loadgen=$root/build/native/bench/dulvet_loadgen
native_dulvet=$root/build/native/cli/dulvet
wine_dulvet=$root/build/windows/cli/dulvet.exe
wine_minimal=$root/build/windows/bench/dulvet_minimal_relay.exe
wine_prefix=$root/build/windows/bench-wineprefix

work=$(mktemp -d /tmp/dulvet-bench.XXXXXX)
raw=$work/raw.txt
: >"$raw"
declare -A result=()
started_pids=()

# The loopback address the next echo server, sink and relay use:
# 127.0.0.1, or ::1 where a section compares the families.
loopback=127.0.0.1
# PORT at it, as dulvet and the load generator take it ([::1]:PORT).
at_loopback() { [[ $loopback == *:* ]] && echo "[$loopback]:$1" || echo "$loopback:$1"; }

say() { echo "== $*" >&2; }
note() { echo "$*" | tee -a "$raw" >&2; }

finish() {
  stop_wineserver
  end_pids "${started_pids[@]}"
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- building

build_native() {
  say "building (native)"
  cmake --preset native >/dev/null
  cmake --build --preset native --target dulvet_loadgen dulvet >/dev/null
}

# The Windows build and a Wine server of the benchmark's own prefix, once,
# for the first section that asks; sets wine_ok (0 without Wine or with
# --no-wine).
wine_ok=0
wine_checked=0
need_wine() {
  ((wine_checked)) && return 0
  wine_checked=1
  ((wine_wanted)) && command -v wine >/dev/null || return 0
  say "building (windows)"
  if ! { cmake --preset windows >/dev/null &&
         cmake --build --preset windows --target dulvet dulvet_minimal_relay >/dev/null; }; then
    say "windows build failed: no Wine figures"
    return 0
  fi
  # A prefix of the benchmark's own, so its Wine server is shared with
  # nothing else that runs from the build.
  bash scripts/wine-prefix.sh "$wine_prefix"
  start_wineserver
  wine_ok=1
}

# Started here so that it can be pinned with the relay; sets wineserver_pid
# (the server itself) and wineserver_timeout_pid (its bound).
wineserver_pid=""
wineserver_timeout_pid=""
start_wineserver() {
  WINEPREFIX=$wine_prefix timeout 3600 wineserver -f -p 2>>"$work/wineserver.err" &
  local pid=$!
  sleep 0.5
  if kill -0 "$pid" 2>/dev/null; then
    wineserver_timeout_pid=$pid
    wineserver_pid=$(pgrep -P "$pid" || true)
    started_pids+=("$pid")
  else
    say "a Wine server already runs for $wine_prefix: it is left alone and not pinned"
  fi
}

# Ends our Wine server and the helpers (services.exe and the like) Wine
# started in the benchmark's own prefix: every process of that prefix was
# started by this run.
stop_wineserver() {
  [[ -n $wineserver_timeout_pid ]] || return 0
  WINEPREFIX=$wine_prefix timeout 20 wineserver -k 2>/dev/null || true
  end_pid "$wineserver_timeout_pid"
  wineserver_timeout_pid="" wineserver_pid=""
}

# pinned: processor 0 for the server too; otherwise all processors.
pin_wineserver() {
  [[ -n $wineserver_pid ]] || return 0
  local cpus=0-$(($(nproc) - 1))
  [[ $1 == pinned ]] && cpus=0
  taskset -a -p -c "$cpus" "$wineserver_pid" >/dev/null || true
}

# The engines as built from the commit REF, kept in build/bench-before/<commit>
# for later runs; sets before_label, before_native and, with Wine, before_wine.
build_before() {
  local ref=$1 commit dir
  commit=$(git rev-parse --short "$ref^{commit}")
  before_label="$ref ($commit)"
  dir=$root/build/bench-before/$commit
  if [[ ! -d $dir/src ]]; then
    mkdir -p "$dir/src"
    git archive "$commit" | tar -x -C "$dir/src"
  fi
  say "building $before_label (native)"
  cmake -S "$dir/src" -B "$dir/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir/native" -j2 --target dulvet >/dev/null
  before_native=$dir/native/cli/dulvet
  ((wine_ok)) || return 0
  say "building $before_label (windows)"
  cmake -S "$dir/src" -B "$dir/windows" -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir/windows" -j2 --target dulvet >/dev/null
  before_wine=$dir/windows/cli/dulvet.exe
}

# ---------------------------------------------------------------- processes

# pinned: processor 0, with the relay; other: processor 1, away from it;
# free: wherever the system puts it.
pin() {
  case "$1" in
    pinned) echo "taskset -c 0" ;;
    other) echo "taskset -c 1" ;;
  esac
}

# Ends one process started here (and the processes it started: wine, env
# and setpriv stand in front of the program), waits for it, forgets it.
end_pid() {
  local child kept=() pid
  for child in $(pgrep -P "$1" 2>/dev/null || true); do kill "$child" 2>/dev/null || true; done
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  for pid in "${started_pids[@]}"; do
    [[ $pid == "$1" ]] || kept+=("$pid")
  done
  started_pids=("${kept[@]}")
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

await_udp_bound() {
  local hex
  hex=$(printf '%04X' "$1")
  for _ in $(seq 250); do
    grep -q "0100007F:$hex " /proc/net/udp && return 0
    sleep 0.02
  done
  echo "nothing bound to 127.0.0.1:$1" >&2
  exit 1
}

# The echo server for the section, bounded to 30 min: sets echo_pid, echo_port.
start_echo() {
  $(pin "$1") "$loadgen" echo --address "$loopback" --seconds 1800 >"$work/echo.out" &
  echo_pid=$!
  started_pids+=("$echo_pid")
  await_line "$work/echo.out" "^echo port="
  echo_port=$(sed -n 's/^echo port=//p' "$work/echo.out")
}

# The time-stamping receiver in the server's place: sets sink_pid and
# sink_port; await_sink sets sink_line, its report.
start_sink() {
  local pinning=$1
  shift
  $(pin "$pinning") "$loadgen" sink --seconds 120 "$@" >"$work/sink.out" &
  sink_pid=$!
  started_pids+=("$sink_pid")
  await_line "$work/sink.out" "^sink port="
  sink_port=$(sed -n 's/^sink port=//p' "$work/sink.out")
}

await_sink() {
  wait "$sink_pid" || true
  end_pid "$sink_pid"
  sink_line=$(grep '^sink received' "$work/sink.out" || true)
}

# A relay of one kind in front of the server's port, at the pinning given;
# sets relay_port and relay_pid (empty for direct). Kinds: direct, socat,
# socat-fork (a child per client), relay (dulvet, the relay engine), link
# (dulvet --pipeline, the link engine), wine-relay, wine-link (dulvet.exe
# under Wine), wine-minimal (the minimal blocking relay under Wine). More
# arguments go to dulvet.
start_relay() {
  local kind=$1 pinning=$2 server=$3
  shift 3
  local wine=(env WINEDEBUG=-all WINEPREFIX="$wine_prefix" wine)
  relay_pid="" relay_kind=$kind
  case "$kind" in
    direct) relay_port=$server ;;
    socat) start_socat "$pinning" "$server" "" ;;
    socat-fork) start_socat "$pinning" "$server" ,fork ;;
    relay) start_dulvet "$pinning" "$server" "$native_dulvet" -- "$@" ;;
    link) start_dulvet "$pinning" "$server" "$native_dulvet" -- --pipeline "$@" ;;
    wine-relay) start_dulvet "$pinning" "$server" "${wine[@]}" "$wine_dulvet" -- "$@" ;;
    wine-link) start_dulvet "$pinning" "$server" "${wine[@]}" "$wine_dulvet" -- --pipeline "$@" ;;
    wine-minimal) start_minimal "$pinning" "$server" "${wine[@]}" "$wine_minimal" ;;
    *) echo "no relay kind $kind" >&2; exit 1 ;;
  esac
}

stop_relay() {
  case "$relay_kind" in
    direct) ;;
    socat|socat-fork) end_pid "$relay_pid" ;;
    wine-minimal)
      exec {relay_in}>&-
      exec {relay_out}<&-
      await_relay_end
      ;;
    *) stop_dulvet ;;
  esac
}

# socat -T ends it after 60 s without traffic; UDP4-LISTEN takes its peer
# from the first datagram (with fork, a child per client).
start_socat() {
  local pinning=$1 server=$2 fork=$3
  relay_port=$("$loadgen" freeport)
  $(pin "$pinning") socat -T 60 "UDP4-LISTEN:$relay_port,bind=127.0.0.1,reuseaddr$fork" \
    "UDP4:127.0.0.1:$server" 2>>"$work/socat.err" &
  relay_pid=$!
  started_pids+=("$relay_pid")
  await_udp_bound "$relay_port"
}

# dulvet as a user runs it, bounded to 10 min: the program (and what stands
# in front of it) up to "--", then its options. Its lines go to relay.out,
# its standard error to relay.err, its commands through a fifo (relay_in).
# Ready once it has written its settings lines (with --log-format json, set
# dulvet_ready='"settings"'). relay_process: the process that holds the
# engine (under Wine, the .exe's own), for /proc.
start_dulvet() {
  local pinning=$1 server=$2
  shift 2
  local program=()
  while [[ $1 != -- ]]; do program+=("$1"); shift; done
  shift
  relay_port=$("$loadgen" freeport --address "$loopback")
  rm -f "$work/relay.in" "$work/relay.out"
  mkfifo "$work/relay.in"
  : >"$work/relay.out"
  $(pin "$pinning") "${program[@]}" --listen "$(at_loopback "$relay_port")" --server "$(at_loopback "$server")" \
    --duration 600 "$@" <"$work/relay.in" >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  started_pids+=("$relay_pid")
  exec {relay_in}>"$work/relay.in"
  await_line "$work/relay.out" "${dulvet_ready:-^Delay :}"
  relay_process=$relay_pid
  if [[ ${program[0]} == env ]]; then
    for _ in $(seq 100); do
      relay_process=$(pgrep -n -f "dulvet.exe --listen 127.0.0.1:$relay_port" || true)
      [[ -n $relay_process ]] && break
      sleep 0.05
    done
  fi
}

# "quit", as a script would end it; its summary goes with the raw lines.
stop_dulvet() {
  echo quit >&"$relay_in"
  exec {relay_in}>&-
  await_relay_end
  sed "s/\r$//; s/^/  $relay_kind: /" "$work/relay.err" | grep -v "^  $relay_kind: {" >>"$raw" || true
}

# The minimal Wine relay prints "ready <port>" and ends when its input closes.
start_minimal() {
  local pinning=$1 server=$2 line
  shift 2
  rm -f "$work/relay.in" "$work/relay.out"
  mkfifo "$work/relay.in" "$work/relay.out"
  $(pin "$pinning") "$@" 127.0.0.1 0 127.0.0.1 "$server" 0 0 300 \
    <"$work/relay.in" >"$work/relay.out" 2>/dev/null &
  relay_pid=$!
  started_pids+=("$relay_pid")
  exec {relay_in}>"$work/relay.in"
  exec {relay_out}<"$work/relay.out"
  if ! read -r -t 60 line <&"$relay_out"; then
    echo "the minimal relay did not start" >&2
    exit 1
  fi
  line=${line%$'\r'}
  relay_port=${line#ready }
}

# Up to 10 s for the relay to end by itself, then it is ended.
await_relay_end() {
  for _ in $(seq 200); do
    kill -0 "$relay_pid" 2>/dev/null || break
    sleep 0.05
  done
  end_pid "$relay_pid"
}

# A loop that never waits, on processor 0, bounded to 2 min: sets busy_pid.
start_busy() {
  $(pin pinned) "$loadgen" busy --seconds 120 &
  busy_pid=$!
  started_pids+=("$busy_pid")
}

# ---------------------------------------------------------------- reading

# "name key=value ..." -> the value of key
field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p" <<<"$1"; }

# The latest and the largest value of a counter in dulvet's stats lines.
counter() {
  local value
  value=$(grep -o "\"$1\":[0-9]*" "$work/relay.err" | tail -1 | cut -d: -f2)
  echo "${value:-0}"
}
counter_peak() {
  local value
  value=$(grep -o "\"$1\":[0-9]*" "$work/relay.err" | cut -d: -f2 | sort -n | tail -1)
  echo "${value:-0}"
}

# A paced run's figures in result[*:TAG]: from the pace line, what was sent
# and how late the sender fell at most; from the sink's, what arrived and
# the error of its one-way times.
record_paced() {
  local tag=$1 pace_line=$2 sink_line=$3
  result[sent:$tag]=$(field "$pace_line" sent)
  result[late:$tag]=$(field "$pace_line" latest_us)
  result[received:$tag]=$(field "$sink_line" unique)
  result[p50:$tag]=$(field "$sink_line" err_p50_us)
  result[p99:$tag]=$(field "$sink_line" err_p99_us)
  result[max:$tag]=$(field "$sink_line" abs_err_max_us)
}

# A stats line now, and the time to write it.
ask_stats() {
  echo stats >&"$relay_in"
  sleep 0.3
}

status_kb() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }

# "<cpu ticks> <context switches>" of a process over its threads; a thread
# that ends while it is read is left out.
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

# "<cpu %> <context switches/s>" of a process over the given seconds.
idle_cost() {
  local before after
  before=$(process_totals "$1")
  sleep "$2"
  after=$(process_totals "$1")
  awk -v b="$before" -v a="$after" -v s="$2" -v hz="$(getconf CLK_TCK)" 'BEGIN {
    split(b, x, " "); split(a, y, " "); printf "%.2f %.1f\n", 100 * (y[1] - x[1]) / hz / s, (y[2] - x[2]) / s }'
}

# ---------------------------------------------------------------- figures

v() { echo "${result[$1]:-–}"; }

# a / b with two decimals, or "–" when either is missing.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || a == "–" || b == "" || b == "–" || b + 0 == 0) print "–"; else printf "%.2f\n", a / b }'
}

# a - b with one decimal, or "–".
minus() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || a == "–" || b == "" || b == "–") print "–"; else printf "%.1f\n", a - b }'
}

# "median min max" of the numbers given.
spread() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR) print ((NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1], v[NR] }'
}
median() { local m; read -r m _ <<<"$(spread "$@")"; echo "$m"; }

verdict() { awk "BEGIN { exit !($1) }" 2>/dev/null && echo "met" || echo "NOT met"; }

# A markdown table's head: the first column's title, then the others
# (right-aligned).
table_head() {
  local title=$1 col
  shift
  printf '| %s |' "$title"
  for col in "$@"; do printf ' %s |' "$col"; done
  printf '\n|---|'
  for col in "$@"; do printf -- '---:|'; done
  printf '\n'
}
