/** @file
 * Extension conversions over raw values: hex dumps and hex strings
 * ("%Rhx.", "%RhX."), sizes with units ("%Rhc.", "%Rhu."), and processor
 * control registers ("%RAx86[cr0]", "%RAx86[cr4]").
 */
#include <zolt/strformat.h>

#include <string.h>

#include "internal/strformat.h"

namespace
{

/** Appends a number rendered with RTStrFmtNumber. */
void rtStrFmtPutNumber(RTSTRFMTSINK &Sink, uint64_t u64, unsigned uBase, int cchWidth, unsigned fFlags)
{
    char szNum[RTSTRFMT_NUM_BUF];
    int cch = RTStrFmtNumber(szNum, u64, uBase, cchWidth, -1, fFlags);
    Sink.put(szNum, (size_t)cch);
}

void rtStrFmtPutHexByte(RTSTRFMTSINK &Sink, uint8_t b)
{
    char ach[2] = {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    Sink.put(ach, 2);
}

/** One line of a dump: address/offset, the bytes, the characters. */
void rtStrFmtDumpLine(RTSTRFMTSINK &Sink, const uint8_t *pb, size_t cb, size_t cbLine, uint64_t uAddr, size_t off,
                      int cchAddr)
{
    rtStrFmtPutNumber(Sink, uAddr, 16, cchAddr, FMT_F_ZERO_PAD | FMT_F_SIZE64);
    Sink.put('/');
    rtStrFmtPutNumber(Sink, off, 16, 4, FMT_F_ZERO_PAD);
    Sink.put(':');
    for (size_t i = 0; i < cb; i++)
    {
        Sink.put(i && i % 8 == 0 ? '-' : ' ');
        rtStrFmtPutHexByte(Sink, pb[i]);
    }
    for (size_t i = cb; i < cbLine; i++)
        Sink.put("   ", 3);
    Sink.put(' ');
    for (size_t i = 0; i < cb; i++)
        Sink.put(pb[i] >= 0x20 && pb[i] <= 0x7e ? (char)pb[i] : '.');
}

/** "\n********  ****  <ditto x N>" for N lines left out. */
void rtStrFmtDumpDitto(RTSTRFMTSINK &Sink, int cchAddr, unsigned cLines)
{
    Sink.put('\n');
    for (int i = 0; i < cchAddr; i++)
        Sink.put('*');
    Sink.put(" ****  <ditto x ", 16);
    rtStrFmtPutNumber(Sink, cLines, 10, -1, 0);
    Sink.put('>');
}

size_t rtStrFmtDump(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pb, size_t cb, uint64_t uAddr,
                    int cchWidth, bool fDitto)
{
    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    size_t cbLine = cchWidth > 0 ? (size_t)cchWidth : 16;
    int cchAddr = uAddr > UINT32_MAX ? 16 : 8;
    unsigned cDitto = 0;
    for (size_t off = 0; off < cb; off += cbLine)
    {
        size_t cbThis = cb - off < cbLine ? cb - off : cbLine;
        if (fDitto && off && cbThis == cbLine && memcmp(&pb[off], &pb[off - cbLine], cbLine) == 0)
        {
            cDitto++;
            continue;
        }
        if (cDitto)
        {
            rtStrFmtDumpDitto(Sink, cchAddr, cDitto);
            cDitto = 0;
        }
        if (off)
            Sink.put('\n');
        rtStrFmtDumpLine(Sink, &pb[off], cbThis, cbLine, uAddr + off, off, cchAddr);
    }
    if (cDitto)
        rtStrFmtDumpDitto(Sink, cchAddr, cDitto);
    return Sink.done();
}

size_t rtStrFmtHexString(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pb, size_t cb, uint64_t uAddr,
                         bool fAddr, unsigned fFlags)
{
    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    if (fAddr)
    {
        rtStrFmtPutNumber(Sink, uAddr, 16, uAddr > UINT32_MAX ? 16 : 8, FMT_F_ZERO_PAD | FMT_F_SIZE64);
        Sink.put(": ", 2);
    }
    char chSep = (fFlags & FMT_F_ALT) ? 0 : (fFlags & FMT_F_GROUP) ? ':' : ' ';
    for (size_t i = 0; i < cb; i++)
    {
        if (i && chSep)
            Sink.put(chSep);
        rtStrFmtPutHexByte(Sink, pb[i]);
    }
    return Sink.done();
}

struct RTSTRFMTUNIT
{
    const char *pszName;
    uint64_t cbUnit;
};

const RTSTRFMTUNIT g_aBinaryUnits[] = {
    {"Ei", UINT64_C(1) << 60}, {"Pi", UINT64_C(1) << 50}, {"Ti", UINT64_C(1) << 40},
    {"Gi", UINT64_C(1) << 30}, {"Mi", UINT64_C(1) << 20}, {"Ki", UINT64_C(1) << 10},
};
const RTSTRFMTUNIT g_aDecimalUnits[] = {
    {"E", UINT64_C(1000000000000000000)}, {"P", UINT64_C(1000000000000000)}, {"T", UINT64_C(1000000000000)},
    {"G", UINT64_C(1000000000)},          {"M", UINT64_C(1000000)},          {"k", UINT64_C(1000)},
};

/** "%Rhcb" & co: @a chUnits is 'b', 'B' or 'i', @a fBytes adds "B". */
size_t rtStrFmtSize(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, char chUnits, bool fBytes,
                    int cchPrecision, unsigned fFlags)
{
    unsigned cDecimals = (fFlags & FMT_F_PRECISION) ? (cchPrecision > 3 ? 3u : (unsigned)cchPrecision) : 1u;
    bool fBinary = chUnits != 'i';
    const RTSTRFMTUNIT *paUnits = fBinary ? g_aBinaryUnits : g_aDecimalUnits;

    /* The largest unit not above the value; without decimals a unit must be
       clearly exceeded, or "1 KiB" would stand for anything up to 2047. */
    const RTSTRFMTUNIT *pUnit = nullptr;
    for (size_t i = 0; i < RT_ELEMENTS(g_aBinaryUnits) && !pUnit; i++)
    {
        uint64_t cbUnit = paUnits[i].cbUnit;
        uint64_t cbMin = cDecimals ? cbUnit : fBinary ? cbUnit * 2 : cbUnit + cbUnit / 100;
        if (u64 >= cbMin)
            pUnit = &paUnits[i];
    }

    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    if (!pUnit)
        rtStrFmtPutNumber(Sink, u64, 10, -1, 0);
    else
    {
        static const uint32_t s_auScale[] = {1, 10, 100, 1000};
        uint32_t uScale = s_auScale[cDecimals];
        uint64_t cbUnit = pUnit->cbUnit;
        uint64_t uWhole = u64 / cbUnit;
        uint64_t uRem = u64 % cbUnit;
        /* Round the fraction to the decimals shown; scale both sides down for
           the largest units so the multiplication cannot overflow. */
        if (cbUnit >= UINT64_C(1) << 54)
        {
            uRem >>= 10;
            cbUnit >>= 10;
        }
        uint64_t uFrac = (uRem * uScale + cbUnit / 2) / cbUnit;
        if (uFrac >= uScale)
        {
            uWhole++;
            uFrac -= uScale;
        }
        rtStrFmtPutNumber(Sink, uWhole, 10, -1, 0);
        if (cDecimals)
        {
            Sink.put('.');
            rtStrFmtPutNumber(Sink, uFrac, 10, (int)cDecimals, FMT_F_ZERO_PAD);
        }
    }
    if (pUnit || fBytes)
    {
        if (fFlags & FMT_F_BLANK)
            Sink.put(' ');
        if (pUnit)
            Sink.put(pUnit->pszName, chUnits == 'B' ? 1 : strlen(pUnit->pszName));
        if (fBytes)
            Sink.put('B');
    }
    return Sink.done();
}

/** Names of the control register bits; bits without a name show as "unkn=". */
struct RTSTRFMTREGBIT
{
    uint8_t iBit;
    const char *pszName;
};

const RTSTRFMTREGBIT g_aCr0Bits[] = {
    {0, "PE"},  {1, "MP"},  {2, "EM"},  {3, "TS"},  {4, "ET"},  {5, "NE"},
    {16, "WP"}, {18, "AM"}, {29, "NW"}, {30, "CD"}, {31, "PG"},
};
const RTSTRFMTREGBIT g_aCr4Bits[] = {
    {0, "VME"},   {1, "PVI"},   {2, "TSD"},   {3, "DE"},        {4, "PSE"},          {5, "PAE"},
    {6, "MCE"},   {7, "PGE"},   {8, "PCE"},   {9, "OSFXSR"},    {10, "OSXMMEEXCPT"}, {11, "UMIP"},
    {12, "LA57"}, {13, "VMXE"}, {14, "SMXE"}, {16, "FSGSBASE"}, {17, "PCIDE"},       {18, "OSXSAVE"},
    {20, "SMEP"}, {21, "SMAP"}, {22, "PKE"},  {23, "CET"},      {24, "PKS"},
};

size_t rtStrFmtRegBits(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, const RTSTRFMTREGBIT *paBits,
                       size_t cBits)
{
    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    rtStrFmtPutNumber(Sink, u64, 16, 8, FMT_F_ZERO_PAD | FMT_F_SIZE64);
    Sink.put('{');
    bool fFirst = true;
    uint64_t fUnknown = u64;
    for (size_t i = 0; i < cBits; i++)
    {
        uint64_t fBit = UINT64_C(1) << paBits[i].iBit;
        if (!(u64 & fBit))
            continue;
        fUnknown &= ~fBit;
        if (!fFirst)
            Sink.put(',');
        Sink.put(paBits[i].pszName, strlen(paBits[i].pszName));
        fFirst = false;
    }
    if (fUnknown)
    {
        if (!fFirst)
            Sink.put(',');
        Sink.put("unkn=", 5);
        rtStrFmtPutNumber(Sink, fUnknown, 16, -1, FMT_F_SIZE64);
    }
    Sink.put('}');
    return Sink.done();
}

} // namespace

size_t rtStrFmtExtHex(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,
                      int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)chArgSize;
    const char *psz = *ppszFormat;
    char chKind = psz[1];
    char chForm = chKind ? psz[2] : '\0';
    bool fDump = chForm == 'd' || chForm == 'D';
    bool fKnown = ((chKind == 'x' || chKind == 'X') && (fDump || chForm == 's')) ||
                  ((chKind == 'c' || chKind == 'u') && (chForm == 'b' || chForm == 'B' || chForm == 'i'));
    if (!fKnown)
    {
        /* Consume the letters that still belonged to the directive. */
        bool fKind = chKind == 'x' || chKind == 'X' || chKind == 'c' || chKind == 'u';
        *ppszFormat = psz + (!chKind ? 1 : !fKind || !chForm ? 2 : 3);
        return 0;
    }
    *ppszFormat = psz + 3;

    if (chKind == 'c' || chKind == 'u')
        return rtStrFmtSize(pfnOutput, pvArgOutput, va_arg(*pArgs, uint64_t), chForm, chKind == 'c', cchPrecision,
                            fFlags);

    const uint8_t *pb = va_arg(*pArgs, const uint8_t *);
    uint64_t uAddr = chKind == 'X' ? va_arg(*pArgs, uint64_t) : (uint64_t)(uintptr_t)pb;
    if (!pb)
        return pfnOutput(pvArgOutput, "<null>", 6);
    if (!RT_VALID_PTR(pb))
        return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pb, "!BadHex");
    size_t cb = cchPrecision >= 0 ? (size_t)cchPrecision : 16;
    if (fDump)
        return rtStrFmtDump(pfnOutput, pvArgOutput, pb, cb, uAddr, cchWidth, chForm == 'D');
    return rtStrFmtHexString(pfnOutput, pvArgOutput, pb, cb, uAddr, chKind == 'X', fFlags);
}

size_t rtStrFmtExtRegister(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                           int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)cchWidth, (void)cchPrecision, (void)fFlags, (void)chArgSize; /* fixed form */
    /* "A" + architecture + "[" + register + "]"; anything else is not a
       register directive and only the "A" is consumed. */
    const char *psz = *ppszFormat;
    const char *pszArch = psz + 1;
    const char *pszBracket = pszArch;
    while (*pszBracket && *pszBracket != '[' && *pszBracket != '%')
        pszBracket++;
    const char *pszReg = pszBracket + 1;
    const char *pszEnd = pszReg;
    if (*pszBracket == '[')
        while (*pszEnd && *pszEnd != ']' && *pszEnd != '%' && *pszEnd != '[')
            pszEnd++;
    if (*pszBracket != '[' || *pszEnd != ']')
    {
        *ppszFormat = psz + 1;
        return 0;
    }
    *ppszFormat = pszEnd + 1;

    uint64_t u64 = va_arg(*pArgs, uint64_t);
    size_t cchArch = (size_t)(pszBracket - pszArch);
    size_t cchReg = (size_t)(pszEnd - pszReg);
    if (cchArch != 3 || memcmp(pszArch, "x86", 3) != 0 || cchReg != 3)
        return 0;
    if (memcmp(pszReg, "cr0", 3) == 0)
        return rtStrFmtRegBits(pfnOutput, pvArgOutput, u64, g_aCr0Bits, RT_ELEMENTS(g_aCr0Bits));
    if (memcmp(pszReg, "cr4", 3) == 0)
        return rtStrFmtRegBits(pfnOutput, pvArgOutput, u64, g_aCr4Bits, RT_ELEMENTS(g_aCr4Bits));
    return 0;
}
