/* Test helper: a fixture with a fresh temporary directory that is removed
   afterwards, and a way to make symbolic links on every host (under Wine a
   Unix link, which Wine shows as a reparse point). */
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
        /* Links inside the directory point inside it, so whatever the
           removal does with them stays in here. */
        if (!m_strDir.empty())
        {
            std::error_code Ec;
            std::filesystem::remove_all(std::filesystem::u8path(hostPath(m_strDir)), Ec);
        }
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

    /** @returns the path of @a pszName inside the test directory. */
    std::string path(const char *pszName) const
    {
        return m_strDir + "\\" + pszName;
    }

    /** Makes a symbolic link at @a strLink pointing to @a strTarget (both
     *  absolute). @returns false when the host cannot. */
    static bool makeSymlink(const std::string &strTarget, const std::string &strLink)
    {
#ifdef _WIN32
        std::wstring const wstrTarget(strTarget.begin(), strTarget.end());
        std::wstring const wstrLink(strLink.begin(), strLink.end());
        /* Wine's CreateSymbolicLinkW does not create anything; it does start
           Unix programs, so ln makes a Unix link that Wine reports as a
           reparse point. */
        typedef char *(CDECL * PFNWINEGETUNIXFILENAME)(LPCWSTR pwszDosName);
        PFNWINEGETUNIXFILENAME pfnUnixName = (PFNWINEGETUNIXFILENAME)(void *)GetProcAddress(
            GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
        if (!pfnUnixName)
            return CreateSymbolicLinkW(
                       wstrLink.c_str(), wstrTarget.c_str(),
                       SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                           (std::filesystem::is_directory(wstrTarget) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)) != FALSE;
        char *pszUnixTarget = pfnUnixName(wstrTarget.c_str());
        char *pszUnixLink = pfnUnixName(wstrLink.c_str());
        bool fOk = false;
        if (pszUnixTarget && pszUnixLink)
        {
            std::string const strCmd = std::string("ln -s \"") + pszUnixTarget + "\" \"" + pszUnixLink + "\"";
            std::wstring wstrCmd(strCmd.begin(), strCmd.end());
            STARTUPINFOW StartupInfo = {};
            StartupInfo.cb = sizeof(StartupInfo);
            PROCESS_INFORMATION ProcInfo;
            if (CreateProcessW(L"Z:\\bin\\ln", &wstrCmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &StartupInfo,
                               &ProcInfo))
            {
                WaitForSingleObject(ProcInfo.hProcess, 30000);
                CloseHandle(ProcInfo.hThread);
                CloseHandle(ProcInfo.hProcess);
                fOk = GetFileAttributesW(wstrLink.c_str()) != INVALID_FILE_ATTRIBUTES;
            }
        }
        HeapFree(GetProcessHeap(), 0, pszUnixTarget);
        HeapFree(GetProcessHeap(), 0, pszUnixLink);
        return fOk;
#else
        return symlink(hostPath(strTarget).c_str(), hostPath(strLink).c_str()) == 0;
#endif
    }

    std::string m_strDir;
};

#endif /* ZOLT_TESTS_R3_FSTESTDIR_H */
