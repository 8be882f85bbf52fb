/* Long paths for real: a directory tree deeper than the classic limit is
   created, opened and removed through the "\\?\" form; and every path
   service of the runtime on paths from the classic limit to far beyond
   what the host takes in one call (under Wine: the prefix's drive link plus
   the whole path within Linux's PATH_MAX of 4096 bytes). */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <winternl.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "r3/fstestdir.h"

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

/** A path of exactly @a cch characters below @a strBase: components of
 *  200 characters, the last one shortened to fit and ending in @a chLast. */
std::string pathOfLength(const std::string &strBase, size_t cch, char chLast)
{
    std::string str = strBase;
    while (str.size() + 1 + 200 + 1 + 20 < cch)
        str += "\\" + std::string(200, 'd');
    str += "\\" + std::string(cch - str.size() - 2, 'e') + chLast;
    return str;
}

/** Creates every ancestor of @a strPath below @a strBase with RTDirCreate. */
void createAncestors(const std::string &strBase, const std::string &strPath)
{
    for (size_t off = strPath.find('\\', strBase.size() + 1); off != std::string::npos;
         off = strPath.find('\\', off + 1))
    {
        std::string const strDir = strPath.substr(0, off);
        if (!RTDirExists(strDir.c_str()))
        {
            ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS) << strDir.size();
        }
    }
}

/* Under a directory of the Linux /tmp reached through Wine's Z: drive: its
   host path is the Windows one without the drive, so the lengths below are
   the host's lengths too (a C: path grows by the prefix's own path when the
   host resolves it). */
class LongPathLengths : public FsTestDir
{
  protected:
    void SetUp() override
    {
        char szDir[] = "Z:\\tmp\\zolt-longpath-XXXXXXXXXXXX";
        ASSERT_EQ(RTDirCreateTemp(szDir, 0700), SUCCESS);
        m_strDir = szDir;
    }
};

/* Each length gets a directory and a file of exactly that many characters.
   Wine takes a path whole only while the prefix's drive link followed by
   the path stays within Linux's PATH_MAX (4096 bytes with the terminator):
   here up to about 4040 characters. Longer ones are reached piece by piece,
   up to near the NT limit of 32766 units; Wine deletes by the resolved host
   path, though, which Linux refuses beyond PATH_MAX, so the longest rows
   skip deletion and removal (the Linux side cleans up). */
TEST_F(LongPathLengths, ExistsCreateOpenQueryDeleteRemove)
{
    static const struct
    {
        size_t cch;
        bool fHostDeletes;
    } s_aCases[] = {
        {259, true}, {260, true}, {261, true}, {1000, true}, {4000, true}, {4095, true}, {8000, false}, {32000, false},
    };
    for (auto const &Case : s_aCases)
    {
        size_t const cch = Case.cch;
        SCOPED_TRACE(testing::Message() << "path of " << cch << " characters");
        std::string const strDir = pathOfLength(m_strDir, cch, 'D');
        std::string const strFile = pathOfLength(m_strDir, cch, 'F');
        ASSERT_EQ(strDir.size(), cch);
        createAncestors(m_strDir, strDir);
        const char *pszDir = strDir.c_str();
        const char *pszFile = strFile.c_str();

        /* Directory: create, existence, query, open, and no second create. */
        EXPECT_FALSE(RTDirExists(pszDir));
        ASSERT_EQ(RTDirCreate(pszDir, 0700, 0), SUCCESS);
        EXPECT_TRUE(RTDirExists(pszDir));
        EXPECT_EQ(RTDirCreate(pszDir, 0700, 0), ERR_ALREADY_EXISTS);
        RTFSOBJREC Info;
        ASSERT_EQ(RTPathQueryInfo(pszDir, &Info, RTFSOBJATTRADD_UNIX, RTPATH_F_FOLLOW_LINK), SUCCESS);
        EXPECT_TRUE(RTFS_IS_DIRECTORY(Info.Attr.fMode));
        RTDIR hDir = nullptr;
        ASSERT_EQ(RTDirOpen(&hDir, pszDir), SUCCESS);
        EXPECT_EQ(RTDirClose(hDir), SUCCESS);

        /* File: create with the launcher's flags, write, reopen, query by
           handle and by path, delete. */
        RTFILE hFile = NIL_RTFILE;
        RTFILEACTION enmAction = RTFILEACTION_INVALID;
        ASSERT_EQ(RTFileOpenEx(pszFile, UINT64_C(0x1C000322), &hFile, &enmAction), SUCCESS);
        EXPECT_EQ(enmAction, RTFILEACTION_CREATED);
        EXPECT_EQ(RTFileWrite(hFile, "long", 4, nullptr), SUCCESS);
        RTFSOBJREC Written;
        EXPECT_EQ(RTFileQueryInfo(hFile, &Written, RTFSOBJATTRADD_UNIX), SUCCESS);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        ASSERT_EQ(RTFileOpenEx(pszFile, UINT64_C(0x721), &hFile, &enmAction), SUCCESS);
        EXPECT_EQ(enmAction, RTFILEACTION_OPENED);
        char abBuf[4];
        EXPECT_EQ(RTFileRead(hFile, abBuf, sizeof(abBuf), nullptr), SUCCESS);
        EXPECT_EQ(std::string(abBuf, 4), "long");
        RTFSOBJREC Kept;
        EXPECT_EQ(RTFileQueryInfo(hFile, &Kept, RTFSOBJATTRADD_UNIX), SUCCESS);
        EXPECT_EQ(Kept.cbObject, 4);
        EXPECT_EQ(Kept.Attr.u.Unix.INodeId, Written.Attr.u.Unix.INodeId);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        ASSERT_EQ(RTFileOpenEx(pszFile, UINT64_C(0x1C000322), &hFile, &enmAction), SUCCESS);
        EXPECT_EQ(enmAction, RTFILEACTION_REPLACED);
        EXPECT_EQ(RTFileClose(hFile), SUCCESS);
        EXPECT_EQ(RTFileOpenEx(pszFile, RTFOPEN_CREATE | RTFOPEN_WRITE, &hFile, &enmAction), ERR_ALREADY_EXISTS);
        EXPECT_EQ(enmAction, RTFILEACTION_ALREADY_EXISTS);
        ASSERT_EQ(RTPathQueryInfo(pszFile, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), SUCCESS);
        EXPECT_TRUE(RTFS_IS_FILE(Info.Attr.fMode));
        EXPECT_EQ(Info.cbObject, 0);
        EXPECT_FALSE(RTDirExists(pszFile));
        if (!Case.fHostDeletes)
            continue;
        EXPECT_EQ(RTFileDelete(pszFile), SUCCESS);
        EXPECT_EQ(RTPathQueryInfo(pszFile, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK), ERR_FILE_NOT_FOUND);
        EXPECT_EQ(RTFileOpen(&hFile, pszFile, RTFOPEN_OPEN | RTFOPEN_READ), ERR_FILE_NOT_FOUND);

        /* A directory in use is not removed; an empty one is. */
        std::string const strSub = strDir + "\\s";
        ASSERT_EQ(RTDirCreate(strSub.c_str(), 0700, 0), SUCCESS);
        EXPECT_EQ(RTDirRemove(pszDir), ERR_DIR_NOT_EMPTY);
        EXPECT_EQ(RTDirRemove(strSub.c_str()), SUCCESS);
        EXPECT_EQ(RTDirRemove(pszDir), SUCCESS);
        EXPECT_FALSE(RTDirExists(pszDir));
        EXPECT_EQ(RTDirRemove(pszDir), ERR_FILE_NOT_FOUND);
    }
}

} // namespace
