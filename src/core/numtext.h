// Number texts shared by every output of the program.
//
//  PlainNumberText (S(x)):  up to 15 significant digits, a leading blank for x >= 0 and a
//                           minus sign otherwise, no zero before the decimal point:
//                           " .05", " 20", "-1.5". Values of 1e15 or more in magnitude and
//                           non-zero values below 1e-300 use an exponent ("1E+15").
//  GeneralNumberText:       the same digits, no leading blank, a zero before the point:
//                           "0.05", "20", "-0.5".
//  GiveNumberTonsf(x, n):   x to n significant figures, trailing zeros kept, no exponent:
//                           (0.5, 3) ".500", (987, 2) "990", (1.2e-10, 2) ".00000000012".
//  NumericReading:          the number at the start of a text, blanks ignored anywhere,
//                           0 when there is none ("12abc" 12, "1 2" 12, "abc" 0). A number
//                           too large for a double reads as the largest finite double of
//                           its sign, never as an infinity.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

std::string PlainNumberText(double x);
std::string GeneralNumberText(double x);

// x (> 0, finite) as a whole number m of as many digits as upper = 10^f has zeros, and the
// power of ten e with x about m 10^e: x scaled by ten step by step until lower = 10^(f-1)
// <= x < upper, then rounded half up. Every f-figure text scales through this one routine,
// so all of them round alike.
struct FigureScaling {
    double m;
    int e;
};
FigureScaling ScaleToFigures(double x, double upper, double lower);

// Precondition: x >= 0 and finite. n below 1 counts as 1; its whole part is used.
std::string GiveNumberTonsf(double x, double n);
std::string GiveSignedNumberTonsf(double x, double n);

double NumericReading(std::string_view text);

// NumericReading, with how much of the text it read: `used` is the length of the start of
// `text` that held the number (blanks inside it included; 0 when there was none), so that a
// caller can tell what was passed over.
struct LeadingNumber {
    double value = 0;
    bool found = false; // the text started with a number (blanks aside)
    std::size_t used = 0;
};
LeadingNumber ReadLeadingNumber(std::string_view text);

// A value the program derived from what was typed (p0 from p1, p2 and the rows) as a heading
// shows it: the plain number text when it has at most seven significant digits (.35), else
// to seven significant figures without trailing zeros (" .3571429" for 5/14).
std::string DerivedNumberText(double x);

} // namespace quillon
