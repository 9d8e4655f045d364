#!/usr/bin/env python3
"""The real-link section's figures and pictures, from the sink's arrivals
(one line a datagram: sequence, one-way ns, arrival ns on the wall clock,
bytes).

  real_link.py shape ARRIVALS DELAY_MS JITTER_MS SHAPE PICTURE
      the one-way delays against the shape's configured curve: their mean,
      standard deviation (the Pareto shapes' between the 0.5 % and 99.5 %
      quantiles), the Kolmogorov-Smirnov distance to the configured curve;
      PICTURE (PNG, by gnuplot) shows their histogram over that curve.
  real_link.py trace ARRIVALS TRACE READY_NS PICTURE
      the bytes delivered in each 100 ms against the trace's opportunities
      (1 500 bytes each, looping), the trace's time 0 at READY_NS; the
      clocks are lined up by the shift from 1 s before READY_NS (when
      the runner saw dulvet ready) to 50 ms after that fits best. Prints the sum of |delivered - opportunity| over the windows as
      a share of the opportunity bytes.
"""

import bisect
import importlib.util
import math
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
table_module = importlib.util.spec_from_file_location("tables", os.path.join(here, "..", "scripts", "make-distribution-tables.py"))
tables = importlib.util.module_from_spec(table_module)
table_module.loader.exec_module(tables)

TAIL = 1e-6


def quantile(shape):
    if shape == "uniform":
        return lambda p: 2 * p - 1
    return lambda p: getattr(tables, shape)(min(max(p, TAIL), 1 - TAIL))


def read_arrivals(path):
    rows = []
    with open(path) as lines:
        for line in lines:
            sequence, one_way, arrived, size = line.split()
            rows.append((int(sequence), int(one_way), int(arrived), int(size)))
    return rows


def gnuplot(script):
    with tempfile.NamedTemporaryFile("w", suffix=".gp", delete=False) as out:
        out.write(script)
    try:
        subprocess.run(["gnuplot", out.name], check=True, timeout=120)
    finally:
        os.unlink(out.name)


def shape_figures(arrivals, delay_ms, jitter_ms, shape, picture):
    delays = sorted(one_way / 1e6 for _, one_way, _, _ in arrivals)
    n = len(delays)
    mean = sum(delays) / n
    if shape.startswith("pareto"):
        kept = delays[int(n * 0.005):int(math.ceil(n * 0.995))]
    else:
        kept = delays
    kept_mean = sum(kept) / len(kept)
    deviation = math.sqrt(sum((x - kept_mean) ** 2 for x in kept) / (len(kept) - 1))
    target_deviation = jitter_ms / math.sqrt(3) if shape == "uniform" else jitter_ms
    # The configured curve as a fine grid of (delay, probability).
    q = quantile(shape)
    steps = 200000
    grid_p = [(i + 0.5) / steps for i in range(steps)]
    grid_x = [max(0.0, delay_ms + jitter_ms * q(p)) for p in grid_p]

    def cdf(x):
        i = bisect.bisect_right(grid_x, x)
        if i == 0:
            return 0.0
        if i == steps:
            return 1.0
        x0, x1 = grid_x[i - 1], grid_x[i]
        along = 0 if x1 == x0 else (x - x0) / (x1 - x0)
        return grid_p[i - 1] + (grid_p[i] - grid_p[i - 1]) * along

    ks = 0.0
    for i, x in enumerate(delays):
        f = cdf(x)
        ks = max(ks, (i + 1) / n - f, f - i / n)
    print(f"n={n} mean_ms={mean:.3f} sd_ms={deviation:.3f} ks={ks:.4f} "
          f"target_mean_ms={delay_ms:g} target_sd_ms={target_deviation:.3f}")

    low, high = delays[int(n * 0.001)], delays[int(n * 0.995)]
    bins = 120
    width = (high - low) / bins
    counts = [0] * bins
    for x in delays:
        k = int((x - low) / width)
        if 0 <= k < bins:
            counts[k] += 1
    with tempfile.TemporaryDirectory() as folder:
        measured = os.path.join(folder, "measured.dat")
        curve = os.path.join(folder, "curve.dat")
        with open(measured, "w") as out:
            for k, c in enumerate(counts):
                out.write(f"{low + (k + 0.5) * width} {c / n / width}\n")
        with open(curve, "w") as out:
            for i in range(200, steps - 200, 200):
                x0, x1 = grid_x[i - 200], grid_x[i + 200]
                if low <= grid_x[i] <= high and x1 > x0:
                    out.write(f"{grid_x[i]} {(grid_p[i + 200] - grid_p[i - 200]) / (x1 - x0)}\n")
        gnuplot(f"""set terminal pngcairo size 720,400 font ",10"
set output "{picture}"
set title "--delay {delay_ms:g} --jitter {jitter_ms:g} --distribution {shape}: {n} datagrams"
set xlabel "one-way delay (ms)"
set ylabel "share per ms"
set key top right
set style fill solid 0.5 noborder
plot "{measured}" using 1:2 with boxes lc rgb "#4a90d9" title "measured", \\
     "{curve}" using 1:2 with lines lw 2 lc rgb "#d94a4a" title "configured"
""")


def trace_figures(arrivals, trace_path, ready_ns, picture):
    stamps = [int(line) for line in open(trace_path) if line.strip() and not line.startswith("#")]
    length = stamps[-1]
    first = min(arrived for _, _, arrived, _ in arrivals)
    last = max(arrived for _, _, arrived, _ in arrivals)
    # Delivered bytes per millisecond since READY_NS - 50 ms.
    origin = ready_ns - 1_000_000_000
    span_ms = (last - origin) // 1_000_000 + 1
    delivered = [0] * span_ms
    for _, _, arrived, size in arrivals:
        delivered[(arrived - origin) // 1_000_000] += size

    # Opportunity bytes per millisecond for a trace starting at origin, and
    # their running sum: a later start shifts it.
    per_ms = [0] * span_ms
    for repetition in range(span_ms // length + 1):
        for stamp in stamps:
            at = repetition * length + stamp
            if at < span_ms:
                per_ms[at] += 1500
    running = [0]
    for value in per_ms:
        running.append(running[-1] + value)

    def offered_between(start, end):  # for a trace starting at origin
        return running[max(0, min(end, span_ms))] - running[max(0, min(start, span_ms))]

    # Judge from the first arrival to the last, whole windows.
    start_ms = (first - origin) // 1_000_000
    starts = range(start_ms, span_ms - 99, 100)
    got = [sum(delivered[t:t + 100]) for t in starts]
    best = None
    for shift in range(0, 1051):
        offered = [offered_between(t - shift, t - shift + 100) for t in starts]
        error = sum(abs(x - y) for x, y in zip(got, offered))
        if best is None or error < best[0]:
            best = (error, shift, got, offered)
    error, shift, got, offered = best
    total = sum(offered)
    print(f"windows={len(got)} seconds={len(got) / 10:.1f} opportunity_bytes={total} delivered_bytes={sum(got)} "
          f"abs_error_bytes={error} error_pct={100 * error / total:.2f} shift_ms={shift - 1000}")
    with tempfile.TemporaryDirectory() as folder:
        data = os.path.join(folder, "rate.dat")
        with open(data, "w") as out:
            for k, (x, y) in enumerate(zip(got, offered)):
                out.write(f"{k / 10:.1f} {x * 8 / 0.1 / 1e6:.3f} {y * 8 / 0.1 / 1e6:.3f}\n")
        gnuplot(f"""set terminal pngcairo size 900,400 font ",10"
set output "{picture}"
set title "--rate-trace {os.path.basename(trace_path)}, kept saturated: delivered per 100 ms against the trace"
set xlabel "seconds"
set ylabel "Mbit/s"
set key top right
plot "{data}" using 1:3 with steps lw 2 lc rgb "#d94a4a" title "trace", \\
     "{data}" using 1:2 with steps lw 1 lc rgb "#4a90d9" title "delivered"
""")


def main():
    if len(sys.argv) == 7 and sys.argv[1] == "shape":
        shape_figures(read_arrivals(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), sys.argv[5], sys.argv[6])
    elif len(sys.argv) == 6 and sys.argv[1] == "trace":
        trace_figures(read_arrivals(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5])
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
