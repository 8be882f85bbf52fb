/* RTPathAbsEx with a fixed base. Oracles: the result is absolute and a
   second pass leaves it unchanged but for the drive letter, which it may
   upper-case (a rooted path with ".." keeps the letter as spelt, the
   absolute result does not); with RTPATHABS_KEEP_BASE a relative input
   never leaves the base; the reported size on overflow is enough, and no
   call writes past the size it is given (exact-size heap blocks). */
#include <zolt/err.h>
#include <zolt/path.h>

#include <stdlib.h>
#include <string.h>
#include <string>

static void checkOne(const char *pszBase, const char *pszPath, uint32_t fFlags)
{
    uint32_t const fStyle = fFlags & RTPATH_STYLE_MASK;
    char szAbs[16384];
    size_t cb = sizeof(szAbs);
    int rc = RTPathAbsEx(pszBase, pszPath, fFlags, szAbs, &cb);
    if (rc == ERR_BUFFER_OVERFLOW || rc == ERR_FILENAME_TOO_LONG)
        return; /* long inputs */
    if (rc < 0)
    {
        if (*pszPath && rc != ERR_PATH_ROOT_WITHOUT_SLASH)
            abort();
        return;
    }
    size_t const cch = strlen(szAbs);
    if (cb != cch)
        abort();

    /* Absolute in the parsed sense. */
    size_t const cbRec = RTPATHPARSEREC_HDR_SIZE + (cch + 1) * sizeof(RTPATHPARSECOMP);
    RTPATHPARSEREC *pRec = (RTPATHPARSEREC *)malloc(cbRec);
    if (RTPathParse(szAbs, pRec, cbRec, fStyle) != SUCCESS || !(pRec->fProps & RTPATH_PROP_ABSOLUTE))
        abort();
    free(pRec);

    /* Idempotent, up to the drive letter's case. */
    char szAgain[16384];
    cb = sizeof(szAgain);
    if (RTPathAbsEx(pszBase, szAbs, fFlags, szAgain, &cb) != SUCCESS)
        abort();
    std::string sExpect(szAbs);
    if (fStyle == RTPATH_STYLE_DOS && sExpect[0] >= 'a' && sExpect[0] <= 'z' && sExpect[1] == ':')
        sExpect[0] = (char)(sExpect[0] - 'a' + 'A');
    if (sExpect != szAgain)
        abort();

    /* A relative input stays inside the base when told to. */
    if (fFlags & RTPATHABS_KEEP_BASE)
    {
        size_t const cbRelRec = RTPATHPARSEREC_HDR_SIZE + 4096 * sizeof(RTPATHPARSECOMP);
        RTPATHPARSEREC *pRel = (RTPATHPARSEREC *)malloc(cbRelRec);
        if (RTPathParse(pszPath, pRel, cbRelRec, fStyle) == SUCCESS &&
            !(pRel->fProps & (RTPATH_PROP_UNC | RTPATH_PROP_ROOT_SLASH | RTPATH_PROP_VOLUME)))
        {
            size_t const cchBase = strlen(pszBase);
            if (strncmp(szAbs, pszBase, cchBase) != 0 ||
                (szAbs[cchBase] != '\0' && szAbs[cchBase] != '\\' && szAbs[cchBase] != '/'))
                abort();
        }
        free(pRel);
    }

    /* Exact size, then too small: the reported size must work. */
    char *pszExact = (char *)malloc(cch + 1);
    cb = cch + 1;
    if (RTPathAbsEx(pszBase, pszPath, fFlags, pszExact, &cb) != SUCCESS || strcmp(pszExact, szAbs) != 0)
        abort();
    free(pszExact);
    char *pszShort = (char *)malloc(cch);
    cb = cch;
    if (RTPathAbsEx(pszBase, pszPath, fFlags, pszShort, &cb) != ERR_BUFFER_OVERFLOW || cb < cch + 1)
        abort();
    free(pszShort);
    char *pszRetry = (char *)malloc(cb);
    if (RTPathAbsEx(pszBase, pszPath, fFlags, pszRetry, &cb) != SUCCESS || strcmp(pszRetry, szAbs) != 0)
        abort();
    free(pszRetry);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    uint8_t const bSel = pbData[0];
    std::string const s((const char *)pbData + 1, cbData - 1);
    uint32_t fFlags = (bSel & 1) ? RTPATH_STYLE_UNIX : RTPATH_STYLE_DOS;
    if (bSel & 2)
        fFlags |= RTPATHABS_KEEP_BASE;
    if (bSel & 4)
        fFlags |= RTPATHABS_TRAILING_SLASH;
    const char *pszBase = (bSel & 1) ? "/base/dir" : ((bSel & 8) ? "\\\\srv\\share\\base" : "C:\\base\\dir");
    checkOne(pszBase, s.c_str(), fFlags);
    return 0;
}
