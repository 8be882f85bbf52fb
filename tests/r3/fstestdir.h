/* Test helper: a fixture with a fresh temporary directory that is removed
   afterwards, and a way to make symbolic links on every host (under Wine a
   Unix link, made by running ln). */
#ifndef ZOLT_TESTS_R3_FSTESTDIR_H
#define ZOLT_TESTS_R3_FSTESTDIR_H

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/path.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

class FsTestDir : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        char szDir[RTPATH_MAX];
        ASSERT_EQ(RTPathTempDir(szDir, sizeof(szDir)), SUCCESS);
        ASSERT_EQ(RTPathAppend(szDir, sizeof(szDir), "zolt-test-XXXXXXXXXXXX"), SUCCESS);
        ASSERT_EQ(RTDirCreateTemp(szDir, 0700), SUCCESS);
        m_strDir = szDir;
    }

    void TearDown() override
    {
        if (!m_strDir.empty())
            removeTree(m_strDir);
    }

    /** @returns the path of @a pszName inside the test directory. */
    std::string path(const char *pszName) const
    {
        return m_strDir + "\\" + pszName;
    }

    /** @returns @a strPath in the host's own form: on POSIX the runtime's
     *  '\\' separators become '/'. */
    static std::string hostPath(std::string strPath)
    {
#ifndef _WIN32
        for (char &ch : strPath)
            if (ch == '\\')
                ch = '/';
#endif
        return strPath;
    }

#ifdef _WIN32
    static std::wstring wide(const std::string &str)
    {
        return std::wstring(str.begin(), str.end()); /* test paths are ASCII */
    }

    /** Wine's way from a Windows path to the Unix one; null on Windows. */
    typedef char *(CDECL *PFNWINEGETUNIXFILENAME)(LPCWSTR pwszDosName);
    static PFNWINEGETUNIXFILENAME wineUnixName()
    {
        return (PFNWINEGETUNIXFILENAME)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                              "wine_get_unix_file_name");
    }

    static std::string unixPath(const std::string &strPath)
    {
        char *psz = wineUnixName()(wide(strPath).c_str());
        std::string str(psz ? psz : "");
        HeapFree(GetProcessHeap(), 0, psz);
        return str;
    }

    /** Starts a Unix program under Wine. Wine gives no process handle to
     *  wait on for those, so callers poll for the program's effect. */
    static bool startUnix(const wchar_t *pwszProgram, const std::string &strCmd)
    {
        std::wstring wstrCmd = wide(strCmd);
        STARTUPINFOW StartupInfo = {};
        StartupInfo.cb = sizeof(StartupInfo);
        PROCESS_INFORMATION ProcInfo = {};
        if (!CreateProcessW(pwszProgram, &wstrCmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &StartupInfo,
                            &ProcInfo))
            return false;
        if (ProcInfo.hThread)
            CloseHandle(ProcInfo.hThread);
        if (ProcInfo.hProcess)
            CloseHandle(ProcInfo.hProcess);
        return true;
    }

    /** Polls @a fnDone for up to 20 seconds. */
    template <class Fn> static bool waitFor(Fn fnDone)
    {
        for (int i = 0; i < 2000; i++)
        {
            if (fnDone())
                return true;
            Sleep(10);
        }
        return fnDone();
    }

    static bool exists(const std::string &strPath)
    {
        return GetFileAttributesW(wide(strPath).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    /** Removes a tree without ever entering a link (reparse point). */
    static void removeTreeWin(const std::wstring &wstrDir)
    {
        WIN32_FIND_DATAW Data;
        HANDLE hFind = FindFirstFileW((wstrDir + L"\\*").c_str(), &Data);
        if (hFind != INVALID_HANDLE_VALUE)
        {
            do
            {
                std::wstring const wstrName = Data.cFileName;
                if (wstrName == L"." || wstrName == L"..")
                    continue;
                std::wstring const wstrPath = wstrDir + L"\\" + wstrName;
                if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                {
                    if (!(Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                        removeTreeWin(wstrPath);
                    RemoveDirectoryW(wstrPath.c_str());
                }
                else
                {
                    SetFileAttributesW(wstrPath.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(wstrPath.c_str());
                }
            } while (FindNextFileW(hFind, &Data));
            FindClose(hFind);
        }
        RemoveDirectoryW(wstrDir.c_str());
    }
#endif

    static void removeTree(const std::string &strDir)
    {
#ifdef _WIN32
        /* Under Wine a Windows-side removal could follow a Unix link to a
           file (Wine opens the target), so the Unix side does it. */
        if (wineUnixName())
        {
            if (startUnix(L"Z:\\bin\\rm", "rm -rf \"" + unixPath(strDir) + "\""))
                waitFor([&] { return !exists(strDir); });
        }
        else
            removeTreeWin(wide(strDir));
#else
        std::error_code Ec;
        std::filesystem::remove_all(hostPath(strDir), Ec);
#endif
    }

    /** Makes a symbolic link at @a strLink pointing to @a strTarget (both
     *  absolute). @returns false when the host cannot. */
    static bool makeSymlink(const std::string &strTarget, const std::string &strLink)
    {
#ifdef _WIN32
        /* Wine's CreateSymbolicLinkW creates nothing; a Unix link made by ln
           is what Wine shows as a link. */
        if (wineUnixName())
            return startUnix(L"Z:\\bin\\ln", "ln -s \"" + unixPath(strTarget) + "\" \"" + unixPath(strLink) + "\"") &&
                   waitFor([&] { return exists(strLink); });
        DWORD const fDir = GetFileAttributesW(wide(strTarget).c_str()) & FILE_ATTRIBUTE_DIRECTORY;
        return CreateSymbolicLinkW(wide(strLink).c_str(), wide(strTarget).c_str(),
                                   SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                                       (fDir ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)) != FALSE;
#else
        return symlink(hostPath(strTarget).c_str(), hostPath(strLink).c_str()) == 0;
#endif
    }

    std::string m_strDir;
};

#endif /* ZOLT_TESTS_R3_FSTESTDIR_H */
