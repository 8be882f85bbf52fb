/* Text to integer conversion, hexadecimal byte strings: tables, and the
   C library's strtoull/strtoll as a reference where the rules agree. */
#include <zolt/err.h>
#include <zolt/strtonum.h>

#include <ctype.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <random>
#include <stdlib.h>
#include <string>

namespace
{

struct U64Case
{
    const char *psz;
    uint32_t uBaseWord;
    int rc;
    uint64_t u;
    size_t offEnd;
};

TEST(StrParseU64, Prefix)
{
    static const U64Case s_aCases[] = {
        {"0", 0, SUCCESS, 0, 1},
        {"18446744073709551615", 10, SUCCESS, UINT64_MAX, 20},
        {"18446744073709551616", 10, WRN_NUMBER_TOO_BIG, 0, 20},
        {"20496382304121724020", 10, WRN_NUMBER_TOO_BIG, UINT64_C(2049638230412172404), 20},
        {"-1", 10, WRN_NEGATIVE_UNSIGNED, UINT64_MAX, 2},
        {"-0", 10, SUCCESS, 0, 2},
        {"--7", 10, SUCCESS, 7, 3},
        {"-18446744073709551616", 10, WRN_NUMBER_TOO_BIG, 0, 21},
        {"0x1F", 0, SUCCESS, 31, 4},
        {"0X1f", 16, SUCCESS, 31, 4},
        {"1f", 16, SUCCESS, 31, 2},
        {"017", 0, SUCCESS, 15, 3},
        {"017", 10, SUCCESS, 17, 3},
        {"08", 0, SUCCESS, 8, 2},
        {"0xg", 0, WRN_TRAILING_CHARS, 0, 1},
        {"0x", 16, WRN_TRAILING_CHARS, 0, 1},
        {"yz", 35, WRN_TRAILING_CHARS, 34, 1},
        {"zz", 36, ERR_NO_DIGITS, 0, 0},
        {"101", 2, SUCCESS, 5, 3},
        {"12 ", 10, WRN_TRAILING_SPACES, 12, 2},
        {"12 \t ", 10, WRN_TRAILING_SPACES, 12, 2},
        {"12 x", 10, WRN_TRAILING_CHARS, 12, 2},
        {"12x", 10, WRN_TRAILING_CHARS, 12, 2},
        {"", 10, ERR_NO_DIGITS, 0, 0},
        {"x", 0, ERR_NO_DIGITS, 0, 0},
        {"+-", 0, ERR_NO_DIGITS, 0, 2},
        {" 1", 0, ERR_NO_DIGITS, 0, 0},
        /* Character limit: the number ends there, whatever follows. */
        {"1234", RTSTR_BASE_WORD(10, 2), SUCCESS, 12, 2},
        {"12 x", RTSTR_BASE_WORD(10, 3), WRN_TRAILING_SPACES, 12, 2},
        {"12 x", RTSTR_BASE_WORD(10, 4), WRN_TRAILING_CHARS, 12, 2},
        {"0x1F", RTSTR_BASE_WORD(0, 2), WRN_TRAILING_CHARS, 0, 1},
        {"0x1F", RTSTR_BASE_WORD(0, 3), SUCCESS, 1, 3},
        {"--5", RTSTR_BASE_WORD(10, 2), ERR_NO_DIGITS, 0, 2},
    };
    for (const U64Case &c : s_aCases)
    {
        uint64_t u = 0xdeadbeef;
        char *pszNext = nullptr;
        EXPECT_EQ(RTStrParseU64(c.psz, &pszNext, c.uBaseWord, &u), c.rc) << '"' << c.psz << "\" " << c.uBaseWord;
        EXPECT_EQ(u, c.u) << '"' << c.psz << "\" " << c.uBaseWord;
        EXPECT_EQ((size_t)(pszNext - c.psz), c.offEnd) << '"' << c.psz << "\" " << c.uBaseWord;
    }
}

TEST(StrParseU64, OptionalOutputsAndBadPointer)
{
    EXPECT_EQ(RTStrParseU64("42", nullptr, 0, nullptr), SUCCESS);
    EXPECT_EQ(RTStrParseU64((const char *)8, nullptr, 0, nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTStrParseU64Whole(nullptr, 0, nullptr), ERR_INVALID_POINTER);
}

struct S64Case
{
    const char *psz;
    int rc;
    int64_t i;
};

TEST(StrParseS64, Whole)
{
    static const S64Case s_aCases[] = {
        {"-9223372036854775808", SUCCESS, INT64_MIN},
        {"9223372036854775807", SUCCESS, INT64_MAX},
        {"9223372036854775808", WRN_NUMBER_TOO_BIG, INT64_MIN},
        {"-9223372036854775809", WRN_NUMBER_TOO_BIG, INT64_MAX},
        {"18446744073709551617", WRN_NUMBER_TOO_BIG, 1},
        {"--5", SUCCESS, 5},
        {"+-5", SUCCESS, -5},
        {"-0x10", SUCCESS, -16},
        {"12 ", ERR_TRAILING_SPACES, 12},
        {"12x", ERR_TRAILING_CHARS, 12},
        /* A value warning hides trailing text from the prefix member; the
           whole-text member still sees it. */
        {"9223372036854775808 ", ERR_TRAILING_SPACES, INT64_MIN},
        {"9223372036854775808y", ERR_TRAILING_CHARS, INT64_MIN},
        {"", ERR_NO_DIGITS, 0},
    };
    for (const S64Case &c : s_aCases)
    {
        int64_t i = 0x5a5a;
        EXPECT_EQ(RTStrParseS64Whole(c.psz, 0, &i), c.rc) << '"' << c.psz << '"';
        EXPECT_EQ(i, c.i) << '"' << c.psz << '"';
    }
}

TEST(StrParseWhole, TrailingTextAndLimit)
{
    uint64_t u = 0;
    EXPECT_EQ(RTStrParseU64Whole("12 ", 10, &u), ERR_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU64Whole("12x", 10, &u), ERR_TRAILING_CHARS);
    EXPECT_EQ(RTStrParseU64Whole("1234", RTSTR_BASE_WORD(10, 2), &u), SUCCESS);
    EXPECT_EQ(u, 12u);
    EXPECT_EQ(RTStrParseU64Whole("-1 ", 10, &u), ERR_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU64Whole("-1", 10, &u), WRN_NEGATIVE_UNSIGNED);
    EXPECT_EQ(u, UINT64_MAX);
    /* The limit also bounds the look at trailing text after a warning. */
    EXPECT_EQ(RTStrParseU64Whole("-1x", RTSTR_BASE_WORD(10, 2), &u), WRN_NEGATIVE_UNSIGNED);
}

TEST(StrParseNarrow, RangeWrappers)
{
    uint8_t u8 = 1;
    EXPECT_EQ(RTStrParseU8Whole("256", 10, &u8), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(u8, 0);
    EXPECT_EQ(RTStrParseU8Whole("255", 10, &u8), SUCCESS);
    EXPECT_EQ(u8, 255);
    char *pszNext = nullptr;
    EXPECT_EQ(RTStrParseU8("300x", &pszNext, 10, &u8), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(u8, 44);
    EXPECT_STREQ(pszNext, "x");

    uint16_t u16 = 0;
    EXPECT_EQ(RTStrParseU16Whole("0xffff", 0, &u16), SUCCESS);
    EXPECT_EQ(RTStrParseU16Whole("0x10000", 0, &u16), WRN_NUMBER_TOO_BIG);

    uint32_t u32 = 0;
    EXPECT_EQ(RTStrParseU32Whole("-1", 10, &u32), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(u32, UINT32_MAX);
    EXPECT_EQ(RTStrParseU32("12 ", nullptr, 10, &u32), WRN_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU32Whole("12 ", 10, &u32), ERR_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU32("12x", nullptr, 10, &u32), WRN_TRAILING_CHARS);
    EXPECT_EQ(RTStrParseU32Whole("12x", 10, &u32), ERR_TRAILING_CHARS);
    /* The value is stored even when the status is a failure. */
    EXPECT_EQ(RTStrParseU32Whole("4294967296z", 10, &u32), ERR_TRAILING_CHARS);
    EXPECT_EQ(u32, 0u);

    int8_t i8 = 0;
    EXPECT_EQ(RTStrParseS8Whole("-128", 10, &i8), SUCCESS);
    EXPECT_EQ(i8, -128);
    EXPECT_EQ(RTStrParseS8Whole("128", 10, &i8), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(i8, -128);
    int16_t i16 = 0;
    EXPECT_EQ(RTStrParseS16Whole("-32769", 10, &i16), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(i16, 32767);
    int32_t i32 = 0;
    EXPECT_EQ(RTStrParseS32Whole("-2147483648", 10, &i32), SUCCESS);
    EXPECT_EQ(i32, INT32_MIN);
    EXPECT_EQ(RTStrParseS32Whole("2147483648", 10, &i32), WRN_NUMBER_TOO_BIG);
    EXPECT_EQ(RTStrParseS32Whole("x", 10, &i32), ERR_NO_DIGITS);
}

TEST(StrParseS32Simple, FailureIsZero)
{
    EXPECT_EQ(RTStrParseS32Simple("12abc"), 12);
    EXPECT_EQ(RTStrParseS32Simple("-0x10"), -16);
    EXPECT_EQ(RTStrParseS32Simple("0x100000001"), 1);
    EXPECT_EQ(RTStrParseS32Simple("abc"), 0);
    EXPECT_EQ(RTStrParseS32Simple(""), 0);
}

/*
 * The C library as a reference. Its rules differ from ours in known places,
 * which the generator avoids or the comparison skips:
 *  - it skips leading white space and takes one sign only;
 *  - automatic base: "08" is 0 there (an octal number cut at '8') and 8 here;
 *  - on overflow it clamps and sets ERANGE, where we wrap and warn;
 *  - "0x" without a hexadecimal digit is read differently by C libraries.
 */
std::string genNumberText(std::mt19937 &Rng, unsigned uBase)
{
    static const char s_szDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFXZ";
    std::string s;
    switch (Rng() % 4)
    {
        case 0: s += '-'; break;
        case 1: s += '+'; break;
        default: break;
    }
    if (Rng() % 3 == 0)
        s += Rng() % 2 ? "0x" : "0X";
    else if (Rng() % 4 == 0)
        s += '0';
    size_t const cDigits = Rng() % 24;
    for (size_t i = 0; i < cDigits; i++)
    {
        /* Mostly digits of the base, now and then anything. */
        if (Rng() % 8)
            s += s_szDigits[Rng() % (uBase ? uBase : 16)];
        else
            s += s_szDigits[Rng() % (sizeof(s_szDigits) - 1)];
    }
    if (Rng() % 4 == 0)
        s += Rng() % 2 ? " " : "-9";
    return s;
}

bool referenceDiffers(const std::string &s, unsigned uBase)
{
    size_t off = s[0] == '+' || s[0] == '-' ? 1 : 0;
    if (s[off] == '+' || s[off] == '-')
        return true;
    /* "0x" without a hexadecimal digit: glibc reads the "0", msvcrt nothing. */
    if ((uBase == 0 || uBase == 16) && s.size() >= off + 2 && s[off] == '0' && (s[off + 1] | 0x20) == 'x' &&
        !isxdigit((unsigned char)s.c_str()[off + 2]))
        return true;
    return uBase == 0 && s.size() > off + 1 && s[off] == '0' && (s[off + 1] == '8' || s[off + 1] == '9');
}

TEST(StrParseDifferential, AgainstStrtoull)
{
    static const unsigned s_auBases[] = {0, 2, 8, 10, 16, 35};
    std::mt19937 Rng(20240611);
    unsigned cCompared = 0;
    for (unsigned iIter = 0; iIter < 200000; iIter++)
    {
        unsigned const uBase = s_auBases[iIter % RT_ELEMENTS(s_auBases)];
        std::string const s = genNumberText(Rng, uBase);
        if (referenceDiffers(s, uBase))
            continue;

        errno = 0;
        char *pszEndRef = nullptr;
        unsigned long long const uRef = strtoull(s.c_str(), &pszEndRef, (int)uBase);
        bool const fRefOverflow = errno == ERANGE;
        uint64_t u = 0;
        char *pszEnd = nullptr;
        int const rcU = RTStrParseU64(s.c_str(), &pszEnd, uBase, &u);
        if (pszEndRef == s.c_str())
            EXPECT_EQ(rcU, ERR_NO_DIGITS) << '"' << s << "\" base " << uBase;
        else if (!fRefOverflow && rcU != WRN_NUMBER_TOO_BIG)
        {
            EXPECT_GE(rcU, 0) << '"' << s << "\" base " << uBase;
            EXPECT_EQ(u, uRef) << '"' << s << "\" base " << uBase;
            EXPECT_EQ(pszEnd, pszEndRef) << '"' << s << "\" base " << uBase;
            cCompared++;
        }
        else /* one overflowed: both must agree that it did */
            EXPECT_TRUE(fRefOverflow && rcU == WRN_NUMBER_TOO_BIG) << '"' << s << "\" base " << uBase;

        errno = 0;
        long long const iRef = strtoll(s.c_str(), &pszEndRef, (int)uBase);
        bool const fRefRange = errno == ERANGE;
        int64_t i = 0;
        int const rcS = RTStrParseS64(s.c_str(), &pszEnd, uBase, &i);
        if (pszEndRef == s.c_str())
            EXPECT_EQ(rcS, ERR_NO_DIGITS) << '"' << s << "\" base " << uBase;
        else
        {
            EXPECT_EQ(fRefRange, rcS == WRN_NUMBER_TOO_BIG) << '"' << s << "\" base " << uBase;
            EXPECT_EQ(pszEnd, pszEndRef) << '"' << s << "\" base " << uBase;
            if (!fRefRange)
            {
                EXPECT_EQ(i, iRef) << '"' << s << "\" base " << uBase;
            }
        }
    }
    EXPECT_GT(cCompared, 50000u);
}

/*
 * Hexadecimal byte strings.
 */
struct HexCase
{
    const char *psz;
    uint32_t fFlags;
    size_t cb;
    int rc;
    const char *pszBytes; /* expected bytes as hex pairs, on success */
};

TEST(StrHexToBytes, Table)
{
    static const HexCase s_aCases[] = {
        {"0a1B", 0, 2, SUCCESS, "0a1b"},
        {"0a1B ", 0, 2, WRN_TRAILING_SPACES, "0a1b"},
        {"0a1B \t", 0, 2, WRN_TRAILING_SPACES, "0a1b"},
        {"0a1B x", 0, 2, WRN_TRAILING_CHARS, "0a1b"},
        {"0a1Bz", 0, 2, WRN_TRAILING_CHARS, "0a1b"},
        {"0a1", 0, 2, ERR_UNEVEN_INPUT, nullptr},
        {"0a1b2", 0, 2, ERR_UNEVEN_INPUT, nullptr},
        {"0a1b2c", 0, 2, ERR_BUFFER_OVERFLOW, nullptr},
        {"0a", 0, 2, ERR_STR_SHORTER_THAN_SIZE, nullptr},
        {"", 0, 1, ERR_STR_SHORTER_THAN_SIZE, nullptr},
        {"", 0, 0, SUCCESS, ""},
        {"00", 0, 0, ERR_BUFFER_OVERFLOW, nullptr},
        {"0a:1b", 0, 2, ERR_STR_SHORTER_THAN_SIZE, nullptr},
        {"00", 2, 1, ERR_INVALID_FLAGS, nullptr},
        /* Colon-separated form. */
        {"0a:1b", 1, 2, SUCCESS, "0a1b"},
        {"a:1b:3", 1, 3, SUCCESS, "0a1b03"},
        {"0:1f:a", 1, 3, SUCCESS, "001f0a"},
        {"0a1b", 1, 2, SUCCESS, "0a1b"},
        {"1:23", 1, 2, SUCCESS, "0123"},
        {"01:2", 1, 2, SUCCESS, "0102"},
        {"123", 1, 2, ERR_UNEVEN_INPUT, nullptr},
        {"1:2:3", 1, 2, ERR_BUFFER_OVERFLOW, nullptr},
        {":1:2", 1, 2, ERR_STR_SHORTER_THAN_SIZE, nullptr},
        {"1::2", 1, 2, ERR_STR_SHORTER_THAN_SIZE, nullptr},
        {"1:2:", 1, 2, WRN_TRAILING_CHARS, "0102"},
        {"1:2 ", 1, 2, WRN_TRAILING_SPACES, "0102"},
    };
    for (const HexCase &c : s_aCases)
    {
        uint8_t ab[8];
        memset(ab, 0xcc, sizeof(ab));
        EXPECT_EQ(RTStrHexToBytes(c.psz, ab, c.cb, c.fFlags), c.rc) << '"' << c.psz << "\" flags " << c.fFlags;
        if (c.pszBytes)
        {
            std::string sGot;
            for (size_t i = 0; i < c.cb; i++)
            {
                char sz[3];
                snprintf(sz, sizeof(sz), "%02x", ab[i]);
                sGot += sz;
            }
            EXPECT_EQ(sGot, c.pszBytes) << '"' << c.psz << "\" flags " << c.fFlags;
        }
        /* Never a byte beyond the count. */
        EXPECT_EQ(ab[c.cb], 0xcc) << '"' << c.psz << '"';
    }
    EXPECT_EQ(RTStrHexToBytes(nullptr, nullptr, 0, 0), ERR_INVALID_POINTER);
    EXPECT_EQ(RTStrHexToBytes("00", nullptr, 1, 0), ERR_INVALID_POINTER);
}

} // namespace
