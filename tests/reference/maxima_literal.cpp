#include "reference/maxima_literal.h"

#include "core/pvalues.h"
#include "core/tables.h"
#include "reference/core_literal.h"

#include <cmath>

namespace quillon::reference {

double SearchPValueLiteral(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int test,
                           double MEN, double MMT, TestPolicy policy) {
    const double A = static_cast<double>(a), B = static_cast<double>(b);
    const double C = static_cast<double>(c), D = static_cast<double>(d);
    const double N = A + B + C + D;
    const PolicyResult check = CheckTablePolicy(N, A + B, C + D, A + C, B + D, MEN, MMT);
    double P;
    if (!check.eligible) {
        P = check.code;
    } else if (test <= 3) {
        const double X = ChiSquaredValue(A, B, C, D, test);
        P = 2 * CumulativeNormalLiteral(-std::pow(X, 0.5));
    } else {
        P = FishersExactTestLiteral(a, b, c, d)[test];
    }
    if (policy != TestPolicy::Simple) {
        if (check.code == 1) {
            const double X = ChiSquaredValue(A, B, C, D, test);
            P = 2 * CumulativeNormalLiteral(-std::pow(X, 0.5));
        } else if (check.code == 1.0 + 0.1 || check.code == 1.0 + 0.2) {
            P = FishersExactTestLiteral(a, b, c, d).test5;
        } else {
            P = check.code;
        }
    }
    return P;
}

namespace {

// The comb sort of the P values: gap Int(0.8 T), shrinking by 0.8, a gap of 0 becoming 1,
// until a sweep with gap 1 makes no swap. Indexes from 1 as the program counts.
void CombSort(std::vector<double>& v) {
    const auto T = static_cast<std::int64_t>(v.size());
    auto gap = static_cast<std::int64_t>(0.8 * static_cast<double>(T));
    if (gap < 1)
        gap = 1;
    for (;;) {
        bool swapped = false;
        for (std::int64_t i = 1; i <= T - gap; ++i) {
            if (v[static_cast<std::size_t>(i - 1)] > v[static_cast<std::size_t>(i + gap - 1)]) {
                std::swap(v[static_cast<std::size_t>(i - 1)],
                          v[static_cast<std::size_t>(i + gap - 1)]);
                swapped = true;
            }
        }
        if (gap == 1 && !swapped)
            break;
        gap = static_cast<std::int64_t>(0.8 * static_cast<double>(gap));
        if (gap == 0)
            gap = 1;
    }
}

std::vector<double> PValuesOf(const SearchSpec& spec) {
    const double x = spec.key.design == ComparativeTrial ? static_cast<double>(spec.m) : 0.25;
    const std::vector<LiteralRow> rows =
        EnumerateTablesLiteral(spec.key.design, spec.key.N, 0.25, 0, x, 0);
    std::vector<double> P;
    for (const LiteralRow& r : rows)
        P.push_back(
            SearchPValueLiteral(static_cast<std::int64_t>(r.a), static_cast<std::int64_t>(r.b),
                                static_cast<std::int64_t>(r.c), static_cast<std::int64_t>(r.d),
                                spec.key.test, spec.key.MEN, spec.key.MMT, spec.key.policy));
    return P;
}

} // namespace

AreaValue EvaluateAreaLiteral(const SearchSpec& spec, const std::vector<double>& P, double pcol,
                              double wcol, double prow, double wrow) {
    const double x = spec.key.design == ComparativeTrial ? static_cast<double>(spec.m) : prow;
    const std::vector<LiteralRow> rows =
        EnumerateTablesLiteral(spec.key.design, spec.key.N, pcol, wcol, x, wrow);
    AreaValue out;
    if (spec.key.type == Property::ActualTypeIError) {
        for (std::size_t t = 0; t < rows.size(); ++t) {
            if (P[t] < spec.key.parameter) {
                out.value = out.value + rows[t].probability;
                out.bound = out.bound + rows[t].upper;
            }
        }
        return out;
    }
    std::vector<double> sorted = P;
    CombSort(sorted);
    std::vector<double> distinct;
    for (std::size_t i = 0; i < sorted.size(); ++i)
        if (i == 0 || sorted[i] != sorted[i - 1])
            distinct.push_back(sorted[i]);
    double S = 0, U = 0;
    for (double pj : distinct) {
        if (pj > spec.key.parameter)
            break;
        double mass = 0, upperMass = 0;
        for (std::size_t t = 0; t < rows.size(); ++t) {
            if (P[t] == pj) {
                mass = mass + rows[t].probability;
                upperMass = upperMass + rows[t].upper;
            }
        }
        S = S + mass;
        U = U + upperMass;
        if (S - pj > out.value)
            out.value = S - pj;
        if (U - pj > out.bound)
            out.bound = U - pj;
    }
    return out;
}

namespace {

struct Literal {
    const SearchSpec& spec;
    std::vector<double> P;
    LiteralSearch result;
    double ubRes = 0;
    bool ubSet = false;

    AreaValue Area(double pcol, double wcol, double prow, double wrow) {
        const AreaValue v = EvaluateAreaLiteral(spec, P, pcol, wcol, prow, wrow);
        result.evaluations.push_back({pcol, wcol, prow, wrow, v.value, v.bound});
        return v;
    }
    void Offer(double value, double pcol, double prow) {
        if (value > result.maximum.value) {
            result.maximum.value = value;
            result.maximum.pcol = pcol;
            result.maximum.prow = spec.key.design == ComparativeTrial ? -1 : prow;
            result.maximum.m = spec.key.design == ComparativeTrial ? spec.m : -1;
        }
    }
    bool StripArea(double pcol, double prow, double width, double height) {
        const AreaValue v = Area(pcol, width, prow, height);
        const bool passes = !(v.bound > result.maximum.value + spec.key.accuracy);
        Offer(v.value, pcol, prow);
        return passes;
    }
};

void Comparative(Literal& L, const FoundMaximum* carried) {
    if (carried != nullptr)
        L.result.maximum = *carried;
    double colLo = 0.000001, colHi = 0.5;
    std::int64_t G = 11;
    double Llast = colHi - colLo;
    for (;;) {
        const double h = (colHi - colLo) / static_cast<double>(G - 1);
        std::vector<double> p(static_cast<std::size_t>(G) + 1), value(p.size()), bound(p.size());
        for (std::int64_t k = 1; k <= G; ++k) {
            p[static_cast<std::size_t>(k)] = colLo + h * static_cast<double>(k - 1);
            const AreaValue v = L.Area(p[static_cast<std::size_t>(k)], h, 0, 0);
            value[static_cast<std::size_t>(k)] = v.value;
            bound[static_cast<std::size_t>(k)] = v.bound;
        }
        double ubRes = 0;
        for (std::int64_t k = 1; k <= G; ++k) {
            L.Offer(value[static_cast<std::size_t>(k)], p[static_cast<std::size_t>(k)], -1);
            if (bound[static_cast<std::size_t>(k)] > ubRes)
                ubRes = bound[static_cast<std::size_t>(k)];
        }
        L.result.residueBound = ubRes;
        const double max = L.result.maximum.value;
        if (ubRes - max < L.spec.key.accuracy)
            return;
        std::int64_t k = 1;
        while (k <= G && bound[static_cast<std::size_t>(k)] < max + L.spec.key.accuracy) {
            if (k < G)
                colLo = p[static_cast<std::size_t>(k + 1)];
            ++k;
        }
        k = G;
        while (k >= 1 && bound[static_cast<std::size_t>(k)] < max + L.spec.key.accuracy) {
            colHi = p[static_cast<std::size_t>(k)];
            --k;
        }
        const double length = colHi - colLo;
        if (length > Llast / 2)
            G = 2 * G;
        Llast = length;
        if (G > MaximumGridPoints ||
            (colHi - colLo) / static_cast<double>(G - 1) < MinimumSearchWidth) {
            L.result.converged = false;
            return;
        }
    }
}

void CrossSectional(Literal& L) {
    double colLo = 0.000001, rowLo = 0.000001, colHi = 0.5, rowHi = 0.5;
    double Alast = (colHi - colLo) * (rowHi - rowLo);
    double w = 0.11, s = 0.08;
    const double delta = L.spec.key.accuracy;
    auto finishEmpty = [&] {
        L.result.residueEmpty = true;
        L.result.residueBound = L.ubSet ? L.ubRes : -1;
    };
    for (;;) {
        const double maxAtStart = L.result.maximum.value;
        bool failed = false;
        for (;;) { // left
            const double extent = rowHi - rowLo;
            const std::int64_t n = static_cast<std::int64_t>(extent / w) + 1;
            const double width = n == 1 ? colHi - colLo : w;
            const double height = extent / static_cast<double>(n);
            failed = false;
            for (std::int64_t k = 1; k <= n; ++k) {
                if (!L.StripArea(colLo, rowLo + height * static_cast<double>(k - 1), width,
                                 height)) {
                    failed = true;
                    break;
                }
            }
            if (failed)
                break;
            colLo = colLo + width;
            if (colLo >= colHi)
                return finishEmpty();
            if (rowLo < colLo)
                rowLo = colLo;
        }
        for (;;) { // top
            const double extent = colHi - colLo;
            const std::int64_t n = static_cast<std::int64_t>(extent / w) + 1;
            const double height = n == 1 ? rowHi - rowLo : w;
            const double width = extent / static_cast<double>(n);
            failed = false;
            for (std::int64_t k = 1; k <= n; ++k) {
                if (!L.StripArea(colLo + width * static_cast<double>(k - 1), rowHi - height, width,
                                 height)) {
                    failed = true;
                    break;
                }
            }
            if (failed)
                break;
            rowHi = rowHi - height;
            if (rowLo >= rowHi)
                return finishEmpty();
            if (colHi > rowHi)
                colHi = rowHi;
        }
        do { // right
            const double extent = rowHi - rowLo;
            const std::int64_t n = static_cast<std::int64_t>(extent / w) + 1;
            double width = n == 1 ? colHi - colLo : w;
            const double height = extent / static_cast<double>(n);
            double left = colHi - width;
            if (left < 0) {
                left = 0;
                width = colHi;
            }
            failed = false;
            for (std::int64_t k = 1; k <= n; ++k) {
                const double lower = rowHi - static_cast<double>(k) * height;
                if (!L.StripArea(left, lower, width, height)) {
                    failed = true;
                    break;
                }
                if (!(lower > left))
                    break;
            }
            if (failed)
                break;
            colHi = colHi - width;
        } while (colLo < colHi);
        if (!(colLo < colHi))
            return finishEmpty();
        do { // bottom
            const double extent = colHi - colLo;
            const std::int64_t n = static_cast<std::int64_t>(extent / w) + 1;
            const double height = n == 1 ? rowHi - rowLo : w;
            const double width = extent / static_cast<double>(n);
            failed = false;
            for (std::int64_t k = 1; k <= n; ++k) {
                const double left = colLo + width * static_cast<double>(n - k);
                if (rowLo + height > left && !L.StripArea(left, rowLo, width, height)) {
                    failed = true;
                    break;
                }
            }
            if (failed)
                break;
            rowLo = rowLo + height;
        } while (rowLo < rowHi);
        if (!(rowLo < rowHi))
            return finishEmpty();

        const double A = (colHi - colLo) * (rowHi - rowLo);
        if (A < 0.5 * Alast || w < 0.3 * s) {
            s = 2 * w;
            std::int64_t nc = static_cast<std::int64_t>((colHi - colLo) / s) + 1;
            std::int64_t nr = static_cast<std::int64_t>((rowHi - rowLo) / s) + 1;
            if (nc < 5)
                nc = 5;
            if (nr < 5)
                nr = 5;
            const double hc = (colHi - colLo) / static_cast<double>(nc - 1);
            const double hr = (rowHi - rowLo) / static_cast<double>(nr - 1);
            double largestBound = 0;
            for (std::int64_t r = nr; r >= 1; --r) {
                for (std::int64_t c = nc; c >= 1; --c) {
                    const double pc = colLo + hc * static_cast<double>(c - 1);
                    const double pr = rowLo + hr * static_cast<double>(r - 1);
                    if (pc <= pr || pc < pr + hr) {
                        const AreaValue v = L.Area(pc, hc, pr, hr);
                        if (v.bound > largestBound)
                            largestBound = v.bound;
                        L.Offer(v.value, pc, pr);
                    }
                }
            }
            L.ubRes = largestBound;
            L.ubSet = true;
            Alast = A;
        }
        if (L.result.maximum.value == maxAtStart)
            w = 0.7 * w;
        L.result.residueBound = L.ubSet ? L.ubRes : -1;
        if (L.ubSet && L.ubRes - L.result.maximum.value < delta)
            return;
        if (w < MinimumSearchWidth) {
            L.result.converged = false;
            return;
        }
    }
}

} // namespace

LiteralSearch AreaSearchLiteral(const SearchSpec& spec, const FoundMaximum* carried) {
    Literal L{spec, PValuesOf(spec), {}, 0, false};
    if (spec.key.design == CrossSectionalStudy)
        CrossSectional(L);
    else
        Comparative(L, carried);
    return L.result;
}

} // namespace quillon::reference
