#!/usr/bin/env python3
"""dulvet.exe under Wine writes a capture that the real tshark reads.

Usage: wine_capture_test.py EMULATOR... DULVET_EXE

A server and a client on 127.0.0.1; dulvet.exe between them with
--capture FILE (the link engine, one datagram in two dropped); then tshark
must find each datagram with its fate and capinfos read the file without a
warning. Every wait is bounded."""

import os
import socket
import subprocess
import sys
import tempfile
import time


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def main():
    command, exe = sys.argv[1:-1], sys.argv[-1]
    work = tempfile.mkdtemp(prefix="dulvet-wine-capture-")
    capture = os.path.join(work, "run.pcapng")
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 0))
    server.settimeout(30)
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.bind(("127.0.0.1", 0))
    relay_port = probe.getsockname()[1]
    probe.close()
    relay = subprocess.Popen(
        command + [exe, "--listen", "127.0.0.1:%d" % relay_port, "--server", "127.0.0.1:%d" % server.getsockname()[1],
                   "--loss", "50", "--pipeline", "--direction", "both", "--capture", capture, "--duration", "120"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + 60
        while not (os.path.exists(capture) and os.path.getsize(capture) > 0):
            if time.monotonic() > deadline or relay.poll() is not None:
                fail("dulvet.exe did not start its capture")
            time.sleep(0.1)
        client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        client.settimeout(30)
        for text in (b"one", b"two", b"three", b"four"):
            client.sendto(text, ("127.0.0.1", relay_port))
            if text in (b"one", b"three"):  # the second of each period is dropped
                data, _ = server.recvfrom(100)
                server.sendto(data + b"!", ("127.0.0.1", relay_port))
                server.sendto(data + b"?", ("127.0.0.1", relay_port))  # dropped on its way back
                client.recvfrom(100)
        # A fifth reaches the server once the fourth's fate is decided.
        client.sendto(b"five", ("127.0.0.1", relay_port))
        server.recvfrom(100)
        out, err = relay.communicate(b"quit\n", timeout=60)
    finally:
        if relay.poll() is None:
            relay.kill()
            relay.wait()
    if relay.returncode != 0:
        fail("dulvet.exe ended with %d: %s" % (relay.returncode, err.decode(errors="replace")))
    comments = subprocess.run(["tshark", "-r", capture, "-T", "fields", "-E", "aggregator=|", "-e", "frame.comment"],
                              capture_output=True, text=True, timeout=120).stdout.split("\n")
    comments = [c for line in comments if line for c in line.split("|")]
    expected = {
        "to-server #1 arrived", "to-server #2 dropped: periodic-loss", "to-server #3 arrived",
        "to-server #4 dropped: periodic-loss", "to-client #1 arrived", "to-client #2 dropped: periodic-loss",
        "to-client #3 arrived", "to-client #4 dropped: periodic-loss", "to-server #5 arrived"}
    left = [c for c in comments if " left after " in c]
    if not expected <= set(comments) or len(left) != 5 or len(comments) != 14:
        fail("tshark read: %r" % comments)
    info = subprocess.run(["capinfos", capture], capture_output=True, text=True, timeout=120)
    if info.returncode != 0 or "arning" in info.stdout + info.stderr:
        fail("capinfos: " + info.stdout + info.stderr)
    os.remove(capture)
    os.rmdir(work)
    print("dulvet.exe wrote %d packets that tshark and capinfos read" % len(comments))


main()
