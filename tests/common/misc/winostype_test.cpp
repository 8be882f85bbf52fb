/* Windows version classification, on every host. */
#include <gtest/gtest.h>

#include "internal/winostype.h"

namespace
{

TEST(WinOsType, Classification)
{
    const uint8_t W = RTWINPRODUCT_WORKSTATION, S = 3, DC = 2;
    struct
    {
        uint32_t uPlatform, uMajor, uMinor, uBuild;
        uint8_t bProductType;
        RTWinOsType enmExpected;
    } const s_aCases[] = {
        {0, 10, 0, 19045, W, RTWINOSTYPE_UNKNOWN},
        {3, 10, 0, 19045, W, RTWINOSTYPE_UNKNOWN},
        {1, 4, 0, 950, W, RTWINOSTYPE_95},
        {1, 4, 0, 0x04000000 | 950, W, RTWINOSTYPE_95}, /* 9x keeps the version in the high word */
        {1, 4, 0, 949, W, RTWINOSTYPE_UNKNOWN},
        {1, 4, 0, 951, W, RTWINOSTYPE_95SP1},
        {1, 4, 0, 1080, W, RTWINOSTYPE_95SP1},
        {1, 4, 0, 1081, W, RTWINOSTYPE_95OSR2},
        {1, 4, 10, 1998, W, RTWINOSTYPE_98},
        {1, 4, 10, 2182, W, RTWINOSTYPE_98SP1},
        {1, 4, 10, 2222, W, RTWINOSTYPE_98SE},
        {1, 4, 90, 3000, W, RTWINOSTYPE_ME},
        {1, 4, 20, 3000, W, RTWINOSTYPE_UNKNOWN},
        {1, 5, 0, 3000, W, RTWINOSTYPE_UNKNOWN},
        {2, 3, 10, 528, W, RTWINOSTYPE_NT310},
        {2, 3, 50, 807, W, RTWINOSTYPE_NT350},
        {2, 3, 51, 1057, W, RTWINOSTYPE_NT351},
        {2, 4, 0, 1381, S, RTWINOSTYPE_NT4},
        {2, 5, 0, 2195, W, RTWINOSTYPE_2K},
        {2, 5, 1, 2600, W, RTWINOSTYPE_XP},
        {2, 5, 2, 3790, S, RTWINOSTYPE_2003},
        {2, 6, 0, 6002, W, RTWINOSTYPE_VISTA},
        {2, 6, 0, 6002, DC, RTWINOSTYPE_2008},
        {2, 6, 1, 7601, W, RTWINOSTYPE_7},
        {2, 6, 1, 7601, S, RTWINOSTYPE_2008R2},
        {2, 6, 2, 9200, W, RTWINOSTYPE_8},
        {2, 6, 2, 9200, S, RTWINOSTYPE_2012},
        {2, 6, 3, 9600, W, RTWINOSTYPE_81},
        {2, 6, 3, 9600, S, RTWINOSTYPE_2012R2},
        {2, 6, 4, 9841, W, RTWINOSTYPE_10},
        {2, 6, 4, 9841, S, RTWINOSTYPE_2016},
        {2, 6, 5, 1, W, RTWINOSTYPE_NT_UNKNOWN},
        {2, 10, 0, 19045, W, RTWINOSTYPE_10},
        {2, 10, 0, 21999, W, RTWINOSTYPE_10},
        {2, 10, 0, 22000, W, RTWINOSTYPE_11},
        {2, 10, 0, 14393, S, RTWINOSTYPE_2016},
        {2, 10, 0, 17762, S, RTWINOSTYPE_2016},
        {2, 10, 0, 17763, S, RTWINOSTYPE_2019},
        {2, 10, 0, 20347, DC, RTWINOSTYPE_2019},
        {2, 10, 0, 20348, S, RTWINOSTYPE_2022},
        {2, 10, 1, 30000, W, RTWINOSTYPE_NT_UNKNOWN},
        {2, 11, 0, 30000, W, RTWINOSTYPE_NT_UNKNOWN},
        {2, 2, 0, 1, W, RTWINOSTYPE_NT_UNKNOWN},
    };
    for (auto const &Case : s_aCases)
        EXPECT_EQ(rtWinClassifyOsVersion(Case.uPlatform, Case.uMajor, Case.uMinor, Case.uBuild, Case.bProductType),
                  Case.enmExpected)
            << "platform " << Case.uPlatform << ", " << Case.uMajor << "." << Case.uMinor << " build " << Case.uBuild
            << " product " << (int)Case.bProductType;
}

} // namespace
