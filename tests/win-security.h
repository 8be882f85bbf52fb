/* Test helper (Windows): access lists as SDDL text, the one a private
   directory must have, and a recorder of the security descriptors the
   runtime hands CreateDirectoryW (through the file layer's system-call
   table; the real call still makes the directory).

   Wine keeps no access lists on files: it turns a new file's list into
   Unix permission bits and makes one up from them when asked (the owner,
   SYSTEM, and Everyone if others may read), and it inherits nothing. So
   what a test can read back under Wine is who is let in at all; what the
   runtime asked for is in the recorded descriptor. */
#ifndef ZOLT_TESTS_WIN_SECURITY_H
#define ZOLT_TESTS_WIN_SECURITY_H

#include <windows.h>

#include <gtest/gtest.h>
#include <regex>
#include <sddl.h>
#include <string>
#include <vector>

#include "internal/fileio.h"

namespace winsec
{

inline std::string narrow(const wchar_t *pwsz)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    std::string str(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &str[0], cb, nullptr, nullptr);
    return str;
}

/** The parts @a fInfo of a security descriptor as SDDL, or "<error N>". */
inline std::string sddlOf(PSECURITY_DESCRIPTOR pSd, SECURITY_INFORMATION fInfo)
{
    LPWSTR pwsz = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(pSd, SDDL_REVISION_1, fInfo, &pwsz, nullptr))
        return "<error " + std::to_string(GetLastError()) + ">";
    std::string str = narrow(pwsz);
    LocalFree(pwsz);
    return str;
}

/** The owner and access list of a file or directory as SDDL. */
inline std::string sddlOfPath(const std::string &strPath)
{
    SECURITY_INFORMATION const fInfo = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD cb = 0;
    GetFileSecurityA(strPath.c_str(), fInfo, nullptr, 0, &cb);
    std::vector<BYTE> Buf(cb ? cb : 1);
    if (!GetFileSecurityA(strPath.c_str(), fInfo, Buf.data(), cb, &cb))
        return "<error " + std::to_string(GetLastError()) + ">";
    return sddlOf(Buf.data(), fInfo);
}

/** The process token's user as a SID string ("S-1-5-21-..."). */
inline std::string tokenUser()
{
    HANDLE hToken = nullptr;
    union {
        TOKEN_USER User;
        BYTE ab[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } Buf;
    DWORD cb = 0;
    LPWSTR pwsz = nullptr;
    std::string str = "<none>";
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken) &&
        GetTokenInformation(hToken, TokenUser, &Buf, sizeof(Buf), &cb) &&
        ConvertSidToStringSidW(Buf.User.User.Sid, &pwsz))
    {
        str = narrow(pwsz);
        LocalFree(pwsz);
    }
    if (hToken)
        CloseHandle(hToken);
    return str;
}

/** The access list of a private directory: protected, full control for
 *  the process's user, the administrators and SYSTEM, each inherited by
 *  files and subdirectories. */
inline std::string privateDacl()
{
    return "D:P(A;OICI;FA;;;" + tokenUser() + ")(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
}

/** What a file created in a private directory inherits. */
inline std::string privateFileDacl()
{
    return "D:(A;ID;FA;;;" + tokenUser() + ")(A;ID;FA;;;BA)(A;ID;FA;;;SY)";
}

/** The access list part of SDDL text, without the auto-inherited flag
 *  (which the file system sets as it pleases when it stores a list). */
inline std::string daclOf(const std::string &strSddl)
{
    size_t off = strSddl.find("D:");
    std::string str = off == std::string::npos ? strSddl : strSddl.substr(off);
    for (const char *pszFlags : {"D:PAI", "D:AI"})
        if (str.rfind(pszFlags, 0) == 0)
            str = (pszFlags[2] == 'P' ? "D:P" : "D:") + str.substr(strlen(pszFlags));
    return str;
}

/** The SIDs of the entries of an SDDL access list that grant access to
 *  someone other than the process's user, the administrators and SYSTEM,
 *  blank-separated; empty when nobody else is let in. */
inline std::string othersLetIn(const std::string &strSddl)
{
    std::string const strUser = tokenUser();
    std::string strOthers;
    std::regex const Ace("\\(A;[^;]*;[^;]*;[^;]*;[^;]*;([^)]*)\\)");
    for (std::sregex_iterator it(strSddl.begin(), strSddl.end(), Ace), end; it != end; ++it)
    {
        std::string const strSid = (*it)[1];
        if (strSid != strUser && strSid != "BA" && strSid != "SY")
            strOthers += (strOthers.empty() ? "" : " ") + strSid;
    }
    return strOthers;
}

/** True under Wine, which keeps no access lists (see the file comment). */
inline bool hostKeepsNoAccessLists()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

/** While alive, records the access list (SDDL) each CreateDirectoryW of
 *  the runtime is given, "<none>" for none, and lets the call go on. */
class CreateDirectoryRecorder
{
  public:
    CreateDirectoryRecorder()
    {
        s_Dacls.clear();
        m_SysCalls = *g_pRtFileSysCalls;
        s_pfnNext = m_SysCalls.pfnCreateDirectoryW;
        m_SysCalls.pfnCreateDirectoryW = record;
        m_pOld = rtFileSetSysCalls(&m_SysCalls);
    }
    ~CreateDirectoryRecorder()
    {
        rtFileSetSysCalls(m_pOld);
    }
    CreateDirectoryRecorder(const CreateDirectoryRecorder &) = delete;
    CreateDirectoryRecorder &operator=(const CreateDirectoryRecorder &) = delete;

    /** The access lists given so far, in order. */
    static std::vector<std::string> dacls()
    {
        return s_Dacls;
    }

  private:
    static BOOL WINAPI record(LPCWSTR pwszPath, LPSECURITY_ATTRIBUTES pSecAttr)
    {
        s_Dacls.push_back(pSecAttr && pSecAttr->lpSecurityDescriptor
                              ? sddlOf(pSecAttr->lpSecurityDescriptor, DACL_SECURITY_INFORMATION)
                              : "<none>");
        return s_pfnNext(pwszPath, pSecAttr);
    }

    static inline std::vector<std::string> s_Dacls;
    static inline decltype(&::CreateDirectoryW) s_pfnNext;
    RTFILESYSCALLS m_SysCalls;
    const RTFILESYSCALLS *m_pOld;
};

} // namespace winsec

#endif /* ZOLT_TESTS_WIN_SECURITY_H */
