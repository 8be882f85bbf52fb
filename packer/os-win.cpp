/** @file
 * The packer's host layer on Windows: UTF-8 paths become UTF-16 for the
 * wide calls, programs run through CreateProcessW with one pipe collecting
 * their output.
 */
#include "os-win.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#include "os.h"

std::string PackUtf8FromWide(const wchar_t *pwsz, size_t cwc)
{
    if (cwc == 0)
        return std::string();
    int cch = WideCharToMultiByte(CP_UTF8, 0, pwsz, (int)cwc, nullptr, 0, nullptr, nullptr);
    std::string str((size_t)(cch > 0 ? cch : 0), '\0');
    if (cch > 0)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, (int)cwc, str.data(), cch, nullptr, nullptr);
    return str;
}

std::wstring PackWideFromUtf8(const std::string &str)
{
    if (str.empty())
        return std::wstring();
    int cwc = MultiByteToWideChar(CP_UTF8, 0, str.data(), (int)str.size(), nullptr, 0);
    std::wstring wstr((size_t)(cwc > 0 ? cwc : 0), L'\0');
    if (cwc > 0)
        MultiByteToWideChar(CP_UTF8, 0, str.data(), (int)str.size(), wstr.data(), cwc);
    return wstr;
}

FILE *PackOpen(const std::string &strPath, const char *pszMode)
{
    std::wstring wstrMode = PackWideFromUtf8(pszMode);
    return _wfopen(PackWideFromUtf8(strPath).c_str(), wstrMode.c_str());
}

PackPathKind PackPathQuery(const std::string &strPath, uint64_t *pcbSize)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(PackWideFromUtf8(strPath).c_str(), GetFileExInfoStandard, &data))
        return PACK_PATH_NONE;
    if (pcbSize)
        *pcbSize = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return PACK_PATH_DIR;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        return PACK_PATH_OTHER;
    return PACK_PATH_FILE;
}

/** The system's text for a Windows error, UTF-8, without the line end. */
static std::string packWinErrorText(DWORD dwErr)
{
    wchar_t *pwsz = nullptr;
    DWORD cwc =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, dwErr, 0, (wchar_t *)&pwsz, 0, nullptr);
    std::string str = cwc ? PackUtf8FromWide(pwsz, cwc) : "error " + std::to_string(dwErr);
    LocalFree(pwsz);
    while (!str.empty() && (str.back() == '\n' || str.back() == '\r' || str.back() == ' ' || str.back() == '.'))
        str.pop_back();
    return str;
}

bool PackRename(const std::string &strFrom, const std::string &strTo, std::string *pstrError)
{
    if (MoveFileExW(PackWideFromUtf8(strFrom).c_str(), PackWideFromUtf8(strTo).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    DWORD dwErr = GetLastError();
    if (pstrError)
        *pstrError = packWinErrorText(dwErr);
    return false;
}

bool PackRemove(const std::string &strPath)
{
    if (DeleteFileW(PackWideFromUtf8(strPath).c_str()))
        return true;
    DWORD dwErr = GetLastError();
    return dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND;
}

bool PackMakeDir(const std::string &strPath, std::string *pstrError)
{
    if (CreateDirectoryW(PackWideFromUtf8(strPath).c_str(), nullptr))
        return true;
    DWORD dwErr = GetLastError();
    if (dwErr == ERROR_ALREADY_EXISTS && PackPathQuery(strPath) == PACK_PATH_DIR)
        return true;
    if (pstrError)
        *pstrError = packWinErrorText(dwErr);
    return false;
}

/** Offset of the last separator ('\\' or '/'), npos when none. */
static size_t packLastSeparator(const std::string &strPath)
{
    return strPath.find_last_of("\\/");
}

std::string PackPathDir(const std::string &strPath)
{
    size_t off = packLastSeparator(strPath);
    if (off == std::string::npos)
        return strPath.size() >= 2 && strPath[1] == ':' ? strPath.substr(0, 2) : ".";
    /* "\\x" and "C:\\x" keep their root separator. */
    if (off == 0 || (off == 2 && strPath[1] == ':'))
        return strPath.substr(0, off + 1);
    return strPath.substr(0, off);
}

std::string PackPathName(const std::string &strPath)
{
    size_t off = packLastSeparator(strPath);
    if (off == std::string::npos && strPath.size() >= 2 && strPath[1] == ':')
        return strPath.substr(2);
    return off == std::string::npos ? strPath : strPath.substr(off + 1);
}

std::string PackSelfPath()
{
    std::wstring wstr(MAX_PATH, L'\0');
    for (;;)
    {
        DWORD cwc = GetModuleFileNameW(nullptr, wstr.data(), (DWORD)wstr.size());
        if (cwc == 0)
            return std::string();
        if (cwc < wstr.size())
            return PackUtf8FromWide(wstr.data(), cwc);
        if (wstr.size() >= 32768)
            return std::string();
        wstr.resize(wstr.size() * 2);
    }
}

bool PackGetEnv(const char *pszName, std::string &strValue)
{
    std::wstring wstrName = PackWideFromUtf8(pszName);
    DWORD cwc = GetEnvironmentVariableW(wstrName.c_str(), nullptr, 0);
    if (cwc == 0)
    {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        strValue.clear(); /* set, but empty */
        return true;
    }
    std::wstring wstr(cwc, L'\0');
    cwc = GetEnvironmentVariableW(wstrName.c_str(), wstr.data(), cwc);
    strValue = PackUtf8FromWide(wstr.data(), cwc);
    return true;
}

/** True when a path names a file (not a directory). */
static bool packIsFile(const std::string &strPath)
{
    return PackPathQuery(strPath) == PACK_PATH_FILE;
}

std::string PackFindProgram(const std::string &strName)
{
    const char *apszSuffixes[] = {"", ".exe"};
    if (strName.find_first_of("\\/:") != std::string::npos)
    {
        for (const char *pszSuffix : apszSuffixes)
            if (packIsFile(strName + pszSuffix))
                return strName + pszSuffix;
        return std::string();
    }
    std::string strPath;
    PackGetEnv("PATH", strPath);
    size_t off = 0;
    for (;;)
    {
        size_t offEnd = strPath.find(';', off);
        std::string strDir = strPath.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        if (!strDir.empty())
        {
            if (strDir.back() != '\\' && strDir.back() != '/')
                strDir += '\\';
            for (const char *pszSuffix : apszSuffixes)
                if (packIsFile(strDir + strName + pszSuffix))
                    return strDir + strName + pszSuffix;
        }
        if (offEnd == std::string::npos)
            return std::string();
        off = offEnd + 1;
    }
}

/** Appends one argument quoted so that the C runtime's parser gives it back
 *  unchanged: backslashes are literal except before a quote, where each
 *  counts double. */
static void packQuoteArgument(const std::wstring &wstrArg, std::wstring &wstrCommandLine)
{
    if (!wstrCommandLine.empty())
        wstrCommandLine += L' ';
    if (!wstrArg.empty() && wstrArg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    {
        wstrCommandLine += wstrArg;
        return;
    }
    wstrCommandLine += L'"';
    size_t cBackslashes = 0;
    for (wchar_t wc : wstrArg)
    {
        if (wc == L'\\')
        {
            cBackslashes++;
            continue;
        }
        if (wc == L'"')
            wstrCommandLine.append(cBackslashes * 2 + 1, L'\\');
        else
            wstrCommandLine.append(cBackslashes, L'\\');
        cBackslashes = 0;
        wstrCommandLine += wc;
    }
    wstrCommandLine.append(cBackslashes * 2, L'\\');
    wstrCommandLine += L'"';
}

void PackRun(const std::vector<std::string> &argv, PackRunResult &result)
{
    result = PackRunResult();
    if (argv.empty())
    {
        result.strStartError = "no program given";
        return;
    }
    std::string strProgram = PackFindProgram(argv[0]);
    if (strProgram.empty())
    {
        result.strStartError = "'" + argv[0] + "' not found";
        return;
    }
    std::wstring wstrCommandLine;
    for (const std::string &str : argv)
        packQuoteArgument(PackWideFromUtf8(str), wstrCommandLine);

    /* The child inherits only the pipe's write end (as its output and
       errors) and the null device (as its input). */
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
    {
        result.strStartError = packWinErrorText(GetLastError());
        return;
    }
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE hNull =
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = hNull;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    PROCESS_INFORMATION pi = {};
    BOOL fOk = CreateProcessW(PackWideFromUtf8(strProgram).c_str(), wstrCommandLine.data(), nullptr, nullptr, TRUE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    DWORD dwErr = GetLastError();
    CloseHandle(hWrite);
    if (hNull != INVALID_HANDLE_VALUE)
        CloseHandle(hNull);
    if (!fOk)
    {
        CloseHandle(hRead);
        result.strStartError = packWinErrorText(dwErr);
        return;
    }
    result.fStarted = true;

    char abBuf[4096];
    DWORD cb;
    while (ReadFile(hRead, abBuf, sizeof(abBuf), &cb, nullptr) && cb > 0)
        result.strOutput.append(abBuf, cb);
    CloseHandle(hRead);

    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExit = 0;
    if (GetExitCodeProcess(pi.hProcess, &dwExit))
        result.iExitCode = (int)dwExit;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}
