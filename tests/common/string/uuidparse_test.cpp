/* UUID text parser. */
#include <zolt/err.h>
#include <zolt/uuid.h>

#include <gtest/gtest.h>

namespace
{

TEST(UuidParse, FieldsAndByteOrder)
{
    static const uint8_t s_abNode[8] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    for (const char *psz : {"00112233-4455-6677-8899-aabbccddeeff", "{00112233-4455-6677-8899-AABBCCDDEEFF}"})
    {
        RTUUID Uuid;
        memset(&Uuid, 0, sizeof(Uuid));
        ASSERT_EQ(RTUuidParse(&Uuid, psz), SUCCESS) << psz;
        EXPECT_EQ(Uuid.Gen.u32TimeLow, 0x00112233u) << psz;
        EXPECT_EQ(Uuid.Gen.u16TimeMid, 0x4455) << psz;
        EXPECT_EQ(Uuid.Gen.u16TimeHiAndVersion, 0x6677) << psz;
        EXPECT_EQ(memcmp(&Uuid.au8[8], s_abNode, 8), 0) << psz;
    }
}

TEST(UuidParse, Refused)
{
    static const char *const s_apsz[] = {
        "00112233-4455-6677-8899-aabbccddeeff ",   " 00112233-4455-6677-8899-aabbccddeeff",
        "{00112233-4455-6677-8899-aabbccddeeff",   "00112233-4455-6677-8899-aabbccddeeff}",
        "{00112233-4455-6677-8899-aabbccddeeff}x", "00112233-4455-6677-8899-aabbccddeef",
        "00112233-4455-6677-8899-aabbccddeefff",   "0011223-34455-6677-8899-aabbccddeeff",
        "00112233-4455-6677-8899_aabbccddeeff",    "00112233-4455-6677-8899-aabbccddeefg",
        "001122334455667788990aabbccddeeff",       "",
    };
    for (const char *psz : s_apsz)
    {
        RTUUID Uuid;
        EXPECT_EQ(RTUuidParse(&Uuid, psz), ERR_INVALID_UUID_FORMAT) << '"' << psz << '"';
    }
    RTUUID Uuid;
    EXPECT_EQ(RTUuidParse(&Uuid, nullptr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTUuidParse(nullptr, "00112233-4455-6677-8899-aabbccddeeff"), ERR_INVALID_PARAMETER);
}

} // namespace
