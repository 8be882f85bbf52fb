/* File I/O on Windows: sharing between openers in this and in another Wine
   process, the full-disk decision and piecewise transfers through the
   system-call table, and the console fallback of the information query. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/file.h>

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

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

class FileWin : public FsTestDir
{
  protected:
    std::string makeFile(const char *pszName)
    {
        std::string const strPath = path(pszName);
        RTFILE hFile;
        EXPECT_EQ(RTFileOpen(&hFile, strPath.c_str(), 0x1C000322), SUCCESS);
        EXPECT_EQ(RTFileWrite(hFile, "content", 7, nullptr), SUCCESS);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        return strPath;
    }

    /* Opens @a strPath with @a fOpen in another process; its status. */
    static int openInOtherProcess(const std::string &strPath, uint64_t fOpen)
    {
        WCHAR wszExe[MAX_PATH];
        DWORD cwc = GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
        while (cwc > 0 && wszExe[cwc - 1] != '\\')
            cwc--;
        std::wstring const wstrHelper = std::wstring(wszExe, cwc) + L"helpers\\zolt-fileopen.exe";
        char szFlags[32];
        snprintf(szFlags, sizeof(szFlags), "%llx", (unsigned long long)fOpen);
        std::wstring wstrCmd = L"zolt-fileopen \"" + wide(strPath) + L"\" " + wide(szFlags);
        STARTUPINFOW StartupInfo = {};
        StartupInfo.cb = sizeof(StartupInfo);
        PROCESS_INFORMATION ProcInfo;
        if (!CreateProcessW(wstrHelper.c_str(), &wstrCmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &StartupInfo,
                            &ProcInfo))
        {
            ADD_FAILURE() << "cannot start the helper, error " << GetLastError();
            return ERR_GENERAL_FAILURE;
        }
        EXPECT_EQ(WaitForSingleObject(ProcInfo.hProcess, 60000), WAIT_OBJECT_0);
        DWORD dwExit = 255;
        GetExitCodeProcess(ProcInfo.hProcess, &dwExit);
        CloseHandle(ProcInfo.hThread);
        CloseHandle(ProcInfo.hProcess);
        return -(int)dwExit;
    }
};

TEST_F(FileWin, SharingOfTheLaunchersFlagWords)
{
    /* 0x1C000322: create-replace, write, others may read.
       0x1C000781: open, read, others may read and write.
       0x721:      open, read, others may read. */
    struct Case
    {
        uint64_t fHolder, fSecond;
        int rc;
    };
    static const Case s_aCases[] = {
        {0x1C000322, 0x1C000322, ERR_SHARING_VIOLATION}, /* a second writer */
        {0x1C000322, 0x1C000781, SUCCESS},               /* a reader that lets the writer be */
        {0x1C000322, 0x721, ERR_SHARING_VIOLATION},      /* a reader that denies writing */
        {0x1C000781, 0x1C000322, SUCCESS},
        {0x1C000781, 0x1C000781, SUCCESS},
        {0x1C000781, 0x721, SUCCESS},
        {0x721, 0x1C000322, ERR_SHARING_VIOLATION}, /* writing is denied */
        {0x721, 0x1C000781, SUCCESS},
        {0x721, 0x721, SUCCESS},
    };
    std::string const strPath = makeFile("shared");
    for (const Case &c : s_aCases)
    {
        RTFILE hHolder;
        ASSERT_EQ(RTFileOpen(&hHolder, strPath.c_str(), c.fHolder), SUCCESS) << std::hex << c.fHolder;

        RTFILE hSecond = (RTFILE)0x1234;
        EXPECT_EQ(RTFileOpen(&hSecond, strPath.c_str(), c.fSecond), c.rc)
            << std::hex << c.fHolder << " then " << c.fSecond << " in this process";
        if (RT_SUCCESS(c.rc))
            EXPECT_EQ(RTFileClose(hSecond), SUCCESS);
        else
            EXPECT_EQ(hSecond, NIL_RTFILE);

        EXPECT_EQ(openInOtherProcess(strPath, c.fSecond), c.rc)
            << std::hex << c.fHolder << " then " << c.fSecond << " in another process";
        EXPECT_EQ(RTFileClose(hHolder), SUCCESS);
    }
}

/* The fake volume and its writes. */
const WCHAR *g_pwszFsName;
DWORD g_dwWriteError;
DWORD g_cbFailAbove;
unsigned g_cCalls;

NTSTATUS NTAPI fakeQueryVolume(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                               FS_INFORMATION_CLASS enmClass)
{
    if (enmClass != FileFsAttributeInformation)
        return NtQueryVolumeInformationFile(hFile, pIos, pvBuf, cbBuf, enmClass);
    FILE_FS_ATTRIBUTE_INFORMATION *pInfo = (FILE_FS_ATTRIBUTE_INFORMATION *)pvBuf;
    size_t const cb = wcslen(g_pwszFsName) * sizeof(WCHAR);
    pInfo->FileSystemAttributes = 0;
    pInfo->MaximumComponentNameLength = 255;
    pInfo->FileSystemNameLength = (ULONG)cb;
    memcpy(pInfo->FileSystemName, g_pwszFsName, cb);
    return 0;
}

/* Fails every call larger than g_cbFailAbove with g_dwWriteError. */
BOOL WINAPI fakeWriteFile(HANDLE hFile, LPCVOID pv, DWORD cb, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
{
    g_cCalls++;
    if (cb > g_cbFailAbove)
    {
        SetLastError(g_dwWriteError);
        return FALSE;
    }
    return WriteFile(hFile, pv, cb, pcbWritten, pOverlapped);
}

BOOL WINAPI fakeReadFile(HANDLE hFile, LPVOID pv, DWORD cb, LPDWORD pcbRead, LPOVERLAPPED pOverlapped)
{
    g_cCalls++;
    if (cb > g_cbFailAbove)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return ReadFile(hFile, pv, cb, pcbRead, pOverlapped);
}

const RTFILESYSCALLS g_FakeSysCalls = {fakeReadFile,
                                       fakeWriteFile,
                                       fakeQueryVolume,
                                       CreateFileW,
                                       CloseHandle,
                                       NtCreateFile,
                                       NtQueryInformationFile,
                                       NtSetInformationFile,
                                       NtQueryFullAttributesFile,
                                       NtClose,
                                       CreateDirectoryW,
                                       RemoveDirectoryW,
                                       NtOpenProcessToken,
                                       NtQueryInformationToken,
                                       rtPathWinGetTempPath2W};

TEST_F(FileWin, DiskFullOrFileTooBig)
{
    uint64_t const _4G = UINT64_C(1) << 32;
    struct Case
    {
        const WCHAR *pwszFs;
        uint64_t off;
        int rc;
    };
    static const Case s_aCases[] = {
        {L"FAT32", UINT64_C(5) << 30, ERR_FILE_TOO_BIG}, {L"FAT32", UINT64_C(1) << 30, ERR_DISK_FULL},
        {L"FAT", _4G - 100, ERR_FILE_TOO_BIG},           {L"FAT", _4G - 101, ERR_DISK_FULL},
        {L"NTFS", UINT64_C(5) << 30, ERR_DISK_FULL},     {L"NTFS", UINT64_C(1) << 30, ERR_DISK_FULL},
        {L"HPFS", UINT64_C(3) << 30, ERR_FILE_TOO_BIG},  {L"exFAT", UINT64_C(5) << 30, ERR_DISK_FULL},
    };
    std::string const strPath = path("big");
    RTFILE hFile;
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), 0x1C000322), SUCCESS);
    SysCallScope Scope(&g_FakeSysCalls);
    g_dwWriteError = ERROR_DISK_FULL;
    g_cbFailAbove = 0;
    for (size_t i = 0; i < RT_ELEMENTS(s_aCases); i++)
    {
        const Case &c = s_aCases[i];
        g_pwszFsName = c.pwszFs;
        ASSERT_EQ(RTFileSeek(hFile, (int64_t)c.off, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
        char ab[100] = {0};
        EXPECT_EQ(RTFileWrite(hFile, ab, sizeof(ab), nullptr), c.rc) << "case " << i << " at " << c.off;
        size_t cbWritten = 77;
        EXPECT_EQ(RTFileWrite(hFile, ab, sizeof(ab), &cbWritten), c.rc) << "case " << i << ", with a count";
        EXPECT_EQ(cbWritten, 77u);
    }
    /* ERROR_HANDLE_DISK_FULL takes the same road. */
    g_dwWriteError = ERROR_HANDLE_DISK_FULL;
    g_pwszFsName = L"FAT32";
    ASSERT_EQ(RTFileSeek(hFile, INT64_C(5) << 30, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
    EXPECT_EQ(RTFileWrite(hFile, "x", 1, nullptr), ERR_FILE_TOO_BIG);
    g_dwWriteError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RTFileWrite(hFile, "x", 1, nullptr), ERR_ACCESS_DENIED);

    static const struct
    {
        const WCHAR *pwszName;
        RTFSTYPE enmType;
    } s_aNames[] = {{L"NTFS", RTFSTYPE_NTFS},    {L"FAT", RTFSTYPE_FAT},      {L"FAT32", RTFSTYPE_FAT},
                    {L"exFAT", RTFSTYPE_EXFAT},  {L"UDF", RTFSTYPE_UDF},      {L"CDFS", RTFSTYPE_ISO9660},
                    {L"HPFS", RTFSTYPE_HPFS},    {L"ReFS", RTFSTYPE_REFS},    {L"QuorSharedFolderFS", RTFSTYPE_QUORSF},
                    {L"ntfs", RTFSTYPE_UNKNOWN}, {L"FAT3", RTFSTYPE_UNKNOWN}, {L"", RTFSTYPE_UNKNOWN}};
    for (const auto &Name : s_aNames)
    {
        g_pwszFsName = Name.pwszName;
        RTFSTYPE enmType = (RTFSTYPE)99;
        EXPECT_EQ(RTFileQueryFsType(hFile, &enmType), SUCCESS);
        EXPECT_EQ(enmType, Name.enmType) << (int)wcslen(Name.pwszName);
    }
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(FileWin, PiecewiseTransfersAfterKernelMemoryShortage)
{
    std::string const strPath = path("pieces");
    RTFILE hFile;
    ASSERT_EQ(RTFileOpen(&hFile, strPath.c_str(), RTFOPEN_READWRITE | RTFOPEN_CREATE | RTFOPEN_DENY_NONE), SUCCESS);
    std::vector<uint8_t> abData(65536 + 77);
    for (size_t i = 0; i < abData.size(); i++)
        abData[i] = (uint8_t)(i * 7);
    {
        SysCallScope Scope(&g_FakeSysCalls);
        g_dwWriteError = ERROR_NOT_ENOUGH_MEMORY;
        g_cbFailAbove = 4096;

        /* With a count the first piece that goes through ends the call:
           32768, 16384, 8192 fail, 4096 is written. */
        g_cCalls = 0;
        size_t cbWritten = 0;
        EXPECT_EQ(RTFileWrite(hFile, abData.data(), abData.size(), &cbWritten), SUCCESS);
        EXPECT_EQ(cbWritten, 4096u);
        EXPECT_EQ(g_cCalls, 5u);
        /* Without one all of it goes in pieces. */
        EXPECT_EQ(RTFileWrite(hFile, abData.data() + 4096, abData.size() - 4096, nullptr), SUCCESS);

        ASSERT_EQ(RTFileSeek(hFile, 0, RTFILE_SEEK_BEGIN, nullptr), SUCCESS);
        std::vector<uint8_t> abBack(abData.size());
        size_t cbRead = 0;
        EXPECT_EQ(RTFileRead(hFile, abBack.data(), abBack.size(), &cbRead), SUCCESS);
        EXPECT_EQ(cbRead, 4096u);
        EXPECT_EQ(RTFileRead(hFile, abBack.data() + 4096, abBack.size() - 4096, nullptr), SUCCESS);
        EXPECT_TRUE(abBack == abData);
        EXPECT_EQ(RTFileRead(hFile, abBack.data(), 100, nullptr), ERR_EOF) << "at the end";

        /* A shortage that persists down to 8 bytes is the failure. */
        g_cbFailAbove = 0;
        EXPECT_EQ(RTFileWrite(hFile, abData.data(), 1000, nullptr), ERR_NO_MEMORY);
        EXPECT_EQ(RTFileRead(hFile, abBack.data(), 1000, nullptr), ERR_NO_MEMORY);
    }
    EXPECT_EQ(RTFileClose(hFile), SUCCESS);
}

TEST_F(FileWin, QueryInfoOnAConsoleAndOtherHandles)
{
    /* A console of our own: the one CTest gives (if any) is not ours to
       keep. */
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE hCon = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hCon, INVALID_HANDLE_VALUE);
    RTFSOBJREC Info;
    memset(&Info, 0xCC, sizeof(Info));
    ASSERT_EQ(RTFileQueryInfo((RTFILE)hCon, &Info, RTFSOBJATTRADD_UNIX), SUCCESS);
    EXPECT_EQ(Info.cbObject, 0);
    EXPECT_EQ(Info.ModificationTime.i64NanosecondsRelativeToUnixEpoch, 0);
    EXPECT_EQ(Info.Attr.fMode, RTFsModeFromDos(RTFS_DOS_NT_DEVICE, nullptr, 0, 0, 0));
    EXPECT_EQ(Info.Attr.enmAdditional, (uint32_t)RTFSOBJATTRADD_UNIX);
    EXPECT_TRUE(RTFileIsValid((RTFILE)hCon));
    CloseHandle(hCon);
    FreeConsole();

    /* A pipe is valid; a closed or made-up handle is not a file. */
    HANDLE hRead, hWrite;
    ASSERT_TRUE(CreatePipe(&hRead, &hWrite, nullptr, 0));
    EXPECT_TRUE(RTFileIsValid((RTFILE)hRead));
    CloseHandle(hRead);
    CloseHandle(hWrite);
    EXPECT_EQ(RTFileQueryInfo((RTFILE)(uintptr_t)0x123458, &Info, RTFSOBJATTRADD_NOTHING), ERR_INVALID_HANDLE);
}
} // namespace
