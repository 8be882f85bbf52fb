/* Win32 and NT forms of paths, and opening by NT path. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <winternl.h>

#include <gtest/gtest.h>
#include <string>

namespace
{

std::string narrow(const wchar_t *pwsz, size_t cwc)
{
    std::string s;
    for (size_t i = 0; i < cwc; i++)
        s += (char)pwsz[i];
    return s;
}

std::string ntPathOf(const std::string &sPath, int *prc = nullptr)
{
    UNICODE_STRING NtName;
    void *hRootDir = (void *)1;
    int const rc = RTNtPathFromUtf8(&NtName, &hRootDir, sPath.c_str());
    if (prc)
        *prc = rc;
    if (rc < 0)
        return "<rc " + std::to_string(rc) + ">";
    EXPECT_EQ(hRootDir, nullptr);
    EXPECT_EQ(NtName.MaximumLength, NtName.Length + 2);
    EXPECT_EQ(NtName.Buffer[NtName.Length / 2], L'\0');
    std::string const s = narrow(NtName.Buffer, NtName.Length / 2);
    RTNtPathFree(&NtName, &hRootDir);
    EXPECT_EQ(NtName.Buffer, nullptr);
    return s;
}

std::string nativeOf(const std::string &sPath, int *prc = nullptr)
{
    RTUTF16 *pwsz = (RTUTF16 *)1;
    int const rc = RTPathToNativeWide(&pwsz, sPath.c_str());
    if (prc)
        *prc = rc;
    if (rc < 0)
    {
        EXPECT_EQ(pwsz, nullptr);
        return "<rc " + std::to_string(rc) + ">";
    }
    std::string const s = narrow((const wchar_t *)pwsz, wcslen((const wchar_t *)pwsz));
    RTPathFreeNativeWide(pwsz);
    return s;
}

TEST(NtPath, Conversions)
{
    static const struct
    {
        const char *pszPath;
        const char *pszNt;
    } s_aCases[] = {
        {"C:\\x", "\\??\\C:\\x"},
        {"c:/a/./b/../x", "\\??\\c:\\a\\x"}, /* a rooted path with ".." keeps its drive letter */
        {"c:/a/./x", "\\??\\C:\\a\\x"},
        {"\\\\.\\COM1", "\\??\\COM1"},
        {"\\\\?\\C:\\x", "\\??\\C:\\x"},
        {"\\\\?\\C:\\a\\..\\x", "\\??\\C:\\a\\..\\x"}, /* taken as it is */
        {"\\\\srv\\share\\x", "\\??\\UNC\\srv\\share\\x"},
        {"//srv/share/../x", "\\??\\UNC\\srv\\share\\x"},
        {"\\\\:ZoltNt:\\Device\\Null", "\\Device\\Null"},
    };
    for (const auto &c : s_aCases)
        EXPECT_EQ(ntPathOf(c.pszPath), c.pszNt) << c.pszPath;

    /* Relative paths are resolved against the current directory. */
    char szCwd[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    EXPECT_EQ(ntPathOf("x\\..\\y"), std::string("\\??\\") + szCwd + "\\y");

    /* The NT limit, prefix included. */
    int rc = 0;
    std::string sLong = "C:\\" + std::string(32759, 'a');
    EXPECT_EQ(ntPathOf(sLong, &rc).size(), 32766u);
    sLong += 'a';
    ntPathOf(sLong, &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);
    ntPathOf("\\\\?\\C:\\" + std::string(32763, 'b'), &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);
    ntPathOf("C:\\\xff", &rc);
    EXPECT_EQ(rc, ERR_INVALID_UTF8_ENCODING);
}

TEST(NativeWide, ShortAsIsLongAsLongPathForm)
{
    /* Short: unchanged, '/' included. */
    std::string const sShort = "C:\\dir/sub/" + std::string(89, 'x');
    EXPECT_EQ(nativeOf(sShort), sShort);
    EXPECT_EQ(nativeOf("\\\\srv\\share/x"), "\\\\srv\\share/x");
    EXPECT_EQ(nativeOf("rel/x"), "rel/x");

    /* Long: the long-path form, folded, backslashes only. */
    std::string sLong = "C:/a/./b/../";
    std::string sExpect = "\\\\?\\C:\\a\\";
    for (int i = 0; i < 30; i++)
    {
        sLong += "0123456789/";
        sExpect += "0123456789\\";
    }
    EXPECT_EQ(nativeOf(sLong), sExpect);
    EXPECT_EQ(nativeOf("\\\\srv\\share\\" + std::string(300, 'u')), "\\\\?\\UNC\\srv\\share\\" + std::string(300, 'u'));

    char szCwd[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    std::string const sRel(250, 'r');
    EXPECT_EQ(nativeOf(sRel), std::string("\\\\?\\") + szCwd + "\\" + sRel);

    /* A drive-relative path is made full. */
    char szDrive[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDirOfDrive(szCwd[0], szDrive, sizeof(szDrive)), SUCCESS);
    std::string const sDriveRel = std::string(1, szCwd[0]) + ":x";
    char szFull[RTPATH_MAX];
    size_t cb = sizeof(szFull);
    ASSERT_EQ(RTPathAbsEx(szDrive, "x", 0, szFull, &cb), SUCCESS);
    EXPECT_STRCASEEQ(nativeOf(sDriveRel).c_str(), szFull);

    /* No Win32 form for a long raw NT name. */
    int rc = 0;
    nativeOf("\\\\:zoltnt:\\" + std::string(300, 'n'), &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);
}

TEST(NtPathOpen, DriveRootAndObjectDirectory)
{
    void *h = nullptr;
    bool fObjDir = true;
    EXPECT_EQ(RTNtPathOpen("C:\\", FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE, &h, &fObjDir),
              SUCCESS);
    EXPECT_FALSE(fObjDir);
    CloseHandle(h);

    /* An object directory has no file-system name; the escape reaches it. */
    fObjDir = false;
    int const rc = RTNtPathOpen("\\\\:zoltnt:\\BaseNamedObjects\\", GENERIC_READ, FILE_SHARE_READ, 0,
                                OBJ_CASE_INSENSITIVE, &h, &fObjDir);
    ASSERT_EQ(rc, SUCCESS);
    EXPECT_TRUE(fObjDir);
    CloseHandle(h);

    /* Without the flag pointer no object directory is tried. */
    EXPECT_LT(RTNtPathOpen("\\\\:zoltnt:\\BaseNamedObjects", GENERIC_READ, FILE_SHARE_READ, 0, OBJ_CASE_INSENSITIVE, &h,
                           nullptr),
              0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
}

} // namespace
