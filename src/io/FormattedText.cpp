// printf's conversions %d %i %s %c %f %F written without the C library's formatting machinery.
// Fixed-point digits: for |x| 10^p below 2^52 (p <= 15) the exact product x 10^p is hi + lo
// (hi = x 10^p rounded, lo = fma(x, 10^p, -hi)) and is rounded to an integer half to even, as
// glibc's printf rounds the exact binary value; other values go through std::to_chars, which
// rounds the same way. Sign, padding and justification are added here.
#include "io/FormattedText.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>

namespace {

// Collects the text in a small buffer and hands it on in pieces: to a string or to a file.
class Output {
public:
    explicit Output(std::string& text) : text_(&text) {}
    explicit Output(FILE* file) : file_(file) {}
    ~Output() { flush(); }

    void put(const char* s, size_t n) {
        if (n > static_cast<size_t>(end_ - p_)) {
            flush();
            if (n > sizeof buf_) {
                hand(s, n);
                return;
            }
        }
        std::memcpy(p_, s, n);
        p_ += n;
    }
    void put(char c) {
        if (p_ == end_) flush();
        *p_++ = c;
    }
    void fill(char c, size_t n) {
        while (n > 0) {
            if (p_ == end_) flush();
            const size_t k = std::min(n, static_cast<size_t>(end_ - p_));
            std::memset(p_, c, k);
            p_ += k;
            n -= k;
        }
    }
    size_t count() const { return count_ + static_cast<size_t>(p_ - buf_); }
    void flush() {
        hand(buf_, static_cast<size_t>(p_ - buf_));
        p_ = buf_;
    }

private:
    void hand(const char* s, size_t n) {
        if (n == 0) return;
        if (text_)
            text_->append(s, n);
        else
            std::fwrite(s, 1, n, file_);
        count_ += n;
    }
    char buf_[512];
    char* p_ = buf_;
    char* const end_ = buf_ + sizeof buf_;
    std::string* text_ = nullptr;
    FILE* file_ = nullptr;
    size_t count_ = 0;
};

// One conversion: %[flags][width][.precision][length]conversion.
struct Conversion {
    bool left = false, plus = false, blank = false, zero = false;
    bool widthArg = false, precisionArg = false;  // given as '*'
    int width = 0;
    int precision = -1;  // -1: none
    bool isLong = false;
    char conversion = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A width or precision; -1 for one too large to be written here.
int readNumber(const char*& p) {
    int n = 0;
    while (isDigit(*p)) {
        if (n >= 0) n = n * 10 + (*p - '0');
        if (n > 4096) n = -1;
        p++;
    }
    return n;
}

// A width or precision: digits, or '*' for one taken from the arguments. False when too large.
bool readAmount(const char*& p, int& value, bool& fromArgument) {
    if (*p == '*') {
        fromArgument = true;
        p++;
        return true;
    }
    value = readNumber(p);
    return value >= 0;
}

// Reads the conversion after a '%'; false for one that is not written here.
bool readConversion(const char*& p, Conversion& s) {
    for (;; p++) {
        if (*p == '-') s.left = true;
        else if (*p == '+') s.plus = true;
        else if (*p == ' ') s.blank = true;
        else if (*p == '0') s.zero = true;
        else break;
    }
    if (!readAmount(p, s.width, s.widthArg)) return false;
    if (*p == '.') {
        p++;
        s.precision = 0;
        if (!readAmount(p, s.precision, s.precisionArg)) return false;
    }
    if (*p == 'l') {
        s.isLong = true;
        p++;
    }
    s.conversion = *p;
    if (s.conversion == '\0') return false;
    p++;
    switch (s.conversion) {
    case 'd':
    case 'i':
    case 'f':
    case 'F':
        return true;
    case 's':
    case 'c':
        return !s.isLong && !s.zero;  // wide characters; zero padding of text is undefined
    case '%':
        return !s.left && !s.plus && !s.blank && !s.zero && !s.widthArg && !s.precisionArg && s.width == 0 &&
               s.precision < 0 && !s.isLong;
    default:
        return false;
    }
}

bool supported(const char* format) {
    for (const char* p = format; *p;) {
        if (*p++ != '%') continue;
        Conversion s;
        if (!readConversion(p, s)) return false;
    }
    return true;
}

char signOf(bool negative, const Conversion& s) { return negative ? '-' : s.plus ? '+' : s.blank ? ' ' : 0; }

// sign, then `zeros` zeros and the digits, justified in the width: blanks before (or after, for
// '-'), or more zeros between sign and digits for '0'
void justify(Output& out, const Conversion& s, char sign, size_t zeros, const char* digits, size_t n) {
    const size_t body = (sign ? 1 : 0) + zeros + n;
    const size_t fill = static_cast<size_t>(s.width) > body ? s.width - body : 0;
    if (!s.left && !s.zero) out.fill(' ', fill);
    if (sign) out.put(sign);
    out.fill('0', zeros + (!s.left && s.zero ? fill : 0));
    out.put(digits, n);
    if (s.left) out.fill(' ', fill);
}

void writeInteger(Output& out, Conversion s, long value) {
    const bool negative = value < 0;
    const unsigned long magnitude = negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    char digits[32];
    char* end = digits;
    if (s.precision != 0 || magnitude != 0) end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const size_t n = static_cast<size_t>(end - digits);
    size_t zeros = 0;
    if (s.precision >= 0) {
        s.zero = false;  // a precision for integers asks for leading zeros up to it, not zero padding
        if (static_cast<size_t>(s.precision) > n) zeros = s.precision - n;
    }
    justify(out, s, signOf(negative, s), zeros, digits, n);
}

// What the C library makes of one conversion with these settings.
template <class T>
void writeByLibrary(Output& out, const Conversion& s, T value) {
    char format[64];
    char precision[16] = "";
    if (s.precision >= 0) std::snprintf(precision, sizeof precision, ".%d", s.precision);
    std::snprintf(format, sizeof format, "%%%s%s%s%s%d%s%c", s.left ? "-" : "", s.plus ? "+" : "",
                  s.blank ? " " : "", s.zero ? "0" : "", s.width, precision, s.conversion);
    const int n = std::snprintf(nullptr, 0, format, value);
    if (n <= 0) return;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&text[0], text.size(), format, value);
    out.put(text.data(), static_cast<size_t>(n));
}

// The digits of |x| rounded to p decimals ("ddd.ddd", "ddd" for p = 0) when x 10^p is below
// 2^52; false otherwise.
bool exactFixed(double x, int p, char* buf, size_t& n) {
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (p > 15) return false;
    const double a = std::fabs(x), scale = kPow10[p];
    const double hi = a * scale;
    if (!(hi < 4503599627370496.0)) return false;  // 2^52
    const double lo = std::fma(a, scale, -hi);      // a scale = hi + lo exactly
    const double whole = std::floor(hi);
    const double f = hi - whole;  // exact below 2^52
    // f and 0.5 are multiples of the unit in the last place of hi, which is more than |lo|: only
    // at f = 0.5 does lo decide, and at an exact tie the even neighbour wins
    uint64_t m = static_cast<uint64_t>(whole);
    if (f > 0.5 || (f == 0.5 && (lo > 0 || (lo == 0 && (m & 1))))) m++;
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, m).ptr;
    size_t len = static_cast<size_t>(end - digits);
    const size_t intDigits = len > static_cast<size_t>(p) ? len - p : 0;
    char* q = buf;
    if (intDigits == 0) *q++ = '0';
    std::memcpy(q, digits, intDigits);
    q += intDigits;
    if (p > 0) {
        *q++ = '.';
        const size_t lead = static_cast<size_t>(p) - (len - intDigits);  // zeros right after the point
        std::memset(q, '0', lead);
        q += lead;
        std::memcpy(q, digits + intDigits, len - intDigits);
        q += len - intDigits;
    }
    n = static_cast<size_t>(q - buf);
    return true;
}

void writeFixed(Output& out, Conversion s, double value) {
    if (s.precision < 0) s.precision = 6;
    if (!std::isfinite(value)) {  // inf and nan: the library's spelling and padding
        writeByLibrary(out, s, value);
        return;
    }
    char digits[400];  // |value| has at most 309 digits before the point
    size_t n = 0;
    if (!exactFixed(value, s.precision, digits, n)) {
        if (s.precision > 60) {
            writeByLibrary(out, s, value);
            return;
        }
        const std::to_chars_result r =
            std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::fixed, s.precision);
        if (r.ec != std::errc()) {
            writeByLibrary(out, s, value);
            return;
        }
        n = static_cast<size_t>(r.ptr - digits);
    }
    justify(out, s, signOf(std::signbit(value), s), 0, digits, n);
}

void writeText(Output& out, const Conversion& s, const char* text, size_t n) {
    const size_t fill = static_cast<size_t>(s.width) > n ? s.width - n : 0;
    if (!s.left) out.fill(' ', fill);
    out.put(text, n);
    if (s.left) out.fill(' ', fill);
}

void format(Output& out, const char* format, va_list ap) {
    const char* p = format;
    while (*p) {
        const char* literal = p;
        while (*p && *p != '%') p++;
        out.put(literal, static_cast<size_t>(p - literal));
        if (!*p) break;
        p++;
        Conversion s;
        readConversion(p, s);
        if (s.widthArg) {
            s.width = va_arg(ap, int);
            if (s.width < 0) {
                s.left = true;
                s.width = -s.width;
            }
        }
        if (s.precisionArg) {
            s.precision = va_arg(ap, int);
            if (s.precision < 0) s.precision = -1;
        }
        if (s.left) s.zero = false;
        if (s.plus) s.blank = false;
        switch (s.conversion) {
        case 'd':
        case 'i':
            writeInteger(out, s, s.isLong ? va_arg(ap, long) : va_arg(ap, int));
            break;
        case 'f':
        case 'F':
            writeFixed(out, s, va_arg(ap, double));
            break;
        case 's': {
            const char* text = va_arg(ap, const char*);
            if (!text) {
                writeByLibrary(out, s, text);
                break;
            }
            const size_t n = s.precision >= 0 ? strnlen(text, s.precision) : std::strlen(text);
            writeText(out, s, text, n);
            break;
        }
        case 'c': {
            const char c = static_cast<char>(va_arg(ap, int));
            writeText(out, s, &c, 1);
            break;
        }
        default:  // '%'
            out.put('%');
            break;
        }
    }
}

}  // namespace

namespace {

// What the C library writes for the whole call, appended to `text`.
int appendByLibrary(std::string& text, const char* fmt, va_list ap) {
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    if (n > 0) {
        const size_t at = text.size();
        text.resize(at + n + 1);
        std::vsnprintf(&text[at], static_cast<size_t>(n) + 1, fmt, again);
        text.resize(at + n);
    }
    va_end(again);
    return n;
}

// supported(format), remembered for the last formats asked about (a result table asks about the
// same few for every row); a format is known again by its text, wherever it lies.
bool supportedFormat(const char* format) {
    struct Known {
        std::string text;
        bool supported = false;
    };
    static thread_local Known known[8];
    static thread_local unsigned next = 0;
    for (const Known& k : known)
        if (!k.text.empty() && k.text == format) return k.supported;
    const bool ok = supported(format);
    known[next++ % 8] = {format, ok};
    return ok;
}

// One call: written here when every conversion of the format is, else by `library`.
template <class Library>
int formatCall(Output& out, const char* fmt, va_list ap, Library library) {
    if (!supportedFormat(fmt)) return library(ap);
    format(out, fmt, ap);
    out.flush();
    return static_cast<int>(out.count());
}

}  // namespace

int appendFormatted(std::string& text, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Output out(text);
    const int n = formatCall(out, fmt, ap, [&](va_list args) { return appendByLibrary(text, fmt, args); });
    va_end(ap);
    return n;
}

int printFormatted(FILE* fp, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Output out(fp);
    const int n = formatCall(out, fmt, ap, [&](va_list args) { return std::vfprintf(fp, fmt, args); });
    va_end(ap);
    return n;
}
