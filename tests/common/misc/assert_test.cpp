/* Assertion reports: the written text on the real standard error handle,
   the record, the hooks, quiet mode and the preserved last error. */
#ifdef _WIN32
#include <windows.h>
#endif

#include <zolt/assert.h>

#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "internal/assert.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace
{

/** Points the standard error handle at a temporary file while it lives. */
class StdErrCapture
{
  public:
    StdErrCapture()
    {
        m_pFile = tmpfile();
#ifdef _WIN32
        m_hSaved = GetStdHandle(STD_ERROR_HANDLE);
        SetStdHandle(STD_ERROR_HANDLE, (HANDLE)_get_osfhandle(_fileno(m_pFile)));
#else
        fflush(stderr);
        m_fdSaved = dup(STDERR_FILENO);
        dup2(fileno(m_pFile), STDERR_FILENO);
#endif
    }
    ~StdErrCapture()
    {
        restore();
        fclose(m_pFile);
    }
    /** Everything written so far. */
    std::string text()
    {
        restore();
        std::string s;
        fseek(m_pFile, 0, SEEK_SET);
        char ach[512];
        size_t cb;
        while ((cb = fread(ach, 1, sizeof(ach), m_pFile)) > 0)
            s.append(ach, cb);
        return s;
    }

  private:
    void restore()
    {
#ifdef _WIN32
        if (m_hSaved)
            SetStdHandle(STD_ERROR_HANDLE, m_hSaved);
        m_hSaved = nullptr;
#else
        if (m_fdSaved >= 0)
        {
            dup2(m_fdSaved, STDERR_FILENO);
            close(m_fdSaved);
        }
        m_fdSaved = -1;
#endif
    }
    FILE *m_pFile;
#ifdef _WIN32
    HANDLE m_hSaved;
#else
    int m_fdSaved;
#endif
};

uint32_t getLastError()
{
#ifdef _WIN32
    return GetLastError();
#else
    return (uint32_t)errno;
#endif
}

void setLastError(uint32_t u)
{
#ifdef _WIN32
    SetLastError(u);
#else
    errno = (int)u;
#endif
}

/* What the hooks saw. */
std::vector<std::string> g_HookCalls;

void testHook1(const char *pszFormat, const char *pszExpr, const char *pszFile, unsigned uLine, const char *pszFunction)
{
    setLastError(0); /* a hook may clobber the last error */
    char sz[256];
    snprintf(sz, sizeof(sz), "1:%s|%s|%s|%u|%s", pszFormat, pszExpr ? pszExpr : "(null)", pszFile, uLine,
             pszFunction ? pszFunction : "(null)");
    g_HookCalls.push_back(sz);
}

void testHook2(const char *pszFormat, va_list va)
{
    setLastError(0);
    char sz[256];
    vsnprintf(sz, sizeof(sz), pszFormat, va);
    g_HookCalls.push_back(std::string("2:") + sz);
}

class AssertTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_HookCalls.clear();
        RTAssertSetQuiet(false);
    }
    void TearDown() override
    {
        g_pfnRTAssertMsg1Hook = nullptr;
        g_pfnRTAssertMsg2Hook = nullptr;
        RTAssertSetQuiet(false);
    }
};

TEST_F(AssertTest, FirstMessageWrittenAndRecorded)
{
    static const char s_szExpect[] =
        "\n!!Assertion Failed!!\nExpression: rc >= 0\nLocation  : thread(241) rtThreadLockRW\n";
    std::string sWritten;
    {
        StdErrCapture Capture;
        RTAssertReport1("rc >= 0", 241, "thread", "rtThreadLockRW");
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, s_szExpect);
    EXPECT_STREQ(g_szRTAssertMsg1, s_szExpect);
    EXPECT_STREQ(g_pszRTAssertExpr, "rc >= 0");
    EXPECT_STREQ(g_pszRTAssertFile, "thread");
    EXPECT_EQ(g_u32RTAssertLine, 241u);
    EXPECT_STREQ(g_pszRTAssertFunction, "rtThreadLockRW");
}

TEST_F(AssertTest, BadPointersInFirstMessage)
{
    std::string sWritten;
    {
        StdErrCapture Capture;
        RTAssertReport1(nullptr, 7, "file.cpp", nullptr);
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, "\n!!Assertion Failed!!\nExpression: <none>\nLocation  : file.cpp(7) \n");
    /* The record keeps what was passed. */
    EXPECT_EQ(g_pszRTAssertExpr, nullptr);
    EXPECT_EQ(g_pszRTAssertFunction, nullptr);
}

TEST_F(AssertTest, SecondMessageReplaceAndAppend)
{
    std::string sWritten;
    {
        StdErrCapture Capture;
        RTAssertReport2("first %d\n", 1);
        RTAssertReport2("second %s\n", "msg");
        RTAssertReport2Add("more %u", 42u);
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, "first 1\nsecond msg\nmore 42");
    EXPECT_STREQ(g_szRTAssertMsg2, "second msg\nmore 42");
    EXPECT_EQ(g_cchRTAssertMsg2, strlen("second msg\nmore 42"));

    /* Nearly full: the continuation is written but not recorded. */
    std::string const sBig(4092, 'b');
    {
        StdErrCapture Capture;
        RTAssertReport2("%s", sBig.c_str());
        EXPECT_EQ(g_cchRTAssertMsg2, 4092u);
        RTAssertReport2Add("tail");
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, sBig + "tail");
    EXPECT_EQ(g_cchRTAssertMsg2, 4092u);
    EXPECT_EQ(std::string(g_szRTAssertMsg2), sBig);

    /* Just below the mark: appended as far as it fits, never beyond. */
    RTAssertSetQuiet(true);
    RTAssertReport2("%s", std::string(4090, 'c').c_str());
    RTAssertReport2Add("%s", "123456789");
    EXPECT_EQ(strlen(g_szRTAssertMsg2), 4095u);
}

TEST_F(AssertTest, HooksAndLastError)
{
    g_pfnRTAssertMsg1Hook = testHook1;
    g_pfnRTAssertMsg2Hook = testHook2;
    {
        /* Set right before each report: the capture and the checks touch the
           last error themselves. */
        StdErrCapture Capture;
        setLastError(1234);
        RTAssertReport1("x", 3, "f.cpp", "fn");
        EXPECT_EQ(getLastError(), 1234u);
        setLastError(1235);
        RTAssertReport2("detail %d", 5);
        EXPECT_EQ(getLastError(), 1235u);
        setLastError(1236);
        RTAssertReport2Add(" and %s", "more");
        EXPECT_EQ(getLastError(), 1236u);
    }
    ASSERT_EQ(g_HookCalls.size(), 3u);
    EXPECT_EQ(g_HookCalls[0], "1:\n!!Assertion Failed!!\nExpression: %s\nLocation  : %s(%d) %s\n|x|f.cpp|3|fn");
    EXPECT_EQ(g_HookCalls[1], "2:detail 5");
    EXPECT_EQ(g_HookCalls[2], "2: and more");

    /* Only one hook installed: the other message still goes out. */
    g_pfnRTAssertMsg2Hook = nullptr;
    g_HookCalls.clear();
    std::string sWritten;
    {
        StdErrCapture Capture;
        RTAssertReport2("alone");
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, "alone");
    EXPECT_TRUE(g_HookCalls.empty());
}

TEST_F(AssertTest, QuietRecordsOnly)
{
    g_pfnRTAssertMsg1Hook = testHook1;
    g_pfnRTAssertMsg2Hook = testHook2;
    EXPECT_FALSE(RTAssertSetQuiet(true));
    EXPECT_TRUE(RTAssertAreQuiet());
    std::string sWritten;
    {
        StdErrCapture Capture;
        RTAssertReport1("quiet", 1, "q.cpp", "qfn");
        RTAssertReport2("quiet %d", 2);
        sWritten = Capture.text();
    }
    EXPECT_EQ(sWritten, "");
    EXPECT_TRUE(g_HookCalls.empty());
    EXPECT_STREQ(g_pszRTAssertExpr, "quiet");
    EXPECT_STREQ(g_szRTAssertMsg2, "quiet 2");
    EXPECT_NE(strstr(g_szRTAssertMsg1, "Expression: quiet\n"), nullptr);
}

} // namespace
