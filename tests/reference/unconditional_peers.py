#!/usr/bin/python3
"""Tests 8 and 9 of quillon-cli beside SciPy's barnard_exact (pooled, two-sided, default
32 points) and boschloo_exact (two-sided), with SciPy's processor time.

SciPy takes the two samples as the columns of its table, so Quillon's rows B (a, b) and
Not-B (c, d) are passed as [[a, c], [b, d]]. Needs Debian's python3-scipy.

Run: /usr/bin/python3 tests/reference/unconditional_peers.py build/src/quillon-cli
"""
import re
import subprocess
import sys
import time

from scipy.stats import barnard_exact, boschloo_exact

TABLES = [(14, 33, 48, 235), (10, 25, 24, 37), (4, 8, 9, 2), (10, 2, 3, 15), (3, 4, 5, 2),
          (7, 2, 1, 10), (1, 0, 3, 9), (0, 6, 5, 1), (12, 28, 20, 20), (30, 70, 45, 55),
          (5, 15, 12, 8), (20, 20, 30, 10)]


def main(cli):
    print("a b c d | test 8 | barnard_exact (s) | test 9 | boschloo_exact (s)")
    for a, b, c, d in TABLES:
        table = [[a, c], [b, d]]
        t0 = time.process_time()
        barnard = barnard_exact(table, pooled=True).pvalue
        t1 = time.process_time()
        boschloo = boschloo_exact(table).pvalue
        t2 = time.process_time()
        out = subprocess.run([cli, "analyse", str(a), str(b), str(c), str(d), "--unconditional"],
                             capture_output=True, text=True, check=True).stdout
        p8 = re.search(r"chi squared ordering: P value = ([.\d]+)", out).group(1)
        p9 = re.search(r"Fisher-Irwin ordering: P value = ([.\d]+)", out).group(1)
        print(f"{a} {b} {c} {d} | {p8} | {barnard:.6g} ({t1 - t0:.2f}) | {p9} | "
              f"{boschloo:.6g} ({t2 - t1:.2f})")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/src/quillon-cli")
