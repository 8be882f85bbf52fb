/* Number parsers: any text and base word. Oracles: the end position stays
   inside the text, the whole-text and narrow members agree with the 64-bit
   prefix members, and the byte parser never writes past its count. */
#include <zolt/err.h>
#include <zolt/strtonum.h>

#include <stdlib.h>
#include <string.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    /* First byte: base; second: character limit (0 = none). */
    uint32_t const uBaseWord = RTSTR_BASE_WORD(pbData[0] % 40, pbData[1] % 32);
    std::string const s((const char *)pbData + 2, cbData - 2);
    const char *psz = s.c_str();
    size_t const cch = strlen(psz);

    char *pszEnd = nullptr;
    uint64_t u64 = 0;
    int const rcU = RTStrParseU64(psz, &pszEnd, uBaseWord, &u64);
    if (pszEnd < psz || pszEnd > psz + cch)
        abort();
    if (rcU == ERR_NO_DIGITS && u64 != 0)
        abort();

    uint64_t u64Whole = 0;
    int const rcUWhole = RTStrParseU64Whole(psz, uBaseWord, &u64Whole);
    if (u64Whole != u64)
        abort();
    /* Whole-text success means the prefix member saw nothing after. */
    if (rcUWhole == SUCCESS && rcU != SUCCESS)
        abort();
    if (rcU == SUCCESS && rcUWhole != SUCCESS)
        abort();

    int64_t i64 = 0;
    char *pszEndS = nullptr;
    int const rcS = RTStrParseS64(psz, &pszEndS, uBaseWord, &i64);
    if (pszEndS != pszEnd || (uint64_t)i64 != u64)
        abort();
    if ((rcS == ERR_NO_DIGITS) != (rcU == ERR_NO_DIGITS))
        abort();

    uint32_t u32 = 0;
    int const rc32 = RTStrParseU32(psz, nullptr, uBaseWord, &u32);
    if (u32 != (uint32_t)u64 || (rcU >= 0 && u64 > UINT32_MAX && rc32 != WRN_NUMBER_TOO_BIG))
        abort();
    int32_t i32 = 0;
    int const rcS32 = RTStrParseS32Whole(psz, uBaseWord, &i32);
    if (rcS32 == SUCCESS && (i64 < INT32_MIN || i64 > INT32_MAX))
        abort();
    (void)RTStrParseS32Simple(psz);

    /* Hexadecimal bytes into an exact-size heap block, so ASan sees any
       write past the count. */
    size_t const cb = pbData[1] % 9;
    uint8_t *pb = (uint8_t *)malloc(cb ? cb : 1);
    (void)RTStrHexToBytes(psz, cb ? pb : nullptr, cb, pbData[0] & 1);
    free(pb);
    return 0;
}
