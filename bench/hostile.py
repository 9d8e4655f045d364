#!/usr/bin/env python3
"""Hostile traffic against one dulvet build, on 127.0.0.1 only.

Usage: hostile.py DULVET WHAT [quick]
  WHAT: loop | blocked | flood | spray
Prints one line of key=value figures per case. Every process it starts is
bounded (--duration) and ended by its pid; every wait has a deadline.

  loop     one datagram spoofed from the relay's own address and port (a raw
           socket: needs root), an echoing server: datagrams the server saw in
           2.5 s, for the relay engine and the link engine (last, each).
  blocked  standard output a pipe nobody reads, 20 000 datagrams/s: how fast
           the relay's memory grows, in MB per hour, for both engines.
  flood    one-byte datagrams until the cap on waiting ones drops them
           (--pipeline --delay 60000): RSS at the cap; then 'modify 0 0' with
           all of them waiting: the longest gap between datagrams relayed the
           other way (every 2 ms from the server), how long 'stats' took, and
           RSS 10 s after the backlog left.
  spray    --clients each --pipeline --delay 1000: a client sending 200/s for
           10 s beside 6 000 new source ports a second (from its own address,
           then from 2 000 others in 127.0.0.0/8): its replies lost, in %.
"""

import json
import os
import random
import select
import signal
import socket
import struct
import subprocess
import sys
import threading
import time


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Relay:
    """dulvet on a free port, its stderr read into stats lines; stdout read
    too unless `blocked` (then nobody reads it)."""

    def __init__(self, dulvet, server_port, options, blocked=False, seconds=300):
        self.port = free_port()
        self.stats = []
        self.err_lines = []
        self.lock = threading.Condition()
        args = [dulvet, "--listen", f"127.0.0.1:{self.port}", "--server", f"127.0.0.1:{server_port}",
                "--duration", str(seconds)] + options
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.pid = self.process.pid
        threading.Thread(target=self._read_err, daemon=True).start()
        if not blocked:
            threading.Thread(target=self._drain_out, daemon=True).start()
        if not self.ask_stats(30):
            raise SystemExit(f"dulvet did not start: {self.err_lines}")

    def _read_err(self):
        for raw in self.process.stderr:
            line = raw.decode(errors="replace").strip()
            with self.lock:
                if line.startswith("{"):
                    self.stats.append((time.monotonic(), json.loads(line)))
                else:
                    self.err_lines.append(line)
                self.lock.notify_all()

    def _drain_out(self):
        for _ in self.process.stdout:
            pass

    def command(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def ask_stats(self, patience=30.0):
        """The next stats line and the seconds it took, or None."""
        with self.lock:
            count = len(self.stats)
        asked = time.monotonic()
        self.command("stats")
        with self.lock:
            if not self.lock.wait_for(lambda: len(self.stats) > count, patience):
                return None
            return self.stats[-1][1], self.stats[-1][0] - asked

    def stop(self):
        try:
            self.command("quit")
            self.process.wait(20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        with self.lock:
            return list(self.err_lines)


class Echo(threading.Thread):
    """A server that sends every datagram back, counting them."""

    def __init__(self, address="127.0.0.1"):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
        self.sock.bind((address, 0))
        self.sock.settimeout(0.1)
        self.port = self.sock.getsockname()[1]
        self.count = 0
        self.running = True
        self.start()

    def run(self):
        while self.running:
            try:
                data, peer = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            self.count += 1
            try:
                self.sock.sendto(data, peer)
            except OSError:
                pass

    def end(self):
        self.running = False
        self.join(2)
        self.sock.close()


class Arrivals(threading.Thread):
    """Takes what reaches a socket, noting when each datagram came."""

    def __init__(self, sock):
        super().__init__(daemon=True)
        self.sock = sock
        self.sock.settimeout(0.1)
        self.times = []
        self.running = True
        self.start()

    def run(self):
        while self.running:
            try:
                self.sock.recvfrom(2048)
                self.times.append(time.monotonic())
            except socket.timeout:
                pass

    def end(self):
        self.running = False
        self.join(5)


def spoofed(source_port, target_port, body):
    """A UDP datagram to 127.0.0.1:target_port from 127.0.0.1:source_port."""
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP)
    header = struct.pack("!HHHH", source_port, target_port, 8 + len(body), 0)  # checksum 0: none
    raw.sendto(header + body, ("127.0.0.1", 0))
    raw.close()


def counter(stats, name):
    return stats.get(name, 0)


# ---------------------------------------------------------------- loop

def measure_loop(dulvet, quick):
    for name, options in (("relay", []), ("link-last", ["--pipeline"]), ("link-each", ["--clients", "each"])):
        echo = Echo()
        relay = Relay(dulvet, echo.port, options + ["--quiet"])
        try:
            spoofed(relay.port, relay.port, b"from itself")
        except PermissionError:
            print(f"loop {name}: no raw socket (needs root)")
            relay.stop()
            echo.end()
            continue
        time.sleep(2.5)
        seen = echo.count
        stats, _ = relay.ask_stats() or ({}, 0)
        own = counter(stats, "own_address") or counter(stats, "own-address")
        relay.stop()
        echo.end()
        print(f"loop {name}: echoed={seen} own_address={own}")


# ---------------------------------------------------------------- blocked

def pace(port, rate, seconds, size=100):
    """Sends `rate` datagrams a second for `seconds`, in 1 ms steps."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    body = b"x" * size
    started = time.monotonic()
    sent = 0
    while True:
        elapsed = time.monotonic() - started
        if elapsed >= seconds:
            break
        due = int(elapsed * rate)
        while sent < due:
            sock.sendto(body, ("127.0.0.1", port))
            sent += 1
        time.sleep(0.001)
    sock.close()
    return sent


def measure_blocked(dulvet, quick):
    seconds = 5 if quick else 20
    for name, options in (("relay", []), ("link", ["--pipeline"])):
        sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sink.bind(("127.0.0.1", 0))
        relay = Relay(dulvet, sink.getsockname()[1], options, blocked=True)
        pace(relay.port, 20000, 3)  # the pipe fills
        before = rss_mib(relay.pid)
        sent = pace(relay.port, 20000, seconds)
        after = rss_mib(relay.pid)
        stats, _ = relay.ask_stats() or ({}, 0)
        lines = relay.stop()
        sink.close()
        per_hour = (after - before) / seconds * 3600 * 1.048576  # MiB/s to MB/h
        left_out = next((l for l in lines if "not written" in l), "")
        print(f"blocked {name}: seconds={seconds} sent={sent} rss_before_mib={before:.1f} rss_after_mib={after:.1f} "
              f"mb_per_hour={per_hour:.1f} told='{left_out[:60]}'")


# ---------------------------------------------------------------- flood

def flood(port, relay, patience):
    """One-byte datagrams until the relay drops some for want of room."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
    deadline = time.monotonic() + patience
    sent = 0
    while time.monotonic() < deadline:
        for _ in range(20000):
            sock.sendto(b"x", ("127.0.0.1", port))
        sent += 20000
        time.sleep(0.002)  # the relay's buffer drains
        if sent % 200000 == 0:
            stats, _ = relay.ask_stats() or ({}, 0)
            if counter(stats, "to-server.no-room") > 0:
                break
    sock.close()
    return sent


def measure_flood(dulvet, quick):
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 0))
    relay = Relay(dulvet, server.getsockname()[1], ["--pipeline", "--delay", "60000", "--quiet"])
    sent = flood(relay.port, relay, 60 if quick else 120)
    time.sleep(1)
    stats, _ = relay.ask_stats()
    waiting = counter(stats, "waiting")
    at_cap = rss_mib(relay.pid)

    # The other way has no backlog: a probe client, then the server every 2 ms.
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.bind(("127.0.0.1", 0))
    probe.sendto(b"probe", ("127.0.0.1", relay.port))  # the last client: replies go to it
    time.sleep(0.2)
    running = [True]

    def send():
        while running[0]:
            server.sendto(b"reply", ("127.0.0.1", relay.port))
            time.sleep(0.002)

    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    listener = Arrivals(probe)
    time.sleep(1)
    modified = time.monotonic()
    relay.command("modify 0 0")
    answer = relay.ask_stats(120)
    stats_seconds = answer[1] if answer else float("nan")
    # Until the backlog has left.
    deadline = time.monotonic() + 120
    emptied = None
    while time.monotonic() < deadline:
        answer = relay.ask_stats(120)
        if answer and counter(answer[0], "waiting") <= 1:
            emptied = time.monotonic()
            break
        time.sleep(0.2)
    time.sleep(1)
    running[0] = False
    sender.join(2)
    listener.end()
    window = [t for t in listener.times if t >= modified - 0.5]
    gaps = [b - a for a, b in zip(window, window[1:])]
    longest_gap_ms = max(gaps) * 1000 if gaps else float("nan")
    gap_at = window[gaps.index(max(gaps))] - modified if gaps else float("nan")
    slow = sorted(((round(g * 1000, 1), round(window[i] - modified, 3)) for i, g in enumerate(gaps)), reverse=True)[:5]
    backlog_seconds = (emptied - modified) if emptied else float("nan")
    if emptied:
        time.sleep(max(0.0, emptied + 10 - time.monotonic()))
    after = rss_mib(relay.pid)
    relay.stop()
    server.close()
    probe.close()
    print(f"flood: sent={sent} waiting_at_cap={waiting} rss_at_cap_mib={at_cap:.1f} "
          f"longest_gap_ms={longest_gap_ms:.1f} stats_answer_ms={stats_seconds * 1000:.1f} "
          f"backlog_left_s={backlog_seconds:.2f} rss_10s_after_mib={after:.1f} longest_gap_at_s={gap_at:.3f}")
    print(f"flood gaps: {slow}", file=sys.stderr)


# ---------------------------------------------------------------- spray

def measure_spray(dulvet, quick):
    seconds = 5 if quick else 10
    for name in ("same-address", "many-addresses"):
        echo = Echo()
        relay = Relay(dulvet, echo.port, ["--clients", "each", "--pipeline", "--delay", "1000", "--quiet"])
        client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        client.bind(("127.0.0.1", 0))
        running = [True]

        def spray():
            rng = random.Random(1)
            started = time.monotonic()
            done = 0
            while running[0]:
                due = int((time.monotonic() - started) * 6000)
                while done < due:
                    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                    host = "127.0.0.1" if name == "same-address" else \
                        f"127.1.{rng.randrange(8)}.{rng.randrange(1, 251)}"
                    s.bind((host, 0))
                    s.sendto(b"spray", ("127.0.0.1", relay.port))
                    s.close()
                    done += 1
                time.sleep(0.001)
            sprayed[0] = done

        sprayed = [0]
        sprayer = threading.Thread(target=spray, daemon=True)
        sprayer.start()
        listener = Arrivals(client)
        sent = 0
        started = time.monotonic()
        while time.monotonic() - started < seconds:
            due = int((time.monotonic() - started) * 200)
            while sent < due:
                client.sendto(b"legitimate %d" % sent, ("127.0.0.1", relay.port))
                sent += 1
            time.sleep(0.002)
        time.sleep(3)  # the last replies: 1 s delay and the way back
        running[0] = False
        sprayer.join(5)
        listener.end()
        received = len(listener.times)
        stats, _ = relay.ask_stats() or ({}, 0)
        relay.stop()
        echo.end()
        client.close()
        lost = 100.0 * (sent - received) / sent if sent else float("nan")
        print(f"spray {name}: sent={sent} replies={received} lost_pct={lost:.1f} sprayed={sprayed[0]} "
              f"opened={counter(stats, 'sessions.opened')} closed_limit={counter(stats, 'sessions.closed-limit')} "
              f"refused={counter(stats, 'sessions.refused')}")


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    dulvet, what = sys.argv[1], sys.argv[2]
    quick = len(sys.argv) > 3 and sys.argv[3] == "quick"
    {"loop": measure_loop, "blocked": measure_blocked, "flood": measure_flood, "spray": measure_spray}[what](
        dulvet, quick)
    return 0


if __name__ == "__main__":
    sys.exit(main())
