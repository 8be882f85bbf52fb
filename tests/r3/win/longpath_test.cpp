/* Long paths for real: a directory tree deeper than the classic limit is
   created, opened and removed through the "\\?\" form. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <winternl.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

std::wstring nativeOf(const std::string &sPath)
{
    RTUTF16 *pwsz = nullptr;
    EXPECT_EQ(RTPathToNativeWide(&pwsz, sPath.c_str()), SUCCESS) << sPath;
    if (!pwsz)
        return std::wstring();
    std::wstring ws((const wchar_t *)pwsz);
    RTPathFreeNativeWide(pwsz);
    return ws;
}

TEST(LongPath, CreateOpenRemoveDeepTree)
{
    char szTmp[RTPATH_MAX];
    ASSERT_EQ(RTPathTempDir(szTmp, sizeof(szTmp)), SUCCESS);
    char szBase[RTPATH_MAX];
    ASSERT_EQ(RTPathAbs(szTmp, szBase, sizeof(szBase)), SUCCESS);
    std::string sDir = szBase;
    sDir += "\\zolt-longpath-" + std::to_string(GetCurrentProcessId());

    /* Each level adds 41 characters; written with '/' and "." components
       that the long form has to fold away. */
    std::vector<std::string> Levels;
    std::string sPath = sDir;
    Levels.push_back(sPath);
    while (sPath.size() < 330)
    {
        sPath += "/./" + std::string(38, (char)('a' + Levels.size()));
        Levels.push_back(sPath);
    }
    for (const std::string &sLevel : Levels)
    {
        std::wstring const ws = nativeOf(sLevel);
        if (sLevel.size() > 300)
        {
            EXPECT_EQ(ws.rfind(L"\\\\?\\", 0), 0u) << sLevel;
            EXPECT_EQ(ws.find(L'/'), std::wstring::npos) << sLevel;
            EXPECT_EQ(ws.find(L"\\.\\"), std::wstring::npos) << sLevel;
        }
        ASSERT_TRUE(CreateDirectoryW(ws.c_str(), nullptr)) << sLevel << " error " << GetLastError();
    }
    ASSERT_GT(sPath.size(), 300u);

    /* Open the deepest directory by its NT path, and a file in it through
       the Win32 long form. */
    void *hDir = nullptr;
    bool fObjDir = true;
    ASSERT_EQ(RTNtPathOpen(sPath.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE, &hDir, &fObjDir),
              SUCCESS);
    EXPECT_FALSE(fObjDir);
    EXPECT_NE(hDir, INVALID_HANDLE_VALUE);
    CloseHandle(hDir);

    std::string const sFile = sPath + "\\file.txt";
    std::wstring const wsFile = nativeOf(sFile);
    HANDLE hFile = CreateFileW(wsFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(hFile);
    void *hOpened = nullptr;
    EXPECT_EQ(RTNtPathOpen(sFile.c_str(), FILE_READ_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                           FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE, &hOpened,
                           nullptr),
              SUCCESS);
    CloseHandle(hOpened);
    EXPECT_TRUE(DeleteFileW(wsFile.c_str()));

    /* A missing one fails with a status and the invalid handle. */
    EXPECT_EQ(RTNtPathOpen((sPath + "\\missing").c_str(), FILE_READ_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                           FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE, &hOpened, nullptr),
              ERR_FILE_NOT_FOUND);
    EXPECT_EQ(hOpened, INVALID_HANDLE_VALUE);

    for (size_t i = Levels.size(); i-- > 0;)
        EXPECT_TRUE(RemoveDirectoryW(nativeOf(Levels[i]).c_str())) << Levels[i] << " error " << GetLastError();
    EXPECT_EQ(GetFileAttributesW(nativeOf(sDir).c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
