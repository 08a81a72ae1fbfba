// The fatal exits: status, message and flushed output by default; the exit handler that a
// harness installs instead.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/Fail.h"
#include "common/TestUtil.h"

namespace {

// Restores the default exit when a test leaves.
struct DefaultExitAfter {
    ~DefaultExitAfter() { setExitHandler(nullptr); }
};

std::string readBack(FILE* f) {
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

int recordedStatus = 0;
void recordAndReturn(int status) { recordedStatus = status; }

}  // namespace

TEST(FailDeathTest, DefaultExitsWithStatusMessageAndFlushedOutput) {
    EXPECT_EXIT(fail(3, "[Error] something\n"), ::testing::ExitedWithCode(3), "^\\[Error\\] something\n$");
    EXPECT_EXIT(fail(-1, "bad option\n"), ::testing::ExitedWithCode(255), "bad option");
    EXPECT_EXIT(quit(0), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(quit(1), ::testing::ExitedWithCode(1), "^$");

    // what was printed to standard output before the exit reaches the file
    testutil::TempDir dir;
    const std::string out = dir.file("out");
    EXPECT_EXIT(
        {
            if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(9);
            std::fputs("pending line without end", stdout);
            fail(4, "done\n");
        },
        ::testing::ExitedWithCode(4), "done");
    EXPECT_EQ(testutil::readFile(out), "pending line without end");
    EXPECT_EXIT(
        {
            if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(9);
            std::fputs("table row", stdout);
            quit(1);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(testutil::readFile(out), "table row");
}

TEST(FailDeathTest, HandlerThatReturnsStillEndsTheProcess) {
    EXPECT_EXIT(
        {
            setExitHandler(recordAndReturn);
            fail(7, "");
        },
        ::testing::ExitedWithCode(7), "");
    // restoring the default
    EXPECT_EXIT(
        {
            setExitHandler(throwExitRequest);
            setExitHandler(nullptr);
            quit(5);
        },
        ::testing::ExitedWithCode(5), "");
}

TEST(Fail, ThrowingHandlerCarriesTheStatusAfterPrinting) {
    DefaultExitAfter restore;
    EXPECT_NE(setExitHandler(throwExitRequest), nullptr);  // the default
    EXPECT_EQ(setExitHandler(throwExitRequest), &throwExitRequest);

    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    int status = 12345;
    try {
        fail(-1, "[Error] Saupe input must be 5 elements \n", stream);
    } catch (const ExitRequest& e) {
        status = e.status;
    }
    EXPECT_EQ(status, -1);
    EXPECT_EQ(readBack(stream), "[Error] Saupe input must be 5 elements \n");
    std::fclose(stream);

    status = 12345;
    try {
        quit(0);
    } catch (const ExitRequest& e) {
        status = e.status;
    }
    EXPECT_EQ(status, 0);
}
