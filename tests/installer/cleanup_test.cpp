/** @file
 * Tests of the cleanup records and the cleanup pass on real files (the
 * retry schedule against another process's handles is exercised end to
 * end, tests/e2e).
 */
#include <zolt/dir.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <gtest/gtest.h>
#include <string>

#include "capture.h"
#include "cleanup.h"
#include "cmdline.h"

namespace
{

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
    }
    void TearDown() override
    {
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
