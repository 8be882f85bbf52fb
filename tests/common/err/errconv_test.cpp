/* Platform error conversion: the Win32 and NT status tables, errno. */
#include <zolt/err.h>

#include <errno.h>
#include <gtest/gtest.h>

namespace
{
struct ConvCase
{
    uint32_t uValue;
    int rcExpected;
};

TEST(ErrConvertFromWin32, Table)
{
    static const ConvCase s_aCases[] = {
        {0, SUCCESS},
        {2, ERR_FILE_NOT_FOUND},
        {183, ERR_ALREADY_EXISTS},
        {80, ERR_ALREADY_EXISTS},
        {122, ERR_BUFFER_OVERFLOW},
        {10060, ERR_TIMEOUT},
        {258, ERR_TIMEOUT},
        {11001, ERR_NET_HOST_NOT_FOUND},
        {0xC000042C, ERR_PRIVILEGE_NOT_HELD},
        {740, ERR_ELEVATION_REQUIRED},
        {0x80090008, ERR_CRYPTO_BAD_ALGORITHM},
        /* Range rows: both ends and the middle. */
        {57, ERR_NET_IO_ERROR},
        {58, ERR_NET_IO_ERROR},
        {60, ERR_NET_IO_ERROR},
        {61, ERR_NET_PRINT_ERROR},
        {63, ERR_NET_PRINT_ERROR},
        {64, ERR_NET_HOST_NOT_FOUND},
        /* Unmapped, including values that sit between mapped ones. */
        {12345, ERR_UNMAPPED_PLATFORM_ERROR},
        {1813, ERR_UNMAPPED_PLATFORM_ERROR},
        {7, ERR_UNMAPPED_PLATFORM_ERROR},
        {9, ERR_UNMAPPED_PLATFORM_ERROR},
        {28, ERR_UNMAPPED_PLATFORM_ERROR},
        {0xFFFFFFFF, ERR_UNMAPPED_PLATFORM_ERROR},
    };
    for (const ConvCase &c : s_aCases)
        EXPECT_EQ(RTErrConvertFromWin32(c.uValue), c.rcExpected) << "win32 code " << c.uValue;
}

TEST(ErrConvertFromNtStatus, Table)
{
    static const ConvCase s_aCases[] = {
        {0, SUCCESS},
        {0xC0000034, ERR_FILE_NOT_FOUND},
        {0xC00000EF, ERR_INVALID_PARAMETER},
        {0xC00000F5, ERR_INVALID_PARAMETER},
        {0xC00000FA, ERR_INVALID_PARAMETER},
        {0xC00000FB, ERR_UNMAPPED_PLATFORM_ERROR},
        {0x00000101, ERR_INTERRUPTED},
        {0x000000C0, ERR_INTERRUPTED},
        {0x00000103, ERR_UNMAPPED_PLATFORM_ERROR},
        {0x80000006, ERR_NO_MORE_FILES},
        {0xC0000190, ERR_TRUST_FAILURE},
        {0xC0000428, ERR_IMAGE_HASH_INVALID},
        {0xC0000001, ERR_UNMAPPED_PLATFORM_ERROR},
    };
    for (const ConvCase &c : s_aCases)
        EXPECT_EQ(RTErrConvertFromNtStatus((int32_t)c.uValue), c.rcExpected) << std::hex << "NT status 0x" << c.uValue;
}

TEST(ErrConvertFromErrno, CommonValues)
{
    EXPECT_EQ(RTErrConvertFromErrno(0), SUCCESS);
    EXPECT_EQ(RTErrConvertFromErrno(ENOENT), ERR_FILE_NOT_FOUND);
    EXPECT_EQ(RTErrConvertFromErrno(EACCES), ERR_ACCESS_DENIED);
    EXPECT_EQ(RTErrConvertFromErrno(EEXIST), ERR_ALREADY_EXISTS);
    EXPECT_EQ(RTErrConvertFromErrno(ENOSPC), ERR_DISK_FULL);
    EXPECT_EQ(RTErrConvertFromErrno(ENOTEMPTY), ERR_DIR_NOT_EMPTY);
    EXPECT_EQ(RTErrConvertFromErrno(-12345), ERR_UNMAPPED_PLATFORM_ERROR);
}

TEST(StatusPredicates, SignDecides)
{
    EXPECT_TRUE(RT_SUCCESS(SUCCESS));
    EXPECT_TRUE(RT_SUCCESS(WRN_TRAILING_CHARS));
    EXPECT_TRUE(RT_SUCCESS_NP(INF_NOT_AN_OPTION));
    EXPECT_TRUE(RT_FAILURE(ERR_GENERAL_FAILURE));
    EXPECT_FALSE(RT_FAILURE(WRN_NUMBER_TOO_BIG));
}
} // namespace
