/* Runtime initialisation: the first call records path and arguments; later
   calls reconcile arguments and may replace the program path. */
#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/message.h>
#include <zolt/path.h>
#include <zolt/time.h>

#include <gtest/gtest.h>
#include <string>

#include "internal/initterm.h"
#include "internal/time.h"
#include "streamcapture.h"

namespace
{

TEST(R3Init, FirstAndLaterCalls)
{
    char szArg0[] = "prog", szArg1[] = "x";
    char *apszArgs[] = {szArg0, szArg1, nullptr};
    char **papszArgs = apszArgs;
    char *apszOther[] = {szArg0, nullptr};
    char **papszOther = apszOther;

    EXPECT_FALSE(RTR3InitIsInitialized());
    uint64_t const uNsBeforeInit = RTTimeNanoTS();
    ASSERT_EQ(RTR3InitForExe(2, &papszArgs, 0), 0);
    uint64_t const uNsAfterInit = RTTimeNanoTS();
    EXPECT_TRUE(RTR3InitIsInitialized());

    /* The program clocks count from the start the initialisation recorded,
       not from the clock's own origin (the host's boot). This program links
       the initialisation together with the time functions, which once both
       defined the start time. */
    uint64_t const cMsProgram = RTTimeProgramMilliTS();
    uint64_t const cNsSinceBefore = RTTimeNanoTS() - uNsBeforeInit;
    EXPECT_GE(g_u64rtProgramStartNanoTS, uNsBeforeInit);
    EXPECT_LE(g_u64rtProgramStartNanoTS, uNsAfterInit);
    EXPECT_LE(cMsProgram, cNsSinceBefore / 1000000);
    EXPECT_LE(RTTimeProgramSecTS(), cNsSinceBefore / 1000000000 + 1);
    uint64_t const uNsStart = g_u64rtProgramStartNanoTS;
    EXPECT_EQ(g_crtArgs, 2);
    EXPECT_EQ(g_papszrtArgs, apszArgs);
    /* The host's path of this test executable. */
    EXPECT_NE(std::string(&g_szrtProcExePath[g_offrtProcName]).find("init_test"), std::string::npos)
        << g_szrtProcExePath;
    EXPECT_EQ(g_cchrtProcExePath, strlen(g_szrtProcExePath));

    EXPECT_EQ(RTR3InitForExe(2, &papszArgs, 0), 0);
    EXPECT_EQ(RTR3InitForExe(0, nullptr, 0), 0);
    EXPECT_EQ(RTR3InitForExe(1, &papszArgs, 0), ERR_WRONG_STATE);
    EXPECT_EQ(RTR3InitForExe(2, &papszOther, 0), ERR_WRONG_STATE);
    EXPECT_TRUE(RTR3InitIsInitialized());
    EXPECT_EQ(g_u64rtProgramStartNanoTS, uNsStart) << "only the first initialisation records the start";

    /* A later program path replaces the recorded one, for messages and for
       the executable's directory alike. */
    std::string const TooLong(4068, 'a');
    EXPECT_EQ(RTR3Init(0, 0, nullptr, TooLong.c_str()), ERR_BUFFER_OVERFLOW);
    ASSERT_EQ(RTR3Init(0, 0, nullptr, "C:\\Program Files\\Vendor\\setup.exe"), 0);
    EXPECT_EQ(g_cchrtProcDir, strlen("C:\\Program Files\\Vendor"));
    char szDir[256];
    ASSERT_EQ(RTPathExecutableDir(szDir, sizeof(szDir)), 0);
    EXPECT_STREQ(szDir, "C:\\Program Files\\Vendor");
    {
        StreamCapture Err(&g_pStdErr, "init_test-stderr1");
        RTMessageError("one");
        EXPECT_EQ(Err.text(), "setup.exe: error: one\n");
    }
    ASSERT_EQ(RTR3Init(0, 0, nullptr, "D:\\x.exe"), 0);
    {
        StreamCapture Err(&g_pStdErr, "init_test-stderr2");
        RTMessageError("two");
        EXPECT_EQ(Err.text(), "x.exe: error: two\n");
    }
    std::string const Longest = "C:\\" + std::string(4067 - 3 - 4, 'b') + ".exe";
    EXPECT_EQ(RTR3Init(0, 0, nullptr, Longest.c_str()), 0);
}

} // namespace
