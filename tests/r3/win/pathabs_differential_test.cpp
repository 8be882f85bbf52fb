/* RTPathAbs against GetFullPathNameW on a generated corpus of drive, UNC,
   device, rooted and relative paths with ".", "..", repeated and mixed
   separators, restricted to the inputs where our rules and the platform's
   agree. Where they deliberately differ, our rule is checked on its own. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/path.h>

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace
{

std::string fullPathOf(const std::string &sPath)
{
    std::wstring const wsPath(sPath.begin(), sPath.end()); /* the corpus is ASCII */
    WCHAR wsz[1024];
    DWORD const cwc = GetFullPathNameW(wsPath.c_str(), RT_ELEMENTS(wsz), wsz, nullptr);
    if (cwc == 0 || cwc >= RT_ELEMENTS(wsz))
        return "<failed>";
    std::string s;
    for (DWORD i = 0; i < cwc; i++)
        s += (char)wsz[i];
    /* Difference 1: we upper-case the drive letter, Windows keeps it; but a
       rooted path with ".." keeps it with us too. */
    alignas(RTPATHPARSEREC) uint8_t abRec[RTPATHPARSEREC_HDR_SIZE + 64 * sizeof(RTPATHPARSECOMP)];
    RTPATHPARSEREC *pRec = (RTPATHPARSEREC *)abRec;
    bool const fKeepsCase = RTPathParse(sPath.c_str(), pRec, sizeof(abRec), RTPATH_STYLE_DOS) == SUCCESS &&
                            (pRec->fProps & RTPATH_PROP_VOLUME) && (pRec->fProps & RTPATH_PROP_ROOT_SLASH) &&
                            (pRec->fProps & RTPATH_PROP_DOTDOT_REFS);
    if (!fKeepsCase && s.size() >= 2 && s[1] == ':' && s[0] >= 'a' && s[0] <= 'z')
        s[0] = (char)(s[0] - 'a' + 'A');
    return s;
}

std::string ourAbs(const std::string &sPath)
{
    char sz[1024];
    int const rc = RTPathAbs(sPath.c_str(), sz, sizeof(sz));
    return rc >= 0 ? std::string(sz) : "<rc " + std::to_string(rc) + ">";
}

/** "\\server\share" with nothing after the share: Windows keeps a trailing
 *  separator when ".." or "." fold back to it (difference 5). */
bool isBareUncShare(const std::string &s)
{
    if (s.size() < 5 || s[0] != '\\' || s[1] != '\\')
        return false;
    size_t const offShareSep = s.find('\\', 2);
    return offShareSep != std::string::npos && offShareSep + 1 < s.size() &&
           s.find('\\', offShareSep + 1) == std::string::npos;
}

TEST(PathAbsDifferential, AgainstGetFullPathNameW)
{
    /* Roots whose rules agree with the platform's. Not here (see the
       deliberate differences below): "\\?\" (verbatim on Windows), a UNC
       root without its share, and an empty server name. */
    static const char *const s_apszRoots[] = {
        "C:\\",
        "c:\\",
        "C:/",
        "d:/",
        "\\\\srv\\share\\",
        "//srv/share/",
        "\\/Srv\\Sh/",
        "\\\\.\\C:\\",
        "//./COM1/",
        "\\",
        "/",
        "",
        "C:",
        "d:",
        "z:",
    };
    /* No names ending in a dot or blank: Windows trims those (difference
       2). */
    static const char *const s_apszComps[] = {"a", "bc", "d.e", ".", "..", "x y", ".f", "g..h", "IJ"};
    static const char *const s_apszSeps[] = {"\\", "/", "\\\\", "/\\", "//", "\\/\\"};

    std::mt19937 Rng(4100);
    unsigned cCompared = 0;
    unsigned cShareRoot = 0;
    for (unsigned iIter = 0; iIter < 14000; iIter++)
    {
        std::string s = s_apszRoots[Rng() % RT_ELEMENTS(s_apszRoots)];
        unsigned const cComps = Rng() % 6;
        for (unsigned i = 0; i < cComps; i++)
        {
            if (i)
                s += s_apszSeps[Rng() % RT_ELEMENTS(s_apszSeps)];
            s += s_apszComps[Rng() % RT_ELEMENTS(s_apszComps)];
        }
        /* A root alone: separators after a UNC share or a single separator
           (an empty server name), and a bare current drive, belong to the
           deliberate differences. */
        if (cComps == 0)
            continue;
        if (Rng() % 4 == 0)
            s += s_apszSeps[Rng() % RT_ELEMENTS(s_apszSeps)];

        std::string const sOurs = ourAbs(s);
        std::string const sRef = fullPathOf(s);
        if (sOurs + "\\" == sRef && isBareUncShare(sOurs))
        {
            cShareRoot++;
            continue;
        }
        EXPECT_EQ(sOurs, sRef) << "input '" << s << "'";
        cCompared++;
    }
    EXPECT_GE(cCompared, 10000u);
    EXPECT_GT(cShareRoot, 0u);
}

/*
 * The deliberate differences, each checked against our rule.
 */
struct DiffCase
{
    const char *pszPath;
    const char *pszOurs;
};

TEST(PathAbsDifferential, DeliberateDifferences)
{
    static const DiffCase s_aCases[] = {
        /* 1. The drive letter of an absolute path without ".." is
              upper-cased (Windows keeps "c:"). */
        {"c:\\x", "C:\\x"},
        {"c:/a/./b", "C:\\a\\b"},
        /* Not a difference: a rooted path with ".." keeps it as spelt. */
        {"c:\\a\\..\\b", "c:\\b"},
        /* 2. Names keep trailing dots and blanks (Windows trims them, so
              "a." and "a" name the same file there). */
        {"C:\\a.", "C:\\a."},
        {"C:\\...\\x", "C:\\...\\x"},
        {"C:\\a \\b", "C:\\a \\b"},
        /* 3. Repeated separators inside a UNC root and right after its share
              collapse (Windows keeps "\\srv\\share\\"). */
        {"\\\\srv\\\\share\\x", "\\\\srv\\share\\x"},
        {"\\\\srv\\share\\\\", "\\\\srv\\share\\"},
        /* 4. Folding back to a UNC share gives no trailing separator
              (Windows: "\\srv\share\"). */
        {"\\\\srv\\share\\a\\..", "\\\\srv\\share"},
        {"\\\\srv\\share\\.", "\\\\srv\\share"},
        /* 5. "\\?\" paths are folded like any other (Windows passes them on
              verbatim). */
        {"\\\\?\\C:\\a\\.\\b\\..\\c", "\\\\?\\C:\\a\\c"},
        {"//?/C:/x", "\\\\?\\C:\\x"},
        /* 6. ".." at a root stops there, device roots included. */
        {"\\\\.\\..\\x", "\\\\.\\x"},
        {"\\\\?\\C:\\..\\..", "\\\\?\\"},
        /* 7. An empty server name is a UNC root of its own. */
        {"\\\\\\x\\\\y", "\\\\\\x\\y"},
        /* Not a difference: a share named "." stays, as on Windows. */
        {"\\\\srv\\.\\x", "\\\\srv\\.\\x"},
        {"\\\\srv\\.\\..\\x", "\\\\srv\\.\\x"},
        /* 8. A share named ".." is folded away like any "..", so that the
              result is absolute (Windows keeps it as the share). */
        {"\\\\srv\\..\\x", "\\\\srv\\x"},
        /* 9. Reserved device names stay file names (Windows: "\\.\CON"). */
        {"C:\\dir\\CON", "C:\\dir\\CON"},
    };
    /* 10. A bare drive gives that drive's directory without a trailing
           separator, like any path that folds to a directory (Wine adds one
           for the current drive). */
    char szCwd[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    char const szDrive[3] = {szCwd[0], ':', '\0'};
    EXPECT_EQ(ourAbs(szDrive), szCwd);

    for (const DiffCase &c : s_aCases)
        EXPECT_EQ(ourAbs(c.pszPath), c.pszOurs)
            << "input '" << c.pszPath << "', platform gives '" << fullPathOf(c.pszPath) << "'";
}

} // namespace
