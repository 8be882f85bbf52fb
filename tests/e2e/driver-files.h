/** @file
 * File and command-line helpers shared by the Windows-side test drivers
 * (races/race-driver.cpp, faults/fault-driver.cpp): plain Win32 calls, so
 * that a driver judges the launcher with nothing of the launcher's own.
 */
#ifndef ZOLT_E2E_DRIVER_FILES_H
#define ZOLT_E2E_DRIVER_FILES_H

#include <windows.h>

#include <string>
#include <vector>

static inline std::string toUtf8(const std::wstring &wsz)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, wsz.c_str(), -1, NULL, 0, NULL, NULL);
    std::string str(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1)
        WideCharToMultiByte(CP_UTF8, 0, wsz.c_str(), -1, &str[0], cb, NULL, NULL);
    return str;
}

static inline bool exists(const std::wstring &wszPath)
{
    return GetFileAttributesW(wszPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/** Reads the whole file, sharing it with every other opener. */
static inline bool readFile(const std::wstring &wszPath, std::string *pstr)
{
    HANDLE h = CreateFileW(wszPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    pstr->clear();
    char ab[65536];
    DWORD cb = 0;
    while (ReadFile(h, ab, sizeof(ab), &cb, NULL) && cb)
        pstr->append(ab, cb);
    CloseHandle(h);
    return true;
}

static inline bool writeFile(const std::wstring &wszPath, const std::string &str)
{
    HANDLE h = CreateFileW(wszPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD cb = 0;
    BOOL fOk = WriteFile(h, str.data(), (DWORD)str.size(), &cb, NULL) && cb == str.size();
    CloseHandle(h);
    return fOk;
}

struct DirEntry
{
    std::wstring wszName;
    bool fDir;
};

static inline std::vector<DirEntry> listDir(const std::wstring &wszDir)
{
    std::vector<DirEntry> Entries;
    WIN32_FIND_DATAW Fd;
    HANDLE h = FindFirstFileW((wszDir + L"\\*").c_str(), &Fd);
    if (h == INVALID_HANDLE_VALUE)
        return Entries;
    do
        if (wcscmp(Fd.cFileName, L".") && wcscmp(Fd.cFileName, L".."))
            Entries.push_back({Fd.cFileName, (Fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    while (FindNextFileW(h, &Fd));
    FindClose(h);
    return Entries;
}

/** Everything below @a wszDir, "name" or "name/" for directories, each
 *  followed by @a chSep; the files' names and the directories' trees. */
static inline std::string describeTree(const std::wstring &wszDir, char chSep, const std::string &strPrefix = "")
{
    std::string str;
    for (const DirEntry &E : listDir(wszDir))
    {
        str += strPrefix + toUtf8(E.wszName) + (E.fDir ? "/" : "") + chSep;
        if (E.fDir)
            str += describeTree(wszDir + L"\\" + E.wszName, chSep, strPrefix + toUtf8(E.wszName) + "/");
    }
    return str;
}

/** Empties @a wszDir (the directory itself stays). */
static inline void emptyDir(const std::wstring &wszDir)
{
    for (const DirEntry &E : listDir(wszDir))
    {
        std::wstring wszPath = wszDir + L"\\" + E.wszName;
        if (E.fDir)
        {
            emptyDir(wszPath);
            RemoveDirectoryW(wszPath.c_str());
        }
        else
        {
            SetFileAttributesW(wszPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(wszPath.c_str());
        }
    }
}

/** Appends @a wszArg to a command line in quotes; the tests' arguments hold
 *  no quotes and end in no backslash, so nothing needs escaping. */
static inline void appendArg(std::wstring &wszCmd, const std::wstring &wszArg)
{
    if (!wszCmd.empty())
        wszCmd += L' ';
    wszCmd += L'"' + wszArg + L'"';
}

#endif
