#!/bin/bash
# The same harness with curl: start dulvet with its control API, wait until
# it is ready, change the link between two test cases, read /stats.
#   DULVET=/usr/bin/dulvet bash examples/harness/harness.sh   (LISTEN=5000 SERVER=6000 by default)
set -eu
DULVET=${DULVET:-dulvet}
LISTEN=${LISTEN:-5000}
SERVER=${SERVER:-6000}
err=$(mktemp)
mkfifo "$err.in"
"$DULVET" --listen "127.0.0.1:$LISTEN" --server "127.0.0.1:$SERVER" --pipeline --quiet \
  --control 127.0.0.1:0 <"$err.in" >/dev/null 2>"$err" &
relay=$!
exec 3>"$err.in"   # its standard input stays open until we say quit
trap 'echo quit >&3; wait "$relay"; rm -f "$err" "$err.in"' EXIT

# Ready once it names the control API's address.
tries=0
until api=$(grep -o 'http://127.0.0.1:[0-9]*' "$err"); do
  tries=$((tries + 1)); [ "$tries" -lt 300 ] || { cat "$err"; exit 1; }
  sleep 0.1
done

# Test case 1: everything to the server lost.
curl -sf -X PATCH "$api/settings" -d '{"random-loss": 100}' >/dev/null
printf 'one' >"/dev/udp/127.0.0.1/$LISTEN"   # bash sends it as a datagram
tries=0
until curl -sf "$api/stats" | grep -q '"to-server.random-loss":1'; do
  tries=$((tries + 1)); [ "$tries" -lt 300 ] || exit 1
  sleep 0.1
done
echo "case 1: lost at random, as set"

# Test case 2: the link down both ways for 2 s, then up again by itself.
curl -sf -X PATCH "$api/settings" -d '{"random-loss": null}' >/dev/null
curl -sf -X POST "$api/down" -d '{"direction": "both", "seconds": 2}'; echo
curl -sf "$api/stats"; echo
curl -sf "$api/metrics" | grep '^dulvet_datagrams_total' | head -3
