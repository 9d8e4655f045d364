# Sourced by the benchmark and soak scripts.
# end_pids PID...: asks each process this script started to end, then
# waits for all of them (a process already gone is no error).
end_pids() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}
