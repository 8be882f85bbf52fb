/** @file
 * Extension conversions over text: escaped strings ("%RM.."), base names
 * ("%Rbn"), big-endian UTF-16 ("%lRbs"), function names ("%Rfn"), and time
 * spans ("%RDtimespec").
 */
#include <zolt/strformat.h>
#include <zolt/string.h>
#include <zolt/time.h>

#include <string.h>

#include "internal/strformat.h"

/** Consumes a directive the renderer does not know: @a psz is at its family
 *  letter, up to @a cchMax letters go (never the terminator). */
static size_t rtStrFmtSkipUnknown(const char **ppszFormat, const char *psz, size_t cchMax)
{
    size_t cch = 0;
    while (cch < cchMax && psz[cch] != '\0')
        cch++;
    *ppszFormat = psz + cch;
    return 0;
}

size_t rtStrFmtExtTime(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,
                       int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)cchWidth, (void)cchPrecision, (void)fFlags, (void)chArgSize; /* fixed form */
    const char *psz = *ppszFormat;
    static const char s_szTimeSpec[] = "Dtimespec";
    if (strncmp(psz, s_szTimeSpec, sizeof(s_szTimeSpec) - 1) != 0)
        return rtStrFmtSkipUnknown(ppszFormat, psz, 1);
    *ppszFormat = psz + sizeof(s_szTimeSpec) - 1;

    const RTTIMESPEC *pTime = va_arg(*pArgs, const RTTIMESPEC *);
    if (!RT_VALID_PTR(pTime))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pTime, "!BadRD");
    return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "%'lld ns", (long long)pTime->i64NanosecondsRelativeToUnixEpoch);
}

namespace
{

enum RTSTRFMTESCAPE
{
    kXmlAttr,
    kXmlElem,
    kJson,
    kUrlPath,  /**< "pp": "/" passes */
    kUrlAny,   /**< "pa" */
    kUrlQuery, /**< "pq": "+" passes */
    kUrlForm,  /**< "pf": blank becomes "+" */
};

struct RTSTRFMTESCAPEDESC
{
    char szName[4];
    RTSTRFMTESCAPE enmKind;
};

const RTSTRFMTESCAPEDESC g_aEscapes[] = {
    {"Mas", kXmlAttr}, {"Mes", kXmlElem},  {"Mjs", kJson},    {"Mpp", kUrlPath},
    {"Mpa", kUrlAny},  {"Mpq", kUrlQuery}, {"Mpf", kUrlForm},
};

bool rtStrFmtIsUrlUnreserved(unsigned char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-' || ch == '.' ||
           ch == '_' || ch == '~';
}

/** Appends the escaped form of one byte. */
void rtStrFmtEscapeByte(RTSTRFMTSINK &Sink, RTSTRFMTESCAPE enmKind, unsigned char ch)
{
    static const char s_achHex[] = "0123456789ABCDEF";
    switch (enmKind)
    {
        case kXmlAttr:
        case kXmlElem:
            switch (ch)
            {
                case '<': Sink.put("&lt;", 4); return;
                case '>': Sink.put("&gt;", 4); return;
                case '&': Sink.put("&amp;", 5); return;
                case '"': Sink.put("&quot;", 6); return;
                case '\'':
                    if (enmKind == kXmlElem)
                    {
                        Sink.put("&apos;", 6);
                        return;
                    }
                    break;
                case '\n':
                    if (enmKind == kXmlAttr)
                    {
                        Sink.put("&#xA;", 5);
                        return;
                    }
                    break;
                case '\r':
                    if (enmKind == kXmlAttr)
                    {
                        Sink.put("&#xD;", 5);
                        return;
                    }
                    break;
                default: break;
            }
            Sink.put((char)ch);
            return;

        case kJson: {
            char chEscape = 0;
            switch (ch)
            {
                case '"': chEscape = '"'; break;
                case '\\': chEscape = '\\'; break;
                case '\b': chEscape = 'b'; break;
                case '\t': chEscape = 't'; break;
                case '\n': chEscape = 'n'; break;
                case '\f': chEscape = 'f'; break;
                default: break;
            }
            if (chEscape)
            {
                char ach[2] = {'\\', chEscape};
                Sink.put(ach, 2);
            }
            else if (ch < 0x20)
            {
                char ach[6] = {'\\', 'u', '0', '0', "0123456789abcdef"[ch >> 4], "0123456789abcdef"[ch & 15]};
                Sink.put(ach, 6);
            }
            else
                Sink.put((char)ch);
            return;
        }

        default:
            if (rtStrFmtIsUrlUnreserved(ch) || (ch == '/' && enmKind == kUrlPath) ||
                (ch == '+' && enmKind == kUrlQuery))
                Sink.put((char)ch);
            else if (ch == ' ' && enmKind == kUrlForm)
                Sink.put('+');
            else
            {
                char ach[3] = {'%', s_achHex[ch >> 4], s_achHex[ch & 15]};
                Sink.put(ach, 3);
            }
            return;
    }
}

/** Padding for the escaped forms: blanks, or "%20" in URLs. */
void rtStrFmtEscapePad(RTSTRFMTSINK &Sink, RTSTRFMTESCAPE enmKind, size_t cch)
{
    for (size_t i = 0; i < cch; i++)
    {
        if (enmKind >= kUrlPath)
            Sink.put("%20", 3);
        else
            Sink.put(' ');
    }
}

} // namespace

size_t rtStrFmtExtEscape(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)chArgSize;
    const char *psz = *ppszFormat;
    const RTSTRFMTESCAPEDESC *pDesc = nullptr;
    for (const RTSTRFMTESCAPEDESC &Desc : g_aEscapes)
        if (strncmp(psz, Desc.szName, 3) == 0)
            pDesc = &Desc;
    if (!pDesc)
        return rtStrFmtSkipUnknown(ppszFormat, psz, 3);
    *ppszFormat = psz + 3;

    const char *pszText = va_arg(*pArgs, const char *);
    if (!RT_VALID_PTR(pszText))
        pszText = "<NULL>";
    size_t cchText = cchPrecision >= 0 ? RTStrNLen(pszText, (size_t)cchPrecision) : strlen(pszText);
    /* The width counts the characters of the text before escaping. */
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cchText ? (size_t)cchWidth - cchText : 0;

    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    RTSTRFMTESCAPE enmKind = pDesc->enmKind;
    if (!(fFlags & FMT_F_LEFT))
        rtStrFmtEscapePad(Sink, enmKind, cchPad);
    bool fQuoted = enmKind == kXmlAttr || enmKind == kJson;
    if (fQuoted)
        Sink.put('"');
    for (size_t i = 0; i < cchText; i++)
        rtStrFmtEscapeByte(Sink, enmKind, (unsigned char)pszText[i]);
    if (fQuoted)
        Sink.put('"');
    if (fFlags & FMT_F_LEFT)
        rtStrFmtEscapePad(Sink, enmKind, cchPad);
    return Sink.done();
}

size_t rtStrFmtExtBaseName(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                           int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    const char *psz = *ppszFormat;
    if (psz[1] == 'n')
    {
        *ppszFormat = psz + 2;
        const char *pszPath = va_arg(*pArgs, const char *);
        if (!RT_VALID_PTR(pszPath))
            return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pszPath, "!BadBaseName");
        const char *pszName = pszPath;
        for (const char *pch = pszPath; *pch; pch++)
            if (*pch == '\\' || *pch == '/' || *pch == ':')
                pszName = pch + 1;
        size_t cch = strlen(pszName);
        return cch ? pfnOutput(pvArgOutput, pszName, cch) : 0;
    }
    if (psz[1] == 's')
    {
        *ppszFormat = psz + 2;
        const RTUTF16 *pwsz = va_arg(*pArgs, const RTUTF16 *);
        if (chArgSize != 'l')
            return 0; /* only the UTF-16 form exists */
        if (!RT_VALID_PTR(pwsz))
            return rtStrFmtPadded(pfnOutput, pvArgOutput, "<NULL>", 6, 6, cchWidth, fFlags);
        return rtStrFmtUtf16(pfnOutput, pvArgOutput, pwsz, true /*fBigEndian*/, cchWidth, cchPrecision, fFlags);
    }
    return rtStrFmtSkipUnknown(ppszFormat, psz, 2);
}

size_t rtStrFmtExtFnName(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)cchWidth, (void)cchPrecision, (void)fFlags, (void)chArgSize; /* the name as it is */
    const char *psz = *ppszFormat;
    if (psz[1] != 'n')
        return rtStrFmtSkipUnknown(ppszFormat, psz, 2);
    *ppszFormat = psz + 2;

    const char *pszSig = va_arg(*pArgs, const char *);
    if (!RT_VALID_PTR(pszSig))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pszSig, "!BadFnNm");
    /* Skip the return type and calling convention: every blank outside
       template brackets starts a new word; the name ends at "(". */
    const char *pszName = pszSig;
    unsigned cAngles = 0;
    const char *pch = pszSig;
    for (; *pch && !(*pch == '(' && cAngles == 0); pch++)
    {
        if (*pch == '<')
            cAngles++;
        else if (*pch == '>')
            cAngles -= cAngles ? 1 : 0;
        else if ((*pch == ' ' || *pch == '\t') && cAngles == 0)
            pszName = pch + 1;
    }
    size_t cch = (size_t)(pch - pszName);
    return cch ? pfnOutput(pvArgOutput, pszName, cch) : 0;
}
