/* Directories: create, remove, temporary names, existence, information by
   path and directory handles. Runs natively and under Wine. */
#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>
#include <zolt/rand.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "internal/dir.h"
#include "internal/rand.h"
#include "r3/fstestdir.h"

namespace
{
class Dir : public FsTestDir
{
  protected:
    std::string makeFile(const char *pszName)
    {
        std::string const strPath = path(pszName);
        RTFILE hFile;
        EXPECT_EQ(RTFileOpen(&hFile, strPath.c_str(), 0x1C000322), SUCCESS);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        return strPath;
    }
};

TEST_F(Dir, CreateAndRemove)
{
    std::string const strDir = path("d");
    EXPECT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), ERR_ALREADY_EXISTS);
    EXPECT_EQ(RTDirCreate(path("d\\e\\f").c_str(), 0700, 0), ERR_PATH_NOT_FOUND);
    std::string const strSub = path("d\\sub");
    EXPECT_EQ(RTDirCreate(strSub.c_str(), 0, RTDIRCREATE_KEEP_INDEXING), SUCCESS) << "mode 0: a plain directory";

    EXPECT_EQ(RTDirRemove(strDir.c_str()), ERR_DIR_NOT_EMPTY);
    EXPECT_EQ(RTDirRemove(strSub.c_str()), SUCCESS);
    EXPECT_EQ(RTDirRemove(strDir.c_str()), SUCCESS);
    EXPECT_FALSE(RTDirExists(strDir.c_str()));
    int const rc = RTDirRemove(strDir.c_str());
    EXPECT_TRUE(rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND) << rc;
}

TEST_F(Dir, CreateChecksTheMode)
{
    struct Case
    {
        RTFMODE fMode;
        int rc;
    };
    static const Case s_aCases[] = {
        {RTFS_TYPE_FILE | 0700 | RTFS_DOS_DIRECTORY, ERR_INVALID_FILE_MODE},
        {RTFS_TYPE_SYMLINK | 0700 | RTFS_DOS_DIRECTORY, ERR_INVALID_FILE_MODE},
        {RTFS_TYPE_FILE | 0700, SUCCESS}, /* no directory attribute: nothing contradicts */
        {RTFS_TYPE_DIRECTORY | 0755, SUCCESS},
        {RTFS_DOS_DIRECTORY, SUCCESS}, /* Windows part only */
        {RTFS_DOS_READONLY, SUCCESS},
        {0750 | RTFS_DOS_DIRECTORY, SUCCESS},
    };
    int i = 0;
    for (const Case &c : s_aCases)
    {
        std::string const strDir = path(std::to_string(i++).c_str());
        EXPECT_EQ(RTDirCreate(strDir.c_str(), c.fMode, 0), c.rc) << std::hex << c.fMode;
        EXPECT_EQ(RTDirExists(strDir.c_str()), RT_SUCCESS(c.rc)) << std::hex << c.fMode;
    }
}

/* The shared generator's next draws, computed independently: each step of
   the minimal-standard generator, halved, modulo 36. */
std::string expectedName(size_t cch)
{
    char sz[RTRAND_PARKMILLER_STATE_SIZE];
    size_t cb = sizeof(sz);
    EXPECT_EQ(RTRandAdvSaveState(rtRandShared(), sz, &cb), SUCCESS);
    uint32_t uSeed = (uint32_t)strtoul(sz + 3, nullptr, 16);
    std::string strName(cch, '?');
    for (size_t i = cch; i-- > 0;)
    {
        uSeed = (uint32_t)((uint64_t)(uSeed ? uSeed : 20080806) * 16807 % 2147483647);
        strName[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[(uSeed >> 1) % 36];
    }
    return strName;
}

TEST_F(Dir, CreateTempReplacesTheRunWithDrawnCharacters)
{
    struct Case
    {
        const char *pszName; /* relative to the test directory */
        size_t offRun, cchRun;
    };
    static const Case s_aCases[] = {
        {"XXXXXXXXXXXXXXXXXXXXXXXX", 0, 24}, /* the launcher's template */
        {"abcXXXdef", 3, 3},                 /* no trailing X: a run of three inside */
        {"aXXXXbXXXc", 6, 3},                /* the last such run */
        {"abXXXXXc", 2, 5},                  /* extended to the left */
        {"tmpX", 3, 1},                      /* a single trailing X */
        {"X.XX", 2, 2},                      /* trailing run only */
    };
    for (const Case &c : s_aCases)
    {
        std::string const strTemplate = path(c.pszName);
        char szPath[RTPATH_MAX];
        strcpy(szPath, strTemplate.c_str());
        size_t const offRun = strTemplate.size() - strlen(c.pszName) + c.offRun;
        std::string const strExpect = expectedName(c.cchRun);
        ASSERT_EQ(RTDirCreateTemp(szPath, 0700), SUCCESS) << c.pszName;
        EXPECT_EQ(std::string(szPath).substr(0, offRun), strTemplate.substr(0, offRun)) << c.pszName;
        EXPECT_EQ(std::string(szPath).substr(offRun, c.cchRun), strExpect) << c.pszName;
        EXPECT_EQ(std::string(szPath).substr(offRun + c.cchRun), strTemplate.substr(offRun + c.cchRun)) << c.pszName;
        EXPECT_TRUE(RTDirExists(szPath)) << szPath;
    }
}

TEST_F(Dir, CreateTempFailuresLeaveAnEmptyBuffer)
{
    /* No trailing 'X' and no run of three: nothing to replace. */
    static const char *const s_apszNoRun[] = {"ab.c", "XXab", "aXXbXXc", "abc"};
    for (const char *pszName : s_apszNoRun)
    {
        char szPath[RTPATH_MAX];
        strcpy(szPath, path(pszName).c_str());
        EXPECT_EQ(RTDirCreateTemp(szPath, 0700), ERR_INVALID_PARAMETER) << pszName;
        EXPECT_STREQ(szPath, "") << pszName;
    }
    char szPath[RTPATH_MAX];
    strcpy(szPath, path("no-dir\\tmpXXXX").c_str());
    EXPECT_EQ(RTDirCreateTemp(szPath, 0700), ERR_PATH_NOT_FOUND) << "not retried";
    EXPECT_STREQ(szPath, "");
    EXPECT_EQ(RTDirCreateTemp(nullptr, 0700), ERR_INVALID_POINTER);
}

TEST_F(Dir, CreateTempGivesUpAfterTenThousandCollisions)
{
    /* A one-character run has 36 names; take them all. */
    std::string const strParent = path("full");
    ASSERT_EQ(RTDirCreate(strParent.c_str(), 0700, 0), SUCCESS);
    for (const char *pch = "0123456789abcdefghijklmnopqrstuvwxyz"; *pch; pch++)
        ASSERT_EQ(RTDirCreate((strParent + "\\n" + *pch).c_str(), 0700, 0), SUCCESS);

    char szSaved[RTRAND_PARKMILLER_STATE_SIZE], szAfter[RTRAND_PARKMILLER_STATE_SIZE];
    size_t cb = sizeof(szSaved);
    ASSERT_EQ(RTRandAdvSaveState(rtRandShared(), szSaved, &cb), SUCCESS);
    char szPath[RTPATH_MAX];
    strcpy(szPath, (strParent + "\\nX").c_str());
    EXPECT_EQ(RTDirCreateTemp(szPath, 0700), ERR_ALREADY_EXISTS);
    EXPECT_STREQ(szPath, "");

    /* Exactly 10000 attempts of one draw each. */
    RTRAND hCheck;
    ASSERT_EQ(RTRandParkMillerCreate(&hCheck), SUCCESS);
    ASSERT_EQ(RTRandAdvRestoreState(hCheck, szSaved), SUCCESS);
    for (int i = 0; i < 10000; i++)
        (void)RTRandAdvU32Ex(hCheck, 0, 35);
    cb = sizeof(szSaved);
    ASSERT_EQ(RTRandAdvSaveState(hCheck, szSaved, &cb), SUCCESS);
    cb = sizeof(szAfter);
    ASSERT_EQ(RTRandAdvSaveState(rtRandShared(), szAfter, &cb), SUCCESS);
    EXPECT_STREQ(szAfter, szSaved);
    EXPECT_EQ(RTRandAdvDestroy(hCheck), SUCCESS);

    /* With one name left, collisions are retried until it comes up. */
    ASSERT_EQ(RTDirRemove((strParent + "\\nq").c_str()), SUCCESS);
    strcpy(szPath, (strParent + "\\nX").c_str());
    EXPECT_EQ(RTDirCreateTemp(szPath, 0700), SUCCESS);
    EXPECT_EQ(std::string(szPath), strParent + "\\nq");
}

TEST_F(Dir, ExistsAndQueryInfo)
{
    std::string const strDir = path("d");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    std::string const strFile = makeFile("f.txt");
    std::string const strLink = path("link");
    ASSERT_TRUE(makeSymlink(strDir, strLink));

    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_TRUE(RTDirExists((strDir + "\\").c_str()));
    EXPECT_TRUE(RTDirExists(strLink.c_str())) << "links are followed";
    EXPECT_FALSE(RTDirExists(strFile.c_str()));
    EXPECT_FALSE(RTDirExists(path("missing").c_str()));
    EXPECT_FALSE(RTDirExists(path("missing\\deeper").c_str()));
    EXPECT_FALSE(RTDirExists(""));
    EXPECT_FALSE(RTDirExists(nullptr));

    RTFSOBJREC Info;
    ASSERT_EQ(RTPathQueryInfo(strFile.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK), SUCCESS);
    EXPECT_TRUE(RTFS_IS_FILE(Info.Attr.fMode)) << std::hex << Info.Attr.fMode;
    EXPECT_EQ(Info.cbObject, 0);
    ASSERT_EQ(RTPathQueryInfo(strDir.c_str(), &Info, RTFSOBJATTRADD_UNIX, RTPATH_F_ON_LINK), SUCCESS);
    EXPECT_TRUE(RTFS_IS_DIRECTORY(Info.Attr.fMode));
    EXPECT_TRUE(Info.Attr.fMode & RTFS_DOS_DIRECTORY);
    EXPECT_NE(Info.Attr.u.Unix.INodeId, 0u);
    uint64_t const idDir = Info.Attr.u.Unix.INodeId;

    /* The link itself, or what it points to. */
    ASSERT_EQ(RTPathQueryInfo(strLink.c_str(), &Info, RTFSOBJATTRADD_UNIX, RTPATH_F_ON_LINK), SUCCESS);
    EXPECT_TRUE(RTFS_IS_SYMLINK(Info.Attr.fMode)) << std::hex << Info.Attr.fMode;
    EXPECT_TRUE(Info.Attr.fMode & RTFS_DOS_NT_REPARSE_POINT) << std::hex << Info.Attr.fMode;
    ASSERT_EQ(RTPathQueryInfo(strLink.c_str(), &Info, RTFSOBJATTRADD_UNIX, RTPATH_F_FOLLOW_LINK | RTPATH_F_NO_SYMLINKS),
              SUCCESS);
    EXPECT_TRUE(RTFS_IS_DIRECTORY(Info.Attr.fMode)) << std::hex << Info.Attr.fMode;
    EXPECT_EQ(Info.Attr.u.Unix.INodeId, idDir);

    /* Every kind; then the refusals, which leave the record alone. */
    for (int iKind = RTFSOBJATTRADD_NOTHING; iKind <= RTFSOBJATTRADD_EASIZE; iKind++)
    {
        ASSERT_EQ(RTPathQueryInfo(strFile.c_str(), &Info, (RTFSOBJATTRADD)iKind, RTPATH_F_ON_LINK), SUCCESS);
        EXPECT_EQ(Info.Attr.enmAdditional, (uint32_t)iKind);
    }
    struct Bad
    {
        const char *pszPath;
        int iKind;
        uint32_t fFlags;
        int rc;
    };
    std::string const strMissing = path("missing");
    const Bad s_aBad[] = {
        {strFile.c_str(), 0, RTPATH_F_ON_LINK, ERR_INVALID_PARAMETER},
        {strFile.c_str(), 6, RTPATH_F_ON_LINK, ERR_INVALID_PARAMETER},
        {strFile.c_str(), 1, 0, ERR_INVALID_PARAMETER},
        {strFile.c_str(), 1, RTPATH_F_ON_LINK | RTPATH_F_FOLLOW_LINK, ERR_INVALID_PARAMETER},
        {strFile.c_str(), 1, RTPATH_F_NO_SYMLINKS, ERR_INVALID_PARAMETER},
        {strFile.c_str(), 1, 8, ERR_INVALID_PARAMETER},
        {"", 1, RTPATH_F_ON_LINK, ERR_INVALID_PARAMETER},
        {nullptr, 1, RTPATH_F_ON_LINK, ERR_INVALID_POINTER},
        {strMissing.c_str(), 1, RTPATH_F_ON_LINK, ERR_FILE_NOT_FOUND},
    };
    for (const Bad &b : s_aBad)
    {
        memset(&Info, 0xCC, sizeof(Info));
        EXPECT_EQ(RTPathQueryInfo(b.pszPath, &Info, (RTFSOBJATTRADD)b.iKind, b.fFlags), b.rc)
            << (b.pszPath ? b.pszPath : "(null)") << " kind " << b.iKind << " flags " << b.fFlags;
        EXPECT_EQ(Info.cbObject, (int64_t)0xCCCCCCCCCCCCCCCCu);
    }
    EXPECT_EQ(RTPathQueryInfo(strFile.c_str(), nullptr, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), ERR_INVALID_POINTER);
}

TEST_F(Dir, OpenAndClose)
{
    std::string const strDir = path("d");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    std::string const strFile = makeFile("f.txt");
    std::string const strLink = path("link");
    ASSERT_TRUE(makeSymlink(strDir, strLink));

    RTDIR hDir = nullptr;
    ASSERT_EQ(RTDirOpen(&hDir, strDir.c_str()), SUCCESS);
    EXPECT_TRUE(RTDirIsValid(hDir));
    /* The record keeps the absolute path with a trailing separator. */
    EXPECT_EQ(std::string(hDir->pszPath).back(), '\\');
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);

    /* A closed record is refused: its magic changed before it was freed
       (checked on a copy, since the record itself is gone). */
    RTDIRREC Copy = {};
    Copy.u32Magic = RTDIR_MAGIC_DEAD;
    EXPECT_FALSE(RTDirIsValid(&Copy));
    EXPECT_EQ(RTDirClose(&Copy), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTDirClose(nullptr), ERR_INVALID_PARAMETER);
    EXPECT_FALSE(RTDirIsValid(nullptr));

    /* A filter: the directory part is opened, the last component kept. */
    ASSERT_EQ(RTDirOpenFiltered(&hDir, (strDir + "\\*.txt").c_str(), RTDIRFILTER_WINNT, 0), SUCCESS);
    EXPECT_STREQ(hDir->pszFilter, "*.txt");
    EXPECT_EQ(hDir->enmFilter, RTDIRFILTER_WINNT);
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
    ASSERT_EQ(RTDirOpenFiltered(&hDir, (strDir + "\\").c_str(), RTDIRFILTER_WINNT, RTDIR_F_NO_ABS_PATH), SUCCESS);
    EXPECT_EQ(hDir->enmFilter, RTDIRFILTER_NONE) << "no last component: no filter";
    EXPECT_EQ(std::string(hDir->pszPath), strDir + "\\");
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);

    /* Links: followed unless refused; a trailing separator follows anyway. */
    ASSERT_EQ(RTDirOpenFiltered(&hDir, strLink.c_str(), RTDIRFILTER_NONE, 0), SUCCESS);
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
    RTDIR hUntouched = (RTDIR)(uintptr_t)0x5555;
    hDir = hUntouched;
    EXPECT_EQ(RTDirOpenFiltered(&hDir, strLink.c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW), ERR_IS_A_SYMLINK);
    EXPECT_EQ(hDir, hUntouched);
    ASSERT_EQ(RTDirOpenFiltered(&hDir, (strLink + "\\").c_str(), RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW), SUCCESS);
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);

    struct Bad
    {
        const char *pszPath;
        int iFilter;
        uint32_t fFlags;
        int rc;
    };
    std::string const strMissing = path("missing");
    const Bad s_aBad[] = {
        {strDir.c_str(), RTDIRFILTER_UNIX, 0, ERR_NOT_IMPLEMENTED},
        {strDir.c_str(), RTDIRFILTER_UNIX_UPCASED, 0, ERR_NOT_IMPLEMENTED},
        {strDir.c_str(), 0, 0, ERR_INVALID_PARAMETER},
        {strDir.c_str(), 5, 0, ERR_INVALID_PARAMETER},
        {strDir.c_str(), RTDIRFILTER_NONE, 16, ERR_INVALID_FLAGS},
        {nullptr, RTDIRFILTER_NONE, 0, ERR_INVALID_POINTER},
        {strMissing.c_str(), RTDIRFILTER_NONE, 0, ERR_FILE_NOT_FOUND},
        {strFile.c_str(), RTDIRFILTER_NONE, 0, ERR_NOT_A_DIRECTORY},
    };
    for (const Bad &b : s_aBad)
    {
        hDir = hUntouched;
        EXPECT_EQ(RTDirOpenFiltered(&hDir, b.pszPath, (RTDIRFILTER)b.iFilter, b.fFlags), b.rc)
            << (b.pszPath ? b.pszPath : "(null)") << " filter " << b.iFilter << " flags " << b.fFlags;
        EXPECT_EQ(hDir, hUntouched);
    }
    EXPECT_EQ(RTDirOpen(nullptr, strDir.c_str()), ERR_INVALID_POINTER);
}
} // namespace
