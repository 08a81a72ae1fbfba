// Command-line parser: option map, negative numbers, conversions.
#include <cmath>

#include <gtest/gtest.h>

#include "driver/CmdArgParser.h"

namespace {

CmdArgParser parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    static char prog[] = "Orvex";
    argv.push_back(prog);
    for (auto& a : args) argv.push_back(&a[0]);
    return CmdArgParser(std::string(" -"), static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(CmdArgParser, ExampleTable) {
    auto p = parse({"-inD", "a.tab", "-pdb", "x.pdb"});
    EXPECT_EQ(p.lst, (ArgList{{"inD", "a.tab"}, {"pdb", "x.pdb"}}));
    EXPECT_EQ(p.origStr, " -inD a.tab -pdb x.pdb");
    p = parse({"-daMin", "-1.0e-2", "-daMax", "1.0e-2"});
    EXPECT_EQ(p.lst, (ArgList{{"daMin", "-1.0e-2"}, {"daMax", "1.0e-2"}}));

    p = parse({"-select", "1", "-5", "10", "-20"});
    EXPECT_EQ(p.getArgValueS("select"), "1 -5 10 -20");
    EXPECT_EQ(p.getArgValueII("select"), (std::vector<int>{1, -5, 10, -20}));

    p = parse({"-inDs", "a.tab", "b.tab", "-orth"});
    EXPECT_TRUE(p.isFlag("orth"));
    EXPECT_FALSE(p.isFlag("inDs"));
    EXPECT_EQ(p.getArgValueSS("inDs"), (StringList{"a.tab", "b.tab"}));
    p = parse({"-noJK", "-inD", "a.tab", "-inD", "b.tab"});
    EXPECT_EQ(p.lst, (ArgList{{"noJK", ""}, {"inD", "b.tab"}}));
}

TEST(CmdArgParser, NegativeNumbersAndNumberTest) {
    // zero is not recognised as a number: "-0" becomes an option of its own
    auto p = parse({"-daMin", "-0.5"});
    EXPECT_EQ(p.getArgValueS("daMin"), "-0.5");
    p = parse({"-daMin", "-0"});
    EXPECT_TRUE(p.isFlag("daMin"));
    EXPECT_TRUE(p.isValidArg("0"));
    p = parse({"-daMin", "-0.0"});
    EXPECT_TRUE(p.isValidArg("0.0"));

    // after a value: joined with a blank and a dash; after a flag: the dash alone
    p = parse({"-select", "3", "-4"});
    EXPECT_EQ(p.getArgValueS("select"), "3 -4");
    p = parse({"-saupe", "-1e-4", "2e-4", "-3e-4", "1e-5", "-2e-5"});
    EXPECT_EQ(p.getArgValueS("saupe"), "-1e-4 2e-4 -3e-4 1e-5 -2e-5");
    auto dd = p.getArgValueDD("saupe");
    ASSERT_EQ(dd.size(), 5u);
    EXPECT_EQ(dd[0], -1e-4f);
    EXPECT_EQ(dd[4], -2e-5f);

    // a negative run of several numbers joins the same option
    p = parse({"-x", "-1", "-2", "-3"});
    EXPECT_EQ(p.getArgValueS("x"), "-1 -2 -3");
    EXPECT_EQ(p.size(), 1);

    // "1abc" counts as a number (strtol gives 1)
    p = parse({"-x", "-1abc"});
    EXPECT_EQ(p.getArgValueS("x"), "-1abc");

    // a negative number before any option is dropped
    p = parse({"-5", "-inD", "a.tab"});
    EXPECT_EQ(p.size(), 1);
    EXPECT_EQ(p.getArgValueS("inD"), "a.tab");

    // a value beginning with a dash that is no number becomes an option of its own
    p = parse({"-out", "-x.tab"});
    EXPECT_TRUE(p.isFlag("out"));
    EXPECT_TRUE(p.isFlag("x.tab"));

    // with another separator negative numbers are never joined
    CmdArgParser q(std::string("+"), std::string(" +a 1 +2 +b"));
    EXPECT_EQ(q.sepStr, " +");
    EXPECT_EQ(q.getArgValueS("a"), "1");
    EXPECT_FALSE(q.isValidArg("2"));
    EXPECT_TRUE(q.isFlag("b"));
}

TEST(CmdArgParser, ValuesWithSpacesAndRepeats) {
    // an argument with inner spaces keeps them: only the first blank separates name and value
    auto p = parse({"-inDTitle", "my  title", "-x"});
    EXPECT_EQ(p.getArgValueS("inDTitle"), "my  title");
    EXPECT_EQ(p.getArgValueSS("inDTitle"), (StringList{"my", "title"}));
    p = parse({"-inDTitle my title"});
    EXPECT_EQ(p.getArgValueS("inDTitle"), "my title");

    // setArg appends to the existing text; earlier entries stay, repeated names are overwritten
    CmdArgParser q(std::string("-"), std::string(" -a 1 -b 2"));
    char prog[] = "Orvex", a1[] = "-b", a2[] = "3", a3[] = "-c";
    char* argv[] = {prog, a1, a2, a3};
    q.setArg(std::string(" -"), 4, argv);
    EXPECT_EQ(q.getArgValueS("a"), "1");
    EXPECT_EQ(q.getArgValueS("b"), "3");
    EXPECT_TRUE(q.isFlag("c"));
    EXPECT_EQ(q.size(), 3);
}

TEST(CmdArgParser, Conversions) {
    auto p = parse({"-i", "2.5", "-r", "abc", "-f", "0.1", "-big", "1e40"});
    EXPECT_EQ(p.getArgValueI("i"), 2);
    EXPECT_EQ(p.getArgValueD("r"), 0.0f);
    EXPECT_EQ(p.getArgValueD("f"), 0.1f);
    EXPECT_NE(static_cast<double>(p.getArgValueD("f")), 0.1);   // single precision on the way
    EXPECT_TRUE(std::isinf(p.getArgValueD("big")));
    EXPECT_EQ(p.getArgValueI("absent"), -9999);
    EXPECT_EQ(p.getArgValueD("absent"), -9999.0f);
    EXPECT_TRUE(p.getArgValueSS("absent").empty());
    EXPECT_TRUE(p.getArgValueII("absent").empty());
    EXPECT_FALSE(p.isValidArg("absent"));
    EXPECT_FALSE(p.isFlag("absent"));
    EXPECT_EQ(p.getArgValueS("absent"), "");
}

TEST(CmdArgParser, NoSeparatorAndSingleInstance) {
    testing::internal::CaptureStderr();
    CmdArgParser p(std::string(" -"), std::string("lonely"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No valid arguments found with a separator  -\n");
    EXPECT_TRUE(p.isFlag("lonely"));

    testing::internal::CaptureStderr();
    CmdArgParser d;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(d.sepStr, " ");
    EXPECT_EQ(d.origStr, " ");
    EXPECT_EQ(d.size(), 0);

    CmdArgParser* a = CmdArgParser::getInstance();
    EXPECT_EQ(a, CmdArgParser::getInstance());
}
