/* Host path services: current and temporary directories, the executable's
   directory, renaming. */
#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <string>

#include "internal/path.h"
#include "r3/envtestutil.h"

#ifdef _WIN32
#include <direct.h>
#define testMkdir(psz) _mkdir(psz)
#else
#include <sys/stat.h>
#define testMkdir(psz) mkdir(psz, 0700)
#endif

namespace
{

TEST(PathTempDir, VariablesInOrder)
{
    TestEnvGuard Guard({"ZOLT_TMPDIR", "TMP", "TEMP", "USERPROFILE"});
    char sz[64];
    testSetEnv("ZOLT_TMPDIR", "/z");
    testSetEnv("TMP", "/t");
    ASSERT_EQ(RTPathTempDir(sz, sizeof(sz)), SUCCESS);
    EXPECT_STREQ(sz, "/z");

    /* An empty value counts as set. */
    testSetEnv("ZOLT_TMPDIR", "");
    ASSERT_EQ(RTPathTempDir(sz, sizeof(sz)), SUCCESS);
    EXPECT_STREQ(sz, "");

    /* A value that does not fit ends the search: TEMP would fit. */
    testSetEnv("ZOLT_TMPDIR", nullptr);
    testSetEnv("TMP", std::string(100, 't').c_str());
    testSetEnv("TEMP", "/e");
    EXPECT_EQ(RTPathTempDir(sz, sizeof(sz)), ERR_BUFFER_OVERFLOW);

    testSetEnv("TMP", nullptr);
    ASSERT_EQ(RTPathTempDir(sz, sizeof(sz)), SUCCESS);
    EXPECT_STREQ(sz, "/e");
    testSetEnv("TEMP", nullptr);
    testSetEnv("USERPROFILE", "/u");
    ASSERT_EQ(RTPathTempDir(sz, sizeof(sz)), SUCCESS);
    EXPECT_STREQ(sz, "/u");

    testSetEnv("USERPROFILE", nullptr);
    EXPECT_EQ(RTPathTempDir(sz, 4), ERR_BUFFER_OVERFLOW);
    ASSERT_EQ(RTPathTempDir(sz, 5), SUCCESS);
    EXPECT_STREQ(sz, "/tmp");
}

/** Works in a fresh directory under the temporary one; restores the
 *  current directory. */
class PathHostDirTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(RTPathGetCurrentDir(m_szOrgCwd, sizeof(m_szOrgCwd)), SUCCESS);
        char szTmp[RTPATH_MAX];
        ASSERT_EQ(RTPathTempDir(szTmp, sizeof(szTmp)), SUCCESS);
        ASSERT_EQ(RTPathAbs(szTmp, m_szDir, sizeof(m_szDir)), SUCCESS);
        char szName[64];
        snprintf(szName, sizeof(szName), "zolt-pathhost-%u", (unsigned)rand());
        ASSERT_EQ(RTPathAppend(m_szDir, sizeof(m_szDir), szName), SUCCESS);
        ASSERT_EQ(testMkdir(native(m_szDir).c_str()), 0) << m_szDir;
    }
    void TearDown() override
    {
        EXPECT_EQ(RTPathSetCurrentDir(m_szOrgCwd), SUCCESS);
        remove(native(m_szDir + std::string("/file2")).c_str());
        remove(native(m_szDir + std::string("/file")).c_str());
        rmdir(native(m_szDir + std::string("/sub")).c_str());
        rmdir(native(m_szDir).c_str());
    }
    /** The C library's form of a path (POSIX: '/' separators). */
    static std::string native(std::string s)
    {
#ifndef _WIN32
        for (char &ch : s)
            if (ch == '\\')
                ch = '/';
#endif
        return s;
    }
    static void touch(const std::string &s)
    {
        FILE *pFile = fopen(native(s).c_str(), "w");
        ASSERT_NE(pFile, nullptr) << s;
        fclose(pFile);
    }

    char m_szOrgCwd[RTPATH_MAX];
    char m_szDir[RTPATH_MAX];
};

TEST_F(PathHostDirTest, CurrentDirectoryAndDrive)
{
    std::string const sWithSlash = std::string(m_szDir) + "\\";
    ASSERT_EQ(RTPathSetCurrentDir(sWithSlash.c_str()), SUCCESS);
    char szCwd[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    char szCwdNorm[RTPATH_MAX];
    ASSERT_EQ(RTPathAbs(szCwd, szCwdNorm, sizeof(szCwdNorm)), SUCCESS);
    EXPECT_STREQ(szCwdNorm, m_szDir);

    /* Too small, including 0. */
    EXPECT_EQ(RTPathGetCurrentDir(szCwd, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathGetCurrentDir(szCwd, 3), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathGetCurrentDirOfDrive('c', szCwd, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathGetCurrentDirOfDrive('1', szCwd, sizeof(szCwd)), ERR_INVALID_PARAMETER);

    char szDrive[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDrive(szDrive, sizeof(szDrive)), SUCCESS);
#ifdef _WIN32
    EXPECT_EQ(std::string(szDrive), std::string(szCwd, 2));
    EXPECT_EQ(RTPathGetCurrentDrive(szDrive, 2), ERR_BUFFER_OVERFLOW);

    /* A drive root keeps its separator. */
    char const szRoot[4] = {szCwd[0], ':', '\\', '\0'};
    ASSERT_EQ(RTPathSetCurrentDir(szRoot), SUCCESS);
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    EXPECT_STREQ(szCwd, szRoot);
#else
    EXPECT_STREQ(szDrive, "");
    char szD[8];
    ASSERT_EQ(RTPathGetCurrentDirOfDrive('d', szD, sizeof(szD)), SUCCESS);
    EXPECT_STREQ(szD, "d:\\");
#endif

    EXPECT_EQ(RTPathSetCurrentDir(""), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTPathSetCurrentDir(nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTPathSetCurrentDir((std::string(m_szDir) + "\\missing").c_str()), ERR_FILE_NOT_FOUND);
}

TEST_F(PathHostDirTest, Rename)
{
    std::string const sDir = m_szDir;
    touch(sDir + "\\file");
    touch(sDir + "\\file2");
    ASSERT_EQ(testMkdir(native(sDir + "\\sub").c_str()), 0);

    EXPECT_EQ(RTPathRename((sDir + "\\file").c_str(), (sDir + "\\x").c_str(), 0, 0x4000), ERR_NOT_A_DIRECTORY);
    EXPECT_EQ(RTPathRename((sDir + "\\sub").c_str(), (sDir + "\\x").c_str(), 0, 0x8000), ERR_IS_A_DIRECTORY);
    EXPECT_EQ(RTPathRename((sDir + "\\file").c_str(), (sDir + "\\file2").c_str(), 0, 0), ERR_ALREADY_EXISTS);
    EXPECT_EQ(RTPathRename((sDir + "\\file").c_str(), (sDir + "\\file2").c_str(), 2, 0), ERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathRename((sDir + "\\missing").c_str(), (sDir + "\\y").c_str(), 0, 0x8000), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTPathRename((sDir + "\\file").c_str(), (sDir + "\\file2").c_str(), RTPATHRENAME_FLAGS_REPLACE, 0x8000),
              SUCCESS);
    EXPECT_EQ(RTPathRename((sDir + "\\sub").c_str(), (sDir + "\\sub2").c_str(), 0, 0x4000), SUCCESS);
    EXPECT_EQ(RTPathRename((sDir + "\\sub2").c_str(), (sDir + "\\sub").c_str(), 0, 0), SUCCESS);
}

TEST(PathExecutableDir, FromHostThenRecorded)
{
    /* Nothing recorded by our start-up code here: asked from the host. */
    char szDir[RTPATH_MAX];
    ASSERT_EQ(RTPathExecutableDir(szDir, sizeof(szDir)), SUCCESS);
    char szExe[RTPATH_MAX];
    ASSERT_EQ(rtPathHostQueryExecutablePath(szExe, sizeof(szExe)), SUCCESS);
    size_t const cchDir = strlen(szDir);
    EXPECT_EQ(strncmp(szExe, szDir, cchDir), 0);
    EXPECT_TRUE(szExe[cchDir] == '\\' || szExe[cchDir] == '/');
    EXPECT_EQ(strpbrk(szExe + cchDir + 1, "\\/"), nullptr);

    static const struct
    {
        const char *pszExe;
        const char *pszDir;
    } s_aCases[] = {
        {"C:\\app.exe", "C:\\"},
        {"C:\\dir\\\\app.exe", "C:\\dir"},
        {"\\\\srv\\share\\app.exe", "\\\\srv\\share"},
        {"/usr/bin/app", "/usr/bin"},
    };
    for (const auto &c : s_aCases)
    {
        ASSERT_EQ(rtPathSetExecutablePath(c.pszExe), SUCCESS);
        ASSERT_EQ(RTPathExecutableDir(szDir, sizeof(szDir)), SUCCESS) << c.pszExe;
        EXPECT_STREQ(szDir, c.pszDir);
        EXPECT_EQ(RTPathExecutableDir(szDir, strlen(c.pszDir)), ERR_BUFFER_OVERFLOW) << c.pszExe;
    }
}

} // namespace
