#!/usr/bin/env bash
# Makes docs/capture/wireshark.png for the README: a real run of dulvet's
# link engine (delay, jitter, loss, duplicates, reordering; 127.0.0.1 only)
# captured with --capture, opened in Wireshark on a virtual display, and
# photographed with its comments column and one packet's comments shown.
# Needs Debian's wireshark-qt, xvfb and imagemagick (not in CI's list:
# apt-get install wireshark-qt xvfb imagemagick). Every process it starts
# is bounded in time and ended by its pid.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in wireshark xvfb-run import python3; do  # import: ImageMagick's
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install wireshark-qt xvfb imagemagick python3)" >&2; exit 1; }
done
cmake --preset native >/dev/null
cmake --build --preset native --target dulvet >/dev/null
dulvet=$PWD/build/native/cli/dulvet
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
server_port=$(free_port) relay_port=$(free_port)

# The server answers "ping N" with "pong N", for at most 20 s.
python3 - "$server_port" >/dev/null <<'EOF' &
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.settimeout(20)
try:
    while True:
        data, peer = s.recvfrom(2048)
        s.sendto(data.replace(b"ping", b"pong"), peer)
except socket.timeout:
    pass
EOF
pids+=($!)

# The same seed makes the same fates each time the picture is made.
"$dulvet" --listen "127.0.0.1:$relay_port" --server "127.0.0.1:$server_port" --delay 40 --jitter 10 \
  --random-loss 15 --duplicate 10 --reorder 10 --seed 7 --duration 20 --quiet \
  --capture "$work/run.pcapng" </dev/null >"$work/dulvet.out" 2>&1 &
dulvet_pid=$!
pids+=("$dulvet_pid")

# The client: 24 datagrams, 25 ms apart, once dulvet listens.
python3 - "$relay_port" <<'EOF'
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
s.settimeout(0.1)
deadline = time.monotonic() + 10
while time.monotonic() < deadline:  # until the relay answers a first ping
    s.sendto(b"ping 0", ("127.0.0.1", int(sys.argv[1])))
    try:
        s.recv(2048)
        break
    except (socket.timeout, ConnectionRefusedError):
        pass
for n in range(1, 25):
    s.sendto(b"ping %d" % n, ("127.0.0.1", int(sys.argv[1])))
    time.sleep(0.025)
time.sleep(0.3)
EOF
kill "$dulvet_pid"  # as a script ends it: the capture is finished first
wait "$dulvet_pid" || true

# Wireshark's own settings for this picture only: a column with the
# comments, the window the size of the screen.
mkdir -p "$work/config"
cat >"$work/config/preferences" <<'EOF'
gui.column.format:
	"No.", "%m",
	"Time", "%t",
	"Interface", "%Cus:frame.interface_name:0:R",
	"Info", "%i",
	"Comment", "%Cus:frame.comment:0:R"
gui.update.enabled: FALSE
EOF
cat >"$work/config/recent_common" <<'EOF'
gui.geometry_main_x: 0
gui.geometry_main_y: 0
gui.geometry_main_width: 1200
gui.geometry_main_height: 720
gui.geometry_main_maximized: FALSE
privs.warn_if_elevated: FALSE
EOF
cat >"$work/config/recent" <<'EOF'
gui.geometry_main_upper_pane: 560
column.width: %m, 60, %t, 100, %Cus:frame.interface_name:0:R, 74, %i, 170, %Cus:frame.comment:0:R, 760
EOF

mkdir -p docs/capture
export WIRESHARK_CONFIG_DIR=$work/config
# The screen is taller than the window, so that the pointer in its middle
# is below the window and lights no row.
xvfb-run -a -s "-screen 0 1200x1600x24" bash -c '
  timeout 60 wireshark -r "$1/run.pcapng" >/dev/null 2>&1 & shark=$!
  sleep 12
  import -window root -crop 1200x520+0+0 +repage -colors 16 -strip docs/capture/wireshark.png
  kill $shark 2>/dev/null || true
  wait $shark 2>/dev/null || true' _ "$work"
echo "Wrote docs/capture/wireshark.png ($(stat -c %s docs/capture/wireshark.png) bytes) from:"
sed 's/^/  /' "$work/dulvet.out"
