#include "core/listing_text.h"

#include "core/numtext.h"

#include <charconv>
#include <cmath>

namespace quillon {

namespace {

void AppendWhole(std::string& out, std::int64_t v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

} // namespace

void AppendPlainNumberText(std::string& out, double x) {
    const double ax = std::fabs(x);
    if (!(ax >= 1e-15 && ax < 1e15)) {
        out += PlainNumberText(x); // zero, exponent forms and the non-finite
        return;
    }
    // d.dddddddddddddde[+-]XX: fifteen significant digits, correctly rounded.
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, ax, std::chars_format::scientific, 14);
    char digits[16];
    int count = 0;
    const char* p = buf;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    int exponent = 0;
    ++p; // 'e'
    const bool negative = *p == '-';
    ++p;
    for (; p < res.ptr; ++p)
        exponent = exponent * 10 + (*p - '0');
    if (negative)
        exponent = -exponent;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    out += x < 0 ? '-' : ' ';
    if (exponent >= 0) {
        const int intLen = exponent + 1;
        if (count <= intLen) {
            out.append(digits, static_cast<std::size_t>(count));
            out.append(static_cast<std::size_t>(intLen - count), '0');
        } else {
            out.append(digits, static_cast<std::size_t>(intLen));
            out += '.';
            out.append(digits + intLen, static_cast<std::size_t>(count - intLen));
        }
    } else {
        out += '.';
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits, static_cast<std::size_t>(count));
    }
}

void AppendSevenFigures(std::string& out, double x) {
    if (x == 0) {
        out += '0';
        return;
    }
    if (!(x > 0) || !std::isfinite(x)) {
        out += GiveNumberTonsf(x, 7);
        return;
    }
    // The scaling of the general routine, so the rounding is the same.
    const auto [m, e] = ScaleToFigures(x, 1e7, 1e6);
    if (e >= 0) {
        out += GiveNumberTonsf(x, 7);
        return;
    }
    // m is a whole number of exactly seven digits.
    char D[8];
    const auto res = std::to_chars(D, D + sizeof D, static_cast<std::int64_t>(m));
    const auto digits = static_cast<int>(res.ptr - D);
    const int k = -e;
    if (k > digits) {
        out += '.';
        out.append(static_cast<std::size_t>(k - digits), '0');
        out.append(D, static_cast<std::size_t>(digits));
    } else if (k == digits) {
        out += '.';
        out.append(D, static_cast<std::size_t>(digits));
    } else {
        out.append(D, static_cast<std::size_t>(digits - k));
        out += '.';
        out.append(D + (digits - k), static_cast<std::size_t>(k));
    }
}

void AppendTableLabel(std::string& out, std::int32_t a, std::int32_t b, std::int32_t c,
                      std::int32_t d) {
    for (std::int32_t v : {a, b, c, d}) {
        out += v < 0 ? '-' : ' ';
        AppendWhole(out, v < 0 ? -static_cast<std::int64_t>(v) : v);
    }
}

} // namespace quillon
