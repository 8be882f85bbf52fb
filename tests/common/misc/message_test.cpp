/* Runtime messages on redirected current streams: the program-name prefix,
   one line per text line, empty and unformattable texts, and the report of
   a failed initialisation before and after the program name is known. */
#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/message.h>

#include <gtest/gtest.h>

#include "heapfault.h"
#include "streamcapture.h"

namespace
{

/* Must run before anything initialises the runtime in this process. */
TEST(Message, InitFailureWithoutProgramName)
{
    if (RTR3InitIsInitialized())
        GTEST_SKIP() << "the runtime is already initialised";
    StreamCapture Err(&g_pStdErr, "message_test-noinit");
    EXPECT_EQ(RTMessageInitFailure(ERR_NO_MEMORY), 3);
    EXPECT_EQ(RTMessageError("early"), 0);
    EXPECT_EQ(Err.text(), "fatal error: RTR3Init: ERR_NO_MEMORY\n: error: early\n");
}

class MessageTest : public testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(RTR3Init(0, 0, nullptr, "C:\\Program Files\\X\\setup.exe"), 0);
    }
};

TEST_F(MessageTest, OneLinePerTextLine)
{
    struct
    {
        const char *pszFormat;
        const char *pszArg;
        const char *pszExpected;
    } const s_aCases[] = {
        {"Invalid parameter: %s", "x", "setup.exe: error: Invalid parameter: x\n"},
        {"a\n\nb", nullptr, "setup.exe: error: a\n\nsetup.exe: error: b\n"},
        {"done\n", nullptr, "setup.exe: error: done\n"},
        {"\nlead", nullptr, "\nsetup.exe: error: lead\n"},
        {"%s", "one\ntwo\n\n", "setup.exe: error: one\nsetup.exe: error: two\n\n"},
        {"", nullptr, "\n"},
        {"\n", nullptr, "\n"},
        {"%s", "", ""},
    };
    int i = 0;
    for (auto const &Case : s_aCases)
    {
        StreamCapture Err(&g_pStdErr, ("message_test-error" + std::to_string(i++)).c_str());
        EXPECT_EQ(RTMessageError(Case.pszFormat, Case.pszArg), 0);
        EXPECT_EQ(Err.text(), Case.pszExpected) << "format '" << Case.pszFormat << "'";
    }

    StreamCapture Out(&g_pStdOut, "message_test-info");
    EXPECT_EQ(RTMessageInfo("%d files\nok", 3), 0);
    EXPECT_EQ(Out.text(), "setup.exe: info: 3 files\nsetup.exe: info: ok\n");
}

TEST_F(MessageTest, UnsplitWithoutMemory)
{
    StreamCapture Err(&g_pStdErr, "message_test-nomem");
    RTStreamPrintf(g_pStdErr, ">"); /* the stream's own buffer and lock exist now */
    {
        HeapFaultScope Heap(0);
        EXPECT_EQ(RTMessageError("%s and %d", "text", 5), 0);
        EXPECT_EQ(RTMessageError("x\ny"), 0);
    }
    EXPECT_EQ(Err.text(), ">setup.exe: error: text and 5\nsetup.exe: error: x\ny");
}

TEST_F(MessageTest, InitFailureWithProgramName)
{
    StreamCapture Err(&g_pStdErr, "message_test-initfail");
    EXPECT_EQ(RTMessageInitFailure(ERR_WRONG_STATE), 3);
    EXPECT_EQ(Err.text(), "setup.exe: fatal error: RTR3Init: ERR_WRONG_STATE\n");
}

} // namespace
