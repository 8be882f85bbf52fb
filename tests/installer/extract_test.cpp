/** @file
 * Tests of package extraction and its verification on real files under
 * Wine, from other launchers' containers (tests/installer/fixture.h). What
 * another process could do to a file between the write and the
 * verification, a test does from the extraction hook (test builds only,
 * testhooks.h); a file swapped under its name (which no Windows process can
 * do while our handles pin it) is a write handle to another file passed in.
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/fs.h>
#include <zolt/path.h>
#include <zolt/strformat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "capture.h"
#include "cleanup.h"
#include "cmdline.h"
#include "extract.h"
#include "fixture.h"
#include "heapfault.h"
#include "testhooks.h"

namespace
{

/** Packages 0 (x86-64) pkg-a.cab, 65,537 bytes (BIN_00); 1 (ARM64)
 *  pkg-b.cab, 65,536 (BIN_01); 2 (all hosts) pkg-c.cab, 300,000 (BIN_02). */
HMODULE HookLauncher()
{
    static HMODULE s_hMod = LoadFixture("e2e_hook_launcher.exe");
    return s_hMod;
}

/** Packages 0 pkg-a.cab and 1 empty.cab (0 bytes), both for all hosts. */
HMODULE HookFailLauncher()
{
    static HMODULE s_hMod = LoadFixture("e2e_hook_fail_launcher.exe");
    return s_hMod;
}

/** One package per architecture: 0 x64.msi, 1 arm64.msi, 2 x86.msi, then
 *  3 common.cab and 4 all.msi for all hosts. */
HMODULE ArchLauncher()
{
    static HMODULE s_hMod = LoadFixture("fixtures\\unit_arch_launcher.exe");
    return s_hMod;
}

/** tests/e2e/fixtures/make-bad-container.py: header 0 good, 1 of 255 bytes,
 *  11 naming the missing resource BIN_MISSING. */
HMODULE BadContainer()
{
    static HMODULE s_hMod = LoadFixture("fixtures\\bad-container.dll");
    return s_hMod;
}

std::string FileBytes(const std::string &strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

bool Exists(const std::string &strPath)
{
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/** The names in a directory, sorted, blank-separated. */
std::string Listing(const std::string &strDir)
{
    std::vector<std::string> Names;
    WIN32_FIND_DATAA Data;
    HANDLE hFind = FindFirstFileA((strDir + "\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
            if (strcmp(Data.cFileName, ".") != 0 && strcmp(Data.cFileName, "..") != 0)
                Names.push_back(Data.cFileName);
        while (FindNextFileA(hFind, &Data));
        FindClose(hFind);
    }
    std::sort(Names.begin(), Names.end());
    std::string strOut;
    for (const std::string &strName : Names)
        strOut += (strOut.empty() ? "" : " ") + strName;
    return strOut;
}

/** Opens a file as another process could: Win32, sharing as given. */
HANDLE OpenForWriting(const std::string &strPath, DWORD fShare)
{
    return CreateFileA(strPath.c_str(), GENERIC_WRITE, fShare, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

/** The file's identity as the verification sees it. */
uint64_t FileId(const std::string &strPath)
{
    RTFILE hFile = NIL_RTFILE;
    EXPECT_EQ(0, RTFileOpen(&hFile, strPath.c_str(), RTFOPEN_READ | RTFOPEN_DENY_NONE | RTFOPEN_OPEN)) << strPath;
    RTFSOBJREC Info;
    EXPECT_EQ(0, RTFileQueryInfo(hFile, &Info, RTFSOBJATTRADD_UNIX)) << strPath;
    EXPECT_EQ(0, RTFileClose(hFile));
    return Info.Attr.u.Unix.INodeId;
}

/** What the extraction hook does to the file at its pause. */
std::function<void(const std::string &strPath)> g_HookAction;

void TestExtractHook(const char *pszTargetPath, unsigned iPackage)
{
    (void)iPackage;
    if (g_HookAction)
        g_HookAction(pszTargetPath);
}

class ExtractTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = true;
        InitCleanupRecords();
        ASSERT_EQ(0, RTPathGetCurrentDir(m_szOldCwd, sizeof(m_szOldCwd)));
        char szTemp[STUB_PATH_SIZE];
        ASSERT_EQ(0, RTPathTempDir(szTemp, sizeof(szTemp)));
        ASSERT_EQ(0, RTPathAppend(szTemp, sizeof(szTemp), "extract-test-XXXXXXXX"));
        ASSERT_EQ(0, RTDirCreateTemp(szTemp, 0700));
        m_strDir = szTemp;
        g_pfnStubExtractTestHook = TestExtractHook;
    }
    void TearDown() override
    {
        g_pfnStubExtractTestHook = nullptr;
        g_HookAction = nullptr;
        /* Extraction made its directory current; a current directory
           cannot be removed. */
        EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
        (void)RunCleanup(m_strDir.c_str());
        FreeCleanupRecords();
        EXPECT_FALSE(Exists(m_strDir)) << Listing(m_strDir);
        g_fSilentMode = false;
    }
    std::string Path(const std::string &strName) const
    {
        return m_strDir + "\\" + strName;
    }
    /** Host and steps for ExtractPackages: the real host, no steps. */
    static StubRunOps OpsFor(HMODULE hPayload, FNDETECTHOSTARCH *pfnDetectHostArch = DetectHostArch)
    {
        return StubRunOps{hPayload, pfnDetectHostArch, nullptr, nullptr, nullptr};
    }

    std::string m_strDir;
    char m_szOldCwd[STUB_PATH_SIZE];
    StreamCapture m_Capture;
};

TEST_F(ExtractTest, WritesVerifiesAndKeepsThePackageOpenWithWritesDenied)
{
    struct Case
    {
        unsigned iPackage;
        const char *pszResource;
        const char *pszSource;
        size_t cbStale; /**< bytes of an earlier file under the name */
    } const aCases[] = {
        {0, "BIN_00", "pkg-a.bin", 0}, /* two blocks, the second of one byte */
        {1, "BIN_01", "pkg-b.bin", 0}, /* exactly one block */
        {2, "BIN_02", "pkg-c.bin", 0},
        {3, "BIN_01", "pkg-b.bin", 400000}, /* replaces a longer file */
    };
    for (const Case &c : aCases)
    {
        std::string strTarget = Path("pkg" + std::to_string(c.iPackage) + ".cab");
        if (c.cbStale)
            std::ofstream(strTarget, std::ios::binary) << std::string(c.cbStale, 'x');

        ASSERT_EQ(0, ExtractPackageFile(HookLauncher(), c.pszResource, strTarget.c_str(), NIL_RTFILE, c.iPackage))
            << strTarget;
        EXPECT_EQ("", m_Capture.TakeErr()) << strTarget;
        EXPECT_EQ(FileBytes(FixtureDir() + c.pszSource), FileBytes(strTarget)) << strTarget;

        CleanupRecord *pRec = FindCleanupRecord((int32_t)c.iPackage);
        ASSERT_NE(nullptr, pRec) << strTarget;
        EXPECT_STREQ(strTarget.c_str(), pRec->szPath);
        EXPECT_TRUE(pRec->fIsFile);
        ASSERT_TRUE(RTFileIsValid(pRec->hHandle.hFile)) << strTarget;
        /* Kept open for reading with writes denied: others may read, no one
           may write. */
        HANDLE hReader = CreateFileA(strTarget.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        EXPECT_NE(INVALID_HANDLE_VALUE, hReader) << strTarget;
        CloseHandle(hReader);
        HANDLE hWriter = OpenForWriting(strTarget, FILE_SHARE_READ | FILE_SHARE_WRITE);
        DWORD dwErr = GetLastError();
        EXPECT_EQ(INVALID_HANDLE_VALUE, hWriter) << strTarget;
        EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, dwErr) << strTarget;
        /* And it is the only handle left: once it is closed, writers may. */
        EXPECT_EQ(0, RTFileClose(pRec->hHandle.hFile));
        pRec->hHandle.hFile = NIL_RTFILE;
        hWriter = OpenForWriting(strTarget, 0);
        EXPECT_NE(INVALID_HANDLE_VALUE, hWriter) << strTarget;
        CloseHandle(hWriter);
    }
}

/** Writes one byte of the package's source, inverted, at @a off. */
std::function<void(const std::string &)> ChangeByteAt(const char *pszSource, size_t off)
{
    return [pszSource, off](const std::string &strPath) {
        uint8_t b = (uint8_t)~FileBytes(FixtureDir() + pszSource).at(off);
        HANDLE h = OpenForWriting(strPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << strPath;
        LONG offHigh = 0;
        SetFilePointer(h, (LONG)off, &offHigh, FILE_BEGIN);
        DWORD cbWritten = 0;
        EXPECT_TRUE(WriteFile(h, &b, 1, &cbWritten, NULL));
        CloseHandle(h);
    };
}

TEST_F(ExtractTest, EveryOpenAndEveryComparisonCanFail)
{
    HANDLE hHeld = INVALID_HANDLE_VALUE;
    RTFILE hOther = NIL_RTFILE;
    /* A write handle to another file: the verification must see that the
       file under the target's name is not the one written. */
    auto OpenOther = [&]() {
        EXPECT_EQ(0,
                  RTFileOpen(&hOther, Path("other.bin").c_str(), RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE));
        return hOther;
    };
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        const char *pszResource;
        unsigned iPackage;
        const char *pszTarget;
        std::function<RTFILE()> Prepare;                     /**< the handle to pass, or null: NIL */
        std::function<void(const std::string &)> HookAction; /**< at the pause, or null */
        int rcExpected;
        std::string strDetail; /**< "{}" stands for the target path */
        bool fRecorded;        /**< the file's cleanup record exists */
    } const aCases[] = {
        {"no such directory", HookLauncher(), "BIN_00", 0, "no-dir\\a.cab", nullptr, nullptr, ERR_PATH_NOT_FOUND,
         "#0: Failed to create/replace '{}' for writing: ERR_PATH_NOT_FOUND", false},
        {"missing resource", BadContainer(), "BIN_MISSING", 11, "missing.cab", nullptr, nullptr, ERR_IO_GEN_FAILURE,
         "#11: Failed to locate resource 'BIN_MISSING': ERR_IO_GEN_FAILURE", true},
        {"empty resource", HookFailLauncher(), "BIN_01", 1, "empty.cab", nullptr, nullptr, ERR_NO_DATA,
         "#1: Failed to locate resource 'BIN_01': ERR_NO_DATA", true},
        {"first reopening: nothing under the name", HookLauncher(), "BIN_00", 0, "gone.cab", OpenOther, nullptr,
         ERR_FILE_NOT_FOUND, "#0: First re-opening of '{}' failed: ERR_FILE_NOT_FOUND", true},
        {"second reopening: a writer holds the file", HookLauncher(), "BIN_00", 0, "a.cab", nullptr,
         [&](const std::string &strPath) { hHeld = OpenForWriting(strPath, FILE_SHARE_READ | FILE_SHARE_WRITE); },
         ERR_SHARING_VIOLATION, "#0: Second re-opening of '{}' failed: ERR_SHARING_VIOLATION", true},
        {"size", HookLauncher(), "BIN_00", 0, "a.cab", nullptr,
         [](const std::string &strPath) {
             HANDLE h = OpenForWriting(strPath, FILE_SHARE_READ | FILE_SHARE_WRITE);
             SetFilePointer(h, 0, NULL, FILE_END);
             DWORD cbWritten = 0;
             EXPECT_TRUE(WriteFile(h, "+", 1, &cbWritten, NULL));
             CloseHandle(h);
         },
         ERR_MISMATCH, "#0: File size of '{}' changed: 65 538, expected 65 537", true},
        {"content, first block", HookLauncher(), "BIN_00", 0, "a.cab", nullptr, ChangeByteAt("pkg-a.bin", 0),
         ERR_MISMATCH, "#0: File '{}' has change (mismatch in 0x10000 byte block at 0x0)", true},
        {"content, one-byte last block", HookLauncher(), "BIN_00", 0, "a.cab", nullptr,
         ChangeByteAt("pkg-a.bin", 65536), ERR_MISMATCH,
         "#0: File '{}' has change (mismatch in 0x1 byte block at 0x10000)", true},
        {"content, last of five blocks", HookLauncher(), "BIN_02", 2, "c.cab", nullptr,
         ChangeByteAt("pkg-c.bin", 299999), ERR_MISMATCH,
         "#2: File '{}' has change (mismatch in 0x93e0 byte block at 0x40000)", true},
    };
    for (const Case &c : aCases)
    {
        std::string strTarget = Path(c.pszTarget);
        RTFILE hFile = c.Prepare ? c.Prepare() : NIL_RTFILE;
        g_HookAction = c.HookAction;
        EXPECT_EQ(c.rcExpected, ExtractPackageFile(c.hMod, c.pszResource, strTarget.c_str(), hFile, c.iPackage))
            << c.pszWhat;
        g_HookAction = nullptr;
        std::string strDetail = c.strDetail;
        if (strDetail.find("{}") != std::string::npos)
            strDetail.replace(strDetail.find("{}"), 2, strTarget);
        EXPECT_EQ("error: " + strDetail + "\n", Reports(m_Capture.TakeErr())) << c.pszWhat;
        if (hHeld != INVALID_HANDLE_VALUE)
            CloseHandle(hHeld);
        hHeld = INVALID_HANDLE_VALUE;

        CleanupRecord *pRec = FindCleanupRecord((int32_t)c.iPackage);
        EXPECT_EQ(c.fRecorded, pRec != nullptr) << c.pszWhat;
        if (pRec)
        {
            /* The pass deletes the partial file through its record, which
               holds the handle it had last. */
            EXPECT_STREQ(strTarget.c_str(), pRec->szPath) << c.pszWhat;
            EXPECT_TRUE(RTFileIsValid(pRec->hHandle.hFile)) << c.pszWhat;
            EXPECT_EQ(0, RunCleanup(NULL));
            EXPECT_FALSE(Exists(strTarget)) << c.pszWhat;
        }
        if (hOther != NIL_RTFILE)
        {
            EXPECT_EQ(0, RTFileDelete(Path("other.bin").c_str())) << c.pszWhat; /* closed by the pass */
            hOther = NIL_RTFILE;
        }
        EXPECT_EQ("", Listing(m_strDir)) << c.pszWhat;
    }
}

TEST_F(ExtractTest, AFileSwappedUnderItsNameHasAnotherIdentity)
{
    /* The same bytes under the target's name, but not the file written. */
    std::string strTarget = Path("a.cab");
    std::ofstream(strTarget, std::ios::binary) << FileBytes(FixtureDir() + "pkg-a.bin");
    std::string strOther = Path("other.bin");
    RTFILE hOther = NIL_RTFILE;
    ASSERT_EQ(0, RTFileOpen(&hOther, strOther.c_str(), RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE));

    EXPECT_EQ(ERR_MISMATCH, ExtractPackageFile(HookLauncher(), "BIN_00", strTarget.c_str(), hOther, 0));
    char szExpected[STUB_PATH_SIZE + 100];
    RTStrPrintf(szExpected, sizeof(szExpected), "error: #0: File ID of '%s' changed: %#RX64, expected %#RX64\n",
                strTarget.c_str(), FileId(strTarget), FileId(strOther));
    EXPECT_EQ(szExpected, Reports(m_Capture.TakeErr()));
    EXPECT_NE(FileId(strTarget), FileId(strOther));
    /* The write went where the handle pointed. */
    EXPECT_EQ(FileBytes(FixtureDir() + "pkg-a.bin"), FileBytes(strOther));
    EXPECT_EQ(0, RunCleanup(NULL));
    EXPECT_EQ(0, RTFileDelete(strOther.c_str()));
}

TEST_F(ExtractTest, ADirectoryUnderThePackagesNameIsLeftAlone)
{
    /* Planted empty or holding something: neither replaced nor written
       into, and not the run's to clean up. */
    for (bool fHolding : {false, true})
    {
        std::string strTarget = Path("pkg-a.cab");
        ASSERT_EQ(0, RTDirCreate(strTarget.c_str(), 0700, 0));
        if (fHolding)
            std::ofstream(strTarget + "\\notes.txt") << "the user's";
        EXPECT_EQ(ERR_IS_A_DIRECTORY, ExtractPackageFile(HookLauncher(), "BIN_00", strTarget.c_str(), NIL_RTFILE, 0))
            << fHolding;
        EXPECT_EQ("error: #0: Failed to create/replace '" + strTarget + "' for writing: ERR_IS_A_DIRECTORY\n",
                  Reports(m_Capture.TakeErr()))
            << fHolding;
        EXPECT_EQ(nullptr, FindCleanupRecord(0)) << fHolding;

        /* The same through the extraction, with its summary. */
        CleanupRecord *pDirRecord = nullptr;
        StubRunOps const Ops = OpsFor(HookLauncher());
        EXPECT_EQ(1, ExtractPackages(&Ops, 3, m_strDir.c_str(), false, &pDirRecord)) << fHolding;
        EXPECT_EQ("error: #0: Failed to create/replace '" + strTarget +
                      "' for writing: ERR_IS_A_DIRECTORY\n"
                      "shown: Error extracting package #0 (pkg-a.cab): ERR_IS_A_DIRECTORY\n",
                  Reports(m_Capture.TakeErr()))
            << fHolding;
        EXPECT_EQ(nullptr, FindCleanupRecord(0)) << fHolding;
        EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
        (void)RunCleanup(NULL);
        EXPECT_EQ(fHolding ? "notes.txt" : "", Listing(strTarget)) << fHolding;
        if (fHolding)
        {
            EXPECT_EQ(0, RTFileDelete((strTarget + "\\notes.txt").c_str()));
        }
        EXPECT_EQ(0, RTDirRemove(strTarget.c_str())) << fHolding;
    }
}

TEST_F(ExtractTest, BadTextPointersAreRefusedSilently)
{
    std::string strTarget = Path("a.cab");
    EXPECT_EQ(ERR_INVALID_POINTER, ExtractPackageFile(HookLauncher(), nullptr, strTarget.c_str(), NIL_RTFILE, 0));
    EXPECT_EQ(ERR_INVALID_POINTER, ExtractPackageFile(HookLauncher(), "BIN_00", (const char *)16, NIL_RTFILE, 0));
    EXPECT_EQ("", m_Capture.TakeErr());
    EXPECT_EQ(nullptr, FindCleanupRecord(0));
    EXPECT_EQ("", Listing(m_strDir));
}

TEST_F(ExtractTest, NoMemoryForTheRecordClosesTheWriteHandle)
{
    /* Fail the N-th allocation for N = 0, 1, ... until the record's is the
       one: every failure before it is the open's own, and reported. */
    std::string strTarget = Path("a.cab");
    bool fRecordFailed = false;
    for (long cAllocs = 0; cAllocs < 50 && !fRecordFailed; cAllocs++)
    {
        int rc;
        {
            HeapFaultScope Faults(cAllocs);
            rc = ExtractPackageFile(HookLauncher(), "BIN_00", strTarget.c_str(), NIL_RTFILE, 0);
        }
        std::string strErr = Reports(m_Capture.TakeErr());
        if (rc == 0)
            break;
        fRecordFailed = strErr == "shown: Out of memory!\n";
        if (!fRecordFailed)
        {
            EXPECT_EQ(0u, strErr.find("error: #0: Failed to create/replace '" + strTarget + "' for writing: "))
                << cAllocs << ": " << strErr;
            continue;
        }
        EXPECT_EQ(ERR_NO_MEMORY, rc);
        EXPECT_EQ(nullptr, FindCleanupRecord(0));
        /* The file stays, with no handle of ours left on it. */
        HANDLE hWriter = OpenForWriting(strTarget, 0);
        EXPECT_NE(INVALID_HANDLE_VALUE, hWriter);
        CloseHandle(hWriter);
        EXPECT_EQ(0, RTFileDelete(strTarget.c_str()));
    }
    EXPECT_TRUE(fRecordFailed);
}

/** A host stand-in that counts how often it is asked. */
struct HostStandIn
{
    static inline PackageArch s_enmHost;
    static inline unsigned s_cCalls;
    static PackageArch Detect(void)
    {
        s_cCalls++;
        return s_enmHost;
    }
};

TEST_F(ExtractTest, ExtractsWhatFitsTheHostOrEverythingWhenOnlyExtracting)
{
    struct Case
    {
        PackageArch enmHost;
        bool fExtractOnly;
        const char *pszFiles;
        unsigned cHostCalls;
    } const aCases[] = {
        /* The host is asked for every package not for all hosts. */
        {PackageArch_X86_64, false, "all.msi common.cab x64.msi", 3},
        {PackageArch_Arm64, false, "all.msi arm64.msi common.cab", 3},
        {PackageArch_X86, false, "all.msi common.cab x86.msi", 3},
        {PackageArch_X86_64, true, "all.msi arm64.msi common.cab x64.msi x86.msi", 0},
    };
    unsigned iCase = 0;
    for (const Case &c : aCases)
    {
        std::string strDir = Path("new" + std::to_string(iCase++));
        HostStandIn::s_enmHost = c.enmHost;
        HostStandIn::s_cCalls = 0;
        CleanupRecord *pDirRecord = nullptr;
        StubRunOps const Ops = OpsFor(ArchLauncher(), HostStandIn::Detect);
        EXPECT_EQ(0, ExtractPackages(&Ops, 5, strDir.c_str(), c.fExtractOnly, &pDirRecord)) << strDir;
        EXPECT_EQ(c.pszFiles, Listing(strDir)) << c.enmHost << " " << c.fExtractOnly;
        EXPECT_EQ(c.cHostCalls, HostStandIn::s_cCalls) << c.enmHost << " " << c.fExtractOnly;
        /* Created by us: registered, open, current, and deleted at the
           end. */
        ASSERT_NE(nullptr, pDirRecord);
        EXPECT_STREQ(strDir.c_str(), pDirRecord->szPath);
        EXPECT_FALSE(pDirRecord->fIsFile);
        EXPECT_FALSE(pDirRecord->fKeep);
        EXPECT_NE(nullptr, pDirRecord->hHandle.hDir);
        char szCwd[STUB_PATH_SIZE];
        EXPECT_EQ(0, RTPathGetCurrentDir(szCwd, sizeof(szCwd)));
        EXPECT_EQ(0, _stricmp(strDir.c_str(), szCwd)) << szCwd;
    }
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(ExtractTest, AnExistingDirectoryIsKeptAndTheRealHostGetsItsPackages)
{
    CleanupRecord *pDirRecord = nullptr;
    StubRunOps const Ops = OpsFor(HookLauncher());
    EXPECT_EQ(0, ExtractPackages(&Ops, 3, m_strDir.c_str(), false, &pDirRecord));
    /* Under 64-bit Wine the host is x86-64: the ARM64 package stays out. */
    EXPECT_EQ("pkg-a.cab pkg-c.cab", Listing(m_strDir));
    ASSERT_NE(nullptr, pDirRecord);
    EXPECT_TRUE(pDirRecord->fKeep);
    EXPECT_NE(nullptr, pDirRecord->hHandle.hDir);
    EXPECT_EQ("", m_Capture.TakeErr());
    /* The pass closes the directory but leaves it, and only it. */
    EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
    (void)RunCleanup(NULL);
    EXPECT_TRUE(Exists(m_strDir));
    EXPECT_EQ("", Listing(m_strDir));
}

TEST_F(ExtractTest, TheFirstFailureEndsTheExtractionWithOneMessage)
{
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        unsigned cPackages;
        const char *pszDir;
        bool fPassRecord;       /**< a record for the directory is passed in */
        std::string strReports; /**< "{}" stands for the directory's path */
        const char *pszFiles;   /**< left in the directory */
    } const aCases[] = {
        {"directory gone that the run created", HookLauncher(), 3, "gone", true,
         "shown: RTDirExists failed on '{}' which we just created!\n", nullptr},
        {"directory cannot be created", HookLauncher(), 3, "no-parent\\dir", false,
         "shown: Failed to create extraction path '{}': ERR_PATH_NOT_FOUND\n", nullptr},
        {"more packages than headers", HookLauncher(), 4, "d", false,
         "shown: Internal error: Could not find package header #3: ERR_IO_GEN_FAILURE\n", "pkg-a.cab pkg-c.cab"},
        {"bad header", BadContainer(), 13, "d", false,
         "shown: Internal error: Could not find package header #1: ERR_IO_BAD_LENGTH\n", "good.cab"},
        {"empty package", HookFailLauncher(), 2, "d", false,
         "error: #1: Failed to locate resource 'BIN_01': ERR_NO_DATA\n"
         "shown: Error extracting package #1 (empty.cab): ERR_NO_DATA\n",
         "empty.cab pkg-a.cab"},
        {"no packages", HookLauncher(), 0, "d", false, "", ""},
    };
    for (const Case &c : aCases)
    {
        std::string strDir = Path(c.pszDir);
        CleanupRecord *pDirRecord = c.fPassRecord ? AddCleanupRecord(strDir.c_str(), false) : nullptr;
        StubRunOps const Ops = OpsFor(c.hMod);
        EXPECT_EQ(c.strReports.empty() ? 0 : 1, ExtractPackages(&Ops, c.cPackages, strDir.c_str(), false, &pDirRecord))
            << c.pszWhat;
        std::string strReports = c.strReports;
        if (strReports.find("{}") != std::string::npos)
            strReports.replace(strReports.find("{}"), 2, strDir);
        EXPECT_EQ(strReports, Reports(m_Capture.TakeErr())) << c.pszWhat;
        if (c.pszFiles)
        {
            EXPECT_EQ(c.pszFiles, Listing(strDir)) << c.pszWhat;
        }
        else
        {
            EXPECT_FALSE(Exists(strDir)) << c.pszWhat;
        }
        /* What was written goes with the pass, and the directory with it. */
        EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
        (void)RunCleanup(NULL);
        EXPECT_EQ("", Listing(m_strDir)) << c.pszWhat;
    }
}

} // namespace
