/* Environment variables: lookup statuses, lengths, long values, the
   RTEnvGet ring. */
#include <zolt/env.h>
#include <zolt/err.h>

#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "r3/envtestutil.h"

namespace
{

class EnvTest : public ::testing::Test
{
  protected:
    TestEnvGuard m_Guard{{"ZOLT_T_A", "ZOLT_T_B", "ZOLT_T_EMPTY", "ZOLT_T_LONG"}};
};

TEST_F(EnvTest, FoundEmptyMissingAndBadName)
{
    testSetEnv("ZOLT_T_A", "value \xc3\xa9\xe2\x82\xac");
    testSetEnv("ZOLT_T_EMPTY", "");
    testSetEnv("ZOLT_T_B", nullptr);

    char sz[64];
    size_t cch = 99;
    ASSERT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", sz, sizeof(sz), &cch), SUCCESS);
    EXPECT_STREQ(sz, "value \xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(cch, 11u);

    strcpy(sz, "x");
    cch = 99;
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_EMPTY", sz, sizeof(sz), &cch), SUCCESS);
    EXPECT_STREQ(sz, "");
    EXPECT_EQ(cch, 0u);

    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_B", sz, sizeof(sz), &cch), ERR_ENV_VAR_NOT_FOUND);
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T=A", sz, sizeof(sz), &cch), ERR_ENV_INVALID_VAR_NAME);
    EXPECT_EQ(RTEnvGet("ZOLT_T_B"), nullptr);
    EXPECT_EQ(RTEnvGet("A=B"), nullptr);
#ifndef _WIN32
    /* Names are case-sensitive on the POSIX host. */
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "zolt_t_a", sz, sizeof(sz), &cch), ERR_ENV_VAR_NOT_FOUND);
#else
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "zolt_t_a", sz, sizeof(sz), &cch), SUCCESS);
#endif
}

TEST_F(EnvTest, BufferRulesAndLengthOnly)
{
    testSetEnv("ZOLT_T_A", "01234567890123456789");
    char sz[10];
    memset(sz, 'Z', sizeof(sz));
    size_t cch = 0;
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", sz, sizeof(sz), &cch), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cch, 20u);
    EXPECT_EQ(sz[0], 'Z');

    cch = 0;
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", nullptr, 0, &cch), SUCCESS);
    EXPECT_EQ(cch, 20u);

    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", nullptr, 5, &cch), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", nullptr, 0, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", sz, 0, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, nullptr, sz, sizeof(sz), &cch), ERR_INVALID_POINTER);
    EXPECT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_A", (char *)16, sizeof(sz), &cch), ERR_INVALID_POINTER);
    EXPECT_EQ(RTEnvGetEx((RTENV) nullptr, "ZOLT_T_A", sz, sizeof(sz), &cch), ERR_INVALID_HANDLE);
}

TEST_F(EnvTest, LongValues)
{
    for (size_t cch : {511u, 512u, 600u, 5000u, 32000u})
    {
        std::string sValue(cch, 'v');
        sValue[cch - 1] = 'e';
        testSetEnv("ZOLT_T_LONG", sValue.c_str());
        std::string sBuf(cch + 1, '\0');
        size_t cchGot = 0;
        ASSERT_EQ(RTEnvGetEx(RTENV_DEFAULT, "ZOLT_T_LONG", sBuf.data(), sBuf.size(), &cchGot), SUCCESS) << cch;
        EXPECT_EQ(cchGot, cch);
        EXPECT_STREQ(sBuf.c_str(), sValue.c_str()) << cch;
        const char *psz = RTEnvGet("ZOLT_T_LONG");
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(sValue, psz);
    }
}

TEST_F(EnvTest, RingKeepsTheLast64)
{
    testSetEnv("ZOLT_T_A", "first");
    testSetEnv("ZOLT_T_B", "other");
    const char *pszFirst = RTEnvGet("ZOLT_T_A");
    ASSERT_NE(pszFirst, nullptr);
    for (int i = 0; i < 63; i++)
        ASSERT_STREQ(RTEnvGet("ZOLT_T_B"), "other");
    /* Still alive after 63 further calls (AddressSanitizer would object). */
    EXPECT_STREQ(pszFirst, "first");

    /* Concurrent callers never free each other's fresh results: 60 calls in
       all, so none of them may be gone before the phase ends. */
    std::thread aThreads[4];
    for (std::thread &t : aThreads)
        t = std::thread([] {
            for (int i = 0; i < 15; i++)
            {
                const char *psz = RTEnvGet("ZOLT_T_B");
                if (!psz || strcmp(psz, "other") != 0)
                    ADD_FAILURE() << "lost a result";
            }
        });
    for (std::thread &t : aThreads)
        t.join();
}

} // namespace
