/* The formatter core: directives, integers, strings, nested formats, the
   handler hook, the piece structure seen by output callbacks, and a
   differential test against the C library's snprintf. */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "common/string/fmtcapture.h"

namespace
{

TEST(StrFmt, Directives)
{
    const bool f64 = sizeof(void *) == 8;
    const FmtCase aCases[] = {
        /* strings */
        {"%5s|%-5s|", "   ab|ab   |", fmt("%5s|%-5s|", "ab", "ab")},
        {"%.2s", "ab", fmt("%.2s", "abcdef")},
        {"%.*s (bounded read)", "ab", fmt("%.*s", 2, "ab\xff")},
        {"%s null", "<NULL>", fmt("%s", (char *)nullptr)},
        {"%8s null", "  <NULL>", fmt("%8s", (char *)nullptr)},
        {"%s 16", "<00000010!BadStr>", fmt("%s", (char *)16)},
        {"%s -16", "<fffffff0!BadStr>", fmt("%s", (char *)-16)},
        {"%ls 16", "<00000010!BadStrW>", fmt("%ls", (RTUTF16 *)16)},
        {"%Ls 4095", "<00000fff!BadStrU>", fmt("%Ls", (RTUNICP *)4095)},
        {"%ls", "h\xc3\xa9!", fmt("%ls", u"h\u00e9!")},
        {"%4ls counts characters", "  \xc3\xa9!", fmt("%4ls", u"\u00e9!")},
        {"%.2ls pair is one char", "a\xf0\x9f\x98\x80", fmt("%.2ls", u"a\U0001F600b")},
        {"%ls stops at a lone surrogate", "a|", fmt("%ls|", u"a\xd800z")},
        {"%-3Ls", "H\xf0\x9f\x98\x80 ", fmt("%-3Ls", U"H\U0001F600")},
        {"%c", "A", fmt("%c", 0x141)},
        {"%-4c|", "x   |", fmt("%-4c|", 'x')},
        {"%3c", "  x", fmt("%3c", 'x')},
        /* integers */
        {"%'u", "1 234 567", fmt("%'u", 1234567)},
        {"%'u 123", "123", fmt("%'u", 123)},
        {"%'08u", "00001234", fmt("%'08u", 1234)},
        {"%'lld", "-9 223 372 036 854 775 808", fmt("%'lld", (long long)INT64_MIN)},
        {"%#x 0", "0x0", fmt("%#x", 0)},
        {"%#X", "0XFF", fmt("%#X", 255)},
        {"%#o", "010", fmt("%#o", 8)},
        {"%p", f64 ? "0000000000401000" : "00401000", fmt("%p", (void *)0x401000)},
        {"%+d", "+5", fmt("%+d", 5)},
        {"% d", " 5", fmt("% d", 5)},
        {"%+u ignores sign flags", "5", fmt("%+u", 5)},
        {"%d min", "-2147483648", fmt("%d", INT32_MIN)},
        {"%lld min", "-9223372036854775808", fmt("%lld", (long long)INT64_MIN)},
        {"%ld is 32-bit", "-1", fmt("%ld", -1)},
        {"%Iu|%u", "1099511627776|7", fmt("%Iu|%u", (uint64_t)1 << 40, 7)},
        {"%I64x|%u", "10000000000|7", fmt("%I64x|%u", (uint64_t)1 << 40, 7)},
        {"%I32u|%u", "5|7", fmt("%I32u|%u", 5, 7)},
        {"%qd|%Lu|%ju", "-1|2|3", fmt("%qd|%Lu|%ju", (int64_t)-1, (uint64_t)2, (uint64_t)3)},
        {"%zu|%u", f64 ? "1099511627776|7" : "5|7",
         f64 ? fmt("%zu|%u", (size_t)((uint64_t)1 << 40), 7) : fmt("%zu|%u", (size_t)5, 7)},
        {"%tx -1", "ffffffffffffffff", fmt("%tx", (ptrdiff_t)-1)},
        {"%hx", "12345", fmt("%hx", 0x12345)},
        {"%hx -1", "ffffffffffffffff", fmt("%hx", -1)},
        {"%hhu", "300", fmt("%hhu", 300)},
        {"%hd -1", "-1", fmt("%hd", -1)},
        {"%08.3d", "00000042", fmt("%08.3d", 42)},
        {"%5.3d", "    001", fmt("%5.3d", 1)},
        {"%-5.3d|", "001    |", fmt("%-5.3d|", 1)},
        {"%.0d of 0", "0", fmt("%.0d", 0)},
        {"%-08d|", "-42     |", fmt("%-08d|", -42)},
        {"%08d", "-0000042", fmt("%08d", -42)},
        {"%*d negative width", "5    |", fmt("%*d|", -5, 5)},
        {"%.*d negative precision", "7", fmt("%.*d", -3, 7)},
        {"%.d", "7", fmt("%.d", 7)},
        {"%#010x", "0x0000abcd", fmt("%#010x", 0xabcd)},
        {"%10x", "      abcd", fmt("%10x", 0xabcd)},
        {"%o", "37777777777", fmt("%o", -1)},
        /* the rest */
        {"%%", "%", fmt("%%")},
        {"a%%%db", "a%5b", fmt("a%%%db", 5)},
        {"%y without handler", "ab", fmt("a%yb")},
        {"%5.2y consumed", "ab", fmt("a%5.2lyb")},
        {"trailing %", "abc", fmt("abc%")},
        {"trailing %-5l", "abc", fmt("abc%-5l")},
        {"%e", "+1m0x0000000000000^0", fmt("%e", 1.0)},
        {"%f", "-1m0x8000000000000^1", fmt("%f", -3.0)},
        {"%g 0", "+0", fmt("%g", 0.0)},
        {"%R[foo]", "<missing:%R[foo]>|", fmt("%R[foo]|", (void *)nullptr)},
        {"%R[ cut by %", "a7b", fmt("a%R[x%db", 7)},
        {"%R at the end", "a", fmt("a%R")},
        {"%M", "<1>2", fmt("%M", "<%d>%d", 1, 2)},
        {"%M null", "ab", fmt("a%Mb", (char *)nullptr)},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

TEST(StrFmt, FloatFields)
{
    char szBuf[64];
    struct
    {
        double rd;
        unsigned fFlags;
        const char *pszExpected;
    } const aCases[] = {
        {-0.0, 0, "-0"},
        {1.0 / 0.0, 0, "+Inf"},
        {-1.0 / 0.0, 0, "-Inf"},
        {__builtin_nan(""), 0, "+QNan"},
        {__builtin_nans(""), FMT_F_ALT, "+SNaN[.0x4000000000000]"},
        {__builtin_nan(""), FMT_F_ALT, "+QNaN[.0x8000000000000]"},
        {5e-324, FMT_F_ALT, "+0m0x0000000000001[SubN]"},
        {5e-324, 0, "+0m0x0000000000001"},
        {0.5, 0, "+1m0x0000000000000^-1"},
    };
    for (const auto &c : aCases)
    {
        EXPECT_EQ(RTStrFmtFloat(szBuf, sizeof(szBuf), &c.rd, -1, -1, c.fFlags), (int)strlen(c.pszExpected));
        EXPECT_STREQ(szBuf, c.pszExpected) << c.pszExpected;
    }
    double rd = 1.0;
    EXPECT_EQ(RTStrFmtFloat(szBuf, 4, &rd, -1, -1, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "+1m");
}

TEST(StrFmt, NumberIntoBuffers)
{
    char szBuf[80];
    memset(szBuf, 'x', sizeof(szBuf));
    EXPECT_EQ(RTStrFmtU32(szBuf, 4, 123456, 10, -1, -1, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "123");
    EXPECT_EQ(RTStrFmtU32(szBuf, 7, 123456, 10, -1, -1, 0), 6);
    EXPECT_STREQ(szBuf, "123456");
    EXPECT_EQ(RTStrFmtU32(szBuf, 6, 123456, 10, -1, -1, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(szBuf, "12345");
    szBuf[0] = 'x';
    EXPECT_EQ(RTStrFmtU32(szBuf, 0, 1, 10, -1, -1, 0), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(szBuf[0], 'x');
    /* The size flag is the function's own: a 64-bit flag does not leak into
       the 32-bit rendering, and signed rendering applies to the width. */
    EXPECT_EQ(RTStrFmtU32(szBuf, sizeof(szBuf), 0xffffffff, 10, -1, -1, FMT_F_SIGNED | FMT_F_SIZE64), 2);
    EXPECT_STREQ(szBuf, "-1");
    EXPECT_EQ(RTStrFmtU64(szBuf, sizeof(szBuf), UINT64_MAX, 16, -1, -1, FMT_F_UPPER), 16);
    EXPECT_STREQ(szBuf, "FFFFFFFFFFFFFFFF");
    /* The text never exceeds 63 characters, whatever the width; leading
       blanks stop one short of that. */
    EXPECT_EQ(RTStrFmtNumber(szBuf, 1, 10, 1000, -1, 0), 62);
    EXPECT_EQ(RTStrFmtNumber(szBuf, 1, 10, 1000, -1, FMT_F_ZERO_PAD), 63);
    EXPECT_EQ(RTStrFmtNumber(szBuf, 1, 10, 1000, -1, FMT_F_LEFT), 63);
    EXPECT_EQ(RTStrFmtNumber(szBuf, 1, 10, 10, 1000, 0), 63);
    EXPECT_EQ(fmt("%2147483647999d", 1).size(), 62u);
    /* Bases other than 8, 10 and 16 are refused as base 10. */
    EXPECT_EQ(RTStrFmtNumber(szBuf, UINT64_MAX, 2, -1, -1, 0), 20);
}

/**
 * Formats into caller buffers of every size from 1 to the text's length
 * plus one, each followed by guard bytes, and through a callback.
 * @returns "" when every result is the expected text (cut where the buffer
 * ends, nothing written past the terminator), else what went wrong.
 */
std::string checkBuffers(const char *pszExpected, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    std::string strError;
    size_t cchExpected = strlen(pszExpected);
    for (size_t cbBuf = 1; cbBuf <= cchExpected + 1 && strError.empty(); cbBuf++)
    {
        char achBuf[160];
        memset(achBuf, '~', sizeof(achBuf));
        va_list ArgsCopy;
        va_copy(ArgsCopy, Args);
        size_t cch = RTStrPrintfV(achBuf, cbBuf, pszFormat, ArgsCopy);
        va_end(ArgsCopy);
        size_t cchWant = cbBuf - 1 < cchExpected ? cbBuf - 1 : cchExpected;
        if (cch != cchWant || std::string(achBuf, cch) != std::string(pszExpected, cchWant) || achBuf[cch] != '\0')
            strError = "size " + std::to_string(cbBuf) + ": '" + std::string(achBuf, cch) + "'";
        else if (std::string(&achBuf[cch + 1], sizeof(achBuf) - cch - 1).find_first_not_of('~') != std::string::npos)
            strError = "size " + std::to_string(cbBuf) + ": written past the terminator";
    }
    if (strError.empty())
    {
        std::string strCallback = fmtV(pszFormat, Args);
        if (strCallback != pszExpected)
            strError = "callback: '" + strCallback + "'";
    }
    va_end(Args);
    return strError;
}

/* Integers are written straight into caller buffers; each layout (grouping
   at its boundaries, widths, zeros, prefixes, the sized "%R" types at their
   limits) gives the same text at every buffer size and through a callback. */
TEST(StrFmt, IntegersIntoBuffers)
{
    const struct
    {
        const char *pszFormat;
        std::string strError;
    } aCases[] = {
        {"%'u 0", checkBuffers("0", "%'u", 0)},
        {"%'u 3 digits", checkBuffers("999", "%'u", 999)},
        {"%'u 4 digits", checkBuffers("1 000", "%'u", 1000)},
        {"%'u 6 digits", checkBuffers("123 456", "%'u", 123456)},
        {"%'u 7 digits", checkBuffers("1 234 567", "%'u", 1234567)},
        {"%'u max", checkBuffers("4 294 967 295", "%'u", UINT32_MAX)},
        {"%'llu 2^32", checkBuffers("4 294 967 296", "%'llu", (unsigned long long)UINT32_MAX + 1)},
        {"%'llu 10^12", checkBuffers("1 000 000 000 000", "%'llu", 1000000000000ULL)},
        {"%'llu 10 digits", checkBuffers("9 999 999 999", "%'llu", 9999999999ULL)},
        {"%'llu max", checkBuffers("18 446 744 073 709 551 615", "%'llu", (unsigned long long)UINT64_MAX)},
        {"%'d negative", checkBuffers("-1 234 567", "%'d", -1234567)},
        {"%'+d", checkBuffers("+1 234", "%'+d", 1234)},
        {"%'0u: zero padding drops the grouping", checkBuffers("1234", "%'0u", 1234)},
        {"%-'0u: unless left-aligned", checkBuffers("1 234", "%-'0u", 1234)},
        {"%'12u", checkBuffers("   1 234 567|", "%'12u|", 1234567)},
        {"%-'12u", checkBuffers("1 234 567   |", "%-'12u|", 1234567)},
        {"%'.10u (precision counts the blanks)", checkBuffers("01 234 567", "%'.10u", 1234567)},
        {"%'RU64 %'RU32",
         checkBuffers("123 456 789 012, 1 234 567 890", "%'RU64, %'RU32", 123456789012ULL, 1234567890u)},
        {"%'RI64 min", checkBuffers("-9 223 372 036 854 775 808", "%'RI64", (long long)INT64_MIN)},
        {"%RU8 max", checkBuffers("255|0", "%RU8|%RU8", 0x1ff, 0x100)},
        {"%RU16 max", checkBuffers("65535|9029", "%RU16|%RU16", 0xffff, 0x12345)},
        {"%RU32 max", checkBuffers("4294967295", "%RU32", UINT32_MAX)},
        {"%RU64 max", checkBuffers("18446744073709551615", "%RU64", (unsigned long long)UINT64_MAX)},
        {"%RI8 %RI16 min", checkBuffers("-128|-32768|131071", "%RI8|%RI16|%RI16", -128, -32768, 0x1ffff)},
        {"%RI32 limits", checkBuffers("-2147483648|2147483647", "%RI32|%RI32", INT32_MIN, INT32_MAX)},
        {"%RI64 max", checkBuffers("9223372036854775807", "%RI64", (long long)INT64_MAX)},
        {"%RX8 %RX16", checkBuffers("ff|2345", "%RX8|%RX16", 0x1ff, 0x12345)},
        {"%RX32 %RX64 max",
         checkBuffers("ffffffff|ffffffffffffffff", "%RX32|%RX64", UINT32_MAX, (unsigned long long)UINT64_MAX)},
        {"%#018RX64", checkBuffers("0x00000000deadbeef", "%#018RX64", 0xdeadbeefULL)},
        {"%+5RI32", checkBuffers("   +7", "%+5RI32", 7)},
        {"%RU80: the name ends at 8", checkBuffers("50", "%RU80", 5)},
        {"%RU1x: no sized type", checkBuffers("1x|7", "%RU1x|%d", 7)},
        {"%RU6: no sized type", checkBuffers("6|7", "%RU6|%d", 7)},
        {"%#010x", checkBuffers("0x0000beef", "%#010x", 0xbeef)},
        {"%#X 0", checkBuffers("0X0", "%#X", 0)},
        {"%x 1-2 digits", checkBuffers("f|10|100", "%x|%x|%x", 0xf, 0x10, 0x100)},
        {"%llX max", checkBuffers("FFFFFFFFFFFFFFFF", "%llX", (unsigned long long)UINT64_MAX)},
        {"%08X", checkBuffers("00ABCDEF", "%08X", 0xabcdef)},
        {"%-#8x|", checkBuffers("0x1f    |", "%-#8x|", 0x1f)},
        {"%#o 0", checkBuffers("00", "%#o", 0)},
        {"%llo max", checkBuffers("1777777777777777777777", "%llo", (unsigned long long)UINT64_MAX)},
        {"%020d", checkBuffers("-0000000000000000042", "%020d", -42)},
        {"%30d", checkBuffers("                           -42", "%30d", -42)},
    };
    for (const auto &c : aCases)
        EXPECT_EQ(c.strError, "") << c.pszFormat;
}

/* What an output callback sees: literal runs and numbers as one piece each,
   the end signal last, and a nested expansion's end signal in between. */
TEST(StrFmt, Pieces)
{
    FmtCapture Capture;
    RTStrFmt(FmtCapture::output, &Capture, nullptr, nullptr, "ab%dcd%%e%5s", 42, "xy");
    EXPECT_EQ(Capture.vecPieces, (std::vector<std::string>{"ab", "42", "cd", "%e", "   ", "xy", "<END>"}));

    struct Nested
    {
        static std::vector<std::string> run(const char *pszInner, ...)
        {
            va_list Args;
            va_start(Args, pszInner);
            FmtCapture Capture;
            RTStrFmt(FmtCapture::output, &Capture, nullptr, nullptr, "[%N]%d", pszInner, &Args, 7);
            va_end(Args);
            return Capture.vecPieces;
        }
    };
    EXPECT_EQ(Nested::run("<%s>", "a"), (std::vector<std::string>{"[", "<", "a", ">", "<END>", "]", "7", "<END>"}));

    /* The result is the sum of the callback's results, the end signals
       excluded. */
    struct Half
    {
        static size_t output(void *, const char *, size_t cb)
        {
            return cb ? cb / 2 : 1000;
        }
    };
    EXPECT_EQ(RTStrFmt(Half::output, nullptr, nullptr, nullptr, "abcd%s", "ef"), 3u);
}

/* Unknown conversions go to the handler, which starts at the letter and
   takes its own arguments. */
TEST(StrFmt, Handler)
{
    struct Handler
    {
        static size_t format(void *pvArg, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                             va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
        {
            std::string *pstrSeen = (std::string *)pvArg;
            char chConv = *(*ppszFormat)++;
            int iValue = va_arg(*pArgs, int);
            *pstrSeen += std::string(1, chConv) + ":" + std::to_string(cchWidth) + ":" + std::to_string(cchPrecision) +
                         ":" + std::to_string(fFlags) + ":" + std::string(1, chArgSize ? chArgSize : '0');
            std::string strOut = "<" + std::to_string(iValue) + ">";
            return pfnOutput(pvArgOutput, strOut.data(), strOut.size());
        }
    };
    std::string strSeen;
    FmtCapture Capture;
    size_t cch = RTStrFmt(FmtCapture::output, &Capture, Handler::format, &strSeen, "a%-5.2hhyb%kc%d", 1, 2, 3);
    EXPECT_EQ(Capture.strText, "a<1>b<2>c3");
    EXPECT_EQ(cch, Capture.strText.size());
    EXPECT_EQ(strSeen, "y:5:2:" + std::to_string(FMT_F_LEFT | FMT_F_WIDTH | FMT_F_PRECISION) + ":Hk:-1:-1:0:0");
}

/*
 * Differential test against the C library's snprintf (on Windows the C99
 * __mingw_snprintf, since msvcrt's own lacks "hh", "z", "t" and "j") over
 * generated directives, restricted to where our rules agree with C. Left
 * out on purpose, because we differ:
 *  - the "'" flag (we group with a blank; C's grouping is locale-dependent);
 *  - "h" and "hh" with values outside their type (we do not truncate, and
 *    widen unsigned ones with the sign to 64 bits);
 *  - "%p" (we print zero-padded digits without "0x");
 *  - "#" with the value 0 (we still write "0x"/"0"), and "#o" with a
 *    precision (our "0" prefix comes before the precision's zeros);
 *  - a precision of 0 with the value 0 (we print "0");
 *  - a precision above the digit count together with a width the digits do
 *    not fill (we pad to the width counting the digits only), and "0" with a
 *    precision (we zero-pad, C ignores "0");
 *  - "0" with "%c" and "%s" (undefined in C);
 *  - "%s" of a null pointer ("<NULL>" against the library's own text);
 *  - "%ls"/"%lc" (UTF-16 here, wchar_t there) and floating point.
 * "l" is 32-bit here on every host, so the oracle gets "%d" with an int.
 * __mingw_snprintf also puts the " " flag's blank before unsigned numbers,
 * where C (and we) ignore the flag, so that pair is left out on Windows.
 */
#ifdef __MINGW32__
#define ORACLE_SNPRINTF __mingw_snprintf
const bool g_fOracleBlanksUnsigned = true;
#else
#define ORACLE_SNPRINTF snprintf
const bool g_fOracleBlanksUnsigned = false;
#endif

enum class ArgKind
{
    Int,      /**< int (no size, "l", "I32", "h", "hh") */
    LongLong, /**< 64-bit ("ll", "L", "q", "j", "I64", "I") */
    Size,     /**< size_t / ptrdiff_t ("z", "t") */
    Char,
    String,
};

struct SizeSpec
{
    const char *pszOurs;
    const char *pszC;
    ArgKind enmKind;
    int64_t iSignedMin; /**< values the C type holds for "%d" */
    int64_t iSignedMax;
    int64_t iUnsignedMin; /**< and for the unsigned conversions */
    int64_t iUnsignedMax;
};

template <typename T> std::string oursOf(const std::string &strFormat, T Value)
{
    char szBuf[256];
    size_t cch = RTStrPrintf(szBuf, sizeof(szBuf), strFormat.c_str(), Value);
    return std::string(szBuf, cch);
}

template <typename T> std::string oracleOf(const std::string &strFormat, T Value)
{
    char szBuf[256];
    int cch = ORACLE_SNPRINTF(szBuf, sizeof(szBuf), strFormat.c_str(), Value);
    return cch >= 0 ? std::string(szBuf, (size_t)cch) : "<oracle failed>";
}

/** Digits of the magnitude of @a iValue in @a uBase as C sees the value. */
unsigned digitsOf(uint64_t uMagnitude, unsigned uBase)
{
    unsigned c = 1;
    while (uMagnitude >= uBase)
    {
        uMagnitude /= uBase;
        c++;
    }
    return c;
}

TEST(StrFmt, DifferentialAgainstSnprintf)
{
    static const char *const s_apszFlags[] = {"", "-", "+", " ", "#", "0", "-+", "+0", " 0", "#0", "-#"};
    static const int s_aiWidths[] = {-1, 1, 4, 12};
    static const int s_aiPrecisions[] = {-1, 0, 3, 15};
    const bool f64 = sizeof(size_t) == 8;
    const SizeSpec aSizes[] = {
        {"", "", ArgKind::Int, INT32_MIN, INT32_MAX, INT32_MIN, UINT32_MAX},
        {"l", "", ArgKind::Int, INT32_MIN, INT32_MAX, INT32_MIN, UINT32_MAX},
        {"I32", "", ArgKind::Int, INT32_MIN, INT32_MAX, INT32_MIN, UINT32_MAX},
        {"h", "h", ArgKind::Int, INT16_MIN, INT16_MAX, 0, UINT16_MAX},
        {"hh", "hh", ArgKind::Int, INT8_MIN, INT8_MAX, 0, UINT8_MAX},
        {"ll", "ll", ArgKind::LongLong, INT64_MIN, INT64_MAX, INT64_MIN, INT64_MAX},
        {"L", "ll", ArgKind::LongLong, INT64_MIN, INT64_MAX, INT64_MIN, INT64_MAX},
        {"q", "ll", ArgKind::LongLong, INT64_MIN, INT64_MAX, INT64_MIN, INT64_MAX},
        {"j", "j", ArgKind::LongLong, INT64_MIN, INT64_MAX, INT64_MIN, INT64_MAX},
        {"I64", "ll", ArgKind::LongLong, INT64_MIN, INT64_MAX, INT64_MIN, INT64_MAX},
        {"z", "z", ArgKind::Size, f64 ? INT64_MIN : INT32_MIN, f64 ? INT64_MAX : INT32_MAX, f64 ? INT64_MIN : 0,
         f64 ? INT64_MAX : UINT32_MAX},
    };
    static const int64_t s_aiValues[] = {0,         1,         -1,         7,         -42,       127,          128,
                                         255,       -128,      32767,      -32768,    65535,     123456,       -1234567,
                                         INT32_MAX, INT32_MIN, UINT32_MAX, INT64_MAX, INT64_MIN, 1234567890123};
    static const char s_achIntConvs[] = "diuoxX";

    unsigned cCompared = 0;
    for (const char *pszFlags : s_apszFlags)
        for (int cchWidth : s_aiWidths)
            for (int cchPrecision : s_aiPrecisions)
            {
                std::string strMid = pszFlags;
                if (cchWidth >= 0)
                    strMid += std::to_string(cchWidth);
                if (cchPrecision >= 0)
                    strMid += "." + std::to_string(cchPrecision);
                bool fZero = strchr(pszFlags, '0') != nullptr;
                bool fAlt = strchr(pszFlags, '#') != nullptr;

                /* Integers. */
                for (const SizeSpec &Size : aSizes)
                    for (const char *pchConv = s_achIntConvs; *pchConv; pchConv++)
                        for (int64_t iValue : s_aiValues)
                        {
                            char chConv = *pchConv;
                            bool fSigned = chConv == 'd' || chConv == 'i';
                            if (fSigned ? iValue < Size.iSignedMin || iValue > Size.iSignedMax
                                        : iValue < Size.iUnsignedMin || iValue > Size.iUnsignedMax)
                                continue;

                            unsigned uBase = chConv == 'o' ? 8 : chConv == 'x' || chConv == 'X' ? 16 : 10;
                            bool fNegative = fSigned && iValue < 0;
                            uint64_t uBits = Size.enmKind == ArgKind::LongLong || (Size.enmKind == ArgKind::Size && f64)
                                                 ? (uint64_t)iValue
                                                 : (uint64_t)(uint32_t)iValue;
                            uint64_t uMagnitude = fNegative ? 0 - (uint64_t)iValue : uBits;
                            unsigned cDigits = digitsOf(uMagnitude, uBase);
                            unsigned cchSign = fSigned && (fNegative || strpbrk(pszFlags, "+ ")) ? 1 : 0;
                            unsigned cchPrefix = fAlt && uBase == 16 ? 2 : fAlt && uBase == 8 ? 1 : 0;
                            if (g_fOracleBlanksUnsigned && !fSigned && strchr(pszFlags, ' '))
                                continue;
                            if (fAlt && uBase != 10 && iValue == 0)
                                continue;
                            if (fAlt && uBase == 8 && cchPrecision >= 0)
                                continue;
                            if (cchPrecision == 0 && iValue == 0)
                                continue;
                            if (cchPrecision >= 0 && fZero)
                                continue;
                            if (cchPrecision > (int)cDigits && cchWidth > (int)(cDigits + cchSign + cchPrefix))
                                continue;

                            std::string strOurs = "%" + strMid + Size.pszOurs + chConv;
                            std::string strC = "%" + strMid + Size.pszC + chConv;
                            std::string strGot, strWant;
                            switch (Size.enmKind)
                            {
                                case ArgKind::Int:
                                    strGot = oursOf(strOurs, (int)iValue);
                                    strWant = oracleOf(strC, (int)iValue);
                                    break;
                                case ArgKind::LongLong:
                                    strGot = oursOf(strOurs, (long long)iValue);
                                    strWant = oracleOf(strC, (long long)iValue);
                                    break;
                                default:
                                    strGot = oursOf(strOurs, (size_t)iValue);
                                    strWant = oracleOf(strC, (size_t)iValue);
                                    break;
                            }
                            EXPECT_EQ(strGot, strWant) << strOurs << " of " << iValue << " (C: " << strC << ")";
                            cCompared++;
                        }

                /* Characters and strings. */
                if (fZero)
                    continue;
                std::string strC = "%" + strMid + "c";
                for (int ch : {'A', ' ', '~'})
                {
                    EXPECT_EQ(oursOf(strC, ch), oracleOf(strC, ch)) << strC << " of " << ch;
                    cCompared++;
                }
                std::string strS = "%" + strMid + "s";
                for (const char *psz : {"", "a", "hello, world", "\xc3\xbc-umlaut"})
                {
                    EXPECT_EQ(oursOf(strS, psz), oracleOf(strS, psz)) << strS << " of '" << psz << "'";
                    cCompared++;
                }
            }
    EXPECT_GT(cCompared, 20000u);
    RecordProperty("compared", (int)cCompared);
}

} // namespace
