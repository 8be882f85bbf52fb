/* Host path services on Windows: the local system account's own temporary
   directory. Wine runs nothing as SYSTEM and has no GetTempPath2W, so
   those two answers come from stand-ins in the file layer's system-call
   table; everything else is the host's. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/path.h>

#include <gtest/gtest.h>
#include <string>

#include "internal/fileio.h"
#include "win-security.h"

namespace
{

/** The token's user: SYSTEM (S-1-5-18). */
NTSTATUS NTAPI systemUser(HANDLE, TOKEN_INFORMATION_CLASS enmClass, PVOID pvBuf, ULONG cbBuf, PULONG pcbReturned)
{
    struct
    {
        TOKEN_USER User;
        SID Sid;
    } Answer = {};
    if (enmClass != TokenUser || cbBuf < sizeof(Answer))
        return (NTSTATUS)0xC0000023; /* STATUS_BUFFER_TOO_SMALL */
    Answer.Sid = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID}};
    memcpy(pvBuf, &Answer, sizeof(Answer));
    ((TOKEN_USER *)pvBuf)->User.Sid = (BYTE *)pvBuf + offsetof(decltype(Answer), Sid);
    *pcbReturned = sizeof(Answer);
    return 0;
}

NTSTATUS NTAPI failQuery(HANDLE, TOKEN_INFORMATION_CLASS, PVOID, ULONG, PULONG)
{
    return (NTSTATUS)0xC0000017; /* STATUS_NO_MEMORY */
}

/** GetTempPath2W's answers, by the length of the path it gives. */
std::wstring g_wstrTemp2;
DWORD g_dwTemp2Error;
DWORD WINAPI tempPath2(DWORD cwcBuf, LPWSTR pwszBuf)
{
    if (g_dwTemp2Error)
    {
        SetLastError(g_dwTemp2Error);
        return 0;
    }
    if (cwcBuf <= g_wstrTemp2.size())
        return (DWORD)g_wstrTemp2.size() + 1;
    memcpy(pwszBuf, g_wstrTemp2.c_str(), (g_wstrTemp2.size() + 1) * sizeof(WCHAR));
    return (DWORD)g_wstrTemp2.size();
}

TEST(PathHostWin, OnlySystemGetsTheSystemsTemporaryDirectory)
{
    std::wstring const wstrLong = L"C:\\Windows\\" + std::wstring(5000, L'x') + L"\\";
    struct Case
    {
        const char *pszWhat;
        decltype(&::NtQueryInformationToken) pfnQuery; /**< null: the host's */
        DWORD dwTemp2Error;
        const std::wstring *pwstrTemp2;
        size_t cbBuf;
        int rcExpected;
        std::string strExpected;
    } const aCases[] = {
        {"the host's user", nullptr, 0, nullptr, 4100, ERR_NOT_SUPPORTED, ""},
        {"SYSTEM", systemUser, 0, nullptr, 4100, SUCCESS, "C:\\Windows\\SystemTemp\\"},
        /* Longer than the first buffer: asked again with the size it
           needs. */
        {"SYSTEM, a long answer", systemUser, 0, &wstrLong, 8000, SUCCESS, winsec::narrow(wstrLong.c_str())},
        {"SYSTEM, a small buffer", systemUser, 0, nullptr, 22, ERR_BUFFER_OVERFLOW, ""},
        {"SYSTEM on an older host", systemUser, ERROR_CALL_NOT_IMPLEMENTED, nullptr, 4100, ERR_NOT_SUPPORTED, ""},
        {"SYSTEM, the call fails", systemUser, ERROR_ACCESS_DENIED, nullptr, 4100, ERR_ACCESS_DENIED, ""},
        {"no answer about the user", failQuery, 0, nullptr, 4100, ERR_NO_MEMORY, ""},
    };
    static const std::wstring s_wstrSystemTemp = L"C:\\Windows\\SystemTemp\\";
    for (const Case &c : aCases)
    {
        RTFILESYSCALLS SysCalls = g_rtFileHostSysCalls;
        if (c.pfnQuery)
            SysCalls.pfnNtQueryInformationToken = c.pfnQuery;
        SysCalls.pfnGetTempPath2W = tempPath2;
        g_dwTemp2Error = c.dwTemp2Error;
        g_wstrTemp2 = c.pwstrTemp2 ? *c.pwstrTemp2 : s_wstrSystemTemp;
        const RTFILESYSCALLS *pOld = rtFileSetSysCalls(&SysCalls);
        std::string strBuf(c.cbBuf, '#');
        int const rc = RTPathSystemTempDir(&strBuf[0], c.cbBuf);
        rtFileSetSysCalls(pOld);
        EXPECT_EQ(c.rcExpected, rc) << c.pszWhat;
        if (rc == SUCCESS)
        {
            EXPECT_EQ(c.strExpected, strBuf.c_str()) << c.pszWhat;
        }
    }
}

TEST(PathHostWin, GetTempPath2WIsBoundWhereTheHostHasIt)
{
    /* The host's own entry of the table: on a host without the function
       it fails as a missing function does; with it, for anyone but SYSTEM
       it gives what GetTempPathW gives. */
    WCHAR wsz[MAX_PATH + 1];
    SetLastError(NO_ERROR);
    DWORD const cwc = g_rtFileHostSysCalls.pfnGetTempPath2W(RT_ELEMENTS(wsz), wsz);
    DWORD const dwErr = GetLastError();
    if (!GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W"))
    {
        EXPECT_EQ(0u, cwc);
        EXPECT_EQ((DWORD)ERROR_CALL_NOT_IMPLEMENTED, dwErr);
        return;
    }
    WCHAR wszOld[MAX_PATH + 1];
    ASSERT_NE(0u, GetTempPathW(RT_ELEMENTS(wszOld), wszOld));
    EXPECT_EQ(winsec::narrow(wszOld), winsec::narrow(wsz));
}

} // namespace
