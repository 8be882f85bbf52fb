/** @file
 * The command-line option parser.
 */
#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/message.h>
#include <zolt/net.h>
#include <zolt/string.h>
#include <zolt/strtonum.h>
#include <zolt/uuid.h>

#include <string.h>

namespace
{

/** The options every parser knows unless OPT_INIT_NO_STD_OPTS is given.
 *  The first entry is also what "-?" finds. */
const RTGetOptDef g_aStdOptions[] = {
    {"--help", 'h', OPT_VALUE_NONE},
    {"-help", 'h', OPT_VALUE_NONE},
    {"--version", 'V', OPT_VALUE_NONE},
    {"-version", 'V', OPT_VALUE_NONE},
};

/** Code points that count as a dash besides '-': hyphen, non-breaking
 *  hyphen, figure dash, en dash, em dash, minus sign, small em dash, small
 *  hyphen-minus and fullwidth hyphen-minus. People paste them from word
 *  processors that "improve" a typed "--". */
bool rtGetOptIsUnicodeDash(RTUNICP uCp)
{
    switch (uCp)
    {
        case 0x2010:
        case 0x2011:
        case 0x2012:
        case 0x2013:
        case 0x2014:
        case 0x2212:
        case 0xfe58:
        case 0xfe63:
        case 0xff0d: return true;
        default: return false;
    }
}

/** @returns the bytes of the dash ('-' or a Unicode dash) at @a psz, or 0. */
size_t rtGetOptDashLength(const char *psz)
{
    if (*psz == '-')
        return 1;
    if ((unsigned char)*psz < 0x80)
        return 0;
    const char *pszNext = psz;
    RTUNICP uCp;
    if (RT_FAILURE(RTStrReadCp(&pszNext, &uCp)) || !rtGetOptIsUnicodeDash(uCp))
        return 0;
    return (size_t)(pszNext - psz);
}

bool rtGetOptIsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

char rtGetOptToLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? (char)(ch + ('a' - 'A')) : ch;
}

/**
 * Compares the argument @a pszArg with the long name @a pszLong.
 * @param cchLimit  Name bytes to compare: the name's length to match its
 *                  beginning, RTSTR_MAX to match the whole argument
 *                  (terminators included).
 * @param pcchArg   Receives the argument bytes consumed on a match.
 */
bool rtGetOptMatchLong(const char *pszArg, const char *pszLong, size_t cchLimit, uint32_t fFlags, size_t *pcchArg)
{
    const char *psz = pszArg;
    for (size_t off = 0; off < cchLimit; off++)
    {
        char const chName = pszLong[off];
        if (*psz == chName)
        {
            if (!chName)
            {
                *pcchArg = (size_t)(psz - pszArg) + 1;
                return true;
            }
            psz++;
            continue;
        }
        if (chName == '-' && (unsigned char)*psz >= 0x80)
        {
            size_t const cchDash = rtGetOptDashLength(psz);
            if (!cchDash)
                return false;
            psz += cchDash;
            continue;
        }
        /* Only ASCII letters fold; a non-ASCII character never equals an
           ASCII name byte, so it needs no decoding here. */
        if (!(fFlags & OPT_FLAG_ICASE) || (unsigned char)*psz >= 0x80 || !chName ||
            rtGetOptToLower(*psz) != rtGetOptToLower(chName))
            return false;
        psz++;
    }
    *pcchArg = (size_t)(psz - pszArg);
    return true;
}

/** @returns the bytes of a dash at @a psz that is directly followed by a
 *  digit (the optional dash before an index), or 0. */
size_t rtGetOptIndexDashLength(const char *psz)
{
    size_t const cch = rtGetOptDashLength(psz);
    return cch && rtGetOptIsDigit(psz[cch]) ? cch : 0;
}

/**
 * Finds the option that the argument @a pszArg names in its long form.
 * @param poffValue  Receives the offset in the argument after the name (and
 *                   the dash before an index): where the index or the value
 *                   separator starts.
 */
const RTGetOptDef *rtGetOptSearchLong(const RTGetOptState *pState, const char *pszArg, size_t *poffValue)
{
    for (uint32_t i = 0; i < pState->cOptions; i++)
    {
        const RTGetOptDef *pOpt = &pState->paOptions[i];
        if (!pOpt->pszLong)
            continue;
        size_t cchArg;
        bool const fIndex = (pOpt->fFlags & OPT_FLAG_INDEX) != 0;
        if ((pOpt->fFlags & OPT_VALUE_MASK) == OPT_VALUE_NONE && !fIndex)
        {
            if (rtGetOptMatchLong(pszArg, pOpt->pszLong, RTSTR_MAX, pOpt->fFlags, &cchArg))
            {
                *poffValue = cchArg - 1;
                return pOpt;
            }
            continue;
        }
        if (!rtGetOptMatchLong(pszArg, pOpt->pszLong, strlen(pOpt->pszLong), pOpt->fFlags, &cchArg))
            continue;
        const char *psz = pszArg + cchArg;
        if (pOpt->fFlags & OPT_FLAG_INDEX_DASH)
            psz += rtGetOptIndexDashLength(psz);
        size_t const offValue = (size_t)(psz - pszArg);
        if (fIndex)
            while (rtGetOptIsDigit(*psz))
                psz++;
        bool const fMatch = (pOpt->fFlags & OPT_VALUE_MASK) == OPT_VALUE_NONE
                                ? *psz == '\0'
                                : *psz == '\0' || *psz == ':' || *psz == '=';
        if (fMatch)
        {
            *poffValue = offValue;
            return pOpt;
        }
    }

    if (!(pState->fFlags & OPT_INIT_NO_STD_OPTS))
        for (auto const &Std : g_aStdOptions)
        {
            size_t cchArg;
            if (rtGetOptMatchLong(pszArg, Std.pszLong, RTSTR_MAX, Std.fFlags, &cchArg))
            {
                *poffValue = cchArg - 1;
                return &Std;
            }
        }
    return nullptr;
}

/** Finds the option whose short form is @a ch. */
const RTGetOptDef *rtGetOptSearchShort(const RTGetOptState *pState, int ch)
{
    /* Only printable ASCII identifiers have a short form; other identifiers
       (negative ones, values above 126) must not be reachable from bytes of
       an argument. */
    if (ch < 0x20 || ch > 0x7e)
        return nullptr;
    for (uint32_t i = 0; i < pState->cOptions; i++)
        if (pState->paOptions[i].iId == ch)
            return &pState->paOptions[i];
    if (pState->fFlags & OPT_INIT_NO_STD_OPTS)
        return nullptr;
    for (auto const &Std : g_aStdOptions)
        if (Std.iId == ch)
            return &Std;
    return ch == '?' ? &g_aStdOptions[0] : nullptr;
}

/** Moves the argument at @a iFrom down to @a iTo, shifting the arguments in
 *  between (the deferred operands) up by one. */
void rtGetOptMoveArgDown(RTGetOptState *pState, int32_t iFrom, int32_t iTo)
{
    if (iFrom <= iTo)
        return;
    char *pszArg = pState->papszArgs[iFrom];
    memmove(&pState->papszArgs[iTo + 1], &pState->papszArgs[iTo], (size_t)(iFrom - iTo) * sizeof(char *));
    pState->papszArgs[iTo] = pszArg;
}

/** Deferred operands as a count (0 once every argument is an operand). */
int32_t rtGetOptDeferred(const RTGetOptState *pState)
{
    return pState->cNonOptions == OPT_NON_OPTIONS_DONE ? 0 : pState->cNonOptions;
}

/*
 * Value conversion.
 */

typedef int FNRTGETOPTPARSEINT(const char *pszValue, uint32_t uBase, RTGetOptValue *pValue);

template <typename T, int (*pfnParse)(const char *, uint32_t, T *), T RTGetOptValue::*pMember>
int rtGetOptParseInt(const char *pszValue, uint32_t uBase, RTGetOptValue *pValue)
{
    return pfnParse(pszValue, uBase, &(pValue->*pMember));
}

/** Whole-text conversions of the integer kinds OPT_VALUE_INT8 to
 *  OPT_VALUE_UINT64, in kind order. */
FNRTGETOPTPARSEINT *const g_apfnParseInt[] = {
    rtGetOptParseInt<int8_t, RTStrParseS8Whole, &RTGetOptValue::i8>,
    rtGetOptParseInt<uint8_t, RTStrParseU8Whole, &RTGetOptValue::u8>,
    rtGetOptParseInt<int16_t, RTStrParseS16Whole, &RTGetOptValue::i16>,
    rtGetOptParseInt<uint16_t, RTStrParseU16Whole, &RTGetOptValue::u16>,
    rtGetOptParseInt<int32_t, RTStrParseS32Whole, &RTGetOptValue::i32>,
    rtGetOptParseInt<uint32_t, RTStrParseU32Whole, &RTGetOptValue::u32>,
    rtGetOptParseInt<int64_t, RTStrParseS64Whole, &RTGetOptValue::i64>,
    rtGetOptParseInt<uint64_t, RTStrParseU64Whole, &RTGetOptValue::u64>,
};
static_assert(RT_ELEMENTS(g_apfnParseInt) == OPT_VALUE_UINT64 - OPT_VALUE_INT8 + 1);

bool rtGetOptHasHexPrefix(const char *psz)
{
    if (psz[0] != '0' || (psz[1] != 'x' && psz[1] != 'X'))
        return false;
    char const ch = psz[2];
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

/** The words of OPT_VALUE_BOOL. Each matches any prefix of itself whose
 *  length is marked '+' in the mask (position i stands for i+1 characters). */
struct RTGETOPTBOOLWORD
{
    const char *pszWord;
    const char *pszMask;
    bool fValue;
};
const RTGETOPTBOOLWORD g_aBoolWords[] = {
    {"true", "+--+", true}, {"yes", "+-+", true},      {"enabled", "++---++", true}, {"on", "-+", true},
    {"1", "+", true},       {"false", "+---+", false}, {"no", "++", false},          {"disabled", "+-+---++", false},
    {"off", "--+", false},  {"0", "+", false},
};

/** @returns true if @a pszValue equals the start of @a pszWord of length
 *  @a cch, ignoring ASCII case. */
bool rtGetOptIsWordPrefix(const char *pszValue, const char *pszWord, size_t cch)
{
    for (size_t i = 0; i < cch; i++)
        if (rtGetOptToLower(pszValue[i]) != pszWord[i])
            return false;
    return true;
}

int rtGetOptParseBool(const char *pszValue, RTGetOptValue *pValue)
{
    size_t const cch = strlen(pszValue);
    if (cch)
        for (auto const &Word : g_aBoolWords)
            if (cch <= strlen(Word.pszWord) && Word.pszMask[cch - 1] == '+' &&
                rtGetOptIsWordPrefix(pszValue, Word.pszWord, cch))
            {
                pValue->f = Word.fValue;
                return SUCCESS;
            }
    pValue->psz = pszValue;
    return ERR_OPTION_UNKNOWN;
}

int rtGetOptParseOnOff(const char *pszValue, RTGetOptValue *pValue)
{
    if (RTStrCmpAsciiNoCase(pszValue, "on") == 0)
        pValue->f = true;
    else if (RTStrCmpAsciiNoCase(pszValue, "off") == 0)
        pValue->f = false;
    else
    {
        pValue->psz = pszValue;
        return ERR_OPTION_UNKNOWN;
    }
    return SUCCESS;
}

/** Parses one number of a pair in the base that @a fBase and the number's
 *  own "0x" prefix select. */
int rtGetOptParsePairNumber(const char *psz, bool f64, uint32_t fBase, char **ppszNext, uint64_t *pu64)
{
    uint32_t uBase = rtGetOptHasHexPrefix(psz) ? 16 : fBase == OPT_FLAG_OCT ? 8 : 10;
    if (fBase == OPT_FLAG_HEX)
        uBase = 16;
    if (f64)
        return RTStrParseU64(psz, ppszNext, uBase, pu64);
    uint32_t u32 = 0;
    int rc = RTStrParseU32(psz, ppszNext, uBase, &u32);
    *pu64 = u32;
    return rc;
}

bool rtGetOptIsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

int rtGetOptParsePair(const char *pszValue, uint32_t uKind, uint32_t fBase, RTGetOptValue *pValue)
{
    bool const f64 = uKind == OPT_VALUE_UINT64_PAIR || uKind == OPT_VALUE_UINT64_OPT_PAIR;
    bool const fOptional = uKind == OPT_VALUE_UINT32_OPT_PAIR || uKind == OPT_VALUE_UINT64_OPT_PAIR;

    char *pszNext = nullptr;
    uint64_t uFirst = 0;
    int rc = rtGetOptParsePairNumber(pszValue, f64, fBase, &pszNext, &uFirst);
    if (rc != SUCCESS && rc != WRN_TRAILING_CHARS && rc != WRN_TRAILING_SPACES)
        return ERR_OPTION_VALUE_FORMAT;

    const char *psz = pszNext;
    while (rtGetOptIsBlank(*psz))
        psz++;
    if (*psz == '/' || *psz == ':' || *psz == '|')
    {
        psz++;
        while (rtGetOptIsBlank(*psz))
            psz++;
    }

    /* Without a blank or separator after the first number there is no
       second one: the optional pairs take all ones for it and leave what
       follows unread ("5x" is 5 and all ones), the others refuse. */
    uint64_t uSecond = f64 ? UINT64_MAX : UINT32_MAX;
    if (psz != pszNext)
    {
        if (rtGetOptParsePairNumber(psz, f64, fBase, &pszNext, &uSecond) != SUCCESS)
            return ERR_OPTION_VALUE_FORMAT;
    }
    else if (!fOptional)
        return ERR_OPTION_VALUE_FORMAT;

    if (f64)
    {
        pValue->PairU64.uFirst = uFirst;
        pValue->PairU64.uSecond = uSecond;
    }
    else
    {
        pValue->PairU32.uFirst = (uint32_t)uFirst;
        pValue->PairU32.uSecond = (uint32_t)uSecond;
    }
    return SUCCESS;
}

/** Converts the value text @a pszValue as the kind and base flags in
 *  @a fFlags say, into a zeroed union. */
int rtGetOptConvertValue(uint32_t fFlags, const char *pszValue, RTGetOptValue *pValue)
{
    uint32_t const uKind = fFlags & OPT_VALUE_MASK;
    uint32_t const fBase = fFlags & OPT_FLAG_BASE_MASK;
    if (fBase != 0 && fBase != OPT_FLAG_HEX && fBase != OPT_FLAG_OCT && fBase != OPT_FLAG_DEC)
        return ERR_INTERNAL_ERROR;
    bool const fNumeric = (uKind >= OPT_VALUE_INT8 && uKind <= OPT_VALUE_UINT64) ||
                          (uKind >= OPT_VALUE_UINT32_PAIR && uKind <= OPT_VALUE_UINT64_OPT_PAIR);
    if (fBase && !fNumeric)
        return ERR_INTERNAL_ERROR;

    switch (uKind)
    {
        case OPT_VALUE_STRING: pValue->psz = pszValue; return SUCCESS;

        case OPT_VALUE_INT8:
        case OPT_VALUE_UINT8:
        case OPT_VALUE_INT16:
        case OPT_VALUE_UINT16:
        case OPT_VALUE_INT32:
        case OPT_VALUE_UINT32:
        case OPT_VALUE_INT64:
        case OPT_VALUE_UINT64: {
            /* Any warning counts as failure: the value must fit its type
               exactly and fill the whole text. */
            FNRTGETOPTPARSEINT *pfnParse = g_apfnParseInt[uKind - OPT_VALUE_INT8];
            uint32_t const uBase = fBase == OPT_FLAG_HEX ? 16 : fBase == OPT_FLAG_OCT ? 8 : 10;
            int rc = pfnParse(pszValue, uBase, pValue);
            if (rc != SUCCESS && !fBase && rtGetOptHasHexPrefix(pszValue))
                rc = pfnParse(pszValue, 16, pValue);
            return rc == SUCCESS ? SUCCESS : ERR_OPTION_VALUE_FORMAT;
        }

        case OPT_VALUE_IPV4_ADDR:
            return RT_FAILURE(RTNetParseIPv4(pszValue, &pValue->IPv4Addr)) ? ERR_OPTION_VALUE_FORMAT : SUCCESS;
        case OPT_VALUE_IPV4_CIDR:
            return RT_FAILURE(RTNetParseIPv4Cidr(pszValue, &pValue->CidrIPv4.u32Addr, &pValue->CidrIPv4.u32Mask))
                       ? ERR_OPTION_VALUE_FORMAT
                       : SUCCESS;
        case OPT_VALUE_MAC_ADDR:
            return RT_FAILURE(RTNetParseMac(pszValue, &pValue->MacAddr)) ? ERR_OPTION_VALUE_FORMAT : SUCCESS;
        case OPT_VALUE_UUID: return RTUuidParse(&pValue->Uuid, pszValue) != SUCCESS ? ERR_OPTION_VALUE_FORMAT : SUCCESS;

        case OPT_VALUE_ON_OFF: return rtGetOptParseOnOff(pszValue, pValue);
        case OPT_VALUE_BOOL: return rtGetOptParseBool(pszValue, pValue);

        case OPT_VALUE_UINT32_PAIR:
        case OPT_VALUE_UINT64_PAIR:
        case OPT_VALUE_UINT32_OPT_PAIR:
        case OPT_VALUE_UINT64_OPT_PAIR: return rtGetOptParsePair(pszValue, uKind, fBase, pValue);

        default: return ERR_INTERNAL_ERROR;
    }
}

/**
 * Converts a value into *pValue. On failure *pValue keeps what the caller
 * put there (the option's descriptor for the error report) instead of a
 * half-converted number overlaying it; only the word kinds name the
 * offending text.
 */
int rtGetOptProcessValue(uint32_t fFlags, const char *pszValue, RTGetOptValue *pValue)
{
    RTGetOptValue Value;
    memset(&Value, 0, sizeof(Value));
    int rc = rtGetOptConvertValue(fFlags, pszValue, &Value);
    if (RT_SUCCESS(rc) || rc == ERR_OPTION_UNKNOWN)
        *pValue = Value;
    return rc;
}

/**
 * Parses the index digits after an indexed option's long name and finds
 * where its value is.
 * @param pszIndex      The argument after the name (and dash).
 * @param ppszValue     Receives the value text, or null when the value is
 *                      the next argument.
 */
int rtGetOptParseIndex(RTGetOptState *pState, const RTGetOptDef *pOpt, const char *pszIndex, const char **ppszValue)
{
    uint32_t const uDefPlusOne = (pOpt->fFlags & OPT_FLAG_INDEX_DEF_MASK) >> OPT_FLAG_INDEX_DEF_SHIFT;
    if (!*pszIndex && !uDefPlusOne)
        return ERR_OPTION_INDEX_MISSING;

    char *pszNext = nullptr;
    uint32_t uIndex = 0;
    int rc = RTStrParseU32(pszIndex, &pszNext, 10, &uIndex);
    if (rc == ERR_NO_DIGITS)
    {
        if (!uDefPlusOne)
            return ERR_OPTION_VALUE_FORMAT;
        uIndex = uDefPlusOne - 1;
        pszNext = const_cast<char *>(pszIndex);
        rc = *pszIndex ? WRN_TRAILING_CHARS : SUCCESS;
    }
    if (rc == WRN_TRAILING_CHARS)
    {
        if (*pszNext != ':' && *pszNext != '=')
            return ERR_OPTION_VALUE_FORMAT;
        *ppszValue = pszNext + 1;
    }
    else if (rc == SUCCESS)
        *ppszValue = nullptr;
    else
        return ERR_OPTION_VALUE_FORMAT;
    pState->uIndex = uIndex;
    return SUCCESS;
}

} // namespace

RTDECL(int)
RTGetOptInit(RTGetOptState *pState, int cArgs, char **papszArgs, const RTGetOptDef *paOptions, uint32_t cOptions,
             int iFirst, uint32_t fFlags)
{
    if (fFlags > (OPT_INIT_OPTIONS_FIRST | OPT_INIT_NO_STD_OPTS))
        return ERR_INVALID_PARAMETER;
    pState->iNext = iFirst;
    pState->papszArgs = papszArgs;
    pState->cArgs = cArgs;
    pState->paOptions = paOptions;
    pState->cOptions = cOptions;
    pState->pszNextShort = nullptr;
    pState->pDef = nullptr;
    pState->uIndex = UINT32_MAX;
    pState->fFlags = fFlags;
    pState->cNonOptions = 0;
    return SUCCESS;
}

RTDECL(int) RTGetOpt(RTGetOptState *pState, RTGetOptValue *pValue)
{
    pState->pDef = nullptr;
    pState->uIndex = UINT32_MAX;
    pValue->u64 = 0;

    const RTGetOptDef *pOpt = nullptr;
    const char *pszArg = nullptr;
    size_t offValue = 0; /* where the value or index starts in pszArg */
    bool fShort = false;
    bool fInCluster = false;
    int32_t iThis; /* position of the option's argument */

    if (pState->pszNextShort)
    {
        /* Inside a cluster: iNext still points at the cluster's argument. */
        iThis = pState->iNext;
        pszArg = pState->pszNextShort;
        pOpt = rtGetOptSearchShort(pState, (signed char)*pszArg);
        if (!pOpt)
        {
            /* Leave the cluster so that the next call goes on with the
               next argument instead of failing here forever. */
            pValue->psz = pszArg;
            pState->pszNextShort = nullptr;
            pState->iNext++;
            return ERR_OPTION_UNKNOWN;
        }
        fShort = true;
        fInCluster = true;
        offValue = 1;
    }
    else
    {
        for (;;)
        {
            if (pState->iNext >= pState->cArgs)
                return 0;
            if (pState->cNonOptions == OPT_NON_OPTIONS_DONE)
            {
                pValue->psz = pState->papszArgs[pState->iNext++];
                return INF_NOT_AN_OPTION;
            }
            if (pState->cNonOptions > 0 && pState->iNext + pState->cNonOptions >= pState->cArgs)
            {
                pState->cNonOptions = OPT_NON_OPTIONS_DONE;
                continue;
            }

            /* In options-first mode the deferred operands sit at iNext and
               after; the argument to look at comes behind them. Anything that
               is not deferred is moved in front of them. */
            int32_t const iArg = pState->iNext + pState->cNonOptions;
            iThis = pState->iNext;
            pszArg = pState->papszArgs[iArg];
            pOpt = rtGetOptSearchLong(pState, pszArg, &offValue);

            RTUNICP uCpFirst = 0;
            if (!pOpt)
            {
                const char *psz = pszArg;
                int rc = RTStrReadCp(&psz, &uCpFirst);
                if (RT_FAILURE(rc))
                {
                    /* The union stays empty: the report then prints the
                       status alone. */
                    rtGetOptMoveArgDown(pState, iArg, iThis);
                    pState->iNext++;
                    return rc;
                }
                if ((uCpFirst == '-' || rtGetOptIsUnicodeDash(uCpFirst)) && *psz != '-' && *psz != '\0' &&
                    (unsigned char)*psz < 0x80)
                {
                    pOpt = rtGetOptSearchShort(pState, *psz);
                    if (pOpt)
                    {
                        fShort = true;
                        offValue = (size_t)(psz + 1 - pszArg);
                    }
                }
            }

            if (!pOpt && strcmp(pszArg, "--") == 0)
            {
                rtGetOptMoveArgDown(pState, iArg, iThis);
                pState->iNext++;
                pState->cNonOptions = OPT_NON_OPTIONS_DONE;
                continue;
            }

            if (!pOpt && (pState->fFlags & OPT_INIT_OPTIONS_FIRST) && uCpFirst != '-' &&
                !rtGetOptIsUnicodeDash(uCpFirst))
            {
                pState->cNonOptions++;
                if (pState->iNext + pState->cNonOptions >= pState->cArgs)
                    pState->cNonOptions = OPT_NON_OPTIONS_DONE;
                continue;
            }

            rtGetOptMoveArgDown(pState, iArg, iThis);
            pState->iNext++;
            if (pOpt)
                break;
            pValue->psz = pszArg;
            if (pState->fFlags & OPT_INIT_OPTIONS_FIRST)
                return ERR_OPTION_UNKNOWN;
            return pszArg[0] == '-' ? ERR_OPTION_UNKNOWN : INF_NOT_AN_OPTION;
        }
    }

    pValue->pDef = pOpt;
    const char *const pszAfter = pszArg + offValue; /* after the name or short character */

    if ((pOpt->fFlags & OPT_VALUE_MASK) == OPT_VALUE_NONE)
    {
        if (!fShort && (pOpt->fFlags & OPT_FLAG_INDEX))
        {
            if (*pszAfter)
            {
                uint32_t uIndex;
                if (RTStrParseU32Whole(pszAfter, 10, &uIndex) != SUCCESS)
                    return ERR_OPTION_VALUE_FORMAT;
                pState->uIndex = uIndex;
            }
            else if (!(pOpt->fFlags & OPT_FLAG_INDEX_DEF_MASK))
                return ERR_OPTION_INDEX_MISSING;
        }
        else if (fShort && *pszAfter)
        {
            /* More characters in the cluster: visit its argument again. */
            if (!fInCluster)
                pState->iNext--;
            pState->pszNextShort = pszAfter;
        }
        else if (fInCluster)
        {
            pState->iNext++;
            pState->pszNextShort = nullptr;
        }
        pState->pDef = pOpt;
        return pOpt->iId;
    }

    const char *pszValue = nullptr; /* null: the value is the next argument */
    if (fShort)
    {
        if (*pszAfter)
            pszValue = *pszAfter == ':' || *pszAfter == '=' ? pszAfter + 1 : pszAfter;
        if (fInCluster)
        {
            pState->iNext++;
            pState->pszNextShort = nullptr;
        }
    }
    else if (!(pOpt->fFlags & OPT_FLAG_INDEX))
    {
        if (*pszAfter)
            pszValue = pszAfter + 1; /* after the ':' or '=' the lookup saw */
    }
    else
    {
        int rc = rtGetOptParseIndex(pState, pOpt, pszAfter, &pszValue);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (!pszValue)
    {
        /* The value is the argument that followed the option as given; the
           deferred operands sit between the two. */
        int32_t const iValue = iThis + rtGetOptDeferred(pState) + 1;
        if (iValue >= pState->cArgs)
            return ERR_OPTION_VALUE_MISSING;
        rtGetOptMoveArgDown(pState, iValue, iThis + 1);
        pszValue = pState->papszArgs[iThis + 1];
        pState->iNext++;
    }

    int rc = rtGetOptProcessValue(pOpt->fFlags, pszValue, pValue);
    if (RT_FAILURE(rc))
        return rc;
    pState->pDef = pOpt;
    return pOpt->iId;
}

RTDECL(int) RTGetOptTakeValue(RTGetOptState *pState, RTGetOptValue *pValue, uint32_t fFlags)
{
    if ((fFlags & 0xff00ffe0u) || (fFlags & OPT_VALUE_MASK) == OPT_VALUE_NONE)
        return ERR_INVALID_PARAMETER;
    pValue->u64 = 0;
    int32_t const iValue = pState->iNext + rtGetOptDeferred(pState);
    if (iValue >= pState->cArgs)
        return ERR_OPTION_VALUE_MISSING;
    pValue->pDef = pState->pDef;
    rtGetOptMoveArgDown(pState, iValue, pState->iNext);
    pState->iNext++;
    return rtGetOptProcessValue(fFlags, pState->papszArgs[pState->iNext - 1], pValue);
}

RTDECL(int) RTGetOptReportError(int iResult, const RTGetOptValue *pValue)
{
    if (iResult == INF_NOT_AN_OPTION)
        RTMessageError("Invalid parameter: %s", pValue->psz);
    else if (iResult >= 33 && iResult <= 126)
        RTMessageError("Unhandled option: -%c", iResult);
    else if (iResult > 0)
        RTMessageError("Unhandled option: %i (%#x)", iResult, iResult);
    else if (iResult == ERR_OPTION_UNKNOWN)
        RTMessageError("Unknown option: '%s'", pValue->psz);
    else if (!pValue->pDef)
        RTMessageError("%Rrs\n", iResult);
    else if (iResult == ERR_OPTION_VALUE_FORMAT)
        RTMessageError("The value given '%s' has an invalid format.", pValue->pDef->pszLong);
    else
        RTMessageError("%s: %Rrs\n", pValue->pDef->pszLong, iResult);
    return 2;
}
