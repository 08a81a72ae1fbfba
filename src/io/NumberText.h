// Numbers of fixed-column and table fields read exactly as the C library reads them
// (strtol, strtod: leading white space skipped, the longest valid prefix taken, 0 when there is
// none), with a fast path for the plain decimal text that nearly every field holds.
#pragma once

#include <cstdint>
#include <string_view>

// strtol / strtod of any text: the plain forms exactly, the rest by the C library.
long parseLongInGeneral(std::string_view text);
double parseDoubleInGeneral(std::string_view text);

namespace number_text {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

inline bool isDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }

// A field without the blanks that pad it (other white space is left to the general path): a
// leading minus, and the text after it up to `end`.
struct Unpadded {
    bool minus;
    const char* digits;
    const char* end;
};

inline Unpadded unpadded(std::string_view text) {
    const char* p = text.data();
    const char* e = p + text.size();
    while (p < e && *p == ' ') p++;
    while (e > p && e[-1] == ' ') e--;
    const bool minus = p < e && *p == '-';
    return {minus, p + (minus ? 1 : 0), e};
}

// Digits from p on, accumulated into m; returns where they end.
inline const char* readDigits(const char* p, const char* e, uint64_t& m) {
    while (p < e && isDigit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    return p;
}

}  // namespace number_text

// strtol(text, nullptr, 10). Inline for the blank-padded "-ddd" with up to 18 digits that every
// serial and residue field holds.
[[gnu::always_inline]] inline long parseLong(std::string_view text) {
    using namespace number_text;
    const Unpadded f = unpadded(text);
    uint64_t m = 0;
    if (readDigits(f.digits, f.end, m) == f.end && f.end > f.digits && f.end - f.digits <= 18) {
        const long value = static_cast<long>(m);
        return f.minus ? -value : value;
    }
    return parseLongInGeneral(text);
}

// strtod(text, nullptr). Inline for blank-padded plain decimals of 1 to 15 digits (every
// coordinate field): the digits as an integer m and the power 10^k of the digits after the point
// are exact doubles, so the one rounding of m / 10^k gives the double nearest to the decimal, as
// strtod does.
[[gnu::always_inline]] inline double parseDouble(std::string_view text) {
    using namespace number_text;
    const Unpadded f = unpadded(text);
    uint64_t m = 0;
    const char* q = readDigits(f.digits, f.end, m);
    const long whole = q - f.digits;
    long after = 0;
    if (q < f.end && *q == '.') {
        const char* point = q;
        q = readDigits(point + 1, f.end, m);
        after = q - point - 1;
    }
    if (q == f.end && whole + after > 0 && whole + after <= 15) {
        const double value = static_cast<double>(m) / kPow10[after];
        return f.minus ? -value : value;
    }
    return parseDoubleInGeneral(text);
}

// The white space strtol and strtod skip: blank, \t, \n, \v, \f, \r.
inline bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Largest magnitude of a number read from a coupling table that may reach a fit. A fit forms
// products of two such numbers (D x W, a coefficient x DI) and sums their squares; with both
// factors at most 1e75 a square stays at most 1e300, below the largest double (1.8e308), so no
// sum of a table's squares becomes infinite. Couplings are a few hundred hertz, weights and DI a
// few tens of thousands at most: the bound only stops mistyped or damaged values.
constexpr double kTableNumberMax = 1e75;

// Largest magnitude of a coordinate that may reach a fit, in angstrom. Coordinates are held in
// single precision (largest 3.4e38); with coordinates at most 1e18 the sum of the three squared
// differences of two atoms stays below that. Real structures stay below 1e4.
constexpr double kCoordinateMax = 1e18;

// A number read from a file that may take part in a fit: finite and at most `bound` in size.
inline bool isUsableNumber(double x, double bound) { return x >= -bound && x <= bound; }  // false for nan
