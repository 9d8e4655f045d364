#!/usr/bin/env python3
"""Writes the delay tables dulvet ships (data/distributions/*.dist) from the
shapes' formulas: for each shape, its quantiles at (i + 0.5) / N in units of
its standard deviation, centred on its mean, one a line. The scaling is the
link engine's own (link/DelayShape.h): the normal's deviation is 1; the
Pareto (shape 3) and the Pareto-normal blend (a quarter of the normal's
quantile plus three quarters of the Pareto's at the same probability) have a
deviation of 1 between their 0.5 % and 99.5 % quantiles.

    python3 scripts/make-distribution-tables.py [N]    (N = 4096 by default)
"""

import math
import os
import statistics
import sys

TRIM_LOW, TRIM_HIGH = 0.005, 0.995


def normal(p):
    return statistics.NormalDist().inv_cdf(p)


def raw_pareto(p):
    return (1 - p) ** (-1 / 3)


def trimmed_pareto_deviation():
    # Density 3 x^-4: between a and b the mass is 0.99, the first moment
    # 1.5 (a^-2 - b^-2) and the second 3 (a^-1 - b^-1).
    a, b = raw_pareto(TRIM_LOW), raw_pareto(TRIM_HIGH)
    mass = TRIM_HIGH - TRIM_LOW
    mean = 1.5 * (a ** -2 - b ** -2) / mass
    square = 3 * (1 / a - 1 / b) / mass
    return math.sqrt(square - mean * mean)


PARETO_DEVIATION = trimmed_pareto_deviation()


def pareto(p):
    return (raw_pareto(p) - 1.5) / PARETO_DEVIATION


def blend(p):
    return 0.25 * normal(p) + 0.75 * pareto(p)


def trimmed_deviation(quantile, steps=200000):
    # Simpson's rule over the quantile function between the trimming points.
    width = (TRIM_HIGH - TRIM_LOW) / steps
    total = total_squares = 0.0
    for i in range(steps + 1):
        weight = 1 if i in (0, steps) else (4 if i % 2 else 2)
        x = quantile(TRIM_LOW + i * width)
        total += weight * x
        total_squares += weight * x * x
    mass = TRIM_HIGH - TRIM_LOW
    mean = total * width / 3 / mass
    return math.sqrt(total_squares * width / 3 / mass - mean * mean)


BLEND_DEVIATION = trimmed_deviation(blend)


def paretonormal(p):
    return blend(p) / BLEND_DEVIATION


SHAPES = {"normal": normal, "pareto": pareto, "paretonormal": paretonormal}

DESCRIPTIONS = {
    "normal": "the normal distribution: mean 0, standard deviation 1",
    "pareto": "Pareto with shape 3: mean 0, standard deviation 1 between the 0.5 % and 99.5 % quantiles",
    "paretonormal": "a quarter normal plus three quarters Pareto (shape 3), quantile by quantile: "
                    "mean 0, standard deviation 1 between the 0.5 % and 99.5 % quantiles",
}


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 4096
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "distributions")
    os.makedirs(folder, exist_ok=True)
    for name, quantile in SHAPES.items():
        with open(os.path.join(folder, name + ".dist"), "w", newline="\n") as out:
            out.write(f"# dulvet --distribution table: {DESCRIPTIONS[name]}.\n")
            out.write(f"# {n} quantiles at (i + 0.5) / {n}, in units of the jitter; "
                      "made by scripts/make-distribution-tables.py.\n")
            for i in range(n):
                out.write(f"{quantile((i + 0.5) / n):.6f}\n")


if __name__ == "__main__":
    main()
