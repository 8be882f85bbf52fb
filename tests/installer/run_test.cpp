/** @file
 * Tests of the run sequence's decisions under Wine: RunStub, the run after
 * option parsing, on other launchers' containers (tests/installer/
 * fixture.h) with real extraction into a temporary directory, the real
 * single-instance mutex and the real cleanup pass. Only the host and the
 * installation steps that would change the machine (custom directory,
 * certificates, Windows Installer) are stand-ins of the run's table
 * (runops.h), which record what they are asked and answer as told. Silent
 * runs: interactive ones show message boxes and the splash screen, which
 * the end-to-end tests cover (tests/e2e).
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture.h"
#include "certificate.h"
#include "cleanup.h"
#include "cmdline.h"
#include "extract.h"
#include "fixture.h"
#include "identity.h"
#include "install.h"
#include "run.h"
#include "win-security.h"

namespace
{

/** One package per architecture: 0 x64.msi, 1 arm64.msi, 2 x86.msi, then
 *  3 common.cab and 4 all.msi for all hosts. */
HMODULE ArchLauncher()
{
    static HMODULE s_hMod = LoadFixture("fixtures\\unit_arch_launcher.exe");
    return s_hMod;
}

bool Exists(const std::string &strPath)
{
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string BaseName(const std::string &strPath)
{
    return strPath.substr(strPath.find_last_of('\\') + 1);
}

std::string DirName(const std::string &strPath)
{
    return strPath.substr(0, strPath.find_last_of('\\'));
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

/** Deletes a directory tree as far as it can. */
void RemoveTree(const std::string &strDir)
{
    WIN32_FIND_DATAA Data;
    HANDLE hFind = FindFirstFileA((strDir + "\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string strPath = strDir + "\\" + Data.cFileName;
            if (strcmp(Data.cFileName, ".") == 0 || strcmp(Data.cFileName, "..") == 0)
                continue;
            if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strPath);
            else
                DeleteFileA(strPath.c_str());
        } while (FindNextFileA(hFind, &Data));
        FindClose(hFind);
    }
    RemoveDirectoryA(strDir.c_str());
}

/** The world around the run: a host, and installation steps that record
 *  what they are asked and answer as told. */
struct World
{
    static inline PackageArch s_enmHost;
    static inline unsigned s_cHostCalls;
    static inline int s_rcExitCustomDir;
    static inline int s_rcExitCertificates;
    /** The image the run's payload comes from. */
    static inline HMODULE s_hPayload;
    /** The Windows Installer's answers, one per package; 0 beyond. */
    static inline std::vector<int> s_aRcExitMsi;
    /** "custom", "certificates", "msi <file name>", in order. */
    static inline std::vector<std::string> s_Calls;
    /** The full path, parameters and log file of each package installed. */
    static inline std::vector<std::string> s_MsiPaths;
    static inline std::vector<std::string> s_MsiParams;
    static inline std::vector<std::string> s_MsiLogs;
    /** The extraction directory's content at the first installation. */
    static inline std::string s_strExtracted;
    /** The owner and access lists (SDDL) of the extraction directory and
     *  of the first package at its installation. */
    static inline std::string s_strDirSddl;
    static inline std::string s_strPackageSddl;
    static inline std::string s_strCustomDirArg;

    static void Reset(PackageArch enmHost)
    {
        s_enmHost = enmHost;
        s_cHostCalls = 0;
        s_rcExitCustomDir = 0;
        s_rcExitCertificates = 0;
        s_aRcExitMsi.clear();
        s_Calls.clear();
        s_MsiPaths.clear();
        s_MsiParams.clear();
        s_MsiLogs.clear();
        s_strExtracted.clear();
        s_strDirSddl.clear();
        s_strPackageSddl.clear();
        s_strCustomDirArg.clear();
    }
    static PackageArch DetectHost(void)
    {
        s_cHostCalls++;
        return s_enmHost;
    }
    static int CopyCustomDirectory(const char *pszExtractPath)
    {
        s_Calls.push_back("custom");
        s_strCustomDirArg = pszExtractPath;
        return s_rcExitCustomDir;
    }
    static int InstallCertificates(HMODULE hModule)
    {
        /* The certificates come from the image that carries the payload. */
        s_Calls.push_back(hModule == s_hPayload ? "certificates" : "certificates of another image");
        return s_rcExitCertificates;
    }
    static int InstallMsi(const char *pszPackage, const char *pszMsiParams, const char *pszLogFile)
    {
        if (s_MsiPaths.empty())
        {
            s_strExtracted = Listing(DirName(pszPackage));
            s_strDirSddl = winsec::sddlOfPath(DirName(pszPackage));
            s_strPackageSddl = winsec::sddlOfPath(pszPackage);
        }
        /* Still there, and held by the run: nobody may write to it. */
        HANDLE h =
            CreateFileA(pszPackage, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        s_Calls.push_back("msi " + BaseName(pszPackage) + (h == INVALID_HANDLE_VALUE ? "" : " (not held)"));
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        s_MsiPaths.push_back(pszPackage);
        s_MsiParams.push_back(pszMsiParams);
        s_MsiLogs.push_back(pszLogFile ? pszLogFile : "<none>");
        size_t i = s_MsiPaths.size() - 1;
        return i < s_aRcExitMsi.size() ? s_aRcExitMsi[i] : 0;
    }
    static StubRunOps Ops(HMODULE hPayload)
    {
        s_hPayload = hPayload;
        return StubRunOps{hPayload, DetectHost, CopyCustomDirectory, InstallCertificates, InstallMsi};
    }
};

typedef std::vector<std::string> Calls;

class RunTest : public ::testing::Test
{
  protected:
    /** Extract-only runs keep their files open until the process ends, so
     *  each test binary removes what earlier ones left. */
    static void SetUpTestSuite()
    {
        char szTemp[STUB_PATH_SIZE];
        ASSERT_EQ(0, RTPathTempDir(szTemp, sizeof(szTemp)));
        ASSERT_EQ(0, RTPathAppend(szTemp, sizeof(szTemp), "zolt-run-test"));
        s_strBase = szTemp;
        RemoveTree(s_strBase);
        ASSERT_EQ(0, RTDirCreate(s_strBase.c_str(), 0700, 0));
    }
    void SetUp() override
    {
        g_fSilentMode = true;
        g_cVerbosity = 0;
        World::Reset(PackageArch_X86_64);
        ASSERT_EQ(0, RTPathGetCurrentDir(m_szOldCwd, sizeof(m_szOldCwd)));
        char szDir[STUB_PATH_SIZE];
        ASSERT_EQ(0, RTStrCopy(szDir, sizeof(szDir), s_strBase.c_str()));
        ASSERT_EQ(0, RTPathAppend(szDir, sizeof(szDir), "XXXXXXXX"));
        ASSERT_EQ(0, RTDirCreateTemp(szDir, 0700));
        m_strDir = szDir;
        m_strOut = m_strDir + "\\out";
        m_Settings = StubSettings{};
        m_Settings.fInstallCert = true;
        ASSERT_EQ(0, RTStrCopy(m_Settings.szExtractPath, sizeof(m_Settings.szExtractPath), m_strOut.c_str()));
    }
    void TearDown() override
    {
        EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
        RemoveTree(m_strDir);
        g_fSilentMode = false;
    }
    int Run(HMODULE hPayload)
    {
        StubRunOps const Ops = World::Ops(hPayload);
        int rcExit = RunStub(&m_Settings, &Ops);
        /* The cleanup pass runs from the extraction directory's parent. */
        EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
        return rcExit;
    }

    static inline std::string s_strBase;
    char m_szOldCwd[STUB_PATH_SIZE];
    std::string m_strDir;
    /** The extraction directory: not there before the run. */
    std::string m_strOut;
    StubSettings m_Settings;
    StreamCapture m_Capture;
};

TEST_F(RunTest, InstallsWhatFitsTheHostInIndexOrderAfterTheCustomDirectoryAndCertificates)
{
    struct Case
    {
        PackageArch enmHost;
        const char *pszExtracted;
        Calls Expected;
    } const aCases[] = {
        {PackageArch_X86_64, "all.msi common.cab x64.msi", {"custom", "certificates", "msi x64.msi", "msi all.msi"}},
        {PackageArch_Arm64, "all.msi arm64.msi common.cab", {"custom", "certificates", "msi arm64.msi", "msi all.msi"}},
        /* Silent runs go on on an x86 host. */
        {PackageArch_X86, "all.msi common.cab x86.msi", {"custom", "certificates", "msi x86.msi", "msi all.msi"}},
    };
    for (const Case &c : aCases)
    {
        World::Reset(c.enmHost);
        EXPECT_EQ(0, Run(ArchLauncher())) << c.enmHost;
        EXPECT_EQ(c.Expected, World::s_Calls) << c.enmHost;
        EXPECT_EQ(c.pszExtracted, World::s_strExtracted) << c.enmHost;
        EXPECT_EQ(m_strOut, World::s_strCustomDirArg);
        EXPECT_EQ(m_strOut + "\\all.msi", World::s_MsiPaths.back());
        /* Asked once by the run itself, then anew for each of the three
           packages not for all hosts, by extraction and by installation. */
        EXPECT_EQ(7u, World::s_cHostCalls) << c.enmHost;
        /* The run made the directory: nothing is left. */
        EXPECT_FALSE(Exists(m_strOut)) << Listing(m_strOut);
        EXPECT_EQ("", Reports(m_Capture.TakeErr())) << c.enmHost;
        EXPECT_EQ("", m_Capture.TakeOut()) << c.enmHost;
    }
}

TEST_F(RunTest, TheWindowsInstallersResultsMakeTheExitCode)
{
    /* x64.msi is installed first, all.msi second. */
    struct Case
    {
        std::vector<int> aRcExitMsi;
        bool fIgnoreReboot;
        int rcExitExpected;
        size_t cInstalled;
    } const aCases[] = {
        {{0, 0}, false, 0, 2},       {{3010, 0}, false, 3010, 2}, /* a later success keeps the restart */
        {{0, 3010}, false, 3010, 2}, {{3010, 0}, true, 0, 2},     {{3010, 3010}, true, 0, 2},
        {{1, 0}, false, 1, 1}, /* a failure stops the installation */
        {{1, 0}, true, 1, 1},        {{3010, 1}, false, 1, 2},    {{3010, 1}, true, 1, 2},
    };
    for (const Case &c : aCases)
    {
        World::Reset(PackageArch_X86_64);
        World::s_aRcExitMsi = c.aRcExitMsi;
        m_Settings.fIgnoreReboot = c.fIgnoreReboot;
        std::string strCase = std::to_string(c.aRcExitMsi[0]) + "," + std::to_string(c.aRcExitMsi[1]) +
                              (c.fIgnoreReboot ? " --ignore-reboot" : "");
        EXPECT_EQ(c.rcExitExpected, Run(ArchLauncher())) << strCase;
        EXPECT_EQ(c.cInstalled, World::s_MsiPaths.size()) << strCase;
        /* Cleaned up whatever the result. */
        EXPECT_FALSE(Exists(m_strOut)) << strCase;
    }
}

TEST_F(RunTest, AFailedStepSkipsTheRestButNotTheCleanup)
{
    struct Case
    {
        const char *pszWhat;
        int rcExitCustomDir;
        int rcExitCertificates;
        bool fInstallCert;
        int rcExitExpected;
        Calls Expected;
    } const aCases[] = {
        {"custom directory fails", 1, 0, true, 1, {"custom"}},
        {"certificates fail", 0, 1, true, 1, {"custom", "certificates"}},
        {"--no-silent-cert", 0, 1, false, 0, {"custom", "msi x64.msi", "msi all.msi"}},
    };
    for (const Case &c : aCases)
    {
        World::Reset(PackageArch_X86_64);
        World::s_rcExitCustomDir = c.rcExitCustomDir;
        World::s_rcExitCertificates = c.rcExitCertificates;
        m_Settings.fInstallCert = c.fInstallCert;
        EXPECT_EQ(c.rcExitExpected, Run(ArchLauncher())) << c.pszWhat;
        EXPECT_EQ(c.Expected, World::s_Calls) << c.pszWhat;
        EXPECT_FALSE(Exists(m_strOut)) << c.pszWhat;
    }
}

TEST_F(RunTest, InteractiveRunsNeverInstallTheCertificate)
{
    /* The installation phase on its own: an interactive RunStub would show
       the splash screen. */
    g_fSilentMode = false;
    InitCleanupRecords();
    StubRunOps const Ops = World::Ops(ArchLauncher());
    CleanupRecord *pDirRecord = nullptr;
    ASSERT_EQ(0, ExtractPackages(&Ops, 5, m_strOut.c_str(), false, &pDirRecord));
    EXPECT_EQ(0, RunInstallationPhase(&Ops, &m_Settings, 5));
    EXPECT_EQ((Calls{"custom", "msi x64.msi", "msi all.msi"}), World::s_Calls);
    EXPECT_EQ(0, RTPathSetCurrentDir(m_szOldCwd));
    (void)RunCleanup(m_strOut.c_str());
    FreeCleanupRecords();
    EXPECT_FALSE(Exists(m_strOut));
}

TEST_F(RunTest, PackagesAreHandledByTheirSuffix)
{
    /* DEMO.MSI (x86-64) and COMMON.CAB (all hosts). */
    EXPECT_EQ(0, Run(LoadFixture("fixtures\\e2e_upper_launcher.exe")));
    EXPECT_EQ((Calls{"custom", "certificates", "msi DEMO.MSI"}), World::s_Calls);
    EXPECT_EQ("", Reports(m_Capture.TakeErr()));

    /* update.msp (x86-64). */
    World::Reset(PackageArch_X86_64);
    EXPECT_EQ(1, Run(LoadFixture("fixtures\\e2e_suffix_launcher.exe")));
    EXPECT_EQ((Calls{"custom", "certificates"}), World::s_Calls);
    EXPECT_EQ("shown: Internal error: Do not know how to handle file 'update.msp' (" + m_strOut + "\\update.msp).\n",
              Reports(m_Capture.TakeErr()));
    EXPECT_FALSE(Exists(m_strOut));
}

TEST_F(RunTest, ParametersAndTheLogFileReachTheWindowsInstaller)
{
    struct Case
    {
        bool fEnableLogging;
        const char *pszMsiLogFile; /**< relative to the test directory */
        const char *pszExpected;   /**< the same, or <none> */
    } const aCases[] = {
        {false, "", "<none>"},
        /* In the extraction directory; the stand-in writes none, so the
           directory goes all the same. */
        {true, "", "out\\QuorInstallLog.txt"},
        {false, "my.log", "my.log"}, /* a log file switches logging on */
    };
    for (const Case &c : aCases)
    {
        World::Reset(PackageArch_X86_64);
        m_Settings.fEnableLogging = c.fEnableLogging;
        std::string strLog = c.pszMsiLogFile[0] ? m_strDir + "\\" + c.pszMsiLogFile : "";
        ASSERT_EQ(0, RTStrCopy(m_Settings.szMsiLogFile, sizeof(m_Settings.szMsiLogFile), strLog.c_str()));
        ASSERT_EQ(0, RTStrCopy(m_Settings.szMsiParams, sizeof(m_Settings.szMsiParams), "A=1 REBOOT=ReallySuppress"));
        EXPECT_EQ(0, Run(ArchLauncher())) << c.pszExpected;
        std::string strExpected = strcmp(c.pszExpected, "<none>") ? m_strDir + "\\" + c.pszExpected : "<none>";
        EXPECT_EQ((std::vector<std::string>{strExpected, strExpected}), World::s_MsiLogs);
        EXPECT_EQ((std::vector<std::string>{"A=1 REBOOT=ReallySuppress", "A=1 REBOOT=ReallySuppress"}),
                  World::s_MsiParams);
        EXPECT_FALSE(Exists(m_strOut)) << c.pszExpected;
    }
}

TEST_F(RunTest, AnExtractOnlyRunWritesEveryPackageAndInstallsNothing)
{
    m_Settings.fExtractOnly = true;
    EXPECT_EQ(0, Run(ArchLauncher()));
    EXPECT_EQ(Calls{}, World::s_Calls);
    EXPECT_EQ("all.msi arm64.msi common.cab x64.msi x86.msi", Listing(m_strOut));
    /* Only the run's own question: extraction takes every package. */
    EXPECT_EQ(1u, World::s_cHostCalls);
    EXPECT_EQ("Files were extracted to: " + m_strOut + "\n", m_Capture.TakeOut());
    EXPECT_EQ("", Reports(m_Capture.TakeErr()));
}

TEST_F(RunTest, AFailedExtractionIsCleanedUpUnlessOnlyExtracting)
{
    /* pkg-a.cab, then empty.cab (0 bytes): the second fails. */
    HMODULE hMod = LoadFixture("e2e_hook_fail_launcher.exe");
    for (bool fExtractOnly : {false, true})
    {
        World::Reset(PackageArch_X86_64);
        m_Settings.fExtractOnly = fExtractOnly;
        EXPECT_EQ(1, Run(hMod)) << fExtractOnly;
        EXPECT_EQ(Calls{}, World::s_Calls) << fExtractOnly;
        EXPECT_EQ("error: #1: Failed to locate resource 'BIN_01': ERR_NO_DATA\n"
                  "shown: Error extracting package #1 (empty.cab): ERR_NO_DATA\n",
                  Reports(m_Capture.TakeErr()))
            << fExtractOnly;
        if (fExtractOnly)
        {
            EXPECT_EQ("empty.cab pkg-a.cab", Listing(m_strOut));
        }
        else
        {
            EXPECT_FALSE(Exists(m_strOut)) << Listing(m_strOut);
        }
    }
}

TEST_F(RunTest, NoUsableManifestEndsTheRunBeforeExtraction)
{
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        const char *pszStatus;
    } const aCases[] = {
        /* Our own image carries no container. */
        {"none", GetModuleHandleW(NULL), "ERR_IO_GEN_FAILURE"},
        {"bad magic", LoadFixture("fixtures\\bad-container.dll"), "ERR_INVALID_MAGIC"},
    };
    for (const Case &c : aCases)
    {
        EXPECT_EQ(1, Run(c.hMod)) << c.pszWhat;
        EXPECT_EQ(Calls{}, World::s_Calls);
        EXPECT_EQ(std::string("shown: Internal package error: Manifest not found (") + c.pszStatus + ")\n",
                  Reports(m_Capture.TakeErr()));
        EXPECT_FALSE(Exists(m_strOut)) << c.pszWhat;
    }
}

TEST_F(RunTest, WithoutAPathTheRunUsesTheTemporaryDirectory)
{
    ASSERT_TRUE(SetEnvironmentVariableA("ZOLT_TMPDIR", m_strDir.c_str()));
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        bool fExtractOnly;
        int rcExitExpected;
        const char *pszLeft; /**< in the temporary directory after the run */
    } const aCases[] = {
        /* A new directory with a random name, removed at the end. */
        {"installation", ArchLauncher(), false, 0, ""},
        /* Without a manifest no cleanup pass runs: the new directory stays,
           empty. */
        {"no manifest", GetModuleHandleW(NULL), false, 1, "<24>"},
        /* Straight into the temporary directory, and everything stays. */
        {"extract-only", ArchLauncher(), true, 0, "all.msi arm64.msi common.cab x64.msi x86.msi"},
    };
    for (const Case &c : aCases)
    {
        World::Reset(PackageArch_X86_64);
        m_Settings.szExtractPath[0] = '\0';
        m_Settings.fExtractOnly = c.fExtractOnly;
        EXPECT_EQ(c.rcExitExpected, Run(c.hMod)) << c.pszWhat;
        std::string strLeft = Listing(m_strDir);
        if (!strcmp(c.pszLeft, "<24>"))
        {
            EXPECT_EQ(24u, strLeft.size()) << c.pszWhat << ": " << strLeft;
            EXPECT_EQ("", Listing(m_strDir + "\\" + strLeft)) << c.pszWhat;
            RemoveDirectoryA((m_strDir + "\\" + strLeft).c_str());
        }
        else
        {
            EXPECT_EQ(c.pszLeft, strLeft) << c.pszWhat;
        }
        if (!c.fExtractOnly && c.rcExitExpected == 0)
        {
            ASSERT_EQ(2u, World::s_MsiPaths.size());
            std::string strExtractDir = DirName(World::s_MsiPaths[0]);
            EXPECT_EQ(m_strDir, DirName(strExtractDir)) << c.pszWhat;
            EXPECT_EQ(24u, BaseName(strExtractDir).size()) << strExtractDir;
        }
    }
    SetEnvironmentVariableA("ZOLT_TMPDIR", NULL);
    (void)m_Capture.TakeErr();
    (void)m_Capture.TakeOut();
}

TEST_F(RunTest, TheRunsOwnDirectoryLetsNobodyElseIn)
{
    /* A new directory in the temporary directory (which others may enter,
       as C:\Windows\Temp): only we, the administrators and SYSTEM get in,
       and into what is extracted there. */
    ASSERT_TRUE(SetEnvironmentVariableA("ZOLT_TMPDIR", m_strDir.c_str()));
    m_Settings.szExtractPath[0] = '\0';
    int rcExit;
    std::vector<std::string> Given;
    {
        winsec::CreateDirectoryRecorder Recorder;
        rcExit = Run(ArchLauncher());
        Given = Recorder.dacls();
    }
    SetEnvironmentVariableA("ZOLT_TMPDIR", NULL);
    EXPECT_EQ(0, rcExit);
    EXPECT_EQ(std::vector<std::string>{winsec::privateDacl()}, Given);
    EXPECT_EQ("", winsec::othersLetIn(World::s_strDirSddl)) << World::s_strDirSddl;
    if (!winsec::hostKeepsNoAccessLists())
    {
        EXPECT_EQ(winsec::privateDacl(), winsec::daclOf(World::s_strDirSddl));
        EXPECT_EQ(winsec::privateFileDacl(), winsec::daclOf(World::s_strPackageSddl));
    }
    EXPECT_EQ("", Listing(m_strDir));
}

TEST_F(RunTest, AnExistingDirectoryStaysButNotWhatWasExtractedIntoIt)
{
    ASSERT_EQ(0, RTDirCreate(m_strOut.c_str(), 0700, 0));
    EXPECT_EQ(0, Run(ArchLauncher()));
    EXPECT_EQ((Calls{"custom", "certificates", "msi x64.msi", "msi all.msi"}), World::s_Calls);
    EXPECT_TRUE(Exists(m_strOut));
    EXPECT_EQ("", Listing(m_strOut));
}

TEST_F(RunTest, OnlyOneLauncherAtATime)
{
    HANDLE hOther = CreateMutexW(NULL, FALSE, g_pwszStubMutexName);
    ASSERT_NE(nullptr, hOther);
    EXPECT_EQ(1, Run(ArchLauncher()));
    CloseHandle(hOther);
    EXPECT_EQ(Calls{}, World::s_Calls);
    EXPECT_EQ(0u, World::s_cHostCalls);
    EXPECT_EQ("shown: Another installer is already running\n", Reports(m_Capture.TakeErr()));
    EXPECT_FALSE(Exists(m_strOut));
    /* And the run let go of its own handle: the next one runs. */
    EXPECT_EQ(0, Run(ArchLauncher()));
}

TEST(RunHostPolicyTest, OnlyAnInteractiveInstallationOnAnX86HostIsRefused)
{
    for (bool fExtractOnly : {false, true})
        for (bool fSilent : {false, true})
            for (PackageArch enmHost : {PackageArch_X86, PackageArch_X86_64, PackageArch_Arm64})
            {
                StubSettings Settings{};
                Settings.fExtractOnly = fExtractOnly;
                g_fSilentMode = fSilent;
                EXPECT_EQ(!fExtractOnly && !fSilent && enmHost == PackageArch_X86, StubRefusesHost(&Settings, enmHost))
                    << "extract-only " << fExtractOnly << ", silent " << fSilent << ", host " << enmHost;
            }
    g_fSilentMode = false;
}

} // namespace
