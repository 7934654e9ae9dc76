#include "core/numtext.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace quillon {

namespace {

// The decimal digits of |x| rounded to 15 significant digits, with trailing zeros
// dropped, and the decimal exponent of the first digit (x = 0.d1d2... * 10^(exp10 + 1)).
// Locale-independent, unlike printf.
struct Digits {
    std::string digits;
    int exp10 = 0;
};

Digits FifteenDigits(double x) {
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    // text is d.dddddddddddddde[+-]XX
    Digits d;
    const auto ePos = text.find('e');
    for (char ch : text.substr(0, ePos))
        if (ch != '.')
            d.digits += ch;
    int exponent = 0;
    std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+' ? 1 : 0),
                    text.data() + text.size(), exponent);
    d.exp10 = exponent;
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Digits of |x| in positional form; `leadingZero` writes "0.5" rather than ".5".
std::string Positional(double x, bool leadingZero) {
    if (x == 0)
        return "0";
    if (std::isnan(x))
        return "NaN";
    if (std::isinf(x))
        return "Infinity";
    const Digits d = FifteenDigits(x);
    const double ax = std::fabs(x);
    if (ax >= 1e15 || ax < 1e-15) {
        // Exponent form for magnitudes the studies never produce.
        std::string out(1, d.digits[0]);
        if (d.digits.size() > 1)
            out += "." + d.digits.substr(1);
        out += d.exp10 < 0 ? "E-" : "E+";
        const int e = std::abs(d.exp10);
        if (e < 10)
            out += '0';
        out += std::to_string(e);
        return out;
    }
    std::string out;
    if (d.exp10 >= 0) {
        const auto intLen = static_cast<std::size_t>(d.exp10) + 1;
        if (d.digits.size() <= intLen) {
            out = d.digits + std::string(intLen - d.digits.size(), '0');
        } else {
            out = d.digits.substr(0, intLen) + "." + d.digits.substr(intLen);
        }
    } else {
        out = (leadingZero ? "0." : ".") +
              std::string(static_cast<std::size_t>(-d.exp10 - 1), '0') + d.digits;
    }
    return out;
}

} // namespace

std::string PlainNumberText(double x) {
    return (x < 0 ? "-" : " ") + Positional(x, false);
}

std::string GeneralNumberText(double x) {
    return (x < 0 ? "-" : "") + Positional(x, true);
}

FigureScaling ScaleToFigures(double x, double upper, double lower) {
    double y = x;
    int e = 0;
    for (;;) {
        if (y >= upper) {
            y = y / 10;
            e = e + 1;
        } else if (y < lower) {
            y = y * 10;
            e = e - 1;
        } else {
            break;
        }
    }
    double m = std::floor(y + 0.5);
    if (m == upper) {
        m = m / 10;
        e = e + 1;
    }
    return {m, e};
}

std::string GiveNumberTonsf(double x, double n) {
    if (x == 0)
        return "0";
    if (!std::isfinite(x))
        return GeneralNumberText(x);
    if (x < 0)
        return GiveSignedNumberTonsf(x, n);
    double f = std::floor(n);
    if (!(f >= 1))
        f = 1;
    if (f > 15)
        f = 15;
    const double upper = std::pow(10.0, f);
    const double lower = std::pow(10.0, f - 1);
    const auto [m, e] = ScaleToFigures(x, upper, lower);
    if (e >= 0)
        return PlainNumberText(m * std::pow(10.0, e)).substr(1);
    const auto k = static_cast<std::size_t>(-e);
    const std::string D = PlainNumberText(m).substr(1);
    const auto digits = static_cast<std::size_t>(f);
    if (k > digits)
        return "." + std::string(k - digits, '0') + D;
    if (k == digits)
        return "." + D;
    return D.substr(0, digits - k) + "." + D.substr(digits - k);
}

std::string GiveSignedNumberTonsf(double x, double n) {
    if (x < 0)
        return "-" + GiveNumberTonsf(-x, n);
    return GiveNumberTonsf(x, n);
}

double NumericReading(std::string_view text) {
    return ReadLeadingNumber(text).value;
}

LeadingNumber ReadLeadingNumber(std::string_view text) {
    // Blanks (and tabs and line ends) are ignored wherever they stand; `at` keeps where
    // each remaining character stood, so that the caller learns how much was read.
    std::string s;
    std::vector<std::size_t> at;
    s.reserve(text.size());
    at.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char ch = text[k];
        if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n') {
            s += ch;
            at.push_back(k);
        }
    }
    LeadingNumber read;

    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    std::string number;
    std::size_t mantissaDigits = 0;
    long long leadingIntDigits = 0; // integer digits after leading zeros
    bool seenPoint = false;
    bool seenNonZero = false;
    long long leadingFractionZeros = 0;
    for (; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch >= '0' && ch <= '9') {
            number += ch;
            ++mantissaDigits;
            if (ch != '0')
                seenNonZero = true;
            if (!seenPoint && seenNonZero)
                ++leadingIntDigits;
            if (seenPoint && !seenNonZero)
                ++leadingFractionZeros;
        } else if (ch == '.' && !seenPoint) {
            seenPoint = true;
            number += '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return read;
    read.found = true;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            expNegative = s[j] == '-';
            ++j;
        }
        std::string expDigits;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            if (expDigits.size() < 9)
                expDigits += s[j];
            ++j;
        }
        if (!expDigits.empty()) {
            exponent = std::stoll(expDigits);
            if (expNegative)
                exponent = -exponent;
            number += 'e' + std::to_string(exponent);
            i = j;
        }
    }
    read.used = at[i - 1] + 1;
    if (!seenNonZero)
        return read;
    double value = 0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large reads as the largest finite number of its sign, too small as 0, so
        // that no infinity ever reaches a loop or a text.
        const long long magnitude =
            (leadingIntDigits > 0 ? leadingIntDigits : -leadingFractionZeros) + exponent;
        value = magnitude > 0 ? std::numeric_limits<double>::max() : 0.0;
    }
    read.value = negative ? -value : value;
    return read;
}

std::string DerivedNumberText(double x) {
    const std::string plain = PlainNumberText(x);
    std::size_t digits = 0;
    bool leading = true;
    for (char ch : plain) {
        if (ch == 'E')
            break;
        if (ch >= '1' && ch <= '9')
            leading = false;
        if (ch >= '0' && ch <= '9' && !leading)
            ++digits;
    }
    if (digits <= 7 || !std::isfinite(x))
        return plain;
    std::string s = GiveNumberTonsf(std::fabs(x), 7);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return (x < 0 ? "-" : " ") + s;
}

} // namespace quillon
