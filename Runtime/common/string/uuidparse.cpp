/** @file
 * UUID text parser.
 */
#include <zolt/err.h>
#include <zolt/uuid.h>

namespace
{

/** Value of a hexadecimal digit, or -1. */
inline int rtUuidHexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'f')
        return (ch | 0x20) - 'a' + 10;
    return -1;
}

/** The number in @a cDigits digits already known to be hexadecimal. */
uint32_t rtUuidHexNumber(const char *psz, unsigned cDigits)
{
    uint32_t u = 0;
    for (unsigned i = 0; i < cDigits; i++)
        u = u << 4 | (uint32_t)rtUuidHexValue(psz[i]);
    return u;
}

} // namespace

RTDECL(int) RTUuidParse(RTUUID *pUuid, const char *pszString)
{
    if (!RT_VALID_PTR(pUuid) || !RT_VALID_PTR(pszString))
        return ERR_INVALID_PARAMETER;

    const char *psz = pszString;
    bool const fBraces = *psz == '{';
    if (fBraces)
        psz++;
    /* The checks stop at the terminator: it is neither a digit nor '-'. */
    for (unsigned i = 0; i < 36; i++)
    {
        bool const fDash = i == 8 || i == 13 || i == 18 || i == 23;
        if (fDash ? psz[i] != '-' : rtUuidHexValue(psz[i]) < 0)
            return ERR_INVALID_UUID_FORMAT;
    }
    const char *pszEnd = &psz[36];
    if (fBraces && *pszEnd++ != '}')
        return ERR_INVALID_UUID_FORMAT;
    if (*pszEnd != '\0')
        return ERR_INVALID_UUID_FORMAT;

    pUuid->Gen.u32TimeLow = rtUuidHexNumber(&psz[0], 8);
    pUuid->Gen.u16TimeMid = (uint16_t)rtUuidHexNumber(&psz[9], 4);
    pUuid->Gen.u16TimeHiAndVersion = (uint16_t)rtUuidHexNumber(&psz[14], 4);
    static const uint8_t s_aoffBytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (unsigned i = 0; i < 8; i++)
        pUuid->au8[8 + i] = (uint8_t)rtUuidHexNumber(&psz[s_aoffBytes[i]], 2);
    return SUCCESS;
}
