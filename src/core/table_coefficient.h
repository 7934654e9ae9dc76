// The coefficient of a 2 x 2 sample table, as a logarithm from the
// log-factorial cache:
//   cross-sectional study  M = N! / (a! b! c! d!)
//       ln M = (((ln N! - ln a!) - ln b!) - ln c!) - ln d!
//   comparative trial      M = C(m, a) C(N - m, c),  m = a + b
//       ln M = ((((ln m! - ln a!) - ln b!) + ln (N - m)!) - ln c!) - ln d!
// A table's probability is ExpBase^lnM times its kernels. The enumeration, the
// probabilities under an alternative and the maximum search must agree to the
// last bit, so this one order of operations is written here and nowhere else.
// Limits: those of LogFactorial (arguments up to MaxLogFactorialArgument).
#pragma once

#include "core/designs.h"
#include "core/tables.h"

#include <cstdint>

namespace quillon {

// ln M for the tables of one design, N and m (m unused in a cross-sectional
// study).
class TableCoefficientLog {
public:
    // Preconditions: 0 <= N <= MaxLogFactorialArgument; 0 <= m <= N in a
    // comparative trial.
    TableCoefficientLog(DesignCode design, std::int64_t N, std::int64_t m)
        : cross_(design == CrossSectionalStudy), lfN_(LogFactorial(N)),
          lfm_(cross_ ? 0 : LogFactorial(m)), lfRest_(cross_ ? 0 : LogFactorial(N - m)) {}

    // Preconditions: a, b, c, d >= 0 with a + b + c + d = N, and a + b = m in a
    // comparative trial.
    double operator()(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) const {
        if (cross_)
            return (((lfN_ - LogFactorial(a)) - LogFactorial(b)) - LogFactorial(c)) -
                   LogFactorial(d);
        return ((((lfm_ - LogFactorial(a)) - LogFactorial(b)) + lfRest_) - LogFactorial(c)) -
               LogFactorial(d);
    }

private:
    bool cross_;
    double lfN_, lfm_, lfRest_;
};

} // namespace quillon
