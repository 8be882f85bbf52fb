/* The status table and the status conversions: the generated table's
   invariants, the lookup, the packed text expansion, and "%Rr."/"%Rw.". */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <gtest/gtest.h>
#include <set>
#include <string.h>

#include "common/string/fmtcapture.h"
#include "internal/errtable.h"

namespace
{

std::string expand(const RTErrPackedText *pStore, uint32_t off, uint32_t cb, FmtCapture *pCapture = nullptr)
{
    FmtCapture Local;
    FmtCapture &Capture = pCapture ? *pCapture : Local;
    size_t cch = rtErrExpandPacked(pStore, off, cb, FmtCapture::output, &Capture);
    EXPECT_EQ(cch, Capture.strText.size());
    return Capture.strText;
}

/* The generated table: sorted, unique, every entry found where it is, names
   and messages inside the store and sensible once expanded. */
TEST(ErrTable, Invariants)
{
    ASSERT_GT(g_cRTErrStatusEntries, 100u);
    EXPECT_EQ(g_RTErrPackedText.cDict, 256u);
    std::set<std::string> setNames;
    for (uint32_t i = 0; i < g_cRTErrStatusEntries; i++)
    {
        RTErrStatusEntry uEntry = g_aRTErrStatusEntries[i];
        int rc = rtErrEntryCode(uEntry);
        if (i > 0)
        {
            EXPECT_LT(rtErrEntryCode(g_aRTErrStatusEntries[i - 1]), rc) << i;
        }
        EXPECT_EQ(RTErrFind(rc), (int)i) << rc;

        std::string strName = expand(&g_RTErrPackedText, rtErrEntryNameOff(uEntry), rtErrEntryNameLen(uEntry));
        std::string strMsg = expand(&g_RTErrPackedText, rtErrEntryMsgOff(uEntry), rtErrEntryMsgLen(uEntry));
        const char *pszPrefix = rc < 0 ? "ERR_" : rc > 0 ? "" : "SUCCESS";
        EXPECT_EQ(strName.compare(0, strlen(pszPrefix), pszPrefix), 0) << rc << " " << strName;
        if (rc > 0)
        {
            EXPECT_TRUE(strName.compare(0, 4, "WRN_") == 0 || strName.compare(0, 4, "INF_") == 0) << strName;
        }
        EXPECT_TRUE(setNames.insert(strName).second) << strName;
        EXPECT_GT(strMsg.size(), 10u) << strName;
        EXPECT_TRUE(isupper((unsigned char)strMsg[0]) && strMsg.back() != '.') << strName << ": " << strMsg;
    }
}

TEST(ErrTable, Find)
{
    EXPECT_GE(RTErrFind(SUCCESS), 0);
    EXPECT_GE(RTErrFind(ERR_CRYPTO_BAD_ALGORITHM), 0);
    EXPECT_GE(RTErrFind(INF_LOG_NO_LOGGER), 0);
    EXPECT_EQ(RTErrFind(30000), -1);
    EXPECT_EQ(RTErrFind(-5), -1);
    /* Codes outside 16 bits must not alias a code of the table. */
    EXPECT_EQ(RTErrFind(ERR_FILE_NOT_FOUND - 65536), -1);
    EXPECT_EQ(RTErrFind(SUCCESS + 65536), -1);

    static const RTErrStatusEntry s_aOne[] = {(RTErrStatusEntry)(uint16_t)-7 << 48};
    EXPECT_EQ(rtErrFindIn(s_aOne, 1, -7), 0);
    EXPECT_EQ(rtErrFindIn(s_aOne, 1, -8), -1);
    EXPECT_EQ(rtErrFindIn(s_aOne, 1, 3), -1);
    EXPECT_EQ(rtErrFindIn(s_aOne, 0, -7), -1);
}

TEST(ErrTable, Conversions)
{
    const FmtCase aCases[] = {
        {"%Rrc 0", "SUCCESS", fmt("%Rrc", 0)},
        {"%Rrc", "ERR_FILE_NOT_FOUND", fmt("%Rrc", ERR_FILE_NOT_FOUND)},
        {"%Rrc unknown", "30000", fmt("%Rrc", 30000)},
        {"%Rrc unknown negative", "-12345", fmt("%Rrc", -12345)},
        {"%Rrs", "The file was not found", fmt("%Rrs", ERR_FILE_NOT_FOUND)},
        {"%Rrf", "The file was not found", fmt("%Rrf", ERR_FILE_NOT_FOUND)},
        {"%Rra", "ERR_FILE_NOT_FOUND (-102) - The file was not found", fmt("%Rra", ERR_FILE_NOT_FOUND)},
        {"%Rra unknown", "Unknown Status 30000 (0x7530)", fmt("%Rra", 30000)},
        {"%Rrs unknown", "Unknown Status -12345 (0xffffcfc7)", fmt("%Rrs", -12345)},
        {"%Rrz consumes its status", "|7", fmt("%Rrz|%d", 1, 7)},
        {"%Rr at the end", "a", fmt("a%Rr", 1)},
        {"%Rwc 0", "ERROR_SUCCESS", fmt("%Rwc", 0)},
        {"%Rwc", "0x5", fmt("%Rwc", 5)},
        {"%Rwf", "0x5", fmt("%Rwf", 5)},
        {"%Rwc HRESULT", "ERROR_SUCCESS/0x80070000", fmt("%Rwc", 0x80070000u)},
        {"%Rwa HRESULT", "ERROR_SUCCESS (0x80070000)", fmt("%Rwa", 0x80070000u)},
        {"%Rwa 0", "ERROR_SUCCESS (0x0)", fmt("%Rwa", 0)},
        {"%Rwa", "Unknown Status 0x5", fmt("%Rwa", 5)},
        {"%Rwa other facility", "Unknown Status 0x80080000", fmt("%Rwa", 0x80080000u)},
        {"%Rwq", "|7", fmt("%Rwq|%d", 5, 7)},
        {"%8Rrc ignores the width", "SUCCESS", fmt("%8Rrc", 0)},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

/* A work buffer too small for a number gives as much of it as fits. */
TEST(ErrTable, SmallWorkBuffer)
{
    char szBuf[3];
    FmtCapture Capture;
    EXPECT_EQ(RTErrFmtUnknown(-12345, FmtCapture::output, &Capture, szBuf, sizeof(szBuf)), 22u);
    EXPECT_EQ(Capture.strText, "Unknown Status -1 (0x)");
    FmtCapture Capture0;
    EXPECT_EQ(RTErrFmtName(30000, FmtCapture::output, &Capture0, szBuf, 0), 0u);
}

/* The expansion rules on hand-made stores. */
TEST(ErrTable, PackedExpansion)
{
    /* Bytes: the word "ab", then packed text. */
    static const uint8_t s_abStore[] = {'a',  'b', /* word */
                                        0x00, 'x', 0xff, 'Q', 0xff, 0xc3, 0xa9, 0xff, 0x80, 'y', 0x03, 'z'};
    static const uint32_t s_auDict[4] = {2u << 22 | 0, 'q', 0, 5u << 22 | 100};
    const RTErrPackedText Store = {s_abStore, sizeof(s_abStore), 4, s_auDict};
    FmtCapture Capture;
    /* Word, byte above the dictionary, escaped ASCII, escaped UTF-8, escaped
       non-UTF-8 ("?"), then a word outside the store stops it all. */
    EXPECT_EQ(expand(&Store, 2, 12, &Capture), "abxQ\xc3\xa9?y");
    /* The text goes out in one piece, not one per packed byte. */
    EXPECT_EQ(Capture.vecPieces, (std::vector<std::string>{"abxQ\xc3\xa9?y"}));
    /* Self entries stand for the byte itself. */
    EXPECT_EQ(expand(&Store, 0, 1), "a");
    /* An escape at the end of the span has nothing to escape. */
    EXPECT_EQ(expand(&Store, 2, 3), "abx");
    /* Spans outside the store output nothing. */
    EXPECT_EQ(expand(&Store, 10, 5), "");
    EXPECT_EQ(expand(&Store, UINT32_MAX, 2), "");

    /* Without a dictionary the span goes out as it is, in one piece. */
    const RTErrPackedText Plain = {s_abStore, sizeof(s_abStore), 0, nullptr};
    FmtCapture CapturePlain;
    EXPECT_EQ(expand(&Plain, 0, 2, &CapturePlain), "ab");
    EXPECT_EQ(CapturePlain.vecPieces, (std::vector<std::string>{"ab"}));

    /* With a full dictionary 255 is an ordinary entry, not an escape. */
    static uint32_t s_auFull[256];
    for (uint32_t i = 0; i < 256; i++)
        s_auFull[i] = i;
    s_auFull[0xff] = 2u << 22 | 0;
    const RTErrPackedText Full = {s_abStore, sizeof(s_abStore), 256, s_auFull};
    EXPECT_EQ(expand(&Full, 4, 2), "abQ");
}

} // namespace
