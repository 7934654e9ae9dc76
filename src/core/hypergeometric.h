// Hypergeometric terms of tables too large for the log-factorial cache.
//
// For margins R1 (the row of the cell), K1, K2 (the columns) and N = K1 + K2, the term of
// top-left cell i is
//     P(i) = C(K1, i) C(K2, R1 - i) / C(N, R1),   max(0, R1 - K2) <= i <= min(R1, K1),
// and is formed as the product of three binomial terms with the common p = R1 / N:
//     P(i) = b(i; K1, p) b(R1 - i; K2, p) / b(R1; N, p),
// each computed by the saddle-point method of C. Loader ("Fast and accurate computation
// of binomial probabilities", 2000), the method of R's mathlib dbinom:
//     ln b(x; n, p) = stirlerr(n) - stirlerr(x) - stirlerr(n - x)
//                     - bd0(x, n p) - bd0(n - x, n q) - ln(2 pi x (n - x) / n) / 2,
// where stirlerr(n) = ln n! - ln(sqrt(2 pi n) (n / e)^n) (a four-term Stirling series
// above 15, whose truncation error is below 1e-17 there, and from lgamma below) and
// bd0(x, m) = x ln(x / m) + m - x (by its series where x is near m, so that the deviance
// keeps full relative precision instead of cancelling).
//
// No term of the order of N ln N is ever formed, so nothing cancels: ln P(i) is found to
// within about 1e-13 (a few roundings of each term, whose sizes are at most the 745 units
// of ln that a double can hold), that is each P(i) to about 1e-13 of its value, for any
// total up to 2^53. The log-factorial cache, by contrast, grows with N and its running
// sums lose precision with it.
#pragma once

#include <cstdint>

namespace quillon {

// ln of the binomial term b(x; n, p) with q = 1 - p given separately.
// Preconditions: 0 <= x <= n, 0 <= p <= 1, q = 1 - p.
double LogBinomialTerm(std::int64_t x, std::int64_t n, double p, double q);

// ln P(i). Preconditions: 0 <= i <= R1, i <= K1, R1 - i <= K2.
double LogHypergeometricTerm(std::int64_t i, std::int64_t R1, std::int64_t K1, std::int64_t K2);

} // namespace quillon
