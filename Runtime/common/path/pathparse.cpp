/** @file
 * Splitting a path into root and components, and putting it back together.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <string.h>

#include "internal/path.h"

static_assert(sizeof(RTPATHPARSEREC) == RTPATHPARSEREC_HDR_SIZE, "the record's fixed part is part of its interface");

namespace
{

/** Every offset and end in a parsed record is a 16-bit number. */
constexpr size_t kcchParseMax = 0xffff;
/** The most entries a record describes (its size stays below 256 KiB). */
constexpr size_t kcParseEntriesMax = 65520;

/** Root of a DOS path: its length and properties. */
size_t rtPathDosRoot(const char *psz, uint16_t *pfProps)
{
    if (rtPathIsDosSep(psz[0]))
    {
        if (!rtPathIsDosSep(psz[1]))
        {
            *pfProps = RTPATH_PROP_RELATIVE | RTPATH_PROP_ROOT_SLASH;
            return 1;
        }
        size_t off = 2;
        while (psz[off] != '\0' && !rtPathIsDosSep(psz[off]))
            off++;
        uint16_t fProps = RTPATH_PROP_ABSOLUTE | RTPATH_PROP_UNC;
        if (off == 3 && (psz[2] == '.' || psz[2] == '?'))
            fProps |= RTPATH_PROP_SPECIAL_UNC;
        if (psz[off] != '\0')
        {
            off++;
            fProps |= RTPATH_PROP_ROOT_SLASH;
        }
        *pfProps = fProps;
        return off;
    }
    if (rtPathHasDrive(psz))
    {
        if (rtPathIsDosSep(psz[2]))
        {
            *pfProps = RTPATH_PROP_ABSOLUTE | RTPATH_PROP_VOLUME | RTPATH_PROP_ROOT_SLASH;
            return 3;
        }
        *pfProps = RTPATH_PROP_RELATIVE | RTPATH_PROP_VOLUME;
        return 2;
    }
    *pfProps = RTPATH_PROP_RELATIVE;
    return 0;
}

inline bool rtPathRecHasRoot(const RTPATHPARSEREC *pParsed)
{
    return (pParsed->fProps & (RTPATH_PROP_UNC | RTPATH_PROP_ROOT_SLASH | RTPATH_PROP_VOLUME)) != 0;
}

} // namespace

int rtPathParseStyle(const char *pszPath, RTPATHPARSEREC *pParsed, size_t cEntries, uint32_t fStyle)
{
    size_t const cchPath = RTStrNLen(pszPath, kcchParseMax + 1);
    if (cchPath == 0)
        return ERR_PATH_ZERO_LENGTH;
    if (cchPath > kcchParseMax)
        return ERR_FILENAME_TOO_LONG;
    if (cEntries > kcParseEntriesMax)
        cEntries = kcParseEntriesMax;

    uint16_t fProps;
    size_t cchRoot;
    if (fStyle == RTPATH_STYLE_DOS)
        cchRoot = rtPathDosRoot(pszPath, &fProps);
    else if (pszPath[0] == '/')
    {
        cchRoot = 1;
        fProps = RTPATH_PROP_ABSOLUTE | RTPATH_PROP_ROOT_SLASH;
    }
    else
    {
        cchRoot = 0;
        fProps = RTPATH_PROP_RELATIVE;
    }

    size_t cComps = 0;
    auto addComp = [&](size_t off, size_t cch) {
        if (cComps < cEntries)
        {
            pParsed->aComps[cComps].off = (uint16_t)off;
            pParsed->aComps[cComps].cch = (uint16_t)cch;
        }
        cComps++;
    };

    size_t cchNormal = cchRoot;
    if (cchRoot)
        addComp(0, cchRoot);
    size_t off = cchRoot;
    if (cchRoot && rtPathIsSep(pszPath[off], fStyle))
    {
        fProps |= RTPATH_PROP_EXTRA_SLASHES;
        while (rtPathIsSep(pszPath[off], fStyle))
            off++;
    }

    size_t cNames = 0;
    size_t offLast = 0;
    size_t cchLast = 0;
    while (off < cchPath)
    {
        size_t const offComp = off;
        while (off < cchPath && !rtPathIsSep(pszPath[off], fStyle))
            off++;
        size_t const cchComp = off - offComp;
        addComp(offComp, cchComp);
        if (cchComp == 1 && pszPath[offComp] == '.')
            fProps |= RTPATH_PROP_DOT_REFS;
        else if (cchComp == 2 && pszPath[offComp] == '.' && pszPath[offComp + 1] == '.')
            fProps = (uint16_t)((fProps & ~RTPATH_PROP_ABSOLUTE) | RTPATH_PROP_DOTDOT_REFS | RTPATH_PROP_RELATIVE);
        cchNormal += cchComp + (cNames ? 1 : 0);
        cNames++;
        offLast = offComp;
        cchLast = cchComp;

        size_t const offSeps = off;
        while (off < cchPath && rtPathIsSep(pszPath[off], fStyle))
            off++;
        if (off - offSeps > 1)
            fProps |= RTPATH_PROP_EXTRA_SLASHES;
    }

    pParsed->offSuffix = (uint16_t)cchPath;
    pParsed->cchSuffix = 0;
    if (rtPathIsSep(pszPath[cchPath - 1], fStyle))
    {
        fProps |= RTPATH_PROP_DIR_SLASH;
        if (cNames)
            cchNormal++;
    }
    else
    {
        fProps |= RTPATH_PROP_FILENAME;
        /* The last '.' of the last name that is neither its first nor its
           last character. */
        for (size_t i = cchLast; cNames && i-- > 1;)
            if (pszPath[offLast + i] == '.')
            {
                if (i + 1 < cchLast)
                {
                    fProps |= RTPATH_PROP_SUFFIX;
                    pParsed->offSuffix = (uint16_t)(offLast + i);
                    pParsed->cchSuffix = (uint16_t)(cchLast - i);
                }
                break;
            }
    }

    pParsed->cComps = (uint16_t)cComps;
    pParsed->fProps = fProps;
    pParsed->cchPath = (uint16_t)cchNormal;
    pParsed->u16Reserved = 0;
    return cComps > cEntries ? ERR_BUFFER_OVERFLOW : SUCCESS;
}

RTDECL(int) RTPathParse(const char *pszPath, RTPATHPARSEREC *pParsed, size_t cbParsed, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pParsed))
        return ERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STYLE_MASK) || (fFlags & RTPATH_STYLE_MASK) == RTPATH_STYLE_MASK)
        return ERR_INVALID_FLAGS;
    if (cbParsed < RTPATHPARSEREC_HDR_SIZE)
        return ERR_INVALID_PARAMETER;
    return rtPathParseStyle(pszPath, pParsed, (cbParsed - RTPATHPARSEREC_HDR_SIZE) / sizeof(RTPATHPARSECOMP),
                            rtPathStyle(fFlags));
}

int rtPathAssembleStyle(const char *pszSrc, const RTPATHPARSEREC *pParsed, uint32_t fStyle, char *pszDst, size_t cbDst,
                        size_t *pcchPath)
{
    bool const fRoot = rtPathRecHasRoot(pParsed);
    size_t const iFirst = fRoot ? 1 : 0;

    size_t cch = fRoot ? pParsed->aComps[0].cch : 0;
    size_t cNames = 0;
    for (size_t i = iFirst; i < pParsed->cComps; i++)
        if (pParsed->aComps[i].cch)
            cch += pParsed->aComps[i].cch + (cNames++ ? 1 : 0);
    if (cNames && (pParsed->fProps & RTPATH_PROP_DIR_SLASH))
        cch++;
    if (pcchPath)
        *pcchPath = cch;
    if (cch >= cbDst)
    {
        if (cbDst)
            *pszDst = '\0';
        return ERR_BUFFER_OVERFLOW;
    }

    /* Left to right: every piece lands at or before where it is read from,
       so assembling a path over its own string is safe. */
    char const chSep = fStyle == RTPATH_STYLE_DOS ? '\\' : '/';
    size_t off = 0;
    /* The record does not say which style it was parsed in, and the output
       style may differ. Either way every '\' or '/' in a root is a
       separator: a DOS root takes both, a Unix root is a lone '/'. */
    if (fRoot)
        for (size_t i = 0; i < pParsed->aComps[0].cch; i++)
        {
            char const ch = pszSrc[pParsed->aComps[0].off + i];
            pszDst[off++] = rtPathIsDosSep(ch) ? chSep : ch;
        }
    bool fFirstName = true;
    for (size_t i = iFirst; i < pParsed->cComps; i++)
    {
        size_t const cchComp = pParsed->aComps[i].cch;
        if (!cchComp)
            continue;
        if (!fFirstName)
            pszDst[off++] = chSep;
        fFirstName = false;
        memmove(&pszDst[off], &pszSrc[pParsed->aComps[i].off], cchComp);
        off += cchComp;
    }
    if (cNames && (pParsed->fProps & RTPATH_PROP_DIR_SLASH))
        pszDst[off++] = chSep;
    pszDst[off] = '\0';
    return SUCCESS;
}

RTDECL(int)
RTPathAssemble(const char *pszSrcPath, RTPATHPARSEREC *pParsed, uint32_t fFlags, char *pszDstPath, size_t cbDstPath)
{
    if (!RT_VALID_PTR(pszSrcPath) || !RT_VALID_PTR(pParsed) || (cbDstPath && !RT_VALID_PTR(pszDstPath)))
        return ERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STYLE_MASK) || (fFlags & RTPATH_STYLE_MASK) == RTPATH_STYLE_MASK)
        return ERR_INVALID_FLAGS;
    if (pParsed->cComps == 0)
        return ERR_INVALID_PARAMETER;
    size_t cch = 0;
    int const rc = rtPathAssembleStyle(pszSrcPath, pParsed, rtPathStyle(fFlags), pszDstPath, cbDstPath, &cch);
    pParsed->cchPath = (uint16_t)cch;
    return rc;
}
