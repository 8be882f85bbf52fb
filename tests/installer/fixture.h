/** @file
 * The payload containers of other launchers, for the launcher's unit tests:
 * the build makes them under <build>\tests\e2e (launchers with their own
 * containers, and a module of resources only); a test loads one as an
 * image resource, never running it, and points the payload lookup at it.
 */
#ifndef TESTS_INSTALLER_FIXTURE_H
#define TESTS_INSTALLER_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>
#include <string>

/** <build>\tests\e2e\ with a trailing backslash: the test binaries live in
 *  <build>\tests. */
inline std::string FixtureDir()
{
    char szExe[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, szExe, MAX_PATH);
    std::string strDir(szExe, cch < MAX_PATH ? cch : 0);
    return strDir.substr(0, strDir.find_last_of("\\/") + 1) + "e2e\\";
}

/** Loads @a pszName (relative to FixtureDir) as an image resource, never
 *  freed (the test binary ends first); a missing fixture fails the test. */
inline HMODULE LoadFixture(const char *pszName)
{
    std::string strPath = FixtureDir() + pszName;
    HMODULE hMod = LoadLibraryExA(strPath.c_str(), NULL, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(nullptr, hMod) << strPath << ": " << GetLastError();
    return hMod;
}

#endif /* TESTS_INSTALLER_FIXTURE_H */
