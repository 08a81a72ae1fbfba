// Formatted text: the same bytes as the C library's snprintf for the conversions written without
// it (every result-table row format among them), over random and awkward values, and for the
// calls handed to the library.
#include "io/FormattedText.h"

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"

namespace {

std::string byLibrary(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string byLibrary(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char buf[4096];
    const int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return std::string(buf, n);
}

// Values with every kind of rounding case: exact ties in binary (x.5 at the last place), values
// just below and above them, negative zero and values that round to zero, huge and tiny ones.
std::vector<double> awkwardValues() {
    std::vector<double> v = {0.0,     -0.0,    0.5,     1.5,     2.5,     -2.5,   0.125,   0.375,  -0.0625,
                             0.0005,  -0.0005, 0.00049, 1.0005,  2.675,   1e-300, -1e-300, 1e300,  -1.7976931348623157e308,
                             9999.0,  99999.0, 123456789.123456789,  -21585.2, 4.94e-324, 0.1, 0.7, 1e22, 1e23};
    for (double base : {0.0005, 0.005, 0.05, 0.5, 2.675, 1.0005}) {
        v.push_back(std::nextafter(base, 0.0));
        v.push_back(std::nextafter(base, 1.0));
    }
    // exact ties at p decimals are the odd multiples of 2^-(p+1)
    for (int q = 1; q <= 8; q++)
        for (int j = 0; j < 300; j++) {
            v.push_back(std::ldexp(2 * j + 1, -q));
            v.push_back(-std::ldexp(2 * j + 1, -q) - 64);
        }
    // about 2^52 / 10^p, where the digits change hands between the two ways of writing them
    for (double big : {4503599627370496.0, 4503599627370.496, 450359962737049.6, 4503599627.370496})
        for (int k = -3; k <= 3; k++) v.push_back(big + k * big * 1e-15 + 0.5);
    std::mt19937 rng(20);
    std::uniform_real_distribution<double> hz(-60, 60), wide(-1e6, 1e6);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 3000; i++) {
        v.push_back(hz(rng));
        v.push_back(wide(rng));
        v.push_back(std::ldexp(hz(rng), exponent(rng)));
        v.push_back(std::round(hz(rng) * 1000) / 1000 + 0.0005);  // near a third-decimal tie
    }
    return v;
}

}  // namespace

TEST(FormattedText, FixedPointLikeTheLibrary) {
    const char* formats[] = {"%8.3f", "%9.2f", "%5.2f", "%6.0f", "%.3f", "%f", "% 8.2f", "%-9.3f|", "%+8.3f",
                             "%08.3f", "%-08.3f|", "%+ 010.4f", "% .0f", "%lf", "%.17f", "%3.1F", "%.0f"};
    for (double x : awkwardValues())
        for (const char* f : formats) {
            std::string got;
            appendFormatted(got, f, x);
            ASSERT_EQ(got, byLibrary(f, x)) << f << " of " << byLibrary("%.17g", x);
        }
    // not finite: spelling and padding of the library
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (double x : {inf, -inf, nan, -nan})
        for (const char* f : formats) {
            std::string got;
            appendFormatted(got, f, x);
            EXPECT_EQ(got, byLibrary(f, x)) << f;
        }
    // a very long expansion
    std::string got;
    appendFormatted(got, "%.80f %400.3f", 1e300, 1.0 / 3);
    EXPECT_EQ(got, byLibrary("%.80f %400.3f", 1e300, 1.0 / 3));
}

TEST(FormattedText, IntegersTextAndLiterals) {
    const long values[] = {0, 1, -1, 7, -42, 123456, -999999, INT_MAX, INT_MIN};
    const char* formats[] = {"%d", "%4d", "%-7d|", "%07d", "%+d", "% 5d", "%.3d", "%6.0d|", "%.0d|", "%-+08.3d|", "%i"};
    for (long v : values)
        for (const char* f : formats) {
            std::string got;
            appendFormatted(got, f, static_cast<int>(v));
            EXPECT_EQ(got, byLibrary(f, static_cast<int>(v))) << f << " " << v;
        }
    std::string longs;
    appendFormatted(longs, "%ld %12ld %-5ld|", LONG_MIN, LONG_MAX, -3L);
    EXPECT_EQ(longs, byLibrary("%ld %12ld %-5ld|", LONG_MIN, LONG_MAX, -3L));

    std::string text;
    const int n = appendFormatted(text, "%4s|%-6s|%s|%.2s|%10.3s|%c%3c%-2c|100%%|%*d|%-*s|%.*f", "ALA", "HN", "", "CA#",
                                  "abcdef", 'x', 'y', 'z', 5, 42, -6, "N", 2, 3.14159);
    const std::string expected = byLibrary("%4s|%-6s|%s|%.2s|%10.3s|%c%3c%-2c|100%%|%*d|%-*s|%.*f", "ALA", "HN", "",
                                           "CA#", "abcdef", 'x', 'y', 'z', 5, 42, -6, "N", 2, 3.14159);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(n, static_cast<int>(expected.size()));
    // appended, not replaced
    appendFormatted(text, "%s", "!");
    EXPECT_EQ(text, expected + "!");
}

// The rows of the result tables, written as the tables write them, and conversions that the C
// library formats itself.
TEST(FormattedText, TableRowsAndLibraryConversions) {
    const char* row = "     %7d %9s %10s %7d %9s %10s %6.0f %8.3f %8.3f %8.3f %8.3f %8.3f %5.2f %5.2f %5.2f %5.2f\n";
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> d(-40, 40);
    for (int i = 0; i < 2000; i++) {
        const double a = d(rng), b = d(rng), c = d(rng) * 1000;
        std::string got;
        appendFormatted(got, row, i, "GLN", "HN", i + 1, "ILE", "N", c, a, b, a - b, b / 3, c / 7, a / 40, b / 40, 9999.0,
                        std::nan(""));
        ASSERT_EQ(got, byLibrary(row, i, "GLN", "HN", i + 1, "ILE", "N", c, a, b, a - b, b / 3, c / 7, a / 40, b / 40,
                                 9999.0, std::nan("")));
    }
    const char* volatile null = nullptr;  // volatile: not known to the compiler's format checks
    for (const char* f : {"%e %g %x %5.2e %#.0f %hd %lld %p %zu %s|%.3s|"}) {
        std::string got;
        appendFormatted(got, f, 1.5, 2.5, 255u, -3e-7, 2.0, static_cast<short>(7), 8LL, static_cast<void*>(nullptr),
                        static_cast<size_t>(9), null, null);
        EXPECT_EQ(got, byLibrary(f, 1.5, 2.5, 255u, -3e-7, 2.0, static_cast<short>(7), 8LL, static_cast<void*>(nullptr),
                                 static_cast<size_t>(9), null, null));
    }
    std::string nullText;
    appendFormatted(nullText, "%s|%8s|%.2s|", null, null, null);
    EXPECT_EQ(nullText, byLibrary("%s|%8s|%.2s|", null, null, null));
}

TEST(FormattedText, PrintsToAFile) {
    testutil::TempDir dir;
    FILE* fp = std::fopen(dir.file("out.txt").c_str(), "w");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(printFormatted(fp, " %4d %4s %9.3f\n", 12, "HN", -8.1706), 21);
    EXPECT_EQ(printFormatted(fp, "%e\n", 0.5), 13);
    std::fclose(fp);
    EXPECT_EQ(testutil::readFile(dir.file("out.txt")), "   12   HN    -8.171\n5.000000e-01\n");
}

// The program remembers which formats it writes itself; a format is known by its text, so a
// buffer that held a format it writes and then one it leaves to the C library gets each right.
TEST(FormattedText, FormatsKnownByTextNotByAddress) {
    char format[16];
    std::string out;
    std::strcpy(format, "%5.2f|");
    appendFormatted(out, format, 1.5);
    std::strcpy(format, "%5.2e|");
    appendFormatted(out, format, 1.5);
    std::strcpy(format, "%5.2f|");
    appendFormatted(out, format, -1.5);
    EXPECT_EQ(out, " 1.50|1.50e+00|-1.50|");
}
