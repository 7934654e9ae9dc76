#!/usr/bin/python3
"""Reference P values of the exact unconditional tests, written apart from the engine.

Regions are decided in exact rational arithmetic (fractions.Fraction): the chi squared
value N (a d - b c)^2 / (m n k (N - k)) for test 8, and for test 9 the exact two-sided
Fisher-Irwin P value (the sum of the hypergeometric probabilities no larger than the
observed one), so tables with equal values are tied exactly. The total
    P(p) = sum over the region of C(m, a') C(n, c') p^(a'+c') (1 - p)^(N - a' - c')
is a polynomial with rational coefficients; it is evaluated exactly at rational p on a
dense grid of [0, 1] and the best grid points are refined by golden-section search
(exact evaluation, floats only for printing). The values printed are stored in
tests/core/unconditional_test.cpp.

Run: /usr/bin/python3 tests/reference/unconditional_reference.py
"""
from fractions import Fraction
from math import comb

GRID = 500
REFINE_STEPS = 45


def chi_key(m, n, a, c):
    """Chi squared up to the design's factor N / (m n), as an exact fraction."""
    N = m + n
    k = a + c
    if k == 0 or k == N:
        return Fraction(0)
    D = a * n - c * m
    return Fraction(D * D, k * (N - k))


def fisher_two_sided(m, n, a, c):
    """Exact two-sided Fisher-Irwin P value (tables as frequent or less)."""
    k = a + c
    lo, hi = max(0, k - n), min(k, m)
    total = comb(m + n, k)
    terms = {x: Fraction(comb(m, x) * comb(n, k - x), total) for x in range(lo, hi + 1)}
    observed = terms[a]
    return sum((t for t in terms.values() if t <= observed), Fraction(0))


def region(test, a, b, c, d):
    m, n = a + b, c + d
    if test == 8:
        observed = chi_key(m, n, a, c)
        return [(x, y) for x in range(m + 1) for y in range(n + 1)
                if chi_key(m, n, x, y) >= observed]
    observed = fisher_two_sided(m, n, a, c)
    return [(x, y) for x in range(m + 1) for y in range(n + 1)
            if fisher_two_sided(m, n, x, y) <= observed]


def total_polynomial(m, n, tables):
    """Coefficients W(k) of p^k (1 - p)^(N - k)."""
    N = m + n
    W = [0] * (N + 1)
    for x, y in tables:
        W[x + y] += comb(m, x) * comb(n, y)
    return W


def total(W, p):
    N = len(W) - 1
    q = 1 - p
    return sum((w * p**k * q**(N - k) for k, w in enumerate(W) if w), Fraction(0))


def maximum(W):
    grid = [Fraction(i, GRID) for i in range(GRID + 1)]
    values = [total(W, p) for p in grid]
    best_value, best_p = max(zip(values, grid))
    # Refine around every grid point that is a local maximum within 1% of the best.
    for i in range(GRID + 1):
        left = values[i - 1] if i > 0 else -1
        right = values[i + 1] if i < GRID else -1
        if values[i] >= left and values[i] >= right and values[i] >= best_value * Fraction(99, 100):
            lo = grid[max(i - 1, 0)]
            hi = grid[min(i + 1, GRID)]
            for _ in range(REFINE_STEPS):
                m1 = lo + (hi - lo) * Fraction(382, 1000)
                m2 = lo + (hi - lo) * Fraction(618, 1000)
                if total(W, m1) < total(W, m2):
                    lo = m1
                else:
                    hi = m2
                # keep the fractions short
                lo = Fraction(lo).limit_denominator(10**15)
                hi = Fraction(hi).limit_denominator(10**15)
            p = (lo + hi) / 2
            v = total(W, p)
            if v > best_value:
                best_value, best_p = v, p
    return best_value, best_p


CASES = [
    # name, a, b, c, d
    ("Small", 3, 4, 5, 2),
    ("Balanced", 2, 3, 2, 3),
    ("ZeroCell", 0, 6, 5, 1),
    ("ZeroColumn", 0, 7, 0, 5),
    ("TwoZeroCells", 0, 5, 5, 0),
    ("FourTwelveNineEleven", 4, 8, 9, 2),
    ("OneRowOfOne", 1, 0, 3, 9),
    ("Unequal", 7, 2, 1, 10),
]

if __name__ == "__main__":
    for name, a, b, c, d in CASES:
        for test in (8, 9):
            W = total_polynomial(a + b, c + d, region(test, a, b, c, d))
            value, p = maximum(W)
            print(f"{{\"{name}{test}\", {test}, {a}, {b}, {c}, {d}, {float(value)!r}}},"
                  f"  // p* = {float(p):.6f}")
