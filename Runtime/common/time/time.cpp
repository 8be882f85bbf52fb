/** @file
 * Time: calendar fields, ISO 8601 text and the program clock. Host
 * independent; the clocks themselves live in the host backends.
 */
#include "internal/time.h"

#include <zolt/strformat.h>
#include <zolt/time.h>

/* Recorded by the first runtime initialisation. */
uint64_t g_u64rtProgramStartNanoTS;

RTDECL(uint64_t) RTTimeProgramMicroTS(void)
{
    return (RTTimeNanoTS() - g_u64rtProgramStartNanoTS) / 1000;
}

RTDECL(uint64_t) RTTimeProgramMilliTS(void)
{
    return (RTTimeNanoTS() - g_u64rtProgramStartNanoTS) / 1000000;
}

RTDECL(uint32_t) RTTimeProgramSecTS(void)
{
    return (uint32_t)((RTTimeNanoTS() - g_u64rtProgramStartNanoTS) / RT_NS_1SEC);
}

static constexpr bool rtTimeIsLeapYear(int32_t i32Year)
{
    return i32Year % 4 == 0 && (i32Year % 100 != 0 || i32Year % 400 == 0);
}

RTDECL(bool) RTTimeIsLeapYear(int32_t i32Year)
{
    return rtTimeIsLeapYear(i32Year);
}

/* The first year of the year table. The signed 64-bit nanosecond range
   spans 1677-09-21 to 2262-04-11, so 1670..2271 covers it with margin for
   the search to step on either side. */
static constexpr int32_t g_iRtTimeFirstYear = 1670;
static constexpr unsigned g_cRtTimeYears = 602;

struct RTTIMEYEARTABLE
{
    /** Day number (days since 1970-01-01) of January 1st of each year. */
    int32_t aiFirstDay[g_cRtTimeYears];
};

static constexpr RTTIMEYEARTABLE rtTimeBuildYearTable()
{
    RTTIMEYEARTABLE Table{};
    int32_t iDay = 0;
    for (int32_t iYear = 1970; iYear > g_iRtTimeFirstYear; iYear--)
        iDay -= rtTimeIsLeapYear(iYear - 1) ? 366 : 365;
    for (unsigned i = 0; i < g_cRtTimeYears; i++)
    {
        Table.aiFirstDay[i] = iDay;
        iDay += rtTimeIsLeapYear(g_iRtTimeFirstYear + (int32_t)i) ? 366 : 365;
    }
    return Table;
}

static constexpr RTTIMEYEARTABLE g_RtTimeYears = rtTimeBuildYearTable();
static_assert(g_RtTimeYears.aiFirstDay[300] == 0, "1970 must be day 0");

/* Day of the year (0-based) on which each month starts, common and leap
   years; the 13th entry ends December. */
static constexpr uint16_t g_aiRtTimeMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

/** Floor division with a non-negative remainder, so that times before 1970
 *  split the same way as those after it. */
static int64_t rtTimeFloorDiv(int64_t iValue, int64_t iDivisor, int64_t *piRemainder)
{
    int64_t iQuotient = iValue / iDivisor;
    int64_t iRemainder = iValue % iDivisor;
    if (iRemainder < 0)
    {
        iRemainder += iDivisor;
        iQuotient--;
    }
    *piRemainder = iRemainder;
    return iQuotient;
}

RTDECL(RTTIMEREC *) RTTimeExplode(RTTIMEREC *pTime, const RTTIMESPEC *pTimeSpec)
{
    if (!RT_VALID_PTR(pTime) || !RT_VALID_PTR(pTimeSpec))
        return nullptr;

    int64_t iRem;
    int64_t iValue = rtTimeFloorDiv(pTimeSpec->i64NanosecondsRelativeToUnixEpoch, (int64_t)RT_NS_1SEC, &iRem);
    pTime->u32Nanosecond = (uint32_t)iRem;
    iValue = rtTimeFloorDiv(iValue, 60, &iRem);
    pTime->u8Second = (uint8_t)iRem;
    iValue = rtTimeFloorDiv(iValue, 60, &iRem);
    pTime->u8Minute = (uint8_t)iRem;
    int64_t const iDay = rtTimeFloorDiv(iValue, 24, &iRem);
    pTime->u8Hour = (uint8_t)iRem;

    /* 1970-01-01 was a Thursday (3 with Monday as 0). */
    pTime->u8WeekDay = (uint8_t)((iDay % 7 + 10) % 7);

    /* The estimate is at most a year or two off; walk to the right entry. */
    int64_t i = iDay / 365 + (1970 - g_iRtTimeFirstYear);
    while (g_RtTimeYears.aiFirstDay[i] > iDay)
        i--;
    while (g_RtTimeYears.aiFirstDay[i + 1] <= iDay)
        i++;
    pTime->i32Year = g_iRtTimeFirstYear + (int32_t)i;
    unsigned const iYearDay = (unsigned)(iDay - g_RtTimeYears.aiFirstDay[i]);
    pTime->u16YearDay = (uint16_t)(iYearDay + 1);

    bool const fLeap = rtTimeIsLeapYear(pTime->i32Year);
    const uint16_t *paStart = g_aiRtTimeMonthStart[fLeap];
    unsigned iMonth = 0;
    while (paStart[iMonth + 1] <= iYearDay)
        iMonth++;
    pTime->u8Month = (uint8_t)(iMonth + 1);
    pTime->u8MonthDay = (uint8_t)(iYearDay - paStart[iMonth] + 1);

    pTime->fFlags = RTTIME_FLAGS_TYPE_UTC | (fLeap ? RTTIME_FLAGS_LEAP_YEAR : RTTIME_FLAGS_COMMON_YEAR);
    pTime->offUTC = 0;
    return pTime;
}

RTDECL(char *) RTTimeToIsoString(const RTTIMEREC *pTime, char *psz, size_t cb)
{
    if (!RT_VALID_PTR(pTime) || !RT_VALID_PTR(psz))
        return nullptr;

    /* The checked variant reports any truncation, including one that cuts
       the offset's last digit (which would still leave a digit last). */
    ptrdiff_t cch;
    if ((pTime->fFlags & RTTIME_FLAGS_TYPE_MASK) != RTTIME_FLAGS_TYPE_LOCAL || pTime->offUTC == 0)
        cch = RTStrPrintfChecked(psz, cb, "%RI32-%02u-%02uT%02u:%02u:%02u.%09RU32Z", pTime->i32Year, pTime->u8Month,
                                 pTime->u8MonthDay, pTime->u8Hour, pTime->u8Minute, pTime->u8Second,
                                 pTime->u32Nanosecond);
    else
    {
        int32_t const offAbs = pTime->offUTC < 0 ? -pTime->offUTC : pTime->offUTC;
        cch = RTStrPrintfChecked(psz, cb, "%RI32-%02u-%02uT%02u:%02u:%02u.%09RU32%c%02d:%02d", pTime->i32Year,
                                 pTime->u8Month, pTime->u8MonthDay, pTime->u8Hour, pTime->u8Minute, pTime->u8Second,
                                 pTime->u32Nanosecond, pTime->offUTC < 0 ? '-' : '+', offAbs / 60, offAbs % 60);
    }
    return cch >= 0 ? psz : nullptr;
}
