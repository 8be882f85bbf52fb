/* Directories on Windows: an open handle pins its directory, a refused
   close is the close's result, NT object directories open through the raw
   NT escape, and private directories let nobody else in. */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "internal/dir.h"
#include "internal/fileio.h"
#include "r3/fstestdir.h"
#include "win-security.h"

namespace
{
class DirWin : public FsTestDir
{
};

TEST_F(DirWin, AnOpenHandlePinsTheDirectory)
{
    std::string const strDir = path("pinned");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    RTDIR hDir;
    ASSERT_EQ(RTDirOpen(&hDir, strDir.c_str()), SUCCESS);
    EXPECT_FALSE(hDir->fIsObjDir);
    int const rc = RTDirRemove(strDir.c_str());
    EXPECT_TRUE(rc == ERR_SHARING_VIOLATION || rc == ERR_ACCESS_DENIED) << rc;
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
    EXPECT_EQ(RTDirRemove(strDir.c_str()), SUCCESS);
}

/* The system refuses to close a handle protected from closing; the handle
   then stays open and keeps its directory from being removed, which the
   caller must learn to report it. */
HANDLE g_hRefusedClose = NULL;

NTSTATUS NTAPI refuseClose(HANDLE h)
{
    g_hRefusedClose = h;
    return (NTSTATUS)0xC0000008 /*STATUS_INVALID_HANDLE*/;
}

TEST_F(DirWin, RefusedCloseIsTheResultAndTheRecordGoes)
{
    std::string const strDir = path("refused");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    RTDIR hDir;
    ASSERT_EQ(RTDirOpen(&hDir, strDir.c_str()), SUCCESS);
    RTFILESYSCALLS SysCalls = g_rtFileHostSysCalls;
    SysCalls.pfnNtClose = refuseClose;
    const RTFILESYSCALLS *pOld = rtFileSetSysCalls(&SysCalls);
    int const rc = RTDirClose(hDir);
    rtFileSetSysCalls(pOld);
    EXPECT_EQ(rc, ERR_INVALID_HANDLE);
    ASSERT_NE(g_hRefusedClose, (HANDLE)NULL);
    int const rcRemove = RTDirRemove(strDir.c_str());
    EXPECT_TRUE(rcRemove == ERR_SHARING_VIOLATION || rcRemove == ERR_ACCESS_DENIED) << rcRemove;
    CloseHandle(g_hRefusedClose);
    EXPECT_EQ(RTDirRemove(strDir.c_str()), SUCCESS);
}

TEST_F(DirWin, ExistingDirectoryKeepsItsAttributes)
{
    std::string const strDir = path("d");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, RTDIRCREATE_KEEP_INDEXING), SUCCESS);
    std::wstring const wstrDir = wide(strDir);
    ASSERT_TRUE(SetFileAttributesW(wstrDir.c_str(), FILE_ATTRIBUTE_HIDDEN));
    DWORD const fBefore = GetFileAttributesW(wstrDir.c_str());
    EXPECT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), ERR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileAttributesW(wstrDir.c_str()), fBefore);
}

TEST_F(DirWin, APrivateDirectoryLetsNobodyElseIn)
{
    /* Created the plain way, a directory inherits its parent's list; a
       private one gets its own, protected from the parent's. */
    struct Case
    {
        const char *pszName;
        bool fTemp;
        uint32_t fCreate;
        std::string strGiven; /**< to CreateDirectoryW */
    } const aCases[] = {
        {"plain", false, 0, "<none>"},
        {"private", false, RTDIRCREATE_PRIVATE, winsec::privateDacl()},
        {"privateXXXXXXXX", true, RTDIRCREATE_PRIVATE, winsec::privateDacl()},
    };
    for (const Case &c : aCases)
    {
        std::string strDir = path(c.pszName);
        winsec::CreateDirectoryRecorder Recorder;
        if (c.fTemp)
        {
            char szDir[RTPATH_MAX];
            ASSERT_EQ(RTStrCopy(szDir, sizeof(szDir), strDir.c_str()), SUCCESS);
            ASSERT_EQ(RTDirCreateTempEx(szDir, 0700, c.fCreate), SUCCESS) << c.pszName;
            strDir = szDir;
        }
        else
        {
            ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, c.fCreate), SUCCESS) << c.pszName;
        }
        EXPECT_EQ(std::vector<std::string>{c.strGiven}, Recorder.dacls()) << c.pszName;
        if (!(c.fCreate & RTDIRCREATE_PRIVATE))
            continue;

        std::string const strFile = strDir + "\\inside.txt";
        HANDLE h = CreateFileA(strFile.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
        CloseHandle(h);
        std::string const strDirSddl = winsec::sddlOfPath(strDir);
        std::string const strFileSddl = winsec::sddlOfPath(strFile);
        EXPECT_EQ("", winsec::othersLetIn(strDirSddl)) << c.pszName << ": " << strDirSddl;
        if (winsec::hostKeepsNoAccessLists())
            continue; /* the descriptor given above is all there is to see */
        EXPECT_EQ(winsec::privateDacl(), winsec::daclOf(strDirSddl)) << c.pszName;
        EXPECT_EQ(winsec::privateFileDacl(), winsec::daclOf(strFileSddl)) << c.pszName;
    }
}

/** Token calls that fail as the platform fails them. */
NTSTATUS NTAPI failOpenProcessToken(HANDLE, ACCESS_MASK, PHANDLE)
{
    return (NTSTATUS)0xC0000022; /* STATUS_ACCESS_DENIED */
}
NTSTATUS NTAPI failQueryInformationToken(HANDLE, TOKEN_INFORMATION_CLASS, PVOID, ULONG, PULONG)
{
    return (NTSTATUS)0xC0000017; /* STATUS_NO_MEMORY */
}

TEST_F(DirWin, APrivateDirectoryIsNotMadeWithoutItsOwner)
{
    /* The access list names the process's user: without it nothing is
       created, rather than a directory with the parent's list. */
    struct Case
    {
        bool fOpenFails;
        int rcExpected;
    } const aCases[] = {{true, ERR_ACCESS_DENIED}, {false, ERR_NO_MEMORY}};
    for (const Case &c : aCases)
    {
        RTFILESYSCALLS SysCalls = g_rtFileHostSysCalls;
        if (c.fOpenFails)
            SysCalls.pfnNtOpenProcessToken = failOpenProcessToken;
        else
            SysCalls.pfnNtQueryInformationToken = failQueryInformationToken;
        const RTFILESYSCALLS *pOld = rtFileSetSysCalls(&SysCalls);
        std::string const strDir = path("private");
        int const rc = RTDirCreate(strDir.c_str(), 0700, RTDIRCREATE_PRIVATE);
        rtFileSetSysCalls(pOld);
        EXPECT_EQ(c.rcExpected, rc) << c.fOpenFails;
        EXPECT_FALSE(RTDirExists(strDir.c_str())) << c.fOpenFails;
    }
}

TEST_F(DirWin, ObjectDirectoryThroughTheRawEscape)
{
    RTDIR hDir;
    ASSERT_EQ(RTDirOpen(&hDir, "\\\\:zoltnt:\\Device"), SUCCESS);
    EXPECT_TRUE(hDir->fIsObjDir);
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
}
} // namespace
