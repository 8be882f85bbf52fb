/* File I/O contracts that hold on every host: flag validation, actions,
   transfers, information, delete and rename. Runs natively and under Wine. */
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "r3/fstestdir.h"

namespace
{
class File : public FsTestDir
{
  protected:
    /* Creates @a strName with @a cb bytes of a counting pattern. */
    std::string makeFile(const char *pszName, size_t cb)
    {
        std::string const strPath = path(pszName);
        RTFILE hFile;
        EXPECT_EQ(RTFileOpen(&hFile, strPath.c_str(), 0x1C000322), SUCCESS) << strPath;
        std::string strData(cb, '\0');
        for (size_t i = 0; i < cb; i++)
            strData[i] = (char)i;
        EXPECT_EQ(RTFileWrite(hFile, strData.data(), cb, nullptr), SUCCESS);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        return strPath;
    }

    static uint64_t sizeOf(RTFILE hFile)
    {
        uint64_t cb = UINT64_MAX;
        EXPECT_EQ(RTFileGetSize(hFile, &cb), SUCCESS);
        return cb;
    }
};

TEST_F(File, InvalidFlagWordsChangeNothing)
{
    static const uint64_t s_afOpen[] = {
        0x00000300,                                  /* neither read, write nor attribute access */
        0x00000309,                                  /* bit 3 */
        0x00004301,                                  /* bit 14 */
        0x80000301,                                  /* bit 31 */
        0x00001301,                                  /* truncate without write */
        0x00000401,                                  /* actions 0x400-0x600 */
        0x00000502, 0x00000603,          0x00000F01, /* RTFOPEN_OPEN | RTFOPEN_NOT_CONTENT_INDEXED */
        0x00000801,                                  /* the same through the action default */
        0x00000391,                                  /* sharing 0x90 */
        0x000003F1, 0xFFFFFFFF80000301u,             /* high bits are cleared, bit 31 is not */
    };
    std::string const strPath = path("never-created");
    for (uint64_t fOpen : s_afOpen)
    {
        RTFILE hFile = (RTFILE)0x1234;
        RTFILEACTION enmAction = (RTFILEACTION)77;
        EXPECT_EQ(RTFileOpenEx(strPath.c_str(), fOpen, &hFile, &enmAction), ERR_INVALID_PARAMETER) << std::hex << fOpen;
        EXPECT_EQ(hFile, NIL_RTFILE) << std::hex << fOpen;
        EXPECT_EQ(enmAction, RTFILEACTION_INVALID) << std::hex << fOpen;
    }
    RTFSOBJREC Info;
    EXPECT_EQ(RTPathQueryInfo(strPath.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), ERR_FILE_NOT_FOUND);

    RTFILE hFile = (RTFILE)0x1234;
    EXPECT_EQ(RTFileOpen(&hFile, nullptr, RTFOPEN_READ), ERR_INVALID_PARAMETER);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_EQ(RTFileOpen(nullptr, strPath.c_str(), RTFOPEN_READ), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileOpen((RTFILE *)(uintptr_t)0x10, strPath.c_str(), RTFOPEN_READ), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileOpenEx(strPath.c_str(), RTFOPEN_READ, &hFile, (RTFILEACTION *)(uintptr_t)0x10),
              ERR_INVALID_PARAMETER);
}

TEST_F(File, DefaultsAndHighBits)
{
    /* High 32 bits are ignored; sharing 0 and action 0 take their defaults
       (deny none, open existing). */
    std::string const strPath = makeFile("f", 10);
    RTFILE hFile;
    RTFILEACTION enmAction;
    ASSERT_EQ(RTFileOpenEx(strPath.c_str(), UINT64_C(0xFFFFFFFF00000001), &hFile, &enmAction), SUCCESS);
    EXPECT_EQ(enmAction, RTFILEACTION_OPENED);
    RTFILE hFile2;
    EXPECT_EQ(RTFileOpen(&hFile2, strPath.c_str(), RTFOPEN_READWRITE), SUCCESS) << "deny none by default";
    EXPECT_EQ(RTFileClose(hFile2), SUCCESS);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
    /* Attribute access alone is a valid access. */
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), RTFOPEN_ACCESS_ATTR_READ | RTFOPEN_OPEN), SUCCESS);
    RTFSOBJREC Info;
    EXPECT_EQ(RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_NOTHING), SUCCESS);
    EXPECT_EQ(Info.cbObject, 10);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(File, ActionsTaken)
{
    struct Step
    {
        uint64_t fOpen;
        int rc;
        RTFILEACTION enmAction;
        int64_t cbAfter; /* -1: no file */
    };
    /* Each step runs on the state the previous ones left; the file starts
       missing and every successful step writes 5 bytes before closing. */
    static const Step s_aSteps[] = {
        {0x721, ERR_FILE_NOT_FOUND, RTFILEACTION_INVALID, -1},
        {0x1C000322, SUCCESS, RTFILEACTION_CREATED, 5},
        {0x1C000322, SUCCESS, RTFILEACTION_REPLACED, 5},
        {0x1C000202, ERR_ALREADY_EXISTS, RTFILEACTION_ALREADY_EXISTS, 5},
        {0x721, SUCCESS, RTFILEACTION_OPENED, 5},
        {0x182, SUCCESS, RTFILEACTION_OPENED, 5},     /* open-create, existing: appends at 0 */
        {0x1182, SUCCESS, RTFILEACTION_TRUNCATED, 5}, /* open-create plus truncate */
        {0x1782, SUCCESS, RTFILEACTION_TRUNCATED, 5}, /* open plus truncate */
        {0x786, SUCCESS, RTFILEACTION_OPENED, 10},    /* append */
    };
    std::string const strPath = path("actions");
    for (size_t i = 0; i < RT_ELEMENTS(s_aSteps); i++)
    {
        const Step &s = s_aSteps[i];
        RTFILE hFile = (RTFILE)0x1234;
        RTFILEACTION enmAction = (RTFILEACTION)77;
        ASSERT_EQ(RTFileOpenEx(strPath.c_str(), s.fOpen, &hFile, &enmAction), s.rc) << "step " << i;
        EXPECT_EQ(enmAction, s.enmAction) << "step " << i;
        if (RT_SUCCESS(s.rc))
        {
            if (s.fOpen & RTFOPEN_WRITE)
            {
                EXPECT_EQ(RTFileWrite(hFile, "12345", 5, nullptr), SUCCESS) << "step " << i;
            }
            EXPECT_EQ(sizeOf(hFile), (uint64_t)s.cbAfter) << "step " << i;
            EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        }
        else
            EXPECT_EQ(hFile, NIL_RTFILE) << "step " << i;
    }

    /* A new file with open-create. */
    RTFILEACTION enmAction;
    RTFILE hFile;
    ASSERT_EQ(RTFileOpenEx(path("oc").c_str(), 0x182, &hFile, &enmAction), SUCCESS);
    EXPECT_EQ(enmAction, RTFILEACTION_CREATED);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
    /* A missing directory on the way. */
    EXPECT_EQ(RTFileOpen(&hFile, path("no-dir\\x").c_str(), 0x1C000322), ERR_PATH_NOT_FOUND);
}

TEST_F(File, ReadAndWriteWholeOrPartial)
{
    std::string const strPath = makeFile("rw", 100);
    RTFILE hFile;
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), RTFOPEN_READWRITE | RTFOPEN_OPEN | RTFOPEN_DENY_NONE), SUCCESS);

    /* 100 bytes asked for, 40 before the end. */
    uint8_t ab[100];
    uint64_t off = 0;
    ASSERT_EQ(RTFileSeek(hFile, -40, RTFILE_SEEK_END, &off), SUCCESS);
    EXPECT_EQ(off, 60u);
    size_t cbRead = 0;
    EXPECT_EQ(RTFileRead(hFile, ab, sizeof(ab), &cbRead), SUCCESS);
    EXPECT_EQ(cbRead, 40u);
    EXPECT_EQ(ab[0], 60);
    EXPECT_EQ(ab[39], 99);
    ASSERT_EQ(RTFileSeek(hFile, 60, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
    EXPECT_EQ(RTFileRead(hFile, ab, sizeof(ab), nullptr), ERR_EOF);

    /* Size 0: reads report 0, writes leave the count alone. */
    cbRead = 77;
    EXPECT_EQ(RTFileRead(hFile, ab, 0, &cbRead), SUCCESS);
    EXPECT_EQ(cbRead, 0u);
    size_t cbWritten = 77;
    EXPECT_EQ(RTFileWrite(hFile, ab, 0, &cbWritten), SUCCESS);
    EXPECT_EQ(cbWritten, 77u);

    /* Whole read after a seek from the current position. */
    ASSERT_EQ(RTFileSeek(hFile, 0, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
    ASSERT_EQ(RTFileSeek(hFile, 10, RTFILE_SEEK_CURRENT, &off), SUCCESS);
    EXPECT_EQ(off, 10u);
    EXPECT_EQ(RTFileRead(hFile, ab, 90, nullptr), SUCCESS);
    EXPECT_EQ(ab[89], 99);

    /* Writing past the end grows the file; the count is reported. */
    ASSERT_EQ(RTFileSeek(hFile, 200, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
    EXPECT_EQ(RTFileWrite(hFile, "xyz", 3, &cbWritten), SUCCESS);
    EXPECT_EQ(cbWritten, 3u);
    EXPECT_EQ(sizeOf(hFile), 203u);
    EXPECT_EQ(RTFileFlush(hFile), SUCCESS);

    EXPECT_EQ(RTFileSeek(hFile, 0, 3, &off), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(File, AppendWritesAtTheEnd)
{
    std::string const strPath = makeFile("append", 10);
    RTFILE hFile;
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), RTFOPEN_WRITE | RTFOPEN_APPEND | RTFOPEN_OPEN), SUCCESS);
    ASSERT_EQ(RTFileSeek(hFile, 0, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
    EXPECT_EQ(RTFileWrite(hFile, "ab", 2, nullptr), SUCCESS);
    EXPECT_EQ(sizeOf(hFile), 12u);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(File, QueryInfoGivesSizeTimesModeAndIdentity)
{
    /* The launcher's pattern: create for writing, write, then open again
       for reading and compare size and identity. */
    std::string const strPath = path("info.bin");
    RTFILE hWrite;
    ASSERT_EQ(RTFileOpen(&hWrite, strPath.c_str(), 0x1C000322), SUCCESS);
    char abData[3000];
    memset(abData, 'z', sizeof(abData));
    ASSERT_EQ(RTFileWrite(hWrite, abData, sizeof(abData), nullptr), SUCCESS);

    RTTIMESPEC Now;
    RTTimeNow(&Now);
    RTFSOBJREC Info1, Info2;
    ASSERT_EQ(RTFileQueryInfo(hWrite, &Info1, RTFSOBJATTRADD_UNIX), SUCCESS);
    EXPECT_EQ(Info1.cbObject, 3000);
    EXPECT_GE(Info1.cbAllocated, 0);
    EXPECT_TRUE(RTFS_IS_FILE(Info1.Attr.fMode)) << std::hex << Info1.Attr.fMode;
    EXPECT_FALSE(Info1.Attr.fMode & RTFS_DOS_DIRECTORY);
    EXPECT_EQ(Info1.Attr.enmAdditional, (uint32_t)RTFSOBJATTRADD_UNIX);
    EXPECT_GE(Info1.Attr.u.Unix.cHardlinks, 1u);
    EXPECT_NE(Info1.Attr.u.Unix.INodeId, 0u);
    int64_t const iAge =
        Now.i64NanosecondsRelativeToUnixEpoch - Info1.ModificationTime.i64NanosecondsRelativeToUnixEpoch;
    EXPECT_LT(iAge < 0 ? -iAge : iAge, INT64_C(600) * 1000000000) << "modified just now";

    RTFILE hRead;
    ASSERT_EQ(RTFileOpen(&hRead, strPath.c_str(), 0x1C000781), SUCCESS);
    ASSERT_EQ(RTFileQueryInfo(hRead, &Info2, RTFSOBJATTRADD_UNIX), SUCCESS);
    EXPECT_EQ(Info2.cbObject, 3000);
    EXPECT_EQ(Info2.Attr.u.Unix.INodeId, Info1.Attr.u.Unix.INodeId);
    EXPECT_EQ(Info2.Attr.u.Unix.INodeIdDevice, Info1.Attr.u.Unix.INodeIdDevice);
    EXPECT_EQ(RTFileClose(hRead), SUCCESS);
    EXPECT_EQ(RTFileClose(hWrite), SUCCESS);

    /* Another file has another identity. */
    std::string const strOther = makeFile("other.bin", 3000);
    ASSERT_EQ(RTFileOpen(&hRead, strOther.c_str(), 0x721), SUCCESS);
    ASSERT_EQ(RTFileQueryInfo(hRead, &Info2, RTFSOBJATTRADD_UNIX), SUCCESS);
    EXPECT_NE(Info2.Attr.u.Unix.INodeId, Info1.Attr.u.Unix.INodeId);

    /* Every kind fills its part; bad kinds and records change nothing. */
    for (int iKind = RTFSOBJATTRADD_NOTHING; iKind <= RTFSOBJATTRADD_EASIZE; iKind++)
    {
        ASSERT_EQ(RTFileQueryInfo(hRead, &Info2, (RTFSOBJATTRADD)iKind), SUCCESS) << iKind;
        EXPECT_EQ(Info2.Attr.enmAdditional, (uint32_t)iKind);
        EXPECT_EQ(Info2.cbObject, 3000) << iKind;
    }
    EXPECT_EQ(Info2.Attr.u.EASize.cb, 0u);
    memset(&Info2, 0xCC, sizeof(Info2));
    EXPECT_EQ(RTFileQueryInfo(hRead, &Info2, (RTFSOBJATTRADD)0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(hRead, &Info2, (RTFSOBJATTRADD)6), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(NIL_RTFILE, &Info2, RTFSOBJATTRADD_NOTHING), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileQueryInfo(hRead, nullptr, RTFSOBJATTRADD_NOTHING), ERR_INVALID_PARAMETER);
    EXPECT_EQ(Info2.cbObject, (int64_t)0xCCCCCCCCCCCCCCCCu) << "untouched";
    EXPECT_EQ(RTFileClose(hRead), SUCCESS);
}

TEST_F(File, HandleValidity)
{
    EXPECT_FALSE(RTFileIsValid(NIL_RTFILE));
    EXPECT_FALSE(RTFileIsValid((RTFILE)0x1234568));
    EXPECT_EQ(RTFileClose(NIL_RTFILE), SUCCESS);

    std::string const strPath = makeFile("valid", 1);
    RTFILE hFile;
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), 0x721), SUCCESS);
    EXPECT_TRUE(RTFileIsValid(hFile));
    RTFSTYPE enmType = (RTFSTYPE)99;
    EXPECT_EQ(RTFileQueryFsType(hFile, &enmType), SUCCESS);
    EXPECT_NE(enmType, (RTFSTYPE)99);
    EXPECT_EQ(RTFileQueryFsType(hFile, nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTFileGetSize(hFile, nullptr), ERR_INVALID_POINTER);

    RTFILE hCopy = (RTFILE)0x1234;
    EXPECT_EQ(RTFileFromNative(&hCopy, (uintptr_t)hFile), SUCCESS);
    EXPECT_EQ(hCopy, hFile);
    EXPECT_EQ(RTFileFromNative(&hCopy, ~(uintptr_t)0), ERR_INVALID_HANDLE);
    EXPECT_EQ(hCopy, NIL_RTFILE) << "stored all the same";
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(File, DeleteNeverFollowsALink)
{
    std::string const strFile = makeFile("victim", 4);
    std::string const strDir = path("dir");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    std::string const strTargetFile = makeFile("target", 4);
    std::string const strLinkToFile = path("link-to-file");
    std::string const strLinkToDir = path("link-to-dir");
    ASSERT_TRUE(makeSymlink(strTargetFile, strLinkToFile));
    ASSERT_TRUE(makeSymlink(strDir, strLinkToDir));

    EXPECT_EQ(RTFileDelete(strDir.c_str()), ERR_IS_A_DIRECTORY);
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(RTFileDelete(strLinkToFile.c_str()), ERR_IS_A_SYMLINK);
    EXPECT_EQ(RTFileDelete(strLinkToDir.c_str()), ERR_IS_A_SYMLINK);
    RTFSOBJREC Info;
    EXPECT_EQ(RTPathQueryInfo(strLinkToFile.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), SUCCESS)
        << "the link is still there";
    EXPECT_EQ(RTPathQueryInfo(strTargetFile.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), SUCCESS);
    EXPECT_EQ(Info.cbObject, 4) << "and so is its target";
    EXPECT_TRUE(RTDirExists(strLinkToDir.c_str()));

    EXPECT_EQ(RTFileDelete(strFile.c_str()), SUCCESS);
    EXPECT_EQ(RTFileDelete(strFile.c_str()), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTFileDelete(path("no-dir\\x").c_str()), ERR_PATH_NOT_FOUND);
}

TEST_F(File, Rename)
{
    std::string const strA = makeFile("a", 1);
    std::string const strB = makeFile("b", 2);
    std::string const strC = path("c");
    EXPECT_EQ(RTFileRename(strA.c_str(), strB.c_str(), 0), ERR_ALREADY_EXISTS);
    EXPECT_EQ(RTFileRename(strA.c_str(), strC.c_str(), 0), SUCCESS);
    EXPECT_EQ(RTFileRename(strC.c_str(), strB.c_str(), RTFILEMOVE_FLAGS_REPLACE), SUCCESS);
    RTFSOBJREC Info;
    ASSERT_EQ(RTPathQueryInfo(strB.c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), SUCCESS);
    EXPECT_EQ(Info.cbObject, 1);

    std::string const strDir = path("d");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    EXPECT_EQ(RTFileRename(strDir.c_str(), path("e").c_str(), 0), ERR_IS_A_DIRECTORY);
    EXPECT_EQ(RTFileRename(strB.c_str(), strC.c_str(), 2), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTFileRename(nullptr, strC.c_str(), 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTFileRename(strB.c_str(), nullptr, 0), ERR_INVALID_POINTER);
}

TEST(FsModeFromDos, Table)
{
    struct Case
    {
        RTFMODE fDos;
        const char *pszName;
        uint32_t uTag;
        RTFMODE fHint;
        RTFMODE fExpect;
    };
    static const Case s_aCases[] = {
        {RTFS_DOS_READONLY, "SETUP.EXE", 0, 0, RTFS_DOS_READONLY | 0x816D}, /* r-xr-xr-x */
        {RTFS_DOS_DIRECTORY, nullptr, 0, 0, RTFS_DOS_DIRECTORY | 0x41FF},   /* rwxrwxrwx */
        {RTFS_DOS_DIRECTORY | RTFS_DOS_READONLY, "x", 0, 0, RTFS_DOS_DIRECTORY | RTFS_DOS_READONLY | 0x41FF},
        {0, nullptr, 0, RTFS_TYPE_DIRECTORY, RTFS_DOS_DIRECTORY | 0x41FF}, /* the hint */
        {RTFS_DOS_ARCHIVED, "a.txt", 0, 0, RTFS_DOS_ARCHIVED | 0x81B6},    /* rw-rw-rw- */
        {RTFS_DOS_ARCHIVED, "run.Cmd", 0, 0, RTFS_DOS_ARCHIVED | 0x81FF},
        {RTFS_DOS_ARCHIVED, "x.btm", 0, 0, RTFS_DOS_ARCHIVED | 0x81FF},
        {RTFS_DOS_ARCHIVED, ".exe", 0, 0, RTFS_DOS_ARCHIVED | 0x81FF}, /* 4 characters */
        {RTFS_DOS_ARCHIVED, "exe", 0, 0, RTFS_DOS_ARCHIVED | 0x81B6},
        {RTFS_DOS_ARCHIVED, "a.exex", 0, 0, RTFS_DOS_ARCHIVED | 0x81B6},
        {RTFS_DOS_NT_REPARSE_POINT, "l", 0xA000000C, 0, RTFS_DOS_NT_REPARSE_POINT | 0xA1B6}, /* symlink */
        {RTFS_DOS_NT_REPARSE_POINT, "l", 0xA0000003, 0, RTFS_DOS_NT_REPARSE_POINT | 0x81B6}, /* mount point */
        {RTFS_DOS_NT_DEVICE, nullptr, 0, 0, RTFS_DOS_NT_DEVICE | 0x81B6},
        {RTFS_DOS_ARCHIVED | 0x1FF, nullptr, 0, 0, RTFS_DOS_ARCHIVED | 0x81B6}, /* a Unix part is dropped */
    };
    for (const Case &c : s_aCases)
        EXPECT_EQ(RTFsModeFromDos(c.fDos, c.pszName, 0, c.uTag, c.fHint), c.fExpect)
            << std::hex << c.fDos << " " << (c.pszName ? c.pszName : "(null)");
    /* The name length limits the name. */
    EXPECT_EQ(RTFsModeFromDos(0, "a.exe.txt", 5, 0, 0), 0x81FFu);
}
} // namespace
