// The exit handler behind fail and quit. (The default exits, with status, message and output
// flushed first, are checked by running the program: RcsaMode.BadInputs, FoundationCli.FatalOptionErrors;
// the throwing handler carrying status and message by the FuzzInputs command-line tests.)
#include <gtest/gtest.h>

#include "common/Fail.h"

namespace {

void recordAndReturn(int) {}

}  // namespace

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

TEST(Fail, SetExitHandlerReturnsThePreviousOne) {
    EXPECT_NE(setExitHandler(throwExitRequest), nullptr);  // the default
    EXPECT_EQ(setExitHandler(throwExitRequest), &throwExitRequest);
    int status = 12345;
    try {
        quit(0);
    } catch (const ExitRequest& e) {
        status = e.status;
    }
    EXPECT_EQ(status, 0);
    setExitHandler(nullptr);
}
