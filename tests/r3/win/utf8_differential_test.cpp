/* Unicode conversion against the platform's own UTF-8 codec: a generated
   corpus of UTF-8 and UTF-16 strings covering every sequence class goes
   through our conversions and through MultiByteToWideChar /
   WideCharToMultiByte with their strict flags.

   For input both rule sets accept, the results must be identical; for
   input both refuse, both must fail. Where our rules deliberately differ,
   the test checks our rule instead:
   - U+FFFE and U+FFFF (EF BF BE, EF BF BF; the units FFFE and FFFF) are
     converted by the platform but refused by us with
     ERR_INVALID_CODE_POINT.
   - RTStrValidateUtf8 accepts the four-byte forms above U+10FFFF and the
     historic five- and six-byte forms, which the platform refuses; our
     conversion to UTF-16 refuses them as well (ERR_CODE_POINT_TOO_LARGE). */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
/* splitmix64 with a fixed seed: the same corpus on every run. */
class Rng
{
  public:
    uint64_t next()
    {
        uint64_t u = (m_uState += UINT64_C(0x9E3779B97F4A7C15));
        u = (u ^ (u >> 30)) * UINT64_C(0xBF58476D1CE4E5B9);
        u = (u ^ (u >> 27)) * UINT64_C(0x94D049BB133111EB);
        return u ^ (u >> 31);
    }
    /** A value from uFirst to uLast inclusive. */
    uint32_t range(uint32_t uFirst, uint32_t uLast)
    {
        return uFirst + (uint32_t)(next() % ((uint64_t)uLast - uFirst + 1));
    }

  private:
    uint64_t m_uState = UINT64_C(0x5A17C0DE2024);
};

std::string EncodeUtf8(uint32_t uCp, size_t cb)
{
    std::string str(cb, '\0');
    for (size_t i = cb - 1; i > 0; i--, uCp >>= 6)
        str[i] = (char)(0x80 | (uCp & 0x3F));
    str[0] = (char)(cb == 1 ? uCp : (0xFF00 >> cb) | uCp);
    return str;
}

enum Utf8Class
{
    kAscii,
    kTwoByte,
    kThreeByte,
    kFourByte,
    kOverlong2,
    kOverlong3,
    kOverlong4,
    kSurrogate,
    kNonCharacter,
    kAbove10FFFF,
    kFiveByte,
    kSixByte,
    kTruncated,
    kStray,
    kFeFf,
    kUtf8Classes
};
constexpr int kValidUtf8Classes = kFourByte + 1;

std::string GenUtf8Seq(Rng &R, int iClass)
{
    auto Cont = [&R]() { return (char)R.range(0x80, 0xBF); };
    switch (iClass)
    {
        case kAscii: return std::string(1, (char)R.range(1, 0x7F));
        case kTwoByte: return EncodeUtf8(R.range(0x80, 0x7FF), 2);
        case kThreeByte: {
            uint32_t uCp = R.range(0x800, 0xFFFD - 0x800);
            return EncodeUtf8(uCp >= 0xD800 ? uCp + 0x800 : uCp, 3);
        }
        case kFourByte: return EncodeUtf8(R.range(0x10000, 0x10FFFF), 4);
        case kOverlong2: return EncodeUtf8(R.range(0, 0x7F), 2);
        case kOverlong3: return EncodeUtf8(R.range(0, 0x7FF), 3);
        case kOverlong4: return EncodeUtf8(R.range(0, 0xFFFF), 4);
        case kSurrogate: return EncodeUtf8(R.range(0xD800, 0xDFFF), 3);
        case kNonCharacter: return EncodeUtf8(R.range(0xFFFE, 0xFFFF), 3);
        case kAbove10FFFF: return EncodeUtf8(R.range(0x110000, 0x1FFFFF), 4);
        case kFiveByte: return EncodeUtf8(R.range(0x100000, 0x3FFFFFF), 5); /* some overlong */
        case kSixByte: return EncodeUtf8(R.range(0x2000000, 0x7FFFFFFF), 6);
        case kTruncated: {
            std::string str = GenUtf8Seq(R, (int)R.range(kTwoByte, kFourByte));
            return str.substr(0, R.range(1, (uint32_t)str.size() - 1));
        }
        case kStray: return std::string(1, Cont());
        default: return std::string(1, (char)R.range(0xFE, 0xFF));
    }
}

/* Half the strings use valid classes only; a few are long enough for the
   block paths. */
std::vector<std::string> GenUtf8Corpus(size_t cStrings, unsigned acClassHits[kUtf8Classes])
{
    Rng R;
    std::vector<std::string> aStrings;
    for (size_t i = 0; i < cStrings; i++)
    {
        bool const fValidOnly = R.next() & 1;
        size_t const cSeqs = R.range(0, 19) == 0 ? R.range(40, 200) : R.range(1, 12);
        std::string str;
        for (size_t iSeq = 0; iSeq < cSeqs; iSeq++)
        {
            int const iClass = (int)R.range(0, fValidOnly ? kValidUtf8Classes - 1 : kUtf8Classes - 1);
            acClassHits[iClass]++;
            str += GenUtf8Seq(R, iClass);
        }
        aStrings.push_back(str);
    }
    return aStrings;
}

/** @returns the platform's strict conversion, or false if it refuses. */
bool WinUtf8ToUtf16(const std::string &str, std::u16string *pwstr)
{
    pwstr->clear();
    if (str.empty())
        return true;
    int const cwc = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, str.data(), (int)str.size(), nullptr, 0);
    if (cwc <= 0)
        return false;
    pwstr->resize((size_t)cwc);
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, str.data(), (int)str.size(), (wchar_t *)&(*pwstr)[0],
                               cwc) == cwc;
}

bool WinUtf16ToUtf8(const std::u16string &wstr, std::string *pstr)
{
    pstr->clear();
    if (wstr.empty())
        return true;
    int const cb = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, (const wchar_t *)wstr.data(), (int)wstr.size(),
                                       nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return false;
    pstr->resize((size_t)cb);
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, (const wchar_t *)wstr.data(), (int)wstr.size(),
                               &(*pstr)[0], cb, nullptr, nullptr) == cb;
}

bool HasNonCharacter(const std::u16string &wstr)
{
    return wstr.find(u'\xFFFE') != std::u16string::npos || wstr.find(u'\xFFFF') != std::u16string::npos;
}

std::string Hex(const std::string &str)
{
    static const char s_szDigits[] = "0123456789ABCDEF";
    std::string strHex;
    for (unsigned char b : str)
        strHex += {s_szDigits[b >> 4], s_szDigits[b & 15], ' '};
    return strHex;
}

TEST(Utf8Differential, AgainstMultiByteToWideChar)
{
    unsigned acClassHits[kUtf8Classes] = {};
    std::vector<std::string> const aStrings = GenUtf8Corpus(12000, acClassHits);
    for (int iClass = 0; iClass < kUtf8Classes; iClass++)
        EXPECT_GE(acClassHits[iClass], 1000u) << "class " << iClass;

    unsigned cBothAccept = 0, cBothRefuse = 0, cNonCharacter = 0, cHistoric = 0;
    for (const std::string &str : aStrings)
    {
        SCOPED_TRACE(Hex(str));
        std::u16string wstrWin;
        bool const fWinOk = WinUtf8ToUtf16(str, &wstrWin);

        RTUTF16 *pwsz = nullptr;
        size_t cwc = 0;
        int const rc = RTStrToUtf16Ex(str.c_str(), RTSTR_MAX, &pwsz, 0, &cwc);
        RTUTF16 *pwszLimit = nullptr;
        EXPECT_EQ(RTStrToUtf16Ex(str.data(), str.size(), &pwszLimit, 0, nullptr), rc);
        if (RT_SUCCESS(rc))
        {
            ASSERT_TRUE(fWinOk) << "we accept what the platform refuses";
            EXPECT_TRUE(wstrWin == pwsz && wstrWin == pwszLimit && cwc == wstrWin.size());
            cBothAccept++;
        }
        else if (fWinOk)
        {
            EXPECT_EQ(rc, ERR_INVALID_CODE_POINT) << "we refuse what the platform accepts";
            EXPECT_TRUE(HasNonCharacter(wstrWin));
            cNonCharacter++;
        }
        else
            cBothRefuse++;
        RTMemFree(pwsz);
        RTMemFree(pwszLimit);

        /* Validation: the platform's verdict, but for the noncharacters it
           accepts and the historic forms it refuses. */
        int const rcValidate = RTStrValidateUtf8(str.c_str(), RTSTR_MAX, 0);
        if (fWinOk && !HasNonCharacter(wstrWin))
        {
            EXPECT_EQ(rcValidate, SUCCESS);
        }
        if (RT_SUCCESS(rcValidate) && !fWinOk)
        {
            EXPECT_EQ(rc, ERR_CODE_POINT_TOO_LARGE);
            cHistoric++;
        }
    }
    /* Every verdict occurs often enough to mean something. */
    EXPECT_GE(cBothAccept, 2000u);
    EXPECT_GE(cBothRefuse, 2000u);
    EXPECT_GE(cNonCharacter, 50u);
    EXPECT_GE(cHistoric, 50u);
}

enum Utf16Class
{
    kU16Ascii,
    kU16TwoByte,
    kU16ThreeByte,
    kU16Pair,
    kU16LoneHigh,
    kU16LoneLow,
    kU16NonCharacter,
    kUtf16Classes
};
constexpr int kValidUtf16Classes = kU16Pair + 1;

TEST(Utf16Differential, AgainstWideCharToMultiByte)
{
    Rng R;
    unsigned acClassHits[kUtf16Classes] = {};
    unsigned cBothAccept = 0, cBothRefuse = 0, cNonCharacter = 0, cHighAtEnd = 0;
    for (size_t i = 0; i < 10000; i++)
    {
        bool const fValidOnly = R.next() & 1;
        size_t const cSeqs = R.range(0, 19) == 0 ? R.range(40, 200) : R.range(1, 12);
        std::u16string wstr;
        for (size_t iSeq = 0; iSeq < cSeqs; iSeq++)
        {
            int const iClass = (int)R.range(0, fValidOnly ? kValidUtf16Classes - 1 : kUtf16Classes - 1);
            acClassHits[iClass]++;
            switch (iClass)
            {
                case kU16Ascii: wstr += (char16_t)R.range(1, 0x7F); break;
                case kU16TwoByte: wstr += (char16_t)R.range(0x80, 0x7FF); break;
                case kU16ThreeByte: {
                    uint32_t wc = R.range(0x800, 0xFFFD - 0x800);
                    wstr += (char16_t)(wc >= 0xD800 ? wc + 0x800 : wc);
                    break;
                }
                case kU16Pair: wstr += {(char16_t)R.range(0xD800, 0xDBFF), (char16_t)R.range(0xDC00, 0xDFFF)}; break;
                case kU16LoneHigh: wstr += (char16_t)R.range(0xD800, 0xDBFF); break;
                case kU16LoneLow: wstr += (char16_t)R.range(0xDC00, 0xDFFF); break;
                default: wstr += (char16_t)R.range(0xFFFE, 0xFFFF); break;
            }
        }
        /* A high surrogate as the last unit, within the limit. */
        if (!fValidOnly && R.range(0, 9) == 0)
        {
            wstr += (char16_t)R.range(0xD800, 0xDBFF);
            cHighAtEnd++;
        }

        std::string strWin;
        bool const fWinOk = WinUtf16ToUtf8(wstr, &strWin);
        char *psz = nullptr;
        size_t cch = 0;
        int const rc = RTUtf16ToUtf8Ex(wstr.c_str(), RTSTR_MAX, &psz, 0, &cch);
        char *pszLimit = nullptr;
        EXPECT_EQ(RTUtf16ToUtf8Ex(wstr.data(), wstr.size(), &pszLimit, 0, nullptr), rc);
        if (RT_SUCCESS(rc))
        {
            ASSERT_TRUE(fWinOk) << "we accept what the platform refuses, string " << i;
            EXPECT_TRUE(strWin == psz && strWin == pszLimit && cch == strWin.size()) << "string " << i;
            cBothAccept++;
        }
        else if (fWinOk)
        {
            EXPECT_EQ(rc, ERR_INVALID_CODE_POINT) << "string " << i;
            EXPECT_TRUE(HasNonCharacter(wstr)) << "string " << i;
            cNonCharacter++;
        }
        else
        {
            /* The first fault decides: a lone surrogate, or a noncharacter
               before it. */
            EXPECT_TRUE(rc == ERR_INVALID_UTF16_ENCODING || (rc == ERR_INVALID_CODE_POINT && HasNonCharacter(wstr)))
                << "string " << i << ": " << rc;
            cBothRefuse++;
        }
        RTStrFree(psz);
        RTStrFree(pszLimit);
    }
    for (int iClass = 0; iClass < kUtf16Classes; iClass++)
        EXPECT_GE(acClassHits[iClass], 1000u) << "class " << iClass;
    EXPECT_GE(cHighAtEnd, 200u);
    EXPECT_GE(cBothAccept, 2000u);
    EXPECT_GE(cBothRefuse, 2000u);
    EXPECT_GE(cNonCharacter, 50u);
}

TEST(AnsiCodePageDifferential, AgainstWideCharToMultiByte)
{
    /* Valid text from the corpus: our result must be the platform's own
       conversion to the current ANSI code page. */
    unsigned acClassHits[kUtf8Classes] = {};
    std::vector<std::string> const aStrings = GenUtf8Corpus(2000, acClassHits);
    unsigned cCompared = 0;
    for (const std::string &str : aStrings)
    {
        std::u16string wstr;
        if (!WinUtf8ToUtf16(str, &wstr) || HasNonCharacter(wstr) ||
            RT_FAILURE(RTStrValidateUtf8(str.c_str(), RTSTR_MAX, 0)))
            continue;
        std::string strWin;
        if (GetACP() == CP_UTF8)
            strWin = str;
        else
        {
            int const cb =
                WideCharToMultiByte(CP_ACP, 0, (const wchar_t *)wstr.c_str(), -1, nullptr, 0, nullptr, nullptr);
            ASSERT_GT(cb, 0);
            strWin.resize((size_t)cb);
            ASSERT_EQ(
                WideCharToMultiByte(CP_ACP, 0, (const wchar_t *)wstr.c_str(), -1, &strWin[0], cb, nullptr, nullptr),
                cb);
            strWin.resize((size_t)cb - 1);
        }
        char *psz = nullptr;
        ASSERT_EQ(RTStrToAnsiCodePage(&psz, str.c_str()), SUCCESS) << Hex(str);
        EXPECT_EQ(std::string(psz), strWin) << Hex(str);
        RTStrFree(psz);
        cCompared++;
    }
    EXPECT_GE(cCompared, 500u);
}
} // namespace
