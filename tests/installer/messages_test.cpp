/** @file
 * Tests of the launcher's reporters in their console forms (the message
 * boxes are exercised end to end under Xvfb, tests/e2e).
 */
#include <zolt/err.h>

#include <algorithm>
#include <gtest/gtest.h>

#include "capture.h"
#include "cmdline.h"
#include "messages.h"

namespace
{

class MessagesTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = true;
    }
    void TearDown() override
    {
        g_fSilentMode = false;
    }
    StreamCapture m_Capture;
};

/** The program-name prefix of runtime messages in this test binary. */
std::string ErrorLine(const std::string &strText)
{
    return ": error: " + strText + "\n";
}

TEST_F(MessagesTest, ShowErrorWritesEachLineAsAnErrorMessage)
{
    EXPECT_EQ(1, ShowError("first %d\nsecond %s", 1, "two"));
    std::string strErr = m_Capture.TakeErr();
    /* "<program>: error: " before each line; the program name is that of
       the test binary, if the runtime recorded one. */
    size_t offFirst = strErr.find(ErrorLine("first 1"));
    size_t offSecond = strErr.find(ErrorLine("second two"));
    EXPECT_NE(std::string::npos, offFirst) << strErr;
    EXPECT_NE(std::string::npos, offSecond) << strErr;
    EXPECT_LT(offFirst, offSecond);
    EXPECT_EQ(2, std::count(strErr.begin(), strErr.end(), '\n')) << strErr;
    EXPECT_EQ("", m_Capture.TakeOut());
}

TEST_F(MessagesTest, EmptyErrorShowsNothingEmptyInfoShowsAnEmptyLine)
{
    EXPECT_EQ(1, ShowError("%s", ""));
    EXPECT_EQ("", m_Capture.TakeErr());
    ShowInfo("%s", "");
    EXPECT_EQ("\n", m_Capture.TakeOut());
    ShowInfo("Files were extracted to: %s", "C:\\x");
    EXPECT_EQ("Files were extracted to: C:\\x\n", m_Capture.TakeOut());
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(MessagesTest, SyntaxErrorKeepsTheTextAndReturnsTwo)
{
    EXPECT_EQ(2, ShowSyntaxError("Unknown option \"%s\"\nPlease refer", "--X"));
    std::string strErr = m_Capture.TakeErr();
    EXPECT_NE(std::string::npos, strErr.find(ErrorLine("Unknown option \"--X\""))) << strErr;
    EXPECT_NE(std::string::npos, strErr.find(ErrorLine("Please refer"))) << strErr;
}

TEST_F(MessagesTest, PrintErrorsWriteOneDetailLineWhateverTheMode)
{
    for (bool fSilent : {true, false})
    {
        g_fSilentMode = fSilent;
        EXPECT_EQ(ERR_MISMATCH, PrintErrorRc(ERR_MISMATCH, "#%u: File '%s' has change", 2u, "a.msi"));
        EXPECT_EQ("error: #2: File 'a.msi' has change\n", m_Capture.TakeErr()) << fSilent;
        EXPECT_EQ(1, PrintErrorFailure("Package #%u not found in cleanup records", 0u));
        EXPECT_EQ("error: Package #0 not found in cleanup records\n", m_Capture.TakeErr()) << fSilent;
        PrintError("%Rrc", ERR_NO_DATA);
        EXPECT_EQ("error: ERR_NO_DATA\n", m_Capture.TakeErr()) << fSilent;
        EXPECT_EQ("", m_Capture.TakeOut());
    }
}

} // namespace
