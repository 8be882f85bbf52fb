/* File I/O on the POSIX host: create modes, inode identity, no sharing,
   and the full-disk decision through the system-call table. */
#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>

#include <errno.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "internal/fileio.h"
#include "r3/fstestdir.h"

namespace
{
/* Replaces the system-call table for one scope. */
struct SysCallScope
{
    explicit SysCallScope(const RTFILESYSCALLS *pSysCalls) : pOld(rtFileSetSysCalls(pSysCalls))
    {
    }
    ~SysCallScope()
    {
        rtFileSetSysCalls(pOld);
    }
    const RTFILESYSCALLS *pOld;
};

/* The fake volume: its statfs magic, and how writes behave. */
long g_lFsMagic;
enum
{
    kWriteFull,   /* every write fails with ENOSPC */
    kWriteHalf,   /* every write takes half (at least one byte) */
    kWriteNothing /* every write returns 0 */
} g_enmWrite;
size_t g_cWrites;

ssize_t fakeWrite(int fd, const void *pv, size_t cb)
{
    g_cWrites++;
    switch (g_enmWrite)
    {
        case kWriteFull: errno = ENOSPC; return -1;
        case kWriteHalf: return write(fd, pv, cb > 1 ? cb / 2 : cb);
        default: return 0;
    }
}

long fakeQueryFsMagic(int)
{
    return g_lFsMagic;
}

const RTFILESYSCALLS g_FakeSysCalls = {read, fakeWrite, fakeQueryFsMagic};

class FilePosix : public FsTestDir
{
  protected:
    RTFILE create(const char *pszName, uint64_t fOpen = 0x1C000322)
    {
        RTFILE hFile = NIL_RTFILE;
        EXPECT_EQ(RTFileOpen(&hFile, path(pszName).c_str(), fOpen), SUCCESS);
        return hFile;
    }
    mode_t modeOf(const char *pszName)
    {
        struct stat St;
        EXPECT_EQ(stat(hostPath(path(pszName)).c_str(), &St), 0);
        return St.st_mode & 07777;
    }
};

TEST_F(FilePosix, CreateModeAndIdentity)
{
    mode_t const fOldMask = umask(022);
    RTFILE hFile = create("a"); /* 0700 */
    EXPECT_EQ(modeOf("a"), 0700u);
    RTFSOBJREC Info;
    ASSERT_EQ(RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX), SUCCESS);
    struct stat St;
    ASSERT_EQ(fstat((int)hFile, &St), 0);
    EXPECT_EQ(Info.Attr.u.Unix.INodeId, (uint64_t)St.st_ino);
    EXPECT_EQ(Info.Attr.u.Unix.INodeIdDevice, (uint32_t)St.st_dev);
    EXPECT_EQ(Info.Attr.u.Unix.uid, (uint32_t)getuid());
    EXPECT_EQ(Info.Attr.fMode & RTFS_UNIX_MASK, (RTFMODE)(S_IFREG | 0700));
    ASSERT_EQ(RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX_OWNER), SUCCESS);
    EXPECT_EQ(Info.Attr.u.UnixOwner.id, (uint32_t)getuid());
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);

    EXPECT_EQ(RTFileClose(create("b", 0x1B600322)), SUCCESS); /* 0666 less the umask */
    EXPECT_EQ(modeOf("b"), 0644u);
    EXPECT_EQ(RTFileClose(create("c", 0x00000322)), SUCCESS); /* no mode: 0666 less the umask */
    EXPECT_EQ(modeOf("c"), 0644u);
    ASSERT_EQ(RTDirCreate(path("d").c_str(), 0750, 0), SUCCESS);
    EXPECT_EQ(modeOf("d"), 0750u);

    /* A read-only file shows the read-only attribute. */
    ASSERT_EQ(chmod(hostPath(path("b")).c_str(), 0444), 0);
    ASSERT_EQ(RTPathQueryInfo(path("b").c_str(), &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), SUCCESS);
    EXPECT_TRUE(Info.Attr.fMode & RTFS_DOS_READONLY);
    umask(fOldMask);
}

TEST_F(FilePosix, SharingIsNotEnforced)
{
    /* Documented: a write handle that denies writing does not stop another
       writer here. */
    RTFILE hFile = create("a");
    RTFILE hOther = NIL_RTFILE;
    EXPECT_EQ(RTFileOpen(&hOther, path("a").c_str(), 0x1C000322), SUCCESS);
    EXPECT_EQ(RTFileClose(hOther), SUCCESS);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(FilePosix, DiskFullOrFileTooBig)
{
    struct Case
    {
        long lFsMagic;
        uint64_t offWrite;
        size_t cbWrite;
        int rc;
    };
    uint64_t const _4G = UINT64_C(1) << 32;
    static const Case s_aCases[] = {
        {0x4d44, UINT64_C(5) << 30, 100, ERR_FILE_TOO_BIG},  /* FAT32 at 5 GiB */
        {0x4d44, UINT64_C(1) << 30, 100, ERR_DISK_FULL},     /* FAT32 at 1 GiB */
        {0x4d44, _4G - 100, 100, ERR_FILE_TOO_BIG},          /* ends exactly at the limit */
        {0x4d44, _4G - 101, 100, ERR_DISK_FULL},             /* one byte short of it */
        {0x5346544e, UINT64_C(5) << 30, 100, ERR_DISK_FULL}, /* NTFS: no limit */
        {0x5346544e, UINT64_C(1) << 30, 100, ERR_DISK_FULL},
        {0x01021994, UINT64_C(5) << 30, 100, ERR_DISK_FULL}, /* tmpfs: not in the list */
    };
    RTFILE hFile = create("big");
    SysCallScope Scope(&g_FakeSysCalls);
    g_enmWrite = kWriteFull;
    for (const Case &c : s_aCases)
    {
        g_lFsMagic = c.lFsMagic;
        ASSERT_EQ(RTFileSeek(hFile, (int64_t)c.offWrite, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
        char ab[100] = {0};
        EXPECT_EQ(RTFileWrite(hFile, ab, c.cbWrite, nullptr), c.rc) << std::hex << c.lFsMagic << " at " << c.offWrite;
        size_t cbWritten = 77;
        EXPECT_EQ(RTFileWrite(hFile, ab, c.cbWrite, &cbWritten), c.rc) << "with a count";
        EXPECT_EQ(cbWritten, 77u);
    }
    RTFSTYPE enmType;
    g_lFsMagic = 0x4d44;
    EXPECT_EQ(RTFileQueryFsType(hFile, &enmType), SUCCESS);
    EXPECT_EQ(enmType, RTFSTYPE_FAT);
    g_lFsMagic = -1;
    errno = EIO;
    EXPECT_EQ(RTFileQueryFsType(hFile, &enmType), ERR_IO_GEN_FAILURE);
    EXPECT_EQ(enmType, RTFSTYPE_UNKNOWN);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(FilePosix, ShortWrites)
{
    RTFILE hFile = create("short");
    SysCallScope Scope(&g_FakeSysCalls);
    char ab[64];
    memset(ab, 'q', sizeof(ab));

    /* With a count the first partial write ends the call... */
    g_enmWrite = kWriteHalf;
    g_cWrites = 0;
    size_t cbWritten = 0;
    EXPECT_EQ(RTFileWrite(hFile, ab, 64, &cbWritten), SUCCESS);
    EXPECT_EQ(cbWritten, 32u);
    EXPECT_EQ(g_cWrites, 1u);
    /* ...without one the rest follows: 32 + 16 + 8 + 4 + 2 + 1 + 1. */
    g_cWrites = 0;
    EXPECT_EQ(RTFileWrite(hFile, ab, 64, nullptr), SUCCESS);
    EXPECT_EQ(g_cWrites, 7u);
    uint64_t cb;
    EXPECT_EQ(RTFileGetSize(hFile, &cb), SUCCESS);
    EXPECT_EQ(cb, 96u);

    g_enmWrite = kWriteNothing;
    EXPECT_EQ(RTFileWrite(hFile, ab, 64, nullptr), ERR_WRITE_ERROR);
    cbWritten = 77;
    EXPECT_EQ(RTFileWrite(hFile, ab, 64, &cbWritten), SUCCESS);
    EXPECT_EQ(cbWritten, 0u);
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}
} // namespace
