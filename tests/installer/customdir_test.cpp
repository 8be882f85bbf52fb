/** @file
 * Tests of the custom directory copy with the platform's shell copy: a
 * ".custom" beside this test executable (made and removed by the tests)
 * and destinations in a temporary directory. The launcher's own runs are in
 * tests/e2e.
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/path.h>

#include <shellapi.h>

#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "capture.h"
#include "cleanup.h"
#include "cmdline.h"
#include "customdir.h"

namespace
{

std::string ExeDir()
{
    char sz[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, sz, MAX_PATH);
    std::string str(sz, cch < MAX_PATH ? cch : 0);
    return str.substr(0, str.find_last_of("\\/"));
}

void WriteFile(const std::string &strPath, const std::string &strData)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << strPath;
    DWORD cb = 0;
    ::WriteFile(h, strData.data(), (DWORD)strData.size(), &cb, NULL);
    CloseHandle(h);
}

std::string ReadFile(const std::string &strPath)
{
    std::string strData;
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char ab[256];
    DWORD cb = 0;
    while (::ReadFile(h, ab, sizeof(ab), &cb, NULL) && cb)
        strData.append(ab, cb);
    CloseHandle(h);
    return strData;
}

/** Removes a tree (the shell's delete: what the test made is small). */
void RemoveTree(const std::string &strPath)
{
    std::wstring wstr(strPath.begin(), strPath.end());
    wstr.push_back(L'\0'); /* the list's second terminator */
    SHFILEOPSTRUCTW Op = {};
    Op.wFunc = FO_DELETE;
    Op.pFrom = wstr.c_str();
    Op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&Op);
}

/** The one runtime error message in @a strErr from "error: " on (the
 *  program name before it is the test binary's). */
std::string ErrorMessageOf(const std::string &strErr)
{
    size_t off = strErr.find("error: ");
    return off == std::string::npos ? "<none>: " + strErr : strErr.substr(off);
}

class CustomDirTest : public ::testing::Test
{
  protected:
    /** The runtime as the launcher sets it up: system libraries come from
     *  the system directory only. */
    static void SetUpTestSuite()
    {
        ASSERT_EQ(0, RTR3InitForExe(0, nullptr, RTR3INIT_F_SYSTEM32_DLLS));
    }
    void SetUp() override
    {
        g_fSilentMode = true;
        InitCleanupRecords();
        m_strSource = ExeDir() + "\\.custom";
        RemoveTree(m_strSource);
        char szTemp[STUB_PATH_SIZE];
        ASSERT_EQ(0, RTPathTempDir(szTemp, sizeof(szTemp)));
        ASSERT_EQ(0, RTPathAppend(szTemp, sizeof(szTemp), "customdir-test-XXXXXXXX"));
        ASSERT_EQ(0, RTDirCreateTemp(szTemp, 0700));
        m_strDest = szTemp;
    }
    void TearDown() override
    {
        CleanupRecord *pRec;
        while ((pRec = FindCleanupRecord(-1)) != nullptr && pRec->hHandle.hDir)
        {
            EXPECT_EQ(0, RTDirClose(pRec->hHandle.hDir));
            pRec->hHandle.hDir = NULL;
        }
        FreeCleanupRecords();
        RemoveTree(m_strSource);
        RemoveTree(m_strDest);
        g_fSilentMode = false;
    }
    /** A source tree of two levels. */
    void MakeSourceTree()
    {
        ASSERT_EQ(0, RTDirCreate(m_strSource.c_str(), 0700, 0));
        ASSERT_EQ(0, RTDirCreate((m_strSource + "\\sub dir").c_str(), 0700, 0));
        WriteFile(m_strSource + "\\settings.ini", "colour=blue\n");
        WriteFile(m_strSource + "\\sub dir\\deep.txt", "deep\n");
    }
    std::string m_strSource;
    std::string m_strDest;
    StreamCapture m_Capture;
};

TEST_F(CustomDirTest, TreeIsCopiedAndTheCopyRegisteredWithAnOpenHandle)
{
    MakeSourceTree();
    EXPECT_EQ(0, CopyCustomDirectory(m_strDest.c_str()));
    EXPECT_EQ("colour=blue\n", ReadFile(m_strDest + "\\.custom\\settings.ini"));
    EXPECT_EQ("deep\n", ReadFile(m_strDest + "\\.custom\\sub dir\\deep.txt"));

    CleanupRecord *pRec = FindCleanupRecord(-1);
    ASSERT_NE(nullptr, pRec);
    EXPECT_FALSE(pRec->fIsFile);
    EXPECT_FALSE(pRec->fKeep);
    EXPECT_EQ(m_strDest + "\\.custom", pRec->szPath);
    EXPECT_TRUE(pRec->hHandle.hDir && RTDirIsValid(pRec->hHandle.hDir));
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(CustomDirTest, NoDirectoryMeansNothingToCopy)
{
    /* None at all, and a file of that name. */
    for (bool fFile : {false, true})
    {
        if (fFile)
            WriteFile(m_strSource, "not a directory");
        EXPECT_EQ(0, CopyCustomDirectory(m_strDest.c_str())) << fFile;
        EXPECT_EQ(nullptr, FindCleanupRecord(-1)) << fFile;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((m_strDest + "\\.custom").c_str())) << fFile;
        EXPECT_EQ("", m_Capture.TakeErr()) << fFile;
    }
    DeleteFileA(m_strSource.c_str());
}

TEST_F(CustomDirTest, DestinationLongerThanTheShellBufferIsRefused)
{
    MakeSourceTree();
    /* 4100 units do not fit the shell's buffer with the terminator. (One
       less would reach the shell, whose copy cannot take it: Wine's shell
       overruns its own buffers with such paths, Windows' refuses them.) */
    std::string strTooLong = "C:\\" + std::string(4097, 'd');
    EXPECT_EQ(1, CopyCustomDirectory(strTooLong.c_str()));
    EXPECT_EQ("error: RTStrToUtf16Ex failed on '" + strTooLong + "': ERR_BUFFER_OVERFLOW\n",
              ErrorMessageOf(m_Capture.TakeErr()));
    EXPECT_EQ(nullptr, FindCleanupRecord(-1));
}

TEST_F(CustomDirTest, CopyToNowhereIsReported)
{
    /* Windows' shell reports the failure (shown in hexadecimal); Wine's
       claims success, and opening the copy then fails. Either way the
       run learns of it. */
    MakeSourceTree();
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("Q:\\")) << "the test needs a drive Q: that does not exist";
    EXPECT_EQ(1, CopyCustomDirectory("Q:\\no such drive"));
    std::string strErr = ErrorMessageOf(m_Capture.TakeErr());
    EXPECT_TRUE(std::regex_match(strErr, std::regex("error: (Copying the '\\.custom' dir failed: 0x[0-9a-f]+|"
                                                    "Unable to open the destination \\.custom directory: "
                                                    "ERR_PATH_NOT_FOUND)\n")))
        << strErr;
    /* Nothing there is ours: nothing is left for the cleanup pass. */
    EXPECT_EQ(nullptr, FindCleanupRecord(-1));
}

} // namespace
