"""A test harness around dulvet: a pytest fixture (standard library only)
that starts `dulvet --control`, waits until it is ready, lets each test
case change the link, and reads the counters from /stats.

    DULVET=/usr/bin/dulvet pytest examples/harness/test_with_dulvet.py
    DULVET=/usr/bin/dulvet python3 examples/harness/test_with_dulvet.py   # without pytest
"""

import json
import os
import re
import socket
import subprocess
import threading
import time
import urllib.request

try:
    import pytest
except ImportError:  # run by hand below
    pytest = None

DULVET = os.environ.get("DULVET", "dulvet")


class Link:
    """A running dulvet in front of a UDP echo server, and its control API."""

    def __init__(self, *options):
        self.server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.server.bind(("127.0.0.1", 0))
        self.server.settimeout(0.2)
        self._serving = True
        self._echo = threading.Thread(target=self._serve, daemon=True)
        self._echo.start()
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]  # free a moment ago
        probe.close()
        self.process = subprocess.Popen(
            [DULVET, "--listen", f"127.0.0.1:{self.port}",
             "--server", f"127.0.0.1:{self.server.getsockname()[1]}",
             "--control", "127.0.0.1:0", "--quiet", *options],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        # Ready once it names the control API's address on standard error.
        deadline = time.monotonic() + 30
        for line in self.process.stderr:
            found = re.search(r"control API on (http://\S+)", line)
            if found:
                self.url = found.group(1)
                break
            if time.monotonic() > deadline:
                break
        else:
            raise RuntimeError("dulvet ended before it was ready")
        threading.Thread(target=self.process.stderr.read, daemon=True).start()  # keep stderr flowing

    def _serve(self):
        while self._serving:
            try:
                data, sender = self.server.recvfrom(65535)
            except socket.timeout:
                continue
            except OSError:
                return
            self.server.sendto(data, sender)

    def call(self, method, path, body=None):
        data = None if body is None else (body if isinstance(body, str) else json.dumps(body)).encode()
        request = urllib.request.Request(self.url + path, data=data, method=method)
        try:
            with urllib.request.urlopen(request, timeout=30) as answer:
                return answer.status, json.loads(answer.read() or b"null")
        except urllib.error.HTTPError as refused:
            return refused.code, json.loads(refused.read() or b"null")

    def change(self, **settings):
        """PATCH /settings; returns once the link has the change."""
        status, answer = self.call("PATCH", "/settings", {k.replace("_", "-"): v for k, v in settings.items()})
        assert status == 200, answer
        return answer

    def stats(self):
        return self.call("GET", "/stats")[1]

    def round_trips(self, count, timeout=1.0):
        """Sends count datagrams through the link; how many came back."""
        client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        client.settimeout(timeout)
        back = 0
        for i in range(count):
            client.sendto(b"ping %d" % i, ("127.0.0.1", self.port))
            try:
                client.recvfrom(65535)
                back += 1
            except socket.timeout:
                pass
        client.close()
        return back

    def close(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=30)
        self._serving = False
        self.server.close()


def link_fixture():
    link = Link("--pipeline", "--seed", "1")
    try:
        yield link
    finally:
        link.close()


if pytest:
    link = pytest.fixture(scope="module")(link_fixture)


def test_a_lost_link_loses_every_datagram(link):
    link.change(random_loss=100)
    before = link.stats()["to-server.random-loss"]
    assert link.round_trips(5, timeout=0.2) == 0
    assert link.stats()["to-server.random-loss"] == before + 5


def test_a_delay_the_datagrams_meet(link):
    link.change(random_loss=None, delay=150)
    started = time.monotonic()
    assert link.round_trips(1, timeout=5) == 1
    assert time.monotonic() - started >= 0.15


def test_an_outage_and_its_end(link):
    link.change(delay=None)
    status, _ = link.call("POST", "/down", {"direction": "to-server", "seconds": 60})
    assert status == 200
    assert link.round_trips(3, timeout=0.2) == 0
    assert link.stats()["to-server.outage"] >= 3
    link.call("POST", "/up")
    assert link.round_trips(3) == 3


def test_a_scenario_changes_the_link_on_its_own(link):
    status, answer = link.call("POST", "/scenario", "0s set --delay 10\n+200ms set --delay 20\n")
    assert status == 200, answer
    deadline = time.monotonic() + 30
    while link.call("GET", "/settings")[1]["delay"] != 20:
        assert time.monotonic() < deadline
        time.sleep(0.05)
    status, answer = link.call("POST", "/scenario", "0s set --delay soon\n")
    assert status == 400 and "scenario:1" in answer["error"]


if __name__ == "__main__":
    tests = [value for name, value in sorted(globals().items()) if name.startswith("test_")]
    fixture = link_fixture()
    running = next(fixture)
    for test in sorted(tests, key=lambda t: t.__code__.co_firstlineno):
        test(running)
        print("passed", test.__name__)
    fixture.close()
