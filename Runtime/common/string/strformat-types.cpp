/** @file
 * The "%R" extension dispatcher and the typed values of its type table:
 * sized integers, handles, booleans, far pointers, network addresses,
 * UUIDs and error information records.
 */
#include <zolt/err.h>
#include <zolt/net.h>
#include <zolt/strformat.h>
#include <zolt/string.h>
#include <zolt/uuid.h>

#include <string.h>

#include "internal/strformat.h"

namespace
{

/** How a type table entry renders its value. */
enum RTSTRFMTKIND : uint32_t
{
    kNumber = 0,   /**< RTStrFmtNumber with the directive's flags */
    kHexFixed = 1, /**< hexadecimal, twice the argument size wide */
    kBool = 2,
    kFarPtr16 = 3,
    kFarPtr32 = 4,
    kFarPtr64 = 5,
    kIPv4 = 6,
    kIPv6 = 7,    /**< pointer to 16 bytes */
    kMac = 8,     /**< pointer to RTMAC */
    kNetAddr = 9, /**< pointer to RTNetAddrRec */
    kUuid = 10,   /**< pointer to RTUUID */
    kErrInfoCore = 11,
    kErrInfoMsg = 12,
};

/** One type of the table. */
struct RTStrFmtTypeEntry
{
    uint8_t cchName;
    char szName[10];
    uint8_t cbArg; /**< 1, 2, 4, 6, 8 or 10 bytes */
    uint8_t uBase;
    uint32_t uKind;
    uint16_t fFlags; /**< merged into the directive's flags */
};

/** Handles, host pointers and host register values are as wide as a
 *  pointer, so they pass through a variable argument list intact. */
constexpr uint8_t kPtr = sizeof(void *);
constexpr uint16_t kSigned = FMT_F_SIGNED;
constexpr uint16_t kZero = FMT_F_ZERO_PAD;

#define RT_TYPE(a_szName, a_cbArg, a_uBase, a_uKind, a_fFlags)                                                         \
    {                                                                                                                  \
        sizeof(a_szName) - 1, a_szName, a_cbArg, a_uBase, a_uKind, a_fFlags                                            \
    }

/** Sorted by name (byte order) for the binary search. */
constexpr RTStrFmtTypeEntry g_aTypes[] = {
    RT_TYPE("Ci", 4, 10, kNumber, kSigned),
    RT_TYPE("Cp", 8, 16, kHexFixed, 0),
    RT_TYPE("Cr", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Cu", 4, 10, kNumber, 0),
    RT_TYPE("Cv", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Cx", 4, 16, kNumber, 0),
    RT_TYPE("Gi", 8, 10, kNumber, kSigned),
    RT_TYPE("Gp", 8, 16, kHexFixed, 0),
    RT_TYPE("Gr", 8, 16, kHexFixed, 0),
    RT_TYPE("Gu", 8, 10, kNumber, 0),
    RT_TYPE("Gv", 8, 16, kHexFixed, 0),
    RT_TYPE("Gx", 8, 16, kNumber, 0),
    RT_TYPE("Hi", 4, 10, kNumber, kSigned),
    RT_TYPE("Hp", 8, 16, kHexFixed, 0),
    RT_TYPE("Hr", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Hu", 4, 10, kNumber, 0),
    RT_TYPE("Hv", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Hx", 4, 16, kNumber, 0),
    RT_TYPE("I16", 2, 10, kNumber, kSigned),
    RT_TYPE("I32", 4, 10, kNumber, kSigned),
    RT_TYPE("I64", 8, 10, kNumber, kSigned),
    RT_TYPE("I8", 1, 10, kNumber, kSigned),
    RT_TYPE("Kv", kPtr, 16, kNumber, FMT_F_MASKED),
    RT_TYPE("Rv", 4, 16, kHexFixed, 0),
    RT_TYPE("Tbool", 1, 10, kBool, 0),
    RT_TYPE("Teic", kPtr, 16, kErrInfoCore, 0),
    RT_TYPE("Teim", kPtr, 16, kErrInfoMsg, 0),
    RT_TYPE("Tfile", kPtr, 10, kNumber, 0),
    RT_TYPE("Tfmode", 4, 16, kHexFixed, 0),
    RT_TYPE("Tfoff", 8, 10, kNumber, kSigned),
    RT_TYPE("Tfp16", 4, 16, kFarPtr16, kZero),
    RT_TYPE("Tfp32", 6, 16, kFarPtr32, kZero),
    RT_TYPE("Tfp64", 10, 16, kFarPtr64, kZero),
    RT_TYPE("Tgid", 4, 10, kNumber, kSigned),
    RT_TYPE("Tino", 8, 16, kHexFixed, 0),
    RT_TYPE("Tint", 4, 10, kNumber, kSigned),
    RT_TYPE("Tiop", 2, 16, kHexFixed, 0),
    RT_TYPE("Tldrm", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Tmac", kPtr, 16, kMac, 0),
    RT_TYPE("Tnaddr", kPtr, 10, kNetAddr, 0),
    RT_TYPE("Tnaipv4", 4, 10, kIPv4, 0),
    RT_TYPE("Tnaipv6", kPtr, 16, kIPv6, 0),
    RT_TYPE("Tnthrd", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Tproc", 4, 16, kHexFixed, 0),
    RT_TYPE("Tptr", 8, 16, kHexFixed, 0),
    RT_TYPE("Treg", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Tsel", 2, 16, kHexFixed, 0),
    RT_TYPE("Tsem", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Tsock", kPtr, 10, kNumber, 0),
    RT_TYPE("Tthrd", kPtr, 16, kHexFixed, 0),
    RT_TYPE("Tuid", 4, 10, kNumber, kSigned),
    RT_TYPE("Tuint", 4, 10, kNumber, 0),
    RT_TYPE("Tunicp", 4, 16, kHexFixed, kZero),
    RT_TYPE("Tutf16", 2, 16, kHexFixed, kZero),
    RT_TYPE("Tuuid", kPtr, 16, kUuid, 0),
    RT_TYPE("Txint", 4, 16, kNumber, 0),
    RT_TYPE("U16", 2, 10, kNumber, 0),
    RT_TYPE("U32", 4, 10, kNumber, 0),
    RT_TYPE("U64", 8, 10, kNumber, 0),
    RT_TYPE("U8", 1, 10, kNumber, 0),
    RT_TYPE("X16", 2, 16, kNumber, 0),
    RT_TYPE("X32", 4, 16, kNumber, 0),
    RT_TYPE("X64", 8, 16, kNumber, 0),
    RT_TYPE("X8", 1, 16, kNumber, 0),
};

#undef RT_TYPE

constexpr bool rtStrFmtTypesAreSorted()
{
    for (size_t i = 1; i < RT_ELEMENTS(g_aTypes); i++)
    {
        const RTStrFmtTypeEntry &a = g_aTypes[i - 1];
        const RTStrFmtTypeEntry &b = g_aTypes[i];
        size_t j = 0;
        while (j < a.cchName && j < b.cchName && a.szName[j] == b.szName[j])
            j++;
        bool fLess =
            j == a.cchName ? j < b.cchName : j < b.cchName && (unsigned char)a.szName[j] < (unsigned char)b.szName[j];
        if (!fLess)
            return false;
    }
    return true;
}
static_assert(RT_ELEMENTS(g_aTypes) == 64, "the type table has 64 entries");
static_assert(rtStrFmtTypesAreSorted(), "the type table must be sorted for the binary search");

/** Compares the format text with a type name from its second character on,
 *  over the name's length (the text goes on after the name). Stops at the
 *  text's terminator, which compares below every name character. */
inline int rtStrFmtTypeCompareTail(const char *pszType, const RTStrFmtTypeEntry *pType)
{
    for (unsigned i = 1; i < pType->cchName; i++)
    {
        int iDiff = (unsigned char)pszType[i] - (unsigned char)pType->szName[i];
        if (iDiff != 0)
            return iDiff;
    }
    return 0;
}

/** The range of table entries whose names start with each letter. */
struct RTSTRFMTTYPERANGES
{
    uint8_t aiFirst[128];
    uint8_t acEntries[128];
};

constexpr RTSTRFMTTYPERANGES g_TypeRanges = [] {
    RTSTRFMTTYPERANGES Ranges{};
    for (size_t i = RT_ELEMENTS(g_aTypes); i-- > 0;)
    {
        unsigned char ch = (unsigned char)g_aTypes[i].szName[0];
        Ranges.aiFirst[ch] = (uint8_t)i;
        Ranges.acEntries[ch]++;
    }
    return Ranges;
}();

/**
 * Binary search of the type table comparing each name as a prefix of the
 * format text. The table is sorted, so the names sharing the text's first
 * letter form one range, and the search runs within it.
 */
const RTStrFmtTypeEntry *rtStrFmtTypeFind(const char *pszType)
{
    unsigned char chFirst = (unsigned char)pszType[0];
    if (chFirst >= RT_ELEMENTS(g_TypeRanges.acEntries) || !g_TypeRanges.acEntries[chFirst])
        return nullptr;
    size_t iLow = g_TypeRanges.aiFirst[chFirst];
    size_t iHigh = iLow + g_TypeRanges.acEntries[chFirst] - 1;
    for (;;)
    {
        size_t i = iLow + (iHigh - iLow + 1) / 2;
        const RTStrFmtTypeEntry *pType = &g_aTypes[i];
        int iDiff = rtStrFmtTypeCompareTail(pszType, pType);
        if (iDiff == 0)
            return pType;
        if (iDiff < 0)
        {
            if (i == iLow)
                return nullptr;
            iHigh = i - 1;
        }
        else
        {
            if (i == iHigh)
                return nullptr;
            iLow = i + 1;
        }
    }
}

/** A value of the table's integer kinds, with the extra 16 bits of the
 *  6- and 10-byte far pointers. */
struct RTSTRFMTVALUE
{
    uint64_t u64;
    uint16_t u16Sel;
};

/** Fetches an argument of @a cbArg bytes; each one takes whole argument
 *  slots, as the caller passed it. */
RTSTRFMTVALUE rtStrFmtFetch(va_list *pArgs, uint8_t cbArg, unsigned *pfFlags)
{
    RTSTRFMTVALUE Value = {0, 0};
    if (*pfFlags & FMT_F_SIGNED)
    {
        /* Small signed types arrive promoted; they are not truncated. */
        if (cbArg == 8)
        {
            Value.u64 = va_arg(*pArgs, uint64_t);
            *pfFlags |= FMT_F_SIZE64;
        }
        else
        {
            Value.u64 = (uint64_t)(int64_t)va_arg(*pArgs, int32_t);
            *pfFlags |= cbArg == 1 ? FMT_F_SIZE8 : cbArg == 2 ? FMT_F_SIZE16 : FMT_F_SIZE32;
        }
        return Value;
    }
    switch (cbArg)
    {
        case 1:
            Value.u64 = (uint8_t)va_arg(*pArgs, uint32_t);
            *pfFlags |= FMT_F_SIZE8;
            break;
        case 2:
            Value.u64 = (uint16_t)va_arg(*pArgs, uint32_t);
            *pfFlags |= FMT_F_SIZE16;
            break;
        case 4:
            Value.u64 = va_arg(*pArgs, uint32_t);
            *pfFlags |= FMT_F_SIZE32;
            break;
        case 6:
            Value.u64 = va_arg(*pArgs, uint32_t);
            Value.u16Sel = (uint16_t)va_arg(*pArgs, uint32_t);
            *pfFlags |= FMT_F_SIZE32;
            break;
        case 10:
            Value.u64 = va_arg(*pArgs, uint64_t);
            Value.u16Sel = (uint16_t)va_arg(*pArgs, uint32_t);
            *pfFlags |= FMT_F_SIZE64;
            break;
        default:
            Value.u64 = va_arg(*pArgs, uint64_t);
            *pfFlags |= FMT_F_SIZE64;
            break;
    }
    return Value;
}

/** Outputs a number rendered with RTStrFmtNumber. */
size_t rtStrFmtOutNumber(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, uint64_t u64, unsigned uBase, int cchWidth,
                         int cchPrecision, unsigned fFlags)
{
    char szNum[RTSTRFMT_NUM_BUF];
    int cch = RTStrFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, (size_t)cch);
}

/** Far pointers: "ssss:oooo" with 4, 8 or 16 offset digits. */
size_t rtStrFmtFarPtr(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, uint32_t uKind, RTSTRFMTVALUE Value, unsigned fFlags)
{
    fFlags &= FMT_F_UPPER | FMT_F_LEFT | FMT_F_ZERO_PAD | FMT_F_ALT | FMT_F_PLUS | FMT_F_BLANK;
    fFlags |= FMT_F_ZERO_PAD;
    uint64_t u64Off = Value.u64;
    uint16_t u16Sel = Value.u16Sel;
    int cchOff = uKind == kFarPtr16 ? 4 : uKind == kFarPtr32 ? 8 : 16;
    if (uKind == kFarPtr16)
    {
        u16Sel = (uint16_t)(Value.u64 >> 16);
        u64Off = Value.u64 & 0xffff;
    }
    char szBuf[2 * RTSTRFMT_NUM_BUF];
    int cch = RTStrFmtNumber(szBuf, u16Sel, 16, 4, -1, fFlags);
    szBuf[cch++] = ':';
    cch += RTStrFmtNumber(&szBuf[cch], u64Off, 16, cchOff, -1, fFlags);
    return pfnOutput(pvArgOutput, szBuf, (size_t)cch);
}

size_t rtStrFmtMac(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "%02x:%02x:%02x:%02x:%02x:%02x", pab[0], pab[1], pab[2], pab[3],
                             pab[4], pab[5]);
}

size_t rtStrFmtIPv4(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pab)
{
    return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "%u.%u.%u.%u", pab[0], pab[1], pab[2], pab[3]);
}

size_t rtStrFmtNetAddr(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTNetAddrRec *pAddr)
{
    bool fPort = pAddr->uPort != RTNETADDR_PORT_NA;
    switch (pAddr->enmType)
    {
        case RTNETADDRTYPE_IPV4: {
            const uint8_t *pab = pAddr->uAddr.IPv4.au8;
            if (fPort)
                return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "%u.%u.%u.%u:%u", pab[0], pab[1], pab[2], pab[3],
                                         pAddr->uPort);
            return rtStrFmtIPv4(pfnOutput, pvArgOutput, pab);
        }
        case RTNETADDRTYPE_IPV6:
            if (fPort)
                return pfnOutput(pvArgOutput, "[", 1) + RTStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->uAddr.IPv6.au8) +
                       rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "]:%u", pAddr->uPort);
            return RTStrFmtIPv6(pfnOutput, pvArgOutput, pAddr->uAddr.IPv6.au8);
        case RTNETADDRTYPE_MAC: return rtStrFmtMac(pfnOutput, pvArgOutput, pAddr->uAddr.Mac.au8);
        default:
            return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "unsupported-netaddr-type=%u", (unsigned)pAddr->enmType);
    }
}

size_t rtStrFmtUuid(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTUUID *pUuid)
{
    const uint8_t *pab = &pUuid->au8[8];
    return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                             pUuid->Gen.u32TimeLow, pUuid->Gen.u16TimeMid, pUuid->Gen.u16TimeHiAndVersion, pab[0],
                             pab[1], pab[2], pab[3], pab[4], pab[5], pab[6], pab[7]);
}

/** "%RTeic", "%RTeim": nothing unless the record carries its marker. */
size_t rtStrFmtErrInfo(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTERRINFO *pErrInfo, uint32_t uKind,
                       unsigned fFlags)
{
    if (!RT_VALID_PTR(pErrInfo) || (pErrInfo->fFlags & RTERRINFO_FLAGS_MAGIC_MASK) != RTERRINFO_FLAGS_MAGIC ||
        !(pErrInfo->fFlags & RTERRINFO_FLAGS_SET))
        return 0;
    size_t cchTotal = 0;
    if (uKind == kErrInfoCore)
    {
        char szBuf[80];
        cchTotal += RTErrFmtMsg(pErrInfo->rc, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
    }
    if (pErrInfo->cbMsg && RT_VALID_PTR(pErrInfo->pszMsg))
    {
        cchTotal += (fFlags & FMT_F_ALT) ? pfnOutput(pvArgOutput, " - ", 3) : pfnOutput(pvArgOutput, ": ", 2);
        size_t cchMsg = RTStrNLen(pErrInfo->pszMsg, pErrInfo->cbMsg);
        if (cchMsg)
            cchTotal += pfnOutput(pvArgOutput, pErrInfo->pszMsg, cchMsg);
    }
    return cchTotal;
}

/** Renders a type table entry's value. */
size_t rtStrFmtTyped(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTStrFmtTypeEntry *pType, va_list *pArgs,
                     int cchWidth, int cchPrecision, unsigned fFlags)
{
    fFlags |= pType->fFlags;
    if (pType->uKind >= kIPv6)
    {
        /* The pointer kinds: never dereference a bad pointer. */
        const void *pv = va_arg(*pArgs, const void *);
        static const char *const s_apszMarkers[] = {"!BadIPv6", "!BadMac", "!BadNetAddr", "!BadUuid"};
        if (pType->uKind <= kUuid && !RT_VALID_PTR(pv))
            return rtStrFmtBadPtr(pfnOutput, pvArgOutput, pv, s_apszMarkers[pType->uKind - kIPv6]);
        switch (pType->uKind)
        {
            case kIPv6: return RTStrFmtIPv6(pfnOutput, pvArgOutput, (const uint8_t *)pv);
            case kMac: return rtStrFmtMac(pfnOutput, pvArgOutput, (const uint8_t *)pv);
            case kNetAddr: return rtStrFmtNetAddr(pfnOutput, pvArgOutput, (const RTNetAddrRec *)pv);
            case kUuid: return rtStrFmtUuid(pfnOutput, pvArgOutput, (const RTUUID *)pv);
            default: return rtStrFmtErrInfo(pfnOutput, pvArgOutput, (const RTERRINFO *)pv, pType->uKind, fFlags);
        }
    }

    RTSTRFMTVALUE Value = rtStrFmtFetch(pArgs, pType->cbArg, &fFlags);
    if (fFlags & FMT_F_MASKED)
        return (fFlags & FMT_F_ALT) ? pfnOutput(pvArgOutput, "0xXXXXXXXX", 10) : pfnOutput(pvArgOutput, "XXXXXXXX", 8);
    switch (pType->uKind)
    {
        case kNumber:
            return rtStrFmtOutNumber(pfnOutput, pvArgOutput, Value.u64, pType->uBase, cchWidth, cchPrecision, fFlags);
        case kHexFixed:
            if (!(fFlags & FMT_F_WIDTH))
            {
                cchWidth = pType->cbArg * 2 + ((fFlags & FMT_F_ALT) ? 2 : 0);
                fFlags |= FMT_F_ZERO_PAD;
            }
            return rtStrFmtOutNumber(pfnOutput, pvArgOutput, Value.u64, 16, cchWidth, cchPrecision, fFlags);
        case kBool:
            if (Value.u64 == 1)
                return (fFlags & FMT_F_ALT) ? pfnOutput(pvArgOutput, "true ", 5) : pfnOutput(pvArgOutput, "true", 4);
            if (Value.u64 == 0)
                return pfnOutput(pvArgOutput, "false", 5);
            return rtStrFmtOutPrintf(pfnOutput, pvArgOutput, "!%lld!", (long long)Value.u64);
        case kFarPtr16:
        case kFarPtr32:
        case kFarPtr64: return rtStrFmtFarPtr(pfnOutput, pvArgOutput, pType->uKind, Value, fFlags);
        default: {
            uint8_t ab[4] = {(uint8_t)Value.u64, (uint8_t)(Value.u64 >> 8), (uint8_t)(Value.u64 >> 16),
                             (uint8_t)(Value.u64 >> 24)};
            return rtStrFmtIPv4(pfnOutput, pvArgOutput, ab);
        }
    }
}

} // namespace

RTDECL(size_t) RTStrFmtIPv6(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pabAddr)
{
    uint16_t au16[8];
    for (unsigned i = 0; i < 8; i++)
        au16[i] = (uint16_t)(pabAddr[2 * i] << 8 | pabAddr[2 * i + 1]);

    /* IPv4-mapped, IPv4-compatible (not "::" and "::1") and IPv4-translated
       addresses show their last 32 bits dotted. */
    bool fZero0To3 = !au16[0] && !au16[1] && !au16[2] && !au16[3];
    bool fEmbeddedV4 =
        fZero0To3 && ((!au16[4] && au16[5] == 0xffff) || (!au16[4] && !au16[5] && !(!au16[6] && au16[7] <= 1)) ||
                      (au16[4] == 0xffff && !au16[5]));
    unsigned cGroups = fEmbeddedV4 ? 6 : 8;

    /* The first longest run of two or more zero groups becomes "::". */
    unsigned iRun = cGroups;
    unsigned cRun = 1;
    for (unsigned i = 0; i < cGroups;)
    {
        unsigned c = 0;
        while (i + c < cGroups && !au16[i + c])
            c++;
        if (c > cRun)
        {
            iRun = i;
            cRun = c;
        }
        i += c ? c : 1;
    }

    char szBuf[64];
    size_t cch = 0;
    for (unsigned i = 0; i < cGroups; i++)
    {
        if (i == iRun)
        {
            szBuf[cch++] = ':';
            szBuf[cch++] = ':';
            i += cRun - 1;
            continue;
        }
        if (i > 0 && i != iRun + cRun)
            szBuf[cch++] = ':';
        cch += (size_t)RTStrFmtNumber(&szBuf[cch], au16[i], 16, -1, -1, 0);
    }
    if (fEmbeddedV4)
    {
        if (iRun + cRun != cGroups)
            szBuf[cch++] = ':';
        cch += RTStrPrintf(&szBuf[cch], sizeof(szBuf) - cch, "%u.%u.%u.%u", pabAddr[12], pabAddr[13], pabAddr[14],
                           pabAddr[15]);
    }
    return pfnOutput(pvArgOutput, szBuf, cch);
}

RTDECL(size_t)
RTStrFmtExtType(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,
                int cchPrecision, unsigned fFlags, char chArgSize)
{
    const char *psz = *ppszFormat;
    if (*psz == 'R')
        psz++;
    FNRTSTRFMTEXT *pfnFamily;
    switch (*psz)
    {
        case 'C':
        case 'G':
        case 'H':
        case 'I':
        case 'K':
        case 'R':
        case 'T':
        case 'U':
        case 'X': {
            const RTStrFmtTypeEntry *pType = rtStrFmtTypeFind(psz);
            if (!pType)
            {
                *ppszFormat = psz + 1;
                return 0;
            }
            *ppszFormat = psz + pType->cchName;
            return rtStrFmtTyped(pfnOutput, pvArgOutput, pType, pArgs, cchWidth, cchPrecision, fFlags);
        }
        case 'A': pfnFamily = rtStrFmtExtRegister; break;
        case 'D': pfnFamily = rtStrFmtExtTime; break;
        case 'M': pfnFamily = rtStrFmtExtEscape; break;
        case 'b': pfnFamily = rtStrFmtExtBaseName; break;
        case 'f': pfnFamily = rtStrFmtExtFnName; break;
        case 'h': pfnFamily = rtStrFmtExtHex; break;
        case 'r':
        case 'w': pfnFamily = rtStrFmtExtStatus; break;
        case '\0': *ppszFormat = psz; return 0;
        default: *ppszFormat = psz + 1; return 0;
    }
    *ppszFormat = psz;
    return pfnFamily(pfnOutput, pvArgOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags, chArgSize);
}
