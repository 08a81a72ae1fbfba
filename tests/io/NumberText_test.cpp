// Field numbers must be exactly what the C library reads: every case is compared with
// strtol/strtod themselves, bit for bit.
#include "io/NumberText.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double cDouble(const std::string& text) { return std::strtod(text.c_str(), nullptr); }
long cLong(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

const char* const kTexts[] = {
    // plain fields as fixed columns hold them
    "  27.340", " -12.500", "   0.000", "  -0.000", "1234.567", "-999.999", "      1.", "     .5", "    -.5",
    "0.1", "0.3", "123456789012345", "1234567890123456", "0.1234567890123456789", "-9007199254740993",
    // exponents, signs, special values, hex
    "1e3", "1E-2", "-2.5e+01", "+1.5", "  +7", "0x1p3", "0X10", "inf", "-inf", "INFINITY", "nan", "-nan",
    "1e400", "-1e400", "1e-400", "4.9e-324", "2.2250738585072011e-308",
    // garbage and partial numbers: the valid prefix, or 0
    "", "        ", "-", "+", ".", "-.", "e5", "1e", "1e+", "1.2.3", "abc.def", "12ab", "1 2", "  x2",
    "\t3.25\n", "\v\f\r4", "1,5", "--1", "0.5-",
    // integers
    "7", "-7", "00042", "99999", "2147483648", "-2147483649", "999999999999999999", "9223372036854775807",
    "9223372036854775808", "-9223372036854775809", "99999999999999999999",
};

}  // namespace

TEST(NumberText, HandPickedTextsReadAsTheCLibraryReadsThem) {
    for (const char* t : kTexts) {
        EXPECT_TRUE(sameBits(parseDouble(t), cDouble(t))) << '"' << t << '"';
        EXPECT_EQ(parseLong(t), cLong(t)) << '"' << t << '"';
    }
    // an embedded NUL ends the text for the C library, and so here
    const std::string withNul("1\0.5", 4);
    EXPECT_TRUE(sameBits(parseDouble(withNul), 1.0));
    EXPECT_EQ(parseLong(std::string("4\0" "2", 3)), 4);
    EXPECT_TRUE(std::signbit(parseDouble(" -0.000")));
}

// Random fixed-width fields: numbers printed as coordinate columns are, and random strings over
// the characters a number can hold.
TEST(NumberText, RandomFieldsMatchStrtodAndStrtolBitForBit) {
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> coord(-9999.999, 9999.999);
    std::uniform_int_distribution<int> precision(0, 6), width(1, 12), pick(0, 15);
    const char alphabet[] = "0123456789.-+e ";
    char buf[64];
    for (int i = 0; i < 200000; i++) {
        std::string text;
        if (i % 2 == 0) {
            std::snprintf(buf, sizeof buf, "%8.*f", precision(rng), coord(rng));
            text = buf;
        } else {
            const int n = width(rng);
            for (int k = 0; k < n; k++) text += alphabet[pick(rng) % (sizeof alphabet - 1)];
        }
        ASSERT_TRUE(sameBits(parseDouble(text), cDouble(text))) << '"' << text << '"';
        // what the structure reader stores: the double narrowed to float
        ASSERT_EQ(static_cast<float>(parseDouble(text)), static_cast<float>(cDouble(text))) << '"' << text << '"';
        ASSERT_EQ(parseLong(text), cLong(text)) << '"' << text << '"';
    }
}
