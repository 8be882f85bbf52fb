/* IPv4, IPv4 network and MAC address parsers. */
#include <zolt/err.h>
#include <zolt/net.h>

#include <gtest/gtest.h>

namespace
{

struct IPv4Case
{
    const char *psz;
    int rc;
    uint8_t ab[4];
};

TEST(NetParseIPv4, Table)
{
    static const IPv4Case s_aCases[] = {
        {"10.1.2.3", SUCCESS, {10, 1, 2, 3}},      {" \t10.1.2.255 \t", SUCCESS, {10, 1, 2, 255}},
        {"0.0.0.0", SUCCESS, {0, 0, 0, 0}},        {"010.1.2.3", SUCCESS, {10, 1, 2, 3}},
        {"10.1.2.256", ERR_INVALID_PARAMETER, {}}, {"10.1.2", ERR_INVALID_PARAMETER, {}},
        {"10.1.2.", ERR_INVALID_PARAMETER, {}},    {"10.1..3", ERR_INVALID_PARAMETER, {}},
        {"10.1.2.3.4", ERR_INVALID_PARAMETER, {}}, {"10.1.2.3x", ERR_INVALID_PARAMETER, {}},
        {"10.1.2.3\n", ERR_INVALID_PARAMETER, {}}, {"10 .1.2.3", ERR_INVALID_PARAMETER, {}},
        {"10. 1.2.3", ERR_INVALID_PARAMETER, {}},  {"+10.1.2.3", ERR_INVALID_PARAMETER, {}},
        {"10.-1.2.3", ERR_INVALID_PARAMETER, {}},  {"0x10.1.2.3", ERR_INVALID_PARAMETER, {}},
        {"", ERR_INVALID_PARAMETER, {}},
    };
    for (const IPv4Case &c : s_aCases)
    {
        RTNETADDRIPV4 Addr;
        Addr.u = 0;
        ASSERT_EQ(RTNetParseIPv4(c.psz, &Addr), c.rc) << '"' << c.psz << '"';
        if (c.rc == SUCCESS)
        {
            EXPECT_EQ(memcmp(Addr.au8, c.ab, 4), 0) << '"' << c.psz << '"';
        }
    }
    RTNETADDRIPV4 Addr;
    EXPECT_EQ(RTNetParseIPv4(nullptr, &Addr), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTNetParseIPv4("1.2.3.4", nullptr), ERR_INVALID_PARAMETER);
}

struct CidrCase
{
    const char *psz;
    int rc;
    uint32_t uAddr;
    uint32_t uMask;
};

TEST(NetParseIPv4Cidr, Table)
{
    static const CidrCase s_aCases[] = {
        {"10/8", SUCCESS, 0x0A000000, 0xFF000000},
        {"10.0/8", SUCCESS, 0x0A000000, 0xFF000000},
        {"10.0.0.0/8", SUCCESS, 0x0A000000, 0xFF000000},
        {"10.1/8", ERR_INVALID_PARAMETER, 0, 0},
        {"10.1/16", SUCCESS, 0x0A010000, 0xFFFF0000},
        {"10.1/17", ERR_INVALID_PARAMETER, 0, 0},
        {"10.1.128/17", SUCCESS, 0x0A018000, 0xFFFF8000},
        {"0.0.0.0/0", SUCCESS, 0, 0},
        {"0/0", SUCCESS, 0, 0},
        {"0.0.0.0", ERR_INVALID_PARAMETER, 0, 0},
        {"0.0.0.0/32", ERR_INVALID_PARAMETER, 0, 0},
        {"0.1.0.0/16", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.0/24", SUCCESS, 0xC0A80100, 0xFFFFFF00},
        {"192.168.1.7", SUCCESS, 0xC0A80107, 0xFFFFFFFF},
        {"192.168.1.7/32", SUCCESS, 0xC0A80107, 0xFFFFFFFF},
        {"192.168.1.7/33", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.7/", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.7/24 ", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.7 ", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.0/+24", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.256.0/24", ERR_INVALID_PARAMETER, 0, 0},
        {"192.168.1.0.0/24", ERR_INVALID_PARAMETER, 0, 0},
        {"1.2.3.4/32x", ERR_INVALID_PARAMETER, 0, 0},
        {"", ERR_INVALID_PARAMETER, 0, 0},
    };
    for (const CidrCase &c : s_aCases)
    {
        uint32_t uAddr = 0, uMask = 0;
        ASSERT_EQ(RTNetParseIPv4Cidr(c.psz, &uAddr, &uMask), c.rc) << '"' << c.psz << '"';
        if (c.rc == SUCCESS)
        {
            EXPECT_EQ(uAddr, c.uAddr) << '"' << c.psz << '"';
            EXPECT_EQ(uMask, c.uMask) << '"' << c.psz << '"';
        }
    }
}

struct MacCase
{
    const char *psz;
    int rc;
    uint8_t ab[6];
};

TEST(NetParseMac, Table)
{
    static const MacCase s_aCases[] = {
        {"001122aabbcc", SUCCESS, {0x00, 0x11, 0x22, 0xaa, 0xbb, 0xcc}},
        {"001122AABBCC \r\n", SUCCESS, {0x00, 0x11, 0x22, 0xaa, 0xbb, 0xcc}},
        {"00:11:22:aa:bb:cc", SUCCESS, {0x00, 0x11, 0x22, 0xaa, 0xbb, 0xcc}},
        {"0:11::aa:bb:c", SUCCESS, {0x00, 0x11, 0x00, 0xaa, 0xbb, 0x0c}},
        {"\t1:::::2\n", SUCCESS, {1, 0, 0, 0, 0, 2}},
        {"001122aabbcc0", ERR_INVALID_PARAMETER, {}},
        {"001122aabbc", ERR_INVALID_PARAMETER, {}},
        {" 001122aabbcc", ERR_INVALID_PARAMETER, {}},
        {":11:22:aa:bb:cc", ERR_INVALID_PARAMETER, {}},
        {"00:11:22:aa:bb:", ERR_INVALID_PARAMETER, {}},
        {"00:11:22:aa:bb", ERR_INVALID_PARAMETER, {}},
        {"00:11:22:aa:bb:cc:dd", ERR_INVALID_PARAMETER, {}},
        {"00:11:22:aa:bb:cc x", ERR_INVALID_PARAMETER, {}},
        {"100:11:22:aa:bb:cc", ERR_INVALID_PARAMETER, {}},
        {"00:-1:22:aa:bb:cc", ERR_INVALID_PARAMETER, {}},
        {"00:11:22:aa:bb:cg", ERR_INVALID_PARAMETER, {}},
        {"", ERR_INVALID_PARAMETER, {}},
    };
    for (const MacCase &c : s_aCases)
    {
        RTMAC Mac;
        memset(&Mac, 0x5a, sizeof(Mac));
        ASSERT_EQ(RTNetParseMac(c.psz, &Mac), c.rc) << '"' << c.psz << '"';
        if (c.rc == SUCCESS)
        {
            EXPECT_EQ(memcmp(Mac.au8, c.ab, 6), 0) << '"' << c.psz << '"';
        }
    }
}

} // namespace
