// Arithmetic on residue numbers read from users' files, which may hold any int (a mistyped
// -2147483648 or 2147483647 included): neighbour tests and offsets that never overflow.
#pragma once

#include <climits>

namespace orvex {

// Whether residue b is residue a + step.
constexpr bool isResidueAt(int b, int a, int step) { return static_cast<long long>(a) + step == b; }

// Residue a + step, held at the ends of the int range: a residue number past them names no
// residue a file can hold, and the end value is as absent as the number itself would be.
constexpr int residueOffset(int a, int step) {
    const long long r = static_cast<long long>(a) + step;
    return r > INT_MAX ? INT_MAX : r < INT_MIN ? INT_MIN : static_cast<int>(r);
}

// Number of residue numbers first..last (last - first + 1), held at the largest int.
constexpr int residueSpan(int first, int last) {
    const long long n = static_cast<long long>(last) - first + 1;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

}  // namespace orvex
