/** @file
 * Classification of Windows versions. Pure logic, so it is tested on every
 * host.
 */
#include "internal/winostype.h"

namespace
{

RTWinOsType rtWinClassify9x(uint32_t uMajor, uint32_t uMinor, uint32_t uBuild)
{
    uBuild &= 0xffff;
    if (uMajor != 4)
        return RTWINOSTYPE_UNKNOWN;
    switch (uMinor)
    {
        case 0:
            if (uBuild == 950)
                return RTWINOSTYPE_95;
            if (uBuild >= 951 && uBuild <= 1080)
                return RTWINOSTYPE_95SP1;
            return uBuild > 1080 ? RTWINOSTYPE_95OSR2 : RTWINOSTYPE_UNKNOWN;
        case 10:
            if (uBuild == 1998)
                return RTWINOSTYPE_98;
            if (uBuild >= 1999 && uBuild <= 2182)
                return RTWINOSTYPE_98SP1;
            return uBuild > 2182 ? RTWINOSTYPE_98SE : RTWINOSTYPE_UNKNOWN;
        case 90: return RTWINOSTYPE_ME;
        default: return RTWINOSTYPE_UNKNOWN;
    }
}

RTWinOsType rtWinClassifyNt(uint32_t uMajor, uint32_t uMinor, uint32_t uBuild, bool fServer)
{
    switch (uMajor)
    {
        case 3:
            if (uMinor < 50)
                return RTWINOSTYPE_NT310;
            return uMinor == 50 ? RTWINOSTYPE_NT350 : RTWINOSTYPE_NT351;
        case 4: return RTWINOSTYPE_NT4;
        case 5:
            if (uMinor == 0)
                return RTWINOSTYPE_2K;
            return uMinor == 1 ? RTWINOSTYPE_XP : RTWINOSTYPE_2003;
        case 6: {
            /* Workstation and server editions of each 6.x release. */
            static const RTWinOsType s_aenm6x[][2] = {
                {RTWINOSTYPE_VISTA, RTWINOSTYPE_2008}, {RTWINOSTYPE_7, RTWINOSTYPE_2008R2},
                {RTWINOSTYPE_8, RTWINOSTYPE_2012},     {RTWINOSTYPE_81, RTWINOSTYPE_2012R2},
                {RTWINOSTYPE_10, RTWINOSTYPE_2016},
            };
            if (uMinor < RT_ELEMENTS(s_aenm6x))
                return s_aenm6x[uMinor][fServer];
            return RTWINOSTYPE_NT_UNKNOWN;
        }
        case 10:
            if (uMinor != 0)
                return RTWINOSTYPE_NT_UNKNOWN;
            if (!fServer)
                return uBuild < 22000 ? RTWINOSTYPE_10 : RTWINOSTYPE_11;
            if (uBuild <= 17762)
                return RTWINOSTYPE_2016;
            return uBuild < 20348 ? RTWINOSTYPE_2019 : RTWINOSTYPE_2022;
        default: return RTWINOSTYPE_NT_UNKNOWN;
    }
}

} // namespace

RTWinOsType rtWinClassifyOsVersion(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                                   uint8_t bProductType)
{
    switch (uPlatform)
    {
        case RTWINPLATFORM_WIN9X: return rtWinClassify9x(uMajor, uMinor, uBuild);
        case RTWINPLATFORM_NT: return rtWinClassifyNt(uMajor, uMinor, uBuild, bProductType != RTWINPRODUCT_WORKSTATION);
        default: return RTWINOSTYPE_UNKNOWN;
    }
}
