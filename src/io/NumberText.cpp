// Fast paths of strtol/strtod for fields that hold nothing but one plain number; every other
// text goes to the C library itself, so each value is the one strtol/strtod give.
#include "io/NumberText.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

using namespace number_text;

namespace {

std::string_view trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && isCSpace(text[b])) b++;
    while (e > b && isCSpace(text[e - 1])) e--;
    return text.substr(b, e - b);
}

// "-ddd.ddd" with 1 to 15 digits (what coordinate fields hold): the digits as an integer m and
// the power 10^k of the digits after the point are exact doubles, so the one rounding of m / 10^k
// gives the double nearest to the decimal, as strtod does. False for any other text.
bool plainDecimal(std::string_view t, double& value) {
    const bool negative = !t.empty() && t[0] == '-';
    int64_t m = 0;
    int digits = 0, afterPoint = -1;  // -1: no point yet
    for (size_t i = negative ? 1 : 0; i < t.size(); i++) {
        const char c = t[i];
        if (isDigit(c)) {
            m = m * 10 + (c - '0');
            if (++digits > 15) return false;
            if (afterPoint >= 0) afterPoint++;
        } else if (c == '.' && afterPoint < 0) {
            afterPoint = 0;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    value = static_cast<double>(m) / kPow10[afterPoint > 0 ? afterPoint : 0];
    if (negative) value = -value;
    return true;
}

}  // namespace

long parseLongInGeneral(std::string_view text) {
    const std::string_view t = trim(text);
    const bool negative = !t.empty() && t[0] == '-';
    const size_t lead = negative ? 1 : 0;
    // optional '-' and up to 18 digits, nothing else: the value cannot overflow a long
    if (t.size() > lead && t.size() - lead <= 18) {
        long value = 0;
        size_t i = lead;
        for (; i < t.size() && isDigit(t[i]); i++) value = value * 10 + (t[i] - '0');
        if (i == t.size()) return negative ? -value : value;
    }
    return std::strtol(std::string(text).c_str(), nullptr, 10);
}

double parseDoubleInGeneral(std::string_view text) {
    const std::string_view t = trim(text);
    double value;
    if (plainDecimal(t, value)) return value;
    // Longer or exponent forms: std::from_chars rounds correctly as strtod does, when it reads
    // the whole field and the value is in range. A '+', hex, inf/nan or trailing garbage is left
    // to strtod.
    const size_t lead = !t.empty() && t[0] == '-' ? 1 : 0;
    if (t.size() > lead && (isDigit(t[lead]) || t[lead] == '.')) {
        const char* end = t.data() + t.size();
        const std::from_chars_result r = std::from_chars(t.data(), end, value);
        if (r.ec == std::errc() && r.ptr == end) return value;
    }
    return std::strtod(std::string(text).c_str(), nullptr);
}

