/** @file
 * Tests of the cleanup records and the cleanup pass on real files. The
 * pass's pauses are taken by the test's pause hook (testhooks.h): the tests
 * see the schedule without waiting for it, and let go of a file between
 * two attempts (the same schedule against another process's handles is
 * exercised end to end, tests/e2e).
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture.h"
#include "cleanup.h"
#include "cmdline.h"
#include "testhooks.h"

namespace
{

/** The pauses the pass asked for, what it had reported by each, and what
 *  the test does at one (its index given). */
std::vector<RTMSINTERVAL> g_Pauses;
std::vector<std::string> g_ReportedByPause;
std::function<void(size_t iPause)> g_OnPause;
StreamCapture *g_pCapture;

void TestCleanupPause(RTMSINTERVAL cMsPause)
{
    g_ReportedByPause.push_back(Reports(g_pCapture->TakeErr()));
    g_Pauses.push_back(cMsPause);
    if (g_OnPause)
        g_OnPause(g_Pauses.size() - 1);
}

/** "a b c" for the pauses. */
std::string Schedule(const std::vector<RTMSINTERVAL> &Pauses)
{
    std::string str;
    for (RTMSINTERVAL cMs : Pauses)
        str += (str.empty() ? "" : " ") + std::to_string(cMs);
    return str;
}

/** Deletes @a strPath and everything below it (what a case left).
 *  @returns the names that were in it, sorted, blank-separated. */
std::string RemoveTree(const std::string &strPath)
{
    std::vector<std::string> Names;
    WIN32_FIND_DATAA Data;
    HANDLE hFind = FindFirstFileA((strPath + "\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (!strcmp(Data.cFileName, ".") || !strcmp(Data.cFileName, ".."))
                continue;
            Names.push_back(Data.cFileName);
            std::string strChild = strPath + "\\" + Data.cFileName;
            if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                (void)RemoveTree(strChild);
            else
                DeleteFileA(strChild.c_str());
        } while (FindNextFileA(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryA(strPath.c_str());
    std::sort(Names.begin(), Names.end());
    std::string strNames;
    for (const std::string &strName : Names)
        strNames += (strNames.empty() ? "" : " ") + strName;
    return strNames;
}

class CleanupTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = true;
        InitCleanupRecords();
        char szTemp[STUB_PATH_SIZE];
        ASSERT_EQ(0, RTPathTempDir(szTemp, sizeof(szTemp)));
        ASSERT_EQ(0, RTPathAppend(szTemp, sizeof(szTemp), "cleanup-test-XXXXXXXX"));
        ASSERT_EQ(0, RTDirCreateTemp(szTemp, 0700));
        m_strDir = szTemp;
        g_Pauses.clear();
        g_ReportedByPause.clear();
        g_pCapture = &m_Capture;
        g_pfnStubCleanupPauseTestHook = TestCleanupPause;
    }
    void TearDown() override
    {
        g_pfnStubCleanupPauseTestHook = nullptr;
        g_OnPause = nullptr;
        g_pCapture = nullptr;
        FreeCleanupRecords();
        g_fSilentMode = false;
    }
    std::string Path(const char *pszName)
    {
        return m_strDir + "\\" + pszName;
    }
    /** Creates a file and registers it with its handle still open. */
    CleanupRecord *AddFile(const char *pszName, int32_t iPackage)
    {
        RTFILE hFile = NIL_RTFILE;
        EXPECT_EQ(0, RTFileOpen(&hFile, Path(pszName).c_str(), RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE));
        CleanupRecord *pRec = AddCleanupRecord(Path(pszName).c_str(), true);
        EXPECT_NE(nullptr, pRec);
        pRec->iPackage = iPackage;
        pRec->hHandle.hFile = hFile;
        return pRec;
    }
    std::string m_strDir;
    StreamCapture m_Capture;
};

TEST_F(CleanupTest, RecordsStartEmptyAndTheNewestIsFoundFirst)
{
    CleanupRecord *pDir = AddCleanupRecord(m_strDir.c_str(), false);
    ASSERT_NE(nullptr, pDir);
    EXPECT_EQ(-1, pDir->iPackage);
    EXPECT_FALSE(pDir->fIsFile);
    EXPECT_FALSE(pDir->fKeep);
    EXPECT_EQ(nullptr, pDir->hHandle.hDir);
    EXPECT_STREQ(m_strDir.c_str(), pDir->szPath);

    CleanupRecord *pOld = AddCleanupRecord("a", true);
    CleanupRecord *pNew = AddCleanupRecord("b", true);
    EXPECT_EQ(NIL_RTFILE, pOld->hHandle.hFile);
    pOld->iPackage = 2;
    pNew->iPackage = 2;
    EXPECT_EQ(pNew, FindCleanupRecord(2));
    EXPECT_EQ(pDir, FindCleanupRecord(-1));
    EXPECT_EQ(nullptr, FindCleanupRecord(0));
}

TEST_F(CleanupTest, PassClosesAndDeletesEverythingWithoutWaiting)
{
    CleanupRecord *pDir = AddCleanupRecord(m_strDir.c_str(), false);
    ASSERT_EQ(0, RTDirOpen(&pDir->hHandle.hDir, m_strDir.c_str()));
    AddFile("a.msi", 0);
    AddFile("common.cab", 2);

    /* The directory goes in the first attempt; the base directory is then
       already gone. */
    int rc = RunCleanup(m_strDir.c_str());
    EXPECT_TRUE(rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND) << rc;
    EXPECT_FALSE(RTDirExists(m_strDir.c_str()));
    EXPECT_EQ(nullptr, FindCleanupRecord(-1));
    EXPECT_EQ("", m_Capture.TakeErr());
    EXPECT_EQ("", Schedule(g_Pauses));
}

TEST_F(CleanupTest, PausesWhileSomethingStaysThenReportsOnceAndGivesUp)
{
    /* Each case works in a base directory of its own holding a recorded
       directory "sub" with a recorded package file "sub\a.msi". */
    std::string strBase;
    HANDLE hHeld = INVALID_HANDLE_VALUE;
    auto Sub = [&]() { return strBase + "\\sub"; };
    auto Package = [&]() { return Sub() + "\\a.msi"; };
    auto Foreign = [](const std::string &strPath) { std::ofstream(strPath) << "not the launcher's"; };
    /* Another program holding the package without delete sharing. */
    auto Hold = [&]() {
        hHeld = CreateFileA(Package().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(INVALID_HANDLE_VALUE, hHeld) << Package();
    };
    auto Release = [&]() {
        if (hHeld != INVALID_HANDLE_VALUE)
            CloseHandle(hHeld);
        hHeld = INVALID_HANDLE_VALUE;
    };
    size_t const NEVER = ~(size_t)0;
    struct Case
    {
        const char *pszWhat;
        std::function<void()> Prepare; /**< after the records exist, or null */
        bool fBaseDir;                 /**< the base directory is passed */
        size_t iReleaseAt;             /**< the pause at which the holder lets go */
        const char *pszPauses;         /**< the schedule, in ms */
        int rcExpected;
        std::string strReports; /**< after the last pause; "{}": the package's path */
        const char *pszLeft;    /**< left in the base directory; null: the base is gone */
        bool fPackageRecorded;  /**< the package's record stays in the list */
    } const aCases[] = {
        {"nothing in the way", nullptr, true, NEVER, "", 0, "", nullptr, false},
        {"nothing in the way, no base directory", nullptr, false, NEVER, "", 0, "", "", false},
        {"a file held throughout", Hold, true, NEVER, "100 3000 3000 3000", ERR_DIR_NOT_EMPTY,
         "shown: Failed to delete temporary file '{}': ERR_SHARING_VIOLATION\n", "sub", true},
        {"a file held throughout, no base directory", Hold, false, NEVER, "100 3000 3000 3000", 0,
         "shown: Failed to delete temporary file '{}': ERR_SHARING_VIOLATION\n", "sub", true},
        {"a file held until the first pause", Hold, true, 0, "100", 0, "", nullptr, false},
        {"a file held until the second pause", Hold, true, 1, "100 3000", 0, "", nullptr, false},
        {"a file held until the last pause", Hold, true, 3, "100 3000 3000 3000", 0, "", nullptr, false},
        {"a foreign file in a recorded directory", [&]() { Foreign(Sub() + "\\notes.txt"); }, true, NEVER,
         "100 3000 3000 3000", ERR_DIR_NOT_EMPTY, "", "sub", false},
        {"a foreign file in the base directory", [&]() { Foreign(strBase + "\\notes.txt"); }, true, NEVER,
         "100 3000 3000 3000", ERR_DIR_NOT_EMPTY, "", "notes.txt", false},
        {"a foreign file in the base directory, not passed", [&]() { Foreign(strBase + "\\notes.txt"); }, false, NEVER,
         "", 0, "", "notes.txt", false},
    };
    unsigned iCase = 0;
    for (const Case &c : aCases)
    {
        strBase = Path(("case" + std::to_string(iCase++)).c_str());
        ASSERT_EQ(0, RTDirCreate(strBase.c_str(), 0700, 0)) << c.pszWhat;
        ASSERT_EQ(0, RTDirCreate(Sub().c_str(), 0700, 0)) << c.pszWhat;
        CleanupRecord *pSub = AddCleanupRecord(Sub().c_str(), false);
        ASSERT_EQ(0, RTDirOpen(&pSub->hHandle.hDir, Sub().c_str())) << c.pszWhat;
        AddFile(("case" + std::to_string(iCase - 1) + "\\sub\\a.msi").c_str(), 0);
        if (c.Prepare)
            c.Prepare();
        g_Pauses.clear();
        g_ReportedByPause.clear();
        g_OnPause = [&](size_t iPause) {
            if (iPause == c.iReleaseAt)
                Release();
        };

        EXPECT_EQ(c.rcExpected, RunCleanup(c.fBaseDir ? strBase.c_str() : nullptr)) << c.pszWhat;
        EXPECT_EQ(c.pszPauses, Schedule(g_Pauses)) << c.pszWhat;
        /* Nothing is reported before the last attempt, which follows the
           last pause. */
        EXPECT_EQ(std::vector<std::string>(g_Pauses.size()), g_ReportedByPause) << c.pszWhat;
        std::string strReports = c.strReports;
        if (strReports.find("{}") != std::string::npos)
            strReports.replace(strReports.find("{}"), 2, Package());
        EXPECT_EQ(strReports, Reports(m_Capture.TakeErr())) << c.pszWhat;
        EXPECT_EQ(c.pszLeft != nullptr, RTDirExists(strBase.c_str())) << c.pszWhat;
        EXPECT_EQ(c.fPackageRecorded, FindCleanupRecord(0) != nullptr) << c.pszWhat;
        /* Directories are never left in the list, and the launcher's own
           handles are all closed. */
        EXPECT_EQ(nullptr, FindCleanupRecord(-1)) << c.pszWhat;
        if (CleanupRecord *pRec = FindCleanupRecord(0))
        {
            EXPECT_EQ(NIL_RTFILE, pRec->hHandle.hFile) << c.pszWhat;
        }

        g_OnPause = nullptr;
        Release();
        FreeCleanupRecords();
        std::string strLeft = RemoveTree(strBase);
        if (c.pszLeft)
        {
            EXPECT_EQ(c.pszLeft, strLeft) << c.pszWhat;
        }
    }
    EXPECT_EQ(0, RTDirRemove(m_strDir.c_str()));
}

TEST_F(CleanupTest, KeptObjectsAreClosedButStay)
{
    CleanupRecord *pDir = AddCleanupRecord(m_strDir.c_str(), false);
    pDir->fKeep = true;
    ASSERT_EQ(0, RTDirOpen(&pDir->hHandle.hDir, m_strDir.c_str()));
    CleanupRecord *pKept = AddFile("user.txt", -1);
    pKept->fKeep = true;
    AddFile("a.msi", 0);

    EXPECT_EQ(0, RunCleanup(nullptr));
    EXPECT_TRUE(RTDirExists(m_strDir.c_str()));
    /* Closed: the file can be deleted now, which an open handle of ours
       without delete sharing would refuse. */
    EXPECT_EQ(0, RTFileDelete(Path("user.txt").c_str()));
    EXPECT_EQ(ERR_FILE_NOT_FOUND, RTFileDelete(Path("a.msi").c_str()));
    EXPECT_EQ(0, RTDirRemove(m_strDir.c_str()));
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(CleanupTest, ObjectsAlreadyGoneAreNoError)
{
    AddCleanupRecord(Path("never-created.msi").c_str(), true);
    AddCleanupRecord(Path("no-such-dir").c_str(), false);
    EXPECT_EQ(0, RunCleanup(nullptr));
    EXPECT_EQ(nullptr, FindCleanupRecord(-1));
    EXPECT_EQ("", m_Capture.TakeErr());
    EXPECT_EQ(0, RTDirRemove(m_strDir.c_str()));
}

TEST_F(CleanupTest, FreeingTouchesNothing)
{
    CleanupRecord *pRec = AddFile("a.msi", 0);
    RTFILE hFile = pRec->hHandle.hFile;
    FreeCleanupRecords();
    EXPECT_EQ(nullptr, FindCleanupRecord(0));
    EXPECT_TRUE(RTFileIsValid(hFile));
    EXPECT_EQ(0, RTFileClose(hFile));
    EXPECT_EQ(0, RTFileDelete(Path("a.msi").c_str()));
    EXPECT_EQ(0, RTDirRemove(m_strDir.c_str()));
}

} // namespace
