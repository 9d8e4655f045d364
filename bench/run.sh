#!/usr/bin/env bash
# Dulvet's one benchmark runner. Each section measures one thing, side by
# side with what it is compared against, on 127.0.0.1 only, and writes its
# figures to bench/results/SECTION.md (with --quick to bench/results/quick/),
# every file in one format: date, command, commit, machine and its load,
# the tables, the goals met or not, the raw lines.
#
# Usage: bench/run.sh [--only SECTION[,SECTION...]] [--quick] [--no-wine]
#                     [--rounds N] [--before REF] [--note TEXT] [--list]
#   --only     run only these sections (repeatable); default every section
#   --quick    shorter runs, to see that it works; the goals need a full run
#   --no-wine  leave out dulvet.exe and the other Windows programs
#   --rounds N rounds where a section alternates what it compares (default
#              per section; --quick 1)
#   --before   REF: the sections that support it also measure the engines
#              as built from that commit, side by side
#   --note     a line for the results' header (say who else used the machine)
#   --list     the sections and what each measures
#
# Adding a section: a file bench/sections/NAME.sh defining NAME_title,
# NAME_measure (records result[...] and note raw lines) and NAME_report
# (markdown from result[...]), and NAME in the list below. The helpers it
# may use are in bench/lib.sh. Every process is bounded in time and ended
# by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The sections, in the order a full run takes them.
sections=(
  round-trips     # relay engine, link engine, socat, direct, Wine: throughput and latency
  ipv6            # both engines over ::1 against the same over 127.0.0.1
  sessions        # 16 clients, a session each, against socat with fork
  delay           # the relay engine's delay accuracy at 1, 20 and 200 ms
  pipeline        # the link engine's --pipeline --delay 100 at 10 000/s: loss, error, memory
  jitter          # --jitter 20: the delays' distribution
  random-loss     # --random-loss 10: the share dropped, the same seed the same drops
  rate-limit      # --rate 4000 --queue 100 offered 1.5 x the rate
  real-link       # --distribution shapes, a --rate-trace saturated, their cost
  idle            # processor and wake-ups of each engine when nothing passes
  busy            # delay beside a busy program, both engines, idle and busy
  capture         # what --capture costs: throughput, the pipeline's delay, nothing left out
  hostile         # loops, blocked output, the cap and memory after, modify under a flood, a spray
  control         # the control API's changes on time, calls beside traffic, scenario steps on time
  log-at-speed    # Dulvet.exe's log at full speed under Wine (needs Wine)
)

usage="usage: bench/run.sh [--only SECTION[,SECTION...]] [--quick] [--no-wine] [--rounds N] [--before REF] [--note TEXT] [--list]"
arguments=("$@")
command_line=bench/run.sh
for argument in "$@"; do
  [[ $argument == *[[:space:]]* ]] && argument="'$argument'"
  command_line+=" $argument"
done
only=() quick=0 wine_wanted=1 rounds="" before_ref="" run_note="" list=0
while (($#)); do
  case "$1" in
    --only) IFS=, read -r -a more <<<"${2:?$usage}"; only+=("${more[@]}"); shift ;;
    --quick) quick=1 ;;
    --no-wine) wine_wanted=0 ;;
    --rounds) rounds=${2:?$usage}; shift ;;
    --before) before_ref=${2:?$usage}; shift ;;
    --note) run_note=${2:?$usage}; shift ;;
    --list) list=1 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
[[ -z $rounds || $rounds =~ ^[1-9][0-9]*$ ]] || { echo "$usage" >&2; exit 2; }
for name in "${only[@]}"; do
  [[ " ${sections[*]} " == *" $name "* ]] || { echo "bench/run.sh: no section '$name' (--list names them)" >&2; exit 2; }
done
((${#only[@]})) || only=("${sections[@]}")

# The dialog needs a display: without one, the run goes on under xvfb-run.
if [[ " ${only[*]} " == *" log-at-speed "* ]] && ((wine_wanted && !list)) && [[ -z ${DISPLAY:-} ]] &&
   command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "${arguments[@]}"
fi

source bench/lib.sh
for name in "${sections[@]}"; do
  source "bench/sections/$name.sh"
done

if ((list)); then
  for name in "${sections[@]}"; do
    printf '%-14s %s\n' "$name" "$("${name//-/_}_title")"
  done
  exit 0
fi

# Rounds for a section: --rounds, else 1 with --quick, else its own default.
rounds_or() { ((quick)) && echo "${rounds:-1}" || echo "${rounds:-$1}"; }
# A length of time: the first for a full run, the second with --quick.
full_or_quick() { ((quick)) && echo "$2" || echo "$1"; }

results=bench/results
((quick)) && results=bench/results/quick

# The header every results file starts with.
header() {
  echo "# $1"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC'); the section took $2 s"
  echo "- Command: \`$command_line\`"
  echo "- Commit: $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . 2>/dev/null || echo ' with changes not committed')"
  echo "- Machine: $(nproc) processors, Linux $(uname -r); load average $3 before, $(cut -d' ' -f1-3 /proc/loadavg) after;" \
    "$(socat -V 2>/dev/null | sed -n 's/^socat version \([^ ]*\).*/socat \1/p')$( ((wine_ok)) && echo ", $(wine --version 2>/dev/null)")"
  if [[ -n $run_note ]]; then echo "- Note: $run_note"; fi
  if ((quick)); then echo "- Quick run: shorter measurements, one round; not a measurement of the goals."; fi
  echo
}

run_section() {
  local name=$1 fn=${1//-/_} began=$SECONDS load file
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  result=()
  : >"$raw"
  say "section $name: $("${fn}_title")"
  "${fn}_measure"
  file=$results/$name.md
  mkdir -p "$results"
  {
    header "$("${fn}_title")" "$((SECONDS - began))" "$load"
    "${fn}_report"
    echo
    echo "<details><summary>Raw lines</summary>"
    echo
    echo '```'
    cat "$raw"
    echo '```'
    echo "</details>"
  } >"$file"
  say "section $name done in $((SECONDS - began)) s: $file"
}

began=$SECONDS
build_native
for name in "${only[@]}"; do
  run_section "$name"
done
say "done in $((SECONDS - began)) s"
