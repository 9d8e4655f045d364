#!/usr/bin/env python3
"""Writes the rate traces dulvet ships (data/traces/*.trace): one time stamp
in milliseconds a line, each a chance for one 1 500-byte packet to leave.

steady-12mbit.trace   one opportunity every millisecond for a second:
                      1 500 bytes a millisecond, 12 Mbit/s.
mobile.trace          30 s of a rate that wanders like a mobile link's,
                      between 0.5 and 20 Mbit/s: every 250 ms the rate moves
                      a random step (seeded, so the file is the same each
                      time) on a logarithmic scale, with two fades to the
                      floor as if through a tunnel; between steps it glides
                      in straight lines. Opportunities come wherever the
                      delivered packets add up to a whole one.

    python3 scripts/make-rate-traces.py
"""

import math
import os
import random

PACKET_BITS = 1500 * 8
LOW, HIGH = 0.5e6, 20e6  # bit/s


def steady():
    return list(range(1, 1001))


def mobile_rates(seconds=30, step_ms=250, seed=24):
    chooser = random.Random(seed)
    level = math.log(6e6)
    points = []
    for step in range(seconds * 1000 // step_ms + 1):
        level += chooser.gauss(0, 0.45)
        level = min(max(level, math.log(LOW)), math.log(HIGH))
        points.append(math.exp(level))
    for start in (34, 81):  # fades: 1.5 s at the floor
        for i in range(start, start + 6):
            points[i] = LOW
    return points, step_ms


def mobile(seconds=30):
    points, step_ms = mobile_rates(seconds)
    stamps, owed = [], 0.0
    for ms in range(1, seconds * 1000 + 1):
        at = (ms - 1) / step_ms
        i = int(at)
        rate = points[i] + (points[i + 1] - points[i]) * (at - i)
        owed += rate / 1000 / PACKET_BITS
        while owed >= 1:
            stamps.append(ms)
            owed -= 1
    if stamps[-1] != seconds * 1000:
        stamps.append(seconds * 1000)  # the last stamp is the trace's length
    return stamps


def write(name, stamps):
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "traces")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "w", newline="\n") as out:
        out.writelines(f"{ms}\n" for ms in stamps)


def main():
    write("steady-12mbit.trace", steady())
    write("mobile.trace", mobile())


if __name__ == "__main__":
    main()
