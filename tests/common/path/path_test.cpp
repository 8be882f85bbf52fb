/* Path logic: parsing, assembly, absolute paths, appending, joining and the
   simple helpers. Every output is also produced into heap blocks of exactly
   the needed size and one byte less, so that AddressSanitizer catches a
   write past the size the caller gave. */
#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace
{

/** A heap block of exactly @a cb bytes (at least one, so it has an end). */
struct ExactBuf
{
    explicit ExactBuf(size_t cb) : cb(cb), psz((char *)malloc(cb ? cb : 1))
    {
        memset(psz, 'Z', cb ? cb : 1);
    }
    ~ExactBuf()
    {
        free(psz);
    }
    size_t cb;
    char *psz;
};

/** A parse record buffer on the stack. */
template <size_t cb> struct ParseBuf
{
    alignas(RTPATHPARSEREC) uint8_t ab[cb];
    RTPATHPARSEREC *get()
    {
        return (RTPATHPARSEREC *)ab;
    }
};

/*
 * Parsing.
 */
struct ParseCase
{
    const char *pszPath;
    uint32_t fStyle;
    uint16_t fProps;
    uint16_t cchPath;
    std::vector<std::string> Comps;
    const char *pszSuffix;
};

std::string compText(const char *psz, const RTPATHPARSECOMP &Comp)
{
    return std::string(psz + Comp.off, Comp.cch);
}

TEST(PathParse, Table)
{
    uint16_t const fF = RTPATH_PROP_FILENAME, fD = RTPATH_PROP_DIR_SLASH, fS = RTPATH_PROP_SUFFIX,
                   fUnc = RTPATH_PROP_UNC, fRS = RTPATH_PROP_ROOT_SLASH, fV = RTPATH_PROP_VOLUME,
                   fA = RTPATH_PROP_ABSOLUTE, fR = RTPATH_PROP_RELATIVE, fX = RTPATH_PROP_EXTRA_SLASHES,
                   fDot = RTPATH_PROP_DOT_REFS, fDD = RTPATH_PROP_DOTDOT_REFS, fSp = RTPATH_PROP_SPECIAL_UNC;
    static const ParseCase s_aCases[] = {
        {"a//b", RTPATH_STYLE_DOS, fR | fX | fF, 3, {"a", "b"}, nullptr},
        {"C:\\dir\\file.txt", RTPATH_STYLE_HOST, fA | fV | fRS | fF | fS, 15, {"C:\\", "dir", "file.txt"}, ".txt"},
        {"c:file", RTPATH_STYLE_DOS, fR | fV | fF, 6, {"c:", "file"}, nullptr},
        {"\\dir\\", RTPATH_STYLE_DOS, fR | fRS | fD, 5, {"\\", "dir"}, nullptr},
        {"\\", RTPATH_STYLE_DOS, fR | fRS | fD, 1, {"\\"}, nullptr},
        {"C:\\\\\\", RTPATH_STYLE_DOS, fA | fV | fRS | fX | fD, 3, {"C:\\"}, nullptr},
        {"\\\\srv\\share\\x.y.z",
         RTPATH_STYLE_DOS,
         fA | fUnc | fRS | fF | fS,
         17,
         {"\\\\srv\\", "share", "x.y.z"},
         ".z"},
        {"//srv", RTPATH_STYLE_DOS, fA | fUnc | fF, 5, {"//srv"}, nullptr},
        {"\\\\", RTPATH_STYLE_DOS, fA | fUnc | fD, 2, {"\\\\"}, nullptr},
        {"\\\\\\x", RTPATH_STYLE_DOS, fA | fUnc | fRS | fF, 4, {"\\\\\\", "x"}, nullptr},
        {"\\\\.\\COM1", RTPATH_STYLE_DOS, fA | fUnc | fRS | fSp | fF, 8, {"\\\\.\\", "COM1"}, nullptr},
        {"//?/C:/x", RTPATH_STYLE_DOS, fA | fUnc | fRS | fSp | fF, 8, {"//?/", "C:", "x"}, nullptr},
        {"C:\\a\\..\\b", RTPATH_STYLE_DOS, fR | fV | fRS | fDD | fF, 9, {"C:\\", "a", "..", "b"}, nullptr},
        {"./x/", RTPATH_STYLE_DOS, fR | fDot | fD, 4, {".", "x"}, nullptr},
        {".msi", RTPATH_STYLE_DOS, fR | fF, 4, {".msi"}, nullptr},
        {"dir\\.msi", RTPATH_STYLE_DOS, fR | fF, 8, {"dir", ".msi"}, nullptr},
        {"a.", RTPATH_STYLE_DOS, fR | fF, 2, {"a."}, nullptr},
        {"x.y\\z", RTPATH_STYLE_DOS, fR | fF, 5, {"x.y", "z"}, nullptr},
        {"a\\\\b\\\\", RTPATH_STYLE_DOS, fR | fX | fD, 4, {"a", "b"}, nullptr},
        /* Unix style: '\' is an ordinary character, "/" the only root. */
        {"///a\\b//c.d", RTPATH_STYLE_UNIX, fA | fRS | fX | fF | fS, 8, {"/", "a\\b", "c.d"}, ".d"},
        {"C:/x", RTPATH_STYLE_UNIX, fR | fF, 4, {"C:", "x"}, nullptr},
        {"/..", RTPATH_STYLE_UNIX, fR | fRS | fDD | fF, 3, {"/", ".."}, nullptr},
    };
    for (const ParseCase &c : s_aCases)
    {
        ParseBuf<256> Buf;
        RTPATHPARSEREC &Rec = *Buf.get();
        ASSERT_EQ(RTPathParse(c.pszPath, &Rec, sizeof(Buf), c.fStyle), SUCCESS) << c.pszPath;
        EXPECT_EQ(Rec.fProps, c.fProps) << c.pszPath;
        EXPECT_EQ(Rec.cchPath, c.cchPath) << c.pszPath;
        EXPECT_EQ(Rec.u16Reserved, 0) << c.pszPath;
        ASSERT_EQ(Rec.cComps, c.Comps.size()) << c.pszPath;
        for (size_t i = 0; i < c.Comps.size(); i++)
            EXPECT_EQ(compText(c.pszPath, Rec.aComps[i]), c.Comps[i]) << c.pszPath << " #" << i;
        if (c.pszSuffix)
            EXPECT_STREQ(c.pszPath + Rec.offSuffix, c.pszSuffix) << c.pszPath;
        else
        {
            EXPECT_EQ(Rec.offSuffix, strlen(c.pszPath)) << c.pszPath;
            EXPECT_EQ(Rec.cchSuffix, 0) << c.pszPath;
        }
    }
}

TEST(PathParse, Failures)
{
    ParseBuf<64> Buf;
    RTPATHPARSEREC &Rec = *Buf.get();
    EXPECT_EQ(RTPathParse("", &Rec, sizeof(Buf), 0), ERR_PATH_ZERO_LENGTH);
    EXPECT_EQ(RTPathParse(nullptr, &Rec, sizeof(Buf), 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTPathParse("a", nullptr, sizeof(Buf), 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTPathParse("a", &Rec, 11, 0), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTPathParse("a", &Rec, sizeof(Buf), 3), ERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathParse("a", &Rec, sizeof(Buf), 0x100), ERR_INVALID_FLAGS);

    /* Too few entries: the count is still complete, the entries that fit are
       filled, and nothing is written past the buffer (exact heap block). */
    size_t const cb = RTPATHPARSEREC_HDR_SIZE + 2 * sizeof(RTPATHPARSECOMP);
    RTPATHPARSEREC *pRec = (RTPATHPARSEREC *)malloc(cb);
    EXPECT_EQ(RTPathParse("C:\\a\\b\\c", pRec, cb, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(pRec->cComps, 4);
    EXPECT_EQ(pRec->aComps[1].off, 3);
    free(pRec);
    RTPATHPARSEREC *pHdr = (RTPATHPARSEREC *)malloc(RTPATHPARSEREC_HDR_SIZE);
    EXPECT_EQ(RTPathParse("x", pHdr, RTPATHPARSEREC_HDR_SIZE, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(pHdr->cComps, 1);
    free(pHdr);

    /* Offsets are 16-bit: longer inputs are refused. */
    std::string sLong(65535, 'a');
    EXPECT_EQ(RTPathParse(sLong.c_str(), &Rec, sizeof(Buf), 0), SUCCESS);
    sLong += 'a';
    EXPECT_EQ(RTPathParse(sLong.c_str(), &Rec, sizeof(Buf), 0), ERR_FILENAME_TOO_LONG);
}

TEST(PathAssemble, RoundTripDropAndOverflow)
{
    ParseBuf<256> Buf;
    RTPATHPARSEREC &Rec = *Buf.get();
    const char *pszPath = "//srv/share//a/./b\\";
    ASSERT_EQ(RTPathParse(pszPath, &Rec, sizeof(Buf), RTPATH_STYLE_DOS), SUCCESS);
    char szOut[64];
    ASSERT_EQ(RTPathAssemble(pszPath, &Rec, RTPATH_STYLE_DOS, szOut, sizeof(szOut)), SUCCESS);
    EXPECT_STREQ(szOut, "\\\\srv\\share\\a\\.\\b\\");
    EXPECT_EQ(Rec.cchPath, strlen(szOut));

    /* Dropping components by length 0. */
    Rec.aComps[3].cch = 0;
    ASSERT_EQ(RTPathAssemble(pszPath, &Rec, RTPATH_STYLE_UNIX, szOut, sizeof(szOut)), SUCCESS);
    EXPECT_STREQ(szOut, "//srv/share/a/b/");

    /* Exactly enough, and one byte less. */
    size_t const cchOut = strlen(szOut);
    {
        ExactBuf Buf(cchOut + 1);
        EXPECT_EQ(RTPathAssemble(pszPath, &Rec, RTPATH_STYLE_UNIX, Buf.psz, Buf.cb), SUCCESS);
        EXPECT_STREQ(Buf.psz, szOut);
    }
    {
        ExactBuf Buf(cchOut);
        EXPECT_EQ(RTPathAssemble(pszPath, &Rec, RTPATH_STYLE_UNIX, Buf.psz, Buf.cb), ERR_BUFFER_OVERFLOW);
        EXPECT_STREQ(Buf.psz, "");
        EXPECT_EQ(Rec.cchPath, cchOut);
    }
    Rec.cComps = 0;
    EXPECT_EQ(RTPathAssemble(pszPath, &Rec, 0, szOut, sizeof(szOut)), ERR_INVALID_PARAMETER);
}

struct AssembleCase
{
    const char *pszPath;
    uint32_t fParseStyle;
    uint32_t fAssembleStyle;
    const char *pszExpect;
};

TEST(PathAssemble, OtherStyleReplacesRootSeparators)
{
    uint32_t const fDos = RTPATH_STYLE_DOS, fUnix = RTPATH_STYLE_UNIX;
    static const AssembleCase s_aCases[] = {
        {"\\\\srv\\share\\x", fDos, fUnix, "//srv/share/x"},
        {"\\/srv\\share/", fDos, fUnix, "//srv/share/"},
        {"C:\\a\\b", fDos, fUnix, "C:/a/b"},
        {"\\x\\y", fDos, fUnix, "/x/y"},
        {"\\\\.\\COM1", fDos, fUnix, "//./COM1"},
        {"c:x", fDos, fUnix, "c:x"},
        {"//srv/share/x", fDos, fDos, "\\\\srv\\share\\x"},
        /* Unix style: the root is a lone '/', and '\' belongs to names. */
        {"//a\\b/c", fUnix, fDos, "\\a\\b\\c"},
        {"/x/", fUnix, fUnix, "/x/"},
    };
    for (const AssembleCase &c : s_aCases)
    {
        ParseBuf<256> Buf;
        RTPATHPARSEREC &Rec = *Buf.get();
        ASSERT_EQ(RTPathParse(c.pszPath, &Rec, sizeof(Buf), c.fParseStyle), SUCCESS) << c.pszPath;
        char szOut[64];
        ASSERT_EQ(RTPathAssemble(c.pszPath, &Rec, c.fAssembleStyle, szOut, sizeof(szOut)), SUCCESS) << c.pszPath;
        EXPECT_STREQ(szOut, c.pszExpect) << "'" << c.pszPath << "' parsed in style " << c.fParseStyle
                                         << ", assembled in style " << c.fAssembleStyle;
        EXPECT_EQ(Rec.cchPath, strlen(c.pszExpect)) << c.pszPath;
    }
}

/*
 * Absolute paths with a base: no host directory involved.
 */
struct AbsCase
{
    const char *pszBase;
    const char *pszPath;
    uint32_t fFlags;
    int rc;
    const char *pszExpect;
};

/** True when RTPathAbsEx must normalise the base in the destination first,
 *  which may need more room than the result. */
bool baseNeedsWork(const AbsCase &c)
{
    if (!c.pszBase)
        return false;
    ParseBuf<1024> Buf;
    if (RTPathParse(c.pszBase, Buf.get(), sizeof(Buf), c.fFlags & RTPATH_STYLE_MASK) < 0)
        return false;
    return !(Buf.get()->fProps & RTPATH_PROP_ABSOLUTE) ||
           (Buf.get()->fProps & (RTPATH_PROP_DOT_REFS | RTPATH_PROP_DOTDOT_REFS | RTPATH_PROP_EXTRA_SLASHES));
}

/** Runs one RTPathAbsEx case with a roomy buffer, an exact heap block and
 *  heap blocks too short (whose reported size must then work). */
void checkAbs(const AbsCase &c)
{
    std::string const sCase = std::string("base '") + (c.pszBase ? c.pszBase : "(null)") + "' path '" + c.pszPath +
                              "' flags " + std::to_string(c.fFlags);
    char szBuf[512];
    size_t cb = sizeof(szBuf);
    ASSERT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, c.fFlags, szBuf, &cb), c.rc) << sCase;
    if (c.rc < 0)
        return;
    EXPECT_STREQ(szBuf, c.pszExpect) << sCase;
    EXPECT_EQ(cb, strlen(c.pszExpect)) << sCase;

    size_t const cbExact = strlen(c.pszExpect) + 1;
    bool const fExact = !baseNeedsWork(c);
    if (fExact)
    {
        ExactBuf Buf(cbExact);
        cb = Buf.cb;
        EXPECT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, c.fFlags, Buf.psz, &cb), SUCCESS) << sCase;
        EXPECT_STREQ(Buf.psz, c.pszExpect) << sCase;
    }
    for (size_t cbShort : {cbExact - 1, (size_t)1})
    {
        ExactBuf Buf(cbShort);
        cb = Buf.cb;
        EXPECT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, c.fFlags, Buf.psz, &cb), ERR_BUFFER_OVERFLOW) << sCase;
        if (fExact)
            EXPECT_EQ(cb, cbExact) << sCase << " short " << cbShort;
        else
            EXPECT_GE(cb, cbExact) << sCase << " short " << cbShort;
        ExactBuf Retry(cb);
        EXPECT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, c.fFlags, Retry.psz, &cb), SUCCESS) << sCase;
        EXPECT_STREQ(Retry.psz, c.pszExpect) << sCase;
    }
}

TEST(PathAbsEx, WithBase)
{
    uint32_t const fKeep = RTPATHABS_KEEP_BASE, fTrail = RTPATHABS_TRAILING_SLASH, fUnix = RTPATH_STYLE_UNIX;
    static const AbsCase s_aCases[] = {
        /* Absolute paths stand alone. */
        {nullptr, "C:\\a\\.\\b\\..\\c", 0, SUCCESS, "C:\\a\\c"},
        {nullptr, "c:\\x", 0, SUCCESS, "C:\\x"},
        {nullptr, "C:/a//b/./", 0, SUCCESS, "C:\\a\\b\\"},
        {nullptr, "C:\\a\\b\\..\\..\\..\\..", 0, SUCCESS, "C:\\"},
        {nullptr, "C:\\a\\b", fTrail, SUCCESS, "C:\\a\\b\\"},
        {nullptr, "C:\\", fTrail, SUCCESS, "C:\\"},
        {nullptr, "C:\\.", 0, SUCCESS, "C:\\"},
        {"C:\\ignored", "D:\\x", 0, SUCCESS, "D:\\x"},
        {nullptr, "\\\\srv\\share\\..\\x", 0, SUCCESS, "\\\\srv\\share\\x"},
        {nullptr, "\\\\srv\\share\\..\\..", 0, SUCCESS, "\\\\srv\\share"},
        {nullptr, "//srv/share/./y/", 0, SUCCESS, "\\\\srv\\share\\y\\"},
        {nullptr, "\\\\srv", 0, SUCCESS, "\\\\srv"},
        {nullptr, "\\\\srv\\.\\x", 0, SUCCESS, "\\\\srv\\.\\x"},
        {nullptr, "\\\\.\\COM1", 0, SUCCESS, "\\\\.\\COM1"},
        {nullptr, "\\\\?\\C:\\a\\..\\b", 0, SUCCESS, "\\\\?\\C:\\b"},
        {nullptr, "\\\\.\\..\\x", 0, SUCCESS, "\\\\.\\x"},
        /* Rooted paths take the base's drive or UNC root and share. */
        {"C:\\a\\b", "\\x", 0, SUCCESS, "C:\\x"},
        {"c:\\a\\b", "\\x\\..\\..\\y", 0, SUCCESS, "C:\\y"},
        {"\\\\srv\\share\\dir", "\\x\\y", 0, SUCCESS, "\\\\srv\\share\\x\\y"},
        {"//srv", "/x", 0, SUCCESS, "\\\\srv\\x"},
        {"\\\\?\\C:\\dir", "\\x", 0, SUCCESS, "\\\\?\\x"},
        /* Relative paths join the base. */
        {"C:\\a", "..\\..\\..\\x", 0, SUCCESS, "C:\\x"},
        {"C:\\a", "..\\..\\..\\x", fKeep, SUCCESS, "C:\\a\\x"},
        {"C:\\a\\b", "x\\..\\..\\y", fKeep, SUCCESS, "C:\\a\\b\\y"},
        {"\\\\srv\\share", "..\\x", 0, SUCCESS, "\\\\srv\\share\\x"},
        {"\\\\srv", "x", 0, ERR_PATH_ROOT_WITHOUT_SLASH, nullptr},
        {"c:\\a", "x", 0, SUCCESS, "C:\\a\\x"},
        {"C:\\a\\", "x", 0, SUCCESS, "C:\\a\\x"},
        {"C:\\a", "x\\", 0, SUCCESS, "C:\\a\\x\\"},
        {"C:\\a\\", ".", 0, SUCCESS, "C:\\a"},
        {"C:\\a", ".\\", 0, SUCCESS, "C:\\a\\"},
        {"C:\\a", "x", fTrail, SUCCESS, "C:\\a\\x\\"},
        {"C:\\a", ".", fTrail, SUCCESS, "C:\\a\\"},
        {"C:\\a", "..", 0, SUCCESS, "C:\\"},
        {"C:\\", "x", 0, SUCCESS, "C:\\x"},
        {"C:\\a\\b", "c:x", 0, SUCCESS, "C:\\a\\b\\x"},
        {"C:\\a\\b", "C:", 0, SUCCESS, "C:\\a\\b"},
        {"C:/a//b/./", "../x", 0, SUCCESS, "C:\\a\\x"},
        {"C:\\a\\..\\b", "x", 0, SUCCESS, "C:\\b\\x"},
        /* Unix style. */
        {"/a/b", "../c", fUnix, SUCCESS, "/a/c"},
        {nullptr, "//x/./y/../z", fUnix, SUCCESS, "/x/z"},
        {"/r", "a\\b", fUnix, SUCCESS, "/r/a\\b"},
        {"/r/s", "../../..", fUnix | fKeep, SUCCESS, "/r/s"},
        /* Bad input. */
        {"C:\\a", "", 0, ERR_PATH_ZERO_LENGTH, nullptr},
        {"C:\\a", "x", 3, ERR_INVALID_FLAGS, nullptr},
        {"C:\\a", "x", 0x30, ERR_INVALID_FLAGS, nullptr},
        {"C:\\a", "x", 0x80000, ERR_INVALID_FLAGS, nullptr},
    };
    for (const AbsCase &c : s_aCases)
        checkAbs(c);
}

TEST(PathAbsEx, DriveLetterCase)
{
    uint32_t const fTrail = RTPATHABS_TRAILING_SLASH;
    static const AbsCase s_aCases[] = {
        /* An absolute path without ".." gets an upper-case drive letter. */
        {nullptr, "c:\\x", 0, SUCCESS, "C:\\x"},
        {nullptr, "c:\\a\\.\\b", 0, SUCCESS, "C:\\a\\b"},
        {nullptr, "c:/", fTrail, SUCCESS, "C:\\"},
        {"d:\\ignored", "c:\\x", 0, SUCCESS, "C:\\x"},
        /* A rooted path with ".." keeps it as spelt. */
        {nullptr, "c:\\a\\..\\b", 0, SUCCESS, "c:\\b"},
        {nullptr, "c:\\..\\x", 0, SUCCESS, "c:\\x"},
        {nullptr, "c:/a/../b/", 0, SUCCESS, "c:\\b\\"},
        {nullptr, "c:\\a\\..\\b", fTrail, SUCCESS, "c:\\b\\"},
        {"D:\\base", "c:\\a\\..\\b", 0, SUCCESS, "c:\\b"},
        {nullptr, "C:\\a\\.\\b\\..\\c", 0, SUCCESS, "C:\\a\\c"},
        /* A rooted path without drive takes the base's, upper-cased. */
        {"c:\\a\\b", "\\x", 0, SUCCESS, "C:\\x"},
        {"c:\\a\\b", "\\x\\..\\..\\y", 0, SUCCESS, "C:\\y"},
        {"c:", "\\x", 0, SUCCESS, "C:\\x"},
        /* A base is upper-cased when the relative path joins it, also one
           that was made absolute first (which kept its spelling). */
        {"c:\\a", "x", 0, SUCCESS, "C:\\a\\x"},
        {"c:\\a", "..\\..\\..\\x", 0, SUCCESS, "C:\\x"},
        {"c:\\a", "c:x", 0, SUCCESS, "C:\\a\\x"},
        {"c:\\a\\..\\b", "x", 0, SUCCESS, "C:\\b\\x"},
        {"c:\\a", ".", 0, SUCCESS, "C:\\a"},
        /* No drive letter where a UNC root starts the path. */
        {nullptr, "\\\\?\\c:\\x", 0, SUCCESS, "\\\\?\\c:\\x"},
        {nullptr, "\\\\?\\c:\\a\\..\\b", 0, SUCCESS, "\\\\?\\c:\\b"},
        /* Unix style has no drives. */
        {nullptr, "/c:/x", RTPATH_STYLE_UNIX, SUCCESS, "/c:/x"},
    };
    for (const AbsCase &c : s_aCases)
        checkAbs(c);
}

TEST(PathAbsEx, SizeOutValue)
{
    char sz[5];
    size_t cb = sizeof(sz);
    EXPECT_EQ(RTPathAbsEx(nullptr, "C:\\abcdef", 0, sz, &cb), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cb, 10u);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", 0, nullptr, &cb), ERR_INVALID_POINTER);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", 0, sz, nullptr), ERR_INVALID_POINTER);
}

TEST(PathAbsEx, CurrentDirectory)
{
    char szCwd[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDir(szCwd, sizeof(szCwd)), SUCCESS);
    /* Relative to the current directory is relative to it as a base. */
    for (const char *pszPath : {"x", "x\\..\\y\\", "..\\z", "."})
    {
        char szViaCwd[RTPATH_MAX], szViaBase[RTPATH_MAX];
        ASSERT_EQ(RTPathAbs(pszPath, szViaCwd, sizeof(szViaCwd)), SUCCESS) << pszPath;
        size_t cb = sizeof(szViaBase);
        ASSERT_EQ(RTPathAbsEx(szCwd, pszPath, 0, szViaBase, &cb), SUCCESS) << pszPath;
        EXPECT_STREQ(szViaCwd, szViaBase) << pszPath;
    }
    /* KEEP_CWD keeps ".." inside the current directory. */
    char szKeep[RTPATH_MAX], szBase[RTPATH_MAX];
    size_t cb = sizeof(szKeep);
    ASSERT_EQ(RTPathAbsEx(nullptr, "..\\..\\q", RTPATHABS_KEEP_CWD, szKeep, &cb), SUCCESS);
    cb = sizeof(szBase);
    ASSERT_EQ(RTPathAbsEx(szCwd, "q", 0, szBase, &cb), SUCCESS);
    EXPECT_STREQ(szKeep, szBase);

    /* "d:foo" with a base on another drive uses drive D's directory. */
    char szDriveD[RTPATH_MAX];
    ASSERT_EQ(RTPathGetCurrentDirOfDrive('d', szDriveD, sizeof(szDriveD)), SUCCESS);
    char szExpect[RTPATH_MAX], szGot[RTPATH_MAX];
    cb = sizeof(szExpect);
    ASSERT_EQ(RTPathAbsEx(szDriveD, "foo", 0, szExpect, &cb), SUCCESS);
    cb = sizeof(szGot);
    ASSERT_EQ(RTPathAbsEx("C:\\a", "d:foo", 0, szGot, &cb), SUCCESS);
    EXPECT_STREQ(szGot, szExpect);

    /* A short destination still reports a size that works. */
    char szSmall[4];
    cb = sizeof(szSmall);
    ASSERT_EQ(RTPathAbsEx(nullptr, "x", 0, szSmall, &cb), ERR_BUFFER_OVERFLOW);
    std::vector<char> Retry(cb);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", 0, Retry.data(), &cb), SUCCESS);
}

TEST(PathAbsExDup, GrowsAndShrinks)
{
    char *psz = RTPathAbsExDup("C:\\base", "x\\..\\y", 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\base\\y");
    RTStrFree(psz);

    /* Longer than the first attempt's 2050 bytes. */
    std::string sLong = "C:";
    for (int i = 0; i < 700; i++)
        sLong += "\\abcdefgh";
    psz = RTPathAbsExDup(nullptr, sLong.c_str(), 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(sLong, psz);
    RTStrFree(psz);

    /* A base with more components than the stack record holds, which has to
       be normalised first (so it is parsed twice, on the heap). */
    std::string sBase = "C:\\.";
    std::string sBaseNorm = "C:";
    for (int i = 0; i < 300; i++)
    {
        sBase += "\\b";
        sBaseNorm += "\\b";
    }
    psz = RTPathAbsExDup(sBase.c_str(), "x", 0);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(sBaseNorm + "\\x", psz);
    RTStrFree(psz);

    EXPECT_EQ(RTPathAbsExDup("\\\\srv", "x", 0), nullptr);
}

/*
 * Appending and joining.
 */
struct AppendCase
{
    const char *pszPath;
    const char *pszAppend;
    size_t cchMax;
    uint32_t fStyle;
    const char *pszExpect;
};

TEST(PathAppend, Table)
{
    static const AppendCase s_aCases[] = {
        {"C:", "dir", RTSTR_MAX, 0, "C:dir"},
        {"C:\\a\\", "\\x", RTSTR_MAX, 0, "C:\\a\\x"},
        {"C:\\a", "x", RTSTR_MAX, 0, "C:\\a\\x"},
        {"C:\\a\\\\\\", "x", RTSTR_MAX, 0, "C:\\a\\x"},
        {"C:\\a", "//\\x", RTSTR_MAX, 0, "C:\\a\\x"},
        {"C:\\\\\\", "\\\\x", RTSTR_MAX, 0, "C:\\x"},
        {"\\\\srv\\share\\\\\\", "x", RTSTR_MAX, 0, "\\\\srv\\share\\x"},
        {"\\\\srv\\\\", "x", RTSTR_MAX, 0, "\\\\srv\\\\x"},
        {"\\\\\\", "x", RTSTR_MAX, 0, "\\x"},
        {"\\", "x", RTSTR_MAX, 0, "\\x"},
        {"", "\\\\x", RTSTR_MAX, 0, "\\\\x"},
        {"a", "xyz", 2, 0, "a\\xy"},
        {"a", "xyz", 0, 0, "a"},
        {"a", nullptr, RTSTR_MAX, 0, "a"},
        {"a\\", "\\\\", RTSTR_MAX, 0, "a\\"},
        {"C:", "x", RTSTR_MAX, RTPATH_STYLE_UNIX, "C:/x"},
        {"a\\", "x", RTSTR_MAX, RTPATH_STYLE_UNIX, "a\\/x"},
        {"////", "//x", RTSTR_MAX, RTPATH_STYLE_UNIX, "/x"},
        {"a", "//x", RTSTR_MAX, RTPATH_STYLE_UNIX, "a/x"},
    };
    for (const AppendCase &c : s_aCases)
    {
        char szBuf[64];
        strcpy(szBuf, c.pszPath);
        ASSERT_EQ(RTPathAppendEx(szBuf, sizeof(szBuf), c.pszAppend, c.cchMax, c.fStyle), SUCCESS) << c.pszPath;
        EXPECT_STREQ(szBuf, c.pszExpect) << c.pszPath << " + " << (c.pszAppend ? c.pszAppend : "(null)");

        /* Exact size succeeds; one byte less fails without writing. */
        size_t const cbExact = std::max(strlen(c.pszExpect), strlen(c.pszPath)) + 1;
        ExactBuf Exact(cbExact);
        strcpy(Exact.psz, c.pszPath);
        EXPECT_EQ(RTPathAppendEx(Exact.psz, Exact.cb, c.pszAppend, c.cchMax, c.fStyle), SUCCESS) << c.pszPath;
        if (strlen(c.pszExpect) + 1 == cbExact && strlen(c.pszExpect) > strlen(c.pszPath))
        {
            ExactBuf Short(cbExact - 1);
            memcpy(Short.psz, c.pszPath, strlen(c.pszPath) + 1);
            std::string const sBefore(Short.psz, Short.cb);
            EXPECT_EQ(RTPathAppendEx(Short.psz, Short.cb, c.pszAppend, c.cchMax, c.fStyle), ERR_BUFFER_OVERFLOW)
                << c.pszPath;
            EXPECT_EQ(std::string(Short.psz, Short.cb), sBefore) << c.pszPath;
        }
    }
}

TEST(PathAppend, Failures)
{
    ExactBuf Buf(4);
    memcpy(Buf.psz, "abcd", 4); /* no terminator within the size */
    EXPECT_EQ(RTPathAppend(Buf.psz, Buf.cb, "x"), ERR_INVALID_PARAMETER);
    EXPECT_EQ(memcmp(Buf.psz, "abcd", 4), 0);
    char sz[8] = "a";
    EXPECT_EQ(RTPathAppendEx(sz, sizeof(sz), "x", RTSTR_MAX, 3), ERR_INVALID_FLAGS);
    EXPECT_EQ(RTPathAppend(nullptr, 8, "x"), ERR_INVALID_POINTER);
}

TEST(PathJoin, CallerBufferAndHeap)
{
    char sz[16];
    EXPECT_EQ(RTPathJoin(sz, sizeof(sz), "C:\\dir", "file.msi"), SUCCESS);
    EXPECT_STREQ(sz, "C:\\dir\\file.msi");
    EXPECT_EQ(RTPathJoin(sz, 4, "C:\\dir", "x"), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(RTPathJoin(sz, 9, "C:\\dir", "x"), SUCCESS);
    EXPECT_EQ(RTPathJoin(sz, 9, "C:\\dir", "xy"), ERR_BUFFER_OVERFLOW);

    char *psz = RTPathJoinA("C:\\dir\\", "\\file.cab");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\dir\\file.cab");
    RTStrFree(psz);
    psz = RTPathJoinA("C:", "x");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:x");
    RTStrFree(psz);
}

/*
 * Simple helpers.
 */
TEST(PathSimple, SuffixAndFilename)
{
    static const struct
    {
        const char *pszPath;
        const char *pszSuffix;
        const char *pszName;
    } s_aCases[] = {
        {"a.b.c", ".c", "a.b.c"},      {"name.", nullptr, "name."}, {"x.y\\z", nullptr, "z"},
        {"dir\\.msi", ".msi", ".msi"}, {".msi", nullptr, ".msi"},   {"C:\\pkg.msi", ".msi", "pkg.msi"},
        {"C:x.y", ".y", "x.y"},        {"a.b/", nullptr, nullptr},  {"C:", nullptr, nullptr},
        {"", nullptr, nullptr},        {"a.b:c", nullptr, "c"},
    };
    for (const auto &c : s_aCases)
    {
        const char *pszSuffix = RTPathFindSuffix(c.pszPath);
        if (c.pszSuffix)
            EXPECT_STREQ(pszSuffix, c.pszSuffix) << c.pszPath;
        else
            EXPECT_EQ(pszSuffix, nullptr) << c.pszPath;
        const char *pszName = RTPathFindFilename(c.pszPath);
        if (c.pszName)
            EXPECT_STREQ(pszName, c.pszName) << c.pszPath;
        else
            EXPECT_EQ(pszName, nullptr) << c.pszPath;
    }
}

TEST(PathSimple, SplitSimple)
{
    static const struct
    {
        const char *pszPath;
        size_t cchDir;
        ptrdiff_t offName;
        ptrdiff_t offSuffix;
    } s_aCases[] = {
        {"C:\\a\\b.exe", 4, 5, 6},
        {"C:\\b", 3, 3, -1},
        {"C:b", 2, 2, -1},
        {"a\\b\\", 3, -1, -1},
        {"a\\\\b", 1, 3, -1},
        {"\\x", 1, 1, -1},
        {"x", 0, 0, -1},
        {"\\\\srv\\share\\x.y", 11, 12, 13},
        {"\\\\srv\\share", 6, 6, -1},
        {"\\\\srv", 5, -1, -1},
        {"C:\\\\", 4, -1, -1},
        {".x", 0, 0, -1},
        {"a.", 0, 0, -1},
        {"", 0, -1, -1},
        {"/usr/bin/prog", 8, 9, -1},
    };
    for (const auto &c : s_aCases)
    {
        size_t cchDir = 99;
        ptrdiff_t offName = 99, offSuffix = 99;
        EXPECT_EQ(RTPathSplitSimple(c.pszPath, &cchDir, &offName, &offSuffix), strlen(c.pszPath)) << c.pszPath;
        EXPECT_EQ(cchDir, c.cchDir) << c.pszPath;
        EXPECT_EQ(offName, c.offName) << c.pszPath;
        EXPECT_EQ(offSuffix, c.offSuffix) << c.pszPath;
    }
    EXPECT_EQ(RTPathSplitSimple("a\\b", nullptr, nullptr, nullptr), 3u);
}

TEST(PathSimple, SeparatorsAndRoots)
{
    static const struct
    {
        const char *pszPath;
        const char *pszStripped;
        size_t cchRoot;
    } s_aCases[] = {
        {"C:\\\\\\", "C:\\", 5},
        {"C:\\a\\\\", "C:\\a", 3},
        {"\\\\\\", "\\", 3},
        {"a/", "a", 0},
        {"/", "/", 1},
        {"", "", 0},
        {"C:a\\", "C:a", 2},
        {"\\\\srv\\share\\x", "\\\\srv\\share\\x", 12},
        {"\\\\srv\\\\", "\\\\srv", 7},
    };
    for (const auto &c : s_aCases)
    {
        char sz[32];
        strcpy(sz, c.pszPath);
        EXPECT_EQ(RTPathStripSeparators(sz), strlen(c.pszStripped)) << c.pszPath;
        EXPECT_STREQ(sz, c.pszStripped) << c.pszPath;
        EXPECT_EQ(RTPathRootLength(c.pszPath), c.cchRoot) << c.pszPath;
        EXPECT_EQ(RTPathStartsWithRoot(c.pszPath), c.cchRoot != 0) << c.pszPath;
    }

    char sz[8] = "";
    EXPECT_EQ(RTPathEnsureSeparator(sz, 2), 0u);
    EXPECT_EQ(RTPathEnsureSeparator(sz, 3), 2u);
    EXPECT_STREQ(sz, ".\\");
    strcpy(sz, "C:");
    EXPECT_EQ(RTPathEnsureSeparator(sz, sizeof(sz)), 2u);
    strcpy(sz, "ab");
    EXPECT_EQ(RTPathEnsureSeparator(sz, 3), 0u);
    EXPECT_STREQ(sz, "ab");
    EXPECT_EQ(RTPathEnsureSeparator(sz, 4), 3u);
    EXPECT_STREQ(sz, "ab\\");

    char szSlashes[] = "a/b\\c/";
    EXPECT_STREQ(RTPathToBackslashes(szSlashes), "a\\b\\c\\");
}

} // namespace
