/** @file
 * IPv4, IPv4 network and MAC address text parsers.
 */
#include <zolt/err.h>
#include <zolt/net.h>
#include <zolt/strtonum.h>

namespace
{

inline bool rtNetIsDecDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

inline bool rtNetIsHexDigit(char ch)
{
    return rtNetIsDecDigit(ch) || ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'f');
}

inline bool rtNetIsSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

const char *rtNetSkipSpaces(const char *psz)
{
    while (rtNetIsSpace(*psz))
        psz++;
    return psz;
}

/**
 * Reads one decimal octet that must start with a digit (the number parsers
 * would otherwise take signs). @returns the parser's status, or
 * ERR_NO_DIGITS when no digit is there.
 */
int rtNetReadOctet(const char *psz, char **ppszNext, uint8_t *pb)
{
    if (!rtNetIsDecDigit(*psz))
        return ERR_NO_DIGITS;
    return RTStrParseU8(psz, ppszNext, 10, pb);
}

} // namespace

RTDECL(int) RTNetParseIPv4(const char *pszAddr, RTNETADDRIPV4 *pAddr)
{
    if (!RT_VALID_PTR(pszAddr) || !RT_VALID_PTR(pAddr))
        return ERR_INVALID_PARAMETER;
    const char *psz = rtNetSkipSpaces(pszAddr);
    for (unsigned i = 0; i < 4; i++)
    {
        char *pszNext = nullptr;
        int const rc = rtNetReadOctet(psz, &pszNext, &pAddr->au8[i]);
        if (i < 3)
        {
            if ((rc != SUCCESS && rc != WRN_TRAILING_CHARS) || *pszNext != '.')
                return ERR_INVALID_PARAMETER;
            psz = pszNext + 1;
        }
        else if (rc != SUCCESS && rc != WRN_TRAILING_SPACES)
            return ERR_INVALID_PARAMETER;
    }
    return SUCCESS;
}

RTDECL(int) RTNetParseIPv4Cidr(const char *pszAddr, uint32_t *pu32Addr, uint32_t *pu32Mask)
{
    if (!RT_VALID_PTR(pszAddr) || !RT_VALID_PTR(pu32Addr) || !RT_VALID_PTR(pu32Mask))
        return ERR_INVALID_PARAMETER;

    uint8_t abOctets[4] = {0, 0, 0, 0};
    unsigned cOctets = 0;
    const char *psz = pszAddr;
    for (;;)
    {
        char *pszNext = nullptr;
        int const rc = rtNetReadOctet(psz, &pszNext, &abOctets[cOctets++]);
        if (rc != SUCCESS && rc != WRN_TRAILING_CHARS)
            return ERR_INVALID_PARAMETER;
        psz = pszNext;
        if (*psz != '.' || cOctets == 4)
            break;
        psz++;
    }

    unsigned cBits = 32;
    if (*psz == '/')
    {
        uint8_t bPrefix = 0;
        if (!rtNetIsDecDigit(psz[1]) || RTStrParseU8Whole(psz + 1, 10, &bPrefix) != SUCCESS || bPrefix > 32)
            return ERR_INVALID_PARAMETER;
        cBits = bPrefix;
    }
    else if (*psz != '\0')
        return ERR_INVALID_PARAMETER;

    unsigned const cOctetsNeeded = cBits <= 8 ? 1 : (cBits + 7) / 8;
    if (cOctets < cOctetsNeeded)
        return ERR_INVALID_PARAMETER;

    uint32_t const u32Addr =
        (uint32_t)abOctets[0] << 24 | (uint32_t)abOctets[1] << 16 | (uint32_t)abOctets[2] << 8 | abOctets[3];
    uint32_t const u32Mask = cBits ? UINT32_MAX << (32 - cBits) : 0;
    if (u32Addr == 0 && u32Mask == UINT32_MAX)
        return ERR_INVALID_PARAMETER;
    if (abOctets[0] == 0 && u32Addr != 0)
        return ERR_INVALID_PARAMETER;
    if (u32Addr & ~u32Mask)
        return ERR_INVALID_PARAMETER;
    *pu32Addr = u32Addr;
    *pu32Mask = u32Mask;
    return SUCCESS;
}

RTDECL(int) RTNetParseMac(const char *pszAddr, RTMAC *pMac)
{
    if (!RT_VALID_PTR(pszAddr) || !RT_VALID_PTR(pMac))
        return ERR_INVALID_PARAMETER;

    /* Twelve digits in a row. */
    size_t cDigits = 0;
    while (cDigits < 12 && rtNetIsHexDigit(pszAddr[cDigits]))
        cDigits++;
    if (cDigits == 12 && *rtNetSkipSpaces(&pszAddr[12]) == '\0')
        return RTStrHexToBytes(pszAddr, pMac->au8, sizeof(pMac->au8), 0) >= 0 ? SUCCESS : ERR_INVALID_PARAMETER;

    /* Six groups separated by colons; the inner four may be empty. */
    const char *psz = rtNetSkipSpaces(pszAddr);
    for (unsigned i = 0; i < 6; i++)
    {
        if (i >= 1 && i <= 4 && *psz == ':')
            pMac->au8[i] = 0;
        else
        {
            char *pszNext = nullptr;
            int rc = ERR_NO_DIGITS;
            if (rtNetIsHexDigit(*psz))
                rc = RTStrParseU8(psz, &pszNext, 16, &pMac->au8[i]);
            if (rc != SUCCESS && rc != WRN_TRAILING_CHARS && rc != WRN_TRAILING_SPACES)
                return ERR_INVALID_PARAMETER;
            psz = pszNext;
        }
        if (i < 5)
        {
            if (*psz != ':')
                return ERR_INVALID_PARAMETER;
            psz++;
        }
    }
    return *rtNetSkipSpaces(psz) == '\0' ? SUCCESS : ERR_INVALID_PARAMETER;
}
