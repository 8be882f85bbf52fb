/** @file
 * Tests of the Windows Installer call. The installer's three functions are
 * replaced through their lazily bound slots, so a test can give the
 * results Wine's installer does not give on demand and see every argument;
 * message texts come from the platform's real FormatMessageW, and the
 * network message module is a stand-in (tests/e2e/fixtures/netmsg.mc)
 * planted in the system directory. Real installations are in tests/e2e.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/initterm.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "capture.h"
#include "cmdline.h"
#include "lazybind.h"
#include "msipackage.h"

namespace
{

std::string Utf8(const wchar_t *pwsz)
{
    if (!pwsz)
        return "<null>";
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, NULL, 0, NULL, NULL);
    std::string str(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &str[0], cb, NULL, NULL);
    return str;
}

/** What the fake installer saw, one line per call, and what it answers. */
struct FakeInstaller
{
    std::vector<std::string> Calls;
    INSTALLUILEVEL enmPreviousLevel = INSTALLUILEVEL_DEFAULT;
    UINT uEnableLogResult = ERROR_SUCCESS;
    UINT uInstallResult = ERROR_SUCCESS;
};
FakeInstaller *g_pFake;

INSTALLUILEVEL WINAPI FakeSetInternalUI(INSTALLUILEVEL enmLevel, HWND *phWnd)
{
    g_pFake->Calls.push_back("ui " + std::to_string(enmLevel) + (phWnd ? " owner" : " null"));
    return g_pFake->enmPreviousLevel;
}

UINT WINAPI FakeEnableLogW(DWORD fLogMode, LPCWSTR pwszLogFile, DWORD fAttributes)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "log %#lx %lu ", fLogMode, fAttributes);
    g_pFake->Calls.push_back(sz + Utf8(pwszLogFile));
    return g_pFake->uEnableLogResult;
}

UINT WINAPI FakeInstallProductW(LPCWSTR pwszPackage, LPCWSTR pwszCommandLine)
{
    g_pFake->Calls.push_back("install " + Utf8(pwszPackage) + " |" + Utf8(pwszCommandLine));
    return g_pFake->uInstallResult;
}

/** The lines of what the launcher wrote as runtime error messages, their
 *  "<program>: error: " prefix removed (the program name is the test
 *  binary's, if any). A line without the prefix is kept with "!!" in
 *  front. */
std::string ErrorMessages(const std::string &strErr)
{
    std::string strOut;
    size_t off = 0;
    while (off < strErr.size())
    {
        size_t offEnd = strErr.find('\n', off);
        std::string strLine = strErr.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        off = offEnd == std::string::npos ? strErr.size() : offEnd + 1;
        size_t offPrefix = strLine.find(": error: ");
        strOut += offPrefix == std::string::npos ? "!!" + strLine : strLine.substr(offPrefix + 9);
        strOut += '\n';
    }
    return strOut;
}

/** The platform's text for @a uCode from the system's table, line ends as
 *  the capture gives them; empty when there is none. */
std::string SystemText(UINT uCode)
{
    wchar_t *pwszText = NULL;
    DWORD cwc =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       NULL, uCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPWSTR)&pwszText, 0, NULL);
    if (!cwc)
        return "";
    std::string str;
    for (char ch : Utf8(pwszText))
        if (ch != '\r')
            str += ch;
    LocalFree(pwszText);
    return str;
}

/** Where the system's network message module is looked up. */
std::wstring SystemNetMsgPath()
{
    wchar_t wszSystem[MAX_PATH];
    UINT cwc = GetSystemDirectoryW(wszSystem, MAX_PATH);
    return std::wstring(wszSystem, cwc < MAX_PATH ? cwc : 0) + L"\\netmsg.dll";
}

/** The stand-in network message module beside this test executable. */
std::wstring FixtureNetMsgPath()
{
    wchar_t wszExe[MAX_PATH];
    DWORD cwc = GetModuleFileNameW(NULL, wszExe, MAX_PATH);
    std::wstring str(wszExe, cwc < MAX_PATH ? cwc : 0);
    return str.substr(0, str.find_last_of(L"\\/") + 1) + L"e2e\\fixtures\\netmsg.dll";
}

std::string FileBytes(const std::wstring &strPath)
{
    std::string strData;
    HANDLE h = CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return strData;
    char ab[4096];
    DWORD cb = 0;
    while (ReadFile(h, ab, sizeof(ab), &cb, NULL) && cb)
        strData.append(ab, cb);
    CloseHandle(h);
    return strData;
}

/** @returns true when the system directory has a network message module
 *  that is not ours; ours, left by an interrupted run, is removed. */
bool SystemHasNetMsg()
{
    std::wstring strSystem = SystemNetMsgPath();
    if (GetFileAttributesW(strSystem.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    std::string strFixture = FileBytes(FixtureNetMsgPath());
    if (!strFixture.empty() && FileBytes(strSystem) == strFixture && DeleteFileW(strSystem.c_str()))
        return false;
    return true;
}

/** The failure message expected for @a uCode when its text is @a strText
 *  (empty: the number), as ErrorMessages gives it. */
std::string FailureMessage(UINT uCode, const std::string &strText)
{
    std::string str = "Installation failed! Error: " + (strText.empty() ? std::to_string(uCode) : strText);
    if (str.back() != '\n')
        str += '\n';
    return str;
}

class MsiTest : public ::testing::Test
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
        g_pFake = &m_Fake;
        m_pfnSaveUI = g_pfnMsiSetInternalUI;
        m_pfnSaveLog = g_pfnMsiEnableLogW;
        m_pfnSaveInstall = g_pfnMsiInstallProductW;
        g_pfnMsiSetInternalUI = FakeSetInternalUI;
        g_pfnMsiEnableLogW = FakeEnableLogW;
        g_pfnMsiInstallProductW = FakeInstallProductW;
        g_fSilentMode = true;
    }
    void TearDown() override
    {
        g_pfnMsiSetInternalUI = m_pfnSaveUI;
        g_pfnMsiEnableLogW = m_pfnSaveLog;
        g_pfnMsiInstallProductW = m_pfnSaveInstall;
        g_fSilentMode = false;
        g_pFake = nullptr;
    }
    /** Installs the usual package silently with the fake giving @a uResult.
     *  @returns the exit code. */
    int InstallWithResult(UINT uResult)
    {
        m_Fake.uInstallResult = uResult;
        return InstallMsiPackage("C:\\x\\a.msi", "", NULL);
    }

    FakeInstaller m_Fake;
    StreamCapture m_Capture;
    decltype(g_pfnMsiSetInternalUI) m_pfnSaveUI;
    decltype(g_pfnMsiEnableLogW) m_pfnSaveLog;
    decltype(g_pfnMsiInstallProductW) m_pfnSaveInstall;
};

TEST_F(MsiTest, SilentInstallSetsNoUiVerboseFlushedLogAndProperties)
{
    EXPECT_EQ(0, InstallMsiPackage("C:\\Temp\\Grüße\\a.msi", "A=1 B=\"two words\"", "C:\\Temp\\Grüße\\log.txt"));
    std::vector<std::string> Want = {"ui 2 null", "log 0x1000 2 C:\\Temp\\Grüße\\log.txt",
                                     "install C:\\Temp\\Grüße\\a.msi |A=1 B=\"two words\""};
    EXPECT_EQ(Want, m_Fake.Calls);
    EXPECT_EQ("", m_Capture.TakeErr());
    EXPECT_EQ("", m_Capture.TakeOut());
}

TEST_F(MsiTest, InteractiveFullUiNoLogEmptyPropertiesAndQuietOutcomes)
{
    /* Interactive runs show nothing for a restart or the user's own cancel
       (a box would block this test). */
    g_fSilentMode = false;
    const struct
    {
        UINT uResult;
        int rcExit;
    } s_aCases[] = {{ERROR_SUCCESS, 0}, {ERROR_SUCCESS_REBOOT_REQUIRED, 3010}, {ERROR_INSTALL_USEREXIT, 1}};
    for (const auto &Case : s_aCases)
    {
        m_Fake.Calls.clear();
        EXPECT_EQ(Case.rcExit, InstallWithResult(Case.uResult)) << Case.uResult;
        /* No log: MsiEnableLogW is not called. No properties: an empty
           text, not a null pointer. */
        std::vector<std::string> Want = {"ui 5 null", "install C:\\x\\a.msi |"};
        EXPECT_EQ(Want, m_Fake.Calls) << Case.uResult;
        EXPECT_EQ("", m_Capture.TakeErr()) << Case.uResult;
        EXPECT_EQ("", m_Capture.TakeOut()) << Case.uResult;
    }
}

TEST_F(MsiTest, SilentOutcomesOfTheKnownResults)
{
    const struct
    {
        UINT uResult;
        int rcExit;
        const char *pszErr; /* as ErrorMessages gives it */
        const char *pszOutSuffix;
    } s_aCases[] = {
        {ERROR_SUCCESS, 0, "", ""},
        {ERROR_SUCCESS_REBOOT_REQUIRED, 3010, "", ": info: Reboot required (by C:\\x\\a.msi)\n"},
        {ERROR_INSTALL_USEREXIT, 1, "", ""},
        {ERROR_INSTALL_PACKAGE_VERSION, 1,
         "This installation package cannot be installed by the Windows Installer service.\n"
         "You must install a Windows service pack that contains a newer version of the Windows Installer service.\n",
         ""},
        {ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1, "This installation package is not supported on this platform.\n", ""},
    };
    for (const auto &Case : s_aCases)
    {
        EXPECT_EQ(Case.rcExit, InstallWithResult(Case.uResult)) << Case.uResult;
        EXPECT_EQ(Case.pszErr, ErrorMessages(m_Capture.TakeErr())) << Case.uResult;
        std::string strOut = m_Capture.TakeOut();
        std::string strSuffix = Case.pszOutSuffix;
        EXPECT_TRUE(strOut.size() >= strSuffix.size() &&
                    strOut.compare(strOut.size() - strSuffix.size(), std::string::npos, strSuffix) == 0 &&
                    (strSuffix.empty() ? strOut.empty() : std::count(strOut.begin(), strOut.end(), '\n') == 1))
            << Case.uResult << ": " << strOut;
    }
}

TEST_F(MsiTest, OtherResultsShowThePlatformTextOrTheNumber)
{
    /* 1627 has a system text; 0x20001234 (a customer-defined code) has
       none anywhere. Network results without a network message module
       (Wine has none) come from the system's table too. */
    if (SystemHasNetMsg())
    {
        GTEST_SKIP() << "the system has a network message module";
    }
    for (UINT uResult : {1627u, 0x20001234u, 2100u, 2250u, 2999u})
    {
        EXPECT_EQ(1, InstallWithResult(uResult)) << uResult;
        EXPECT_EQ(FailureMessage(uResult, SystemText(uResult)), ErrorMessages(m_Capture.TakeErr())) << uResult;
        EXPECT_EQ("", m_Capture.TakeOut()) << uResult;
    }
    EXPECT_EQ("", SystemText(0x20001234u)) << "the case needs a code without text";
}

/** The stand-in network message module in the system directory for the
 *  test's life. */
class MsiNetMsgTest : public MsiTest
{
  protected:
    void SetUp() override
    {
        MsiTest::SetUp();
        if (SystemHasNetMsg())
        {
            GTEST_SKIP() << "the system has a network message module of its own";
        }
        m_strPlanted = SystemNetMsgPath();
        std::wstring strSource = FixtureNetMsgPath();
        ASSERT_TRUE(CopyFileW(strSource.c_str(), m_strPlanted.c_str(), TRUE))
            << "cannot plant " << Utf8(strSource.c_str()) << ": " << GetLastError();
        m_fPlanted = true;
    }
    void TearDown() override
    {
        if (m_fPlanted)
        {
            EXPECT_TRUE(DeleteFileW(m_strPlanted.c_str())) << GetLastError();
        }
        MsiTest::TearDown();
    }
    std::wstring m_strPlanted;
    bool m_fPlanted = false;
};

TEST_F(MsiNetMsgTest, NetworkResultsComeFromTheModuleOthersFromTheSystem)
{
    /* The module has texts for 2099 to 3000; only 2100 to 2999 are looked
       up there. */
    const struct
    {
        UINT uResult;
        bool fFromModule;
    } s_aCases[] = {{2099, false}, {2100, true}, {2250, true}, {2999, true}, {3000, false}};
    for (const auto &Case : s_aCases)
    {
        EXPECT_EQ(1, InstallWithResult(Case.uResult)) << Case.uResult;
        std::string strText = Case.fFromModule ? "Marrowdale test module: " + std::to_string(Case.uResult) + ".\n"
                                               : SystemText(Case.uResult);
        EXPECT_EQ(FailureMessage(Case.uResult, strText), ErrorMessages(m_Capture.TakeErr())) << Case.uResult;
    }
}

TEST_F(MsiTest, RefusedUiLevelStopsBeforeLogAndInstallation)
{
    m_Fake.enmPreviousLevel = INSTALLUILEVEL_NOCHANGE;
    EXPECT_EQ(1, InstallMsiPackage("C:\\x\\a.msi", "A=1", "C:\\x\\log.txt"));
    EXPECT_EQ(std::vector<std::string>{"ui 2 null"}, m_Fake.Calls);
    EXPECT_EQ("Internal error: MsiSetInternalUI failed.\n", ErrorMessages(m_Capture.TakeErr()));
}

TEST_F(MsiTest, FailingLogStopsBeforeInstallation)
{
    m_Fake.uEnableLogResult = ERROR_INVALID_PARAMETER;
    EXPECT_EQ(1, InstallMsiPackage("C:\\x\\a.msi", "A=1", "C:\\x\\log.txt"));
    std::vector<std::string> Want = {"ui 2 null", "log 0x1000 2 C:\\x\\log.txt"};
    EXPECT_EQ(Want, m_Fake.Calls);
    EXPECT_EQ("MsiEnableLogW failed\n", ErrorMessages(m_Capture.TakeErr()));
}

TEST_F(MsiTest, TextsThatAreNotUtf8AreNamedAndNothingIsInstalled)
{
    const char *pszBad = "C:\\x\\\xff.msi";
    const struct
    {
        const char *pszPackage, *pszParams, *pszLog;
        size_t cCalls; /* calls made before the conversion failed */
    } s_aCases[] = {
        {"C:\\x\\a.msi", "", pszBad, 1},
        {pszBad, "", "C:\\x\\log.txt", 2},
        {"C:\\x\\a.msi", pszBad, "C:\\x\\log.txt", 2},
    };
    for (const auto &Case : s_aCases)
    {
        m_Fake.Calls.clear();
        EXPECT_EQ(1, InstallMsiPackage(Case.pszPackage, Case.pszParams, Case.pszLog));
        EXPECT_EQ(Case.cCalls, m_Fake.Calls.size());
        EXPECT_EQ(std::string("RTStrToUtf16 failed on '") + pszBad + "': ERR_INVALID_UTF8_ENCODING\n",
                  ErrorMessages(m_Capture.TakeErr()));
    }
}

} // namespace
