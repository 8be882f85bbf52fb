/* The runtime's own start-up, seen from outside: starts nocrt-child (built
   like the launcher) with CreateProcessW and checks its arguments, static
   initialisers, exit processing order, full 32-bit exit codes, stream
   flushing at exit, runtime initialisation and crash report. Also the
   at-exit table's limit, in this process. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/nocrt.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "internal/winostype.h"

namespace
{

/** What a child did. */
struct ChildResult
{
    DWORD uExitCode = 0xdeadbeef;
    std::string Out;
    std::string Err;
};

/** The helper programs' folder: win-programs beside this test executable. */
std::wstring programPath(const wchar_t *pwszName)
{
    wchar_t wszExe[MAX_PATH];
    DWORD cwc = GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    std::wstring Dir(wszExe, cwc);
    return Dir.substr(0, Dir.find_last_of(L"\\/") + 1) + L"win-programs\\" + pwszName;
}

HANDLE createCaptureFile(const wchar_t *pwszPath)
{
    SECURITY_ATTRIBUTES Sa = {sizeof(Sa), nullptr, TRUE};
    return CreateFileW(pwszPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &Sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string readCaptureFile(HANDLE hFile)
{
    std::string Text;
    SetFilePointer(hFile, 0, nullptr, FILE_BEGIN);
    char achBuf[4096];
    DWORD cbRead;
    while (ReadFile(hFile, achBuf, sizeof(achBuf), &cbRead, nullptr) && cbRead)
        Text.append(achBuf, cbRead);
    return Text;
}

/** Runs nocrt-child with the given command line tail (after the quoted
 *  program path and a blank) and captures its standard output and error. */
ChildResult runChild(const std::wstring &wszTail, const wchar_t *pwszProgram = L"nocrt-child.exe")
{
    ChildResult Result;
    std::wstring wszCmdLine = L"\"" + programPath(pwszProgram) + L"\" " + wszTail;
    static unsigned s_iRun = 0;
    std::wstring const wszRun = std::to_wstring(s_iRun++);
    HANDLE hOut = createCaptureFile((L"nocrt_startup_test-out" + wszRun + L".tmp").c_str());
    HANDLE hErr = createCaptureFile((L"nocrt_startup_test-err" + wszRun + L".tmp").c_str());
    EXPECT_NE(hOut, INVALID_HANDLE_VALUE);
    EXPECT_NE(hErr, INVALID_HANDLE_VALUE);

    STARTUPINFOW Si = {};
    Si.cb = sizeof(Si);
    Si.dwFlags = STARTF_USESTDHANDLES;
    Si.hStdInput = INVALID_HANDLE_VALUE;
    Si.hStdOutput = hOut;
    Si.hStdError = hErr;
    PROCESS_INFORMATION Pi = {};
    std::vector<wchar_t> CmdLine(wszCmdLine.begin(), wszCmdLine.end());
    CmdLine.push_back(L'\0');
    BOOL fOk = CreateProcessW(nullptr, CmdLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Si, &Pi);
    EXPECT_TRUE(fOk) << "CreateProcessW failed: " << GetLastError();
    if (fOk)
    {
        EXPECT_EQ(WaitForSingleObject(Pi.hProcess, 60000), WAIT_OBJECT_0);
        GetExitCodeProcess(Pi.hProcess, &Result.uExitCode);
        CloseHandle(Pi.hThread);
        CloseHandle(Pi.hProcess);
    }
    Result.Out = readCaptureFile(hOut);
    Result.Err = readCaptureFile(hErr);
    CloseHandle(hOut);
    CloseHandle(hErr);
    return Result;
}

std::string hexLines(std::initializer_list<const char *> Args)
{
    std::string Text;
    for (const char *psz : Args)
    {
        for (; *psz; psz++)
        {
            char szByte[3];
            snprintf(szByte, sizeof(szByte), "%02x", (unsigned char)*psz);
            Text += szByte;
        }
        Text += '\n';
    }
    return Text;
}

/** The host's class, from its version as RtlGetVersion tells it. */
int hostOsType(void)
{
    typedef LONG(WINAPI * PFNRTLGETVERSION)(PRTL_OSVERSIONINFOW);
    RTL_OSVERSIONINFOEXW Info = {};
    Info.dwOSVersionInfoSize = sizeof(Info);
    auto pfnRtlGetVersion = reinterpret_cast<PFNRTLGETVERSION>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!pfnRtlGetVersion || pfnRtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(&Info)) != 0)
        return -1;
    return rtWinClassifyOsVersion(Info.dwPlatformId, Info.dwMajorVersion, Info.dwMinorVersion, Info.dwBuildNumber,
                                  Info.wProductType);
}

TEST(NoCrtStartup, ArgumentsArriveSplit)
{
    std::wstring const wszExe = programPath(L"nocrt-child.exe");
    std::string szExe(wszExe.begin(), wszExe.end()); /* the build path is ASCII */
    ChildResult R = runChild(L"args --path \"C:\\Program Files\\X\" -s a\\\\\\\"b \"\" \"x\"\"y\" "
                             L"\x00e9\x20ac\xd83d\xde00");
    EXPECT_EQ(R.uExitCode, 0u);
    EXPECT_EQ(R.Out, hexLines({szExe.c_str(), "args", "--path", "C:\\Program Files\\X", "-s", "a\\\"b", "", "x\"y",
                               "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"}));
    EXPECT_EQ(R.Err, "");
}

TEST(NoCrtStartup, ExitCodeIsMainsResult)
{
    for (int iExit : {0, 1, 3, 255, 256, 3010, 70000, -2, INT32_MAX})
    {
        ChildResult R = runChild(L"exit " + std::to_wstring(iExit));
        EXPECT_EQ(R.uExitCode, (DWORD)iExit) << iExit;
    }
}

TEST(NoCrtStartup, InitialisersAndExitProcessingOrder)
{
    ChildResult R = runChild(L"order");
    EXPECT_EQ(R.uExitCode, 0u);
    /* Static constructor, .CRT$XI and .CRT$XC ran before main. At exit: the
       at-exit callbacks last-registered first (one registered during exit
       runs next), then the static destructor registered at start-up, then
       the .CRT$XT terminator. */
    EXPECT_EQ(R.Out, "ctor xi xc|main|CBAEDT");
}

TEST(NoCrtStartup, FailingInitialiserEndsTheProcess)
{
    SetEnvironmentVariableW(L"NOCRT_CHILD_XI", L"1234");
    ChildResult R = runChild(L"order");
    SetEnvironmentVariableW(L"NOCRT_CHILD_XI", nullptr);
    EXPECT_EQ(R.uExitCode, 1234u);
    EXPECT_EQ(R.Err, "A C static initializor failed (1234 (0x4d2)\r\n");
    EXPECT_EQ(R.Out, ""); /* no main, and no exit processing */
}

TEST(NoCrtStartup, RedirectedStandardOutputIsFlushedAtExit)
{
    /* The first line finds a file behind standard output, which makes the
       stream fully buffered: the second line waits for exit, after the raw
       write. */
    ChildResult R = runChild(L"stream");
    EXPECT_EQ(R.uExitCode, 0u);
    /* The standard streams write the process's ANSI code page, not UTF-8. */
    char szAcute[8] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, L"\x00e9", 1, szAcute, sizeof(szAcute), nullptr, nullptr), 0);
    EXPECT_EQ(R.Out, std::string("a\r\n|b") + szAcute + "\r\n");
}

TEST(NoCrtStartup, RuntimeInitialisation)
{
    for (int fFlags : {0, 4})
    {
        ChildResult R = runChild(L"init " + std::to_wstring(fFlags));
        EXPECT_EQ(R.uExitCode, 0u) << R.Err;
        /* The host's class (Wine presents Windows 7 or later, depending on
           the prefix); from 7 on the DLL search path is restricted: system
           directory only with flag 4, system and application directory
           without. */
        int iType = 0, iSearch = 0;
        ASSERT_EQ(sscanf(R.Out.c_str(), "type=%d search=%d stdout=std\r\n", &iType, &iSearch), 2) << R.Out;
        EXPECT_EQ(iType, hostOsType());
        EXPECT_GE(iType, RTWINOSTYPE_7);
        EXPECT_EQ(iSearch, fFlags ? 4 : 3);
        EXPECT_EQ(R.Err, "nocrt-child.exe: error: boom 42\r\n");
    }
}

TEST(NoCrtStartup, UnhandledExceptionIsReported)
{
    ChildResult R = runChild(L"crash");
    EXPECT_EQ(R.uExitCode, (DWORD)EXCEPTION_ACCESS_VIOLATION);
    EXPECT_NE(R.Err.find("!! Unhandled exception 0xc0000005 at 0x"), std::string::npos) << R.Err;
    EXPECT_NE(R.Err.find(" writing 0x2 in thread "), std::string::npos) << R.Err;
}

TEST(NoCrtStartup, AtExitTableHoldsAtMost8192)
{
    /* This process has the C runtime's start-up: nothing else has used the
       table, and it is never run here. */
    static auto s_pfnNop = [] {};
    int cOk = 0;
    for (int i = 0; i < 8192; i++)
        cOk += RTNoCrtAtExit(s_pfnNop) == 0;
    EXPECT_EQ(cOk, 8192);
    EXPECT_EQ(RTNoCrtAtExit(s_pfnNop), -1);
    EXPECT_EQ(RTNoCrtAtExit(s_pfnNop), -1);
}

} // namespace
