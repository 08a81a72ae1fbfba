// The executable as a user runs it: usage text, fatal option errors, the running-time line.
#include <regex>

#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::runOrvex;
using testutil::TempDir;

TEST(FoundationCli, UsageText) {
    const std::string usage = testutil::readFile(std::string(ORVEX_TEST_DATA) + "/cli/usage.txt");
    ASSERT_FALSE(usage.empty());
    TempDir dir;
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-help"},
                      std::vector<std::string>{"-version"}, std::vector<std::string>{"-pdb", "x.pdb", "-help"}}) {
        auto r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(testutil::sameLines(usage, r.err));
    }
}

TEST(FoundationCli, FatalOptionErrors) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string classes =
        "[Error]:: Errors found to generate couplings with Fixed Mode (-fixed) or Saupe Mode (-saupe) \n"
        "[Error]:: At least one RDC class (see below) must be specified when input RDC table is not provided "
        "(-inD):\n"
        "          -classHN,N, -classHA,CA, -classHB,CB, classHN,C-1, classN,C-1, classCA,C\n";
    const std::vector<Case> cases = {
        {{"-daFixed"}, "Error:: '-da' option is not found when '-daFixed' option is used ! \n"},
        {{"-drFixed", "-pdb", "x.pdb"}, "Error:: '-dr' option is not found when '-drFixed' option is used ! \n"},
        {{"-rhFixed"}, "Error:: '-rh' option is not found when '-rhFixed' option is used ! \n"},
        {{"-rxFixed"}, "Error:: '-rx' option is not found when '-rxFixed' option is used ! \n"},
        {{"-ryFixed"}, "Error:: '-ry' option is not found when '-ryFixed' option is used ! \n"},
        {{"-rzFixed", "-rx", "1"}, "Error:: '-rz' option is not found when '-rzFixed' option is used ! \n"},
        {{"-saupe", "1e-4", "2e-4", "3e-4", "4e-4", "-inD", "a.tab"}, "[Error] Saupe input must be 5 elements \n"},
        {{"-saupe", "-inD", "a.tab"}, "[Error] Saupe input must be 5 elements \n"},
        {{"-saupe", "1", "2", "3", "4", "5", "6", "-inD", "a.tab"}, "[Error] Saupe input must be 5 elements \n"},
        {{"-saupe", "1e-4", "2e-4", "3e-4", "4e-4", "5e-4", "-pdb", "x.pdb"}, classes},
        {{"-fixed", "-da", "1e-4", "-rh", "0.3", "-rx", "1", "-ry", "2", "-rz", "3"}, classes},
    };
    for (const auto& c : cases) {
        auto r = runOrvex(c.args, dir.path());
        EXPECT_EQ(r.status, 255) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
    }
}

TEST(FoundationCli, CompletedRunPrintsRunningTime) {
    TempDir dir;
    const std::regex timeLine("\tRunning time \\(main\\): [0-9.e+-]+ seconds\n");
    auto r = runOrvex({"-pdb", "no_such_file.pdb"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_search(r.out, timeLine)) << r.out;

    // every mode ends with the running-time line and status 1 (-orth without -inDs gives its usage)
    for (const char* mode : {"-rcsa", "-shapeTensor", "-vwfit"}) {
        r = runOrvex({mode, "-pdb", "no_such_file.pdb"}, dir.path());
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_TRUE(std::regex_search(r.out, timeLine)) << mode;
    }
}
