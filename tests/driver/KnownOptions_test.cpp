// The table of known options: every option of the usage text is in it, and an unknown option
// finds its closest known name.
#include "driver/KnownOptions.h"

#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/TestUtil.h"

// Every "-name" that opens a line of the usage text (the program's own list of options) is known.
TEST(KnownOptions, EveryUsageOptionIsKnown) {
    const std::string usage = testutil::readFile(std::string(ORVEX_TEST_DATA) + "/cli/usage.txt");
    ASSERT_FALSE(usage.empty());
    const std::regex option(R"(^ +-([A-Za-z_][A-Za-z0-9_]*))", std::regex::multiline);
    int seen = 0;
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it) {
        EXPECT_TRUE(known_options::isKnown((*it)[1])) << (*it)[1];
        seen++;
    }
    EXPECT_GT(seen, 50);
    // the options on one usage line after another ("-rx -ry", "-JK_level [R/C]") and the examples
    for (const char* name : {"rx", "ry", "rz", "inR", "JK_level", "classHN,C-1", "classCA,C", "seed", "plot"})
        EXPECT_TRUE(known_options::isKnown(name)) << name;
    // no name twice in the table
    std::set<std::string> names(known_options::names().begin(), known_options::names().end());
    EXPECT_EQ(names.size(), known_options::names().size());
}

TEST(KnownOptions, ClosestName) {
    EXPECT_EQ(known_options::closest("nojk"), "noJK");
    EXPECT_EQ(known_options::closest("-help"), "help");
    EXPECT_EQ(known_options::closest("selct"), "select");
    EXPECT_EQ(known_options::closest("inDS"), "inDs");
    EXPECT_EQ(known_options::closest("outd"), "outD");
    EXPECT_EQ(known_options::closest("maxsub"), "maxSub");
    EXPECT_FALSE(known_options::closest(std::string(100000, 'x')).empty());
    EXPECT_FALSE(known_options::isKnown("nojk"));
    EXPECT_FALSE(known_options::isKnown(""));
}
