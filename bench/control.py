#!/usr/bin/env python3
"""The control API's and the scenarios' figures for bench/sections/control.sh.

  changes  --api URL --relay-port P --server-port S [--count N]
      N changes through PATCH /settings, random loss 100 % and 0 % in turn,
      each followed at once by a datagram: how many met the change.
  hammer   --api URL --rate R --seconds T
      R calls a second for T s, GET /stats and a PATCH /settings that the
      engine applies (keep-order on and off) in turn.
  scenario --seconds T --every-ms M --out FILE
      A scenario of T s with a step every M ms, each a change the engine
      logs (keep-order on and off in turn: no datagram's fate changes).
  lateness --log FILE
      From a --log-format json log: how late each scenario step applied,
      against its time counted from the scenario's start.
Only 127.0.0.1; every wait is bounded.
"""

import argparse
import http.client
import json
import re
import socket
import sys
import threading
import time
import urllib.parse


def percentile(values, share):
    ordered = sorted(values)
    if not ordered:
        return 0
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def connect(api):
    url = urllib.parse.urlparse(api)
    return http.client.HTTPConnection(url.hostname, url.port, timeout=30)


def call(connection, method, path, body=None):
    connection.request(method, path, body=None if body is None else json.dumps(body),
                       headers={"Content-Type": "application/json"})
    answer = connection.getresponse()
    answer.read()
    return answer.status


def received_count(connection):
    connection.request("GET", "/stats")
    answer = connection.getresponse()
    return json.loads(answer.read()).get("to-server.received", 0)


def changes(args):
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    sink.bind(("127.0.0.1", args.server_port))
    received = set()
    sink.settimeout(2.0)

    def collect():  # while the changes go on: the socket's buffer may be small
        try:
            while True:
                received.add(int(sink.recvfrom(64)[0]))
        except socket.timeout:
            pass

    reader = threading.Thread(target=collect)
    reader.start()
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    connection = connect(args.api)
    calls, gaps, failed = [], [], 0
    for i in range(args.count):
        loss = 100 if i % 2 == 0 else 0
        began = time.perf_counter()
        failed += call(connection, "PATCH", "/settings", {"random-loss": loss}) != 200
        answered = time.perf_counter()
        client.sendto(b"%d" % i, ("127.0.0.1", args.relay_port))
        gaps.append(time.perf_counter() - answered)
        calls.append(answered - began)
        # The engine decides it before the next change comes (else a slow
        # turn of its thread would let the next change meet it first).
        deadline = time.monotonic() + 30
        while received_count(connection) < i + 1 and time.monotonic() < deadline:
            pass
    reader.join()
    missed = [i for i in range(args.count) if (i in received) != (i % 2 == 1)]
    print(f"changes count={args.count} met={args.count - len(missed)} missed={len(missed)} failed_calls={failed}"
          f" call_p50_us={percentile(calls, 0.5) * 1e6:.0f} call_p99_us={percentile(calls, 0.99) * 1e6:.0f}"
          f" send_after_answer_p99_us={percentile(gaps, 0.99) * 1e6:.0f}"
          f" send_after_answer_max_us={max(gaps) * 1e6:.0f}")


def hammer(args):
    connection = connect(args.api)
    period = 1.0 / args.rate
    start = time.perf_counter()
    end = start + args.seconds
    count, failed, calls, next_call = 0, 0, [], start
    while True:
        now = time.perf_counter()
        if now >= end:
            break
        if now < next_call:
            time.sleep(next_call - now)
        began = time.perf_counter()
        if count % 2 == 0:
            failed += call(connection, "GET", "/stats") != 200
        else:
            failed += call(connection, "PATCH", "/settings", {"keep-order": count % 4 == 1}) != 200
        calls.append(time.perf_counter() - began)
        count += 1
        next_call += period
    seconds = time.perf_counter() - start
    print(f"hammer calls={count} seconds={seconds:.2f} rate={count / seconds:.0f} failed={failed}"
          f" call_p50_us={percentile(calls, 0.5) * 1e6:.0f} call_p99_us={percentile(calls, 0.99) * 1e6:.0f}")


def scenario(args):
    steps = int(args.seconds * 1000 / args.every_ms)
    with open(args.out, "w", encoding="utf-8") as out:
        out.write(f"# {steps} steps, one every {args.every_ms} ms\n")
        for i in range(steps):
            out.write(f"{(i + 1) * args.every_ms}ms set --keep-order{' off' if i % 2 else ''}\n")


def step_time(text):
    value = float(re.sub(r"m?s$", "", text))
    return value / 1000 if text.endswith("ms") else value


def lateness(args):
    started, pending, late = None, [], []
    with open(args.log, encoding="utf-8") as log:
        for line in log:
            event = json.loads(line)
            text = event.get("text", "")
            if re.match(r"Scenario .* started", text):
                started = event["t"]
                continue
            step = re.match(r"Scenario line \d+ at (\S+):", text)
            if step:
                pending.append(step_time(step.group(1)))
            elif text.startswith("Set ") and pending and started is not None:
                late.append(event["t"] - started - pending.pop(0))
    late_us = [value * 1e6 for value in late]
    print(f"lateness steps={len(late_us)} p50_us={percentile(late_us, 0.5):.0f}"
          f" p99_us={percentile(late_us, 0.99):.0f} max_us={max(late_us, default=0):.0f}"
          f" early={sum(1 for value in late_us if value < 0)} early_max_us={-min(late_us + [0]):.0f}")


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("changes")
    one.add_argument("--api", required=True)
    one.add_argument("--relay-port", type=int, required=True)
    one.add_argument("--server-port", type=int, required=True)
    one.add_argument("--count", type=int, default=1000)
    two = commands.add_parser("hammer")
    two.add_argument("--api", required=True)
    two.add_argument("--rate", type=float, default=1000)
    two.add_argument("--seconds", type=float, default=10)
    three = commands.add_parser("lateness")
    three.add_argument("--log", required=True)
    four = commands.add_parser("scenario")
    four.add_argument("--seconds", type=float, default=60)
    four.add_argument("--every-ms", type=int, default=100)
    four.add_argument("--out", required=True)
    args = parser.parse_args()
    {"changes": changes, "hammer": hammer, "lateness": lateness, "scenario": scenario}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
