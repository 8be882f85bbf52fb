/* Calendar fields, ISO text and the clocks. */
#include <zolt/time.h>

#include <chrono>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <thread>
#include <time.h>

#include "internal/time.h"

namespace
{
std::string isoOf(int64_t iNs)
{
    RTTIMESPEC Spec = {iNs};
    RTTIMEREC Rec;
    EXPECT_EQ(RTTimeExplode(&Rec, &Spec), &Rec);
    char sz[64];
    const char *psz = RTTimeToIsoString(&Rec, sz, sizeof(sz));
    return psz ? psz : "(null)";
}

/* Days since 1970 to a civil date, by the era-based algorithm (a different
   method from the runtime's year table), as the oracle. */
void civilFromDays(int64_t z, int64_t *piYear, unsigned *piMonth, unsigned *piDay)
{
    z += 719468;
    int64_t const era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned const doe = (unsigned)(z - era * 146097);
    unsigned const yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned const doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned const mp = (5 * doy + 2) / 153;
    *piDay = doy - (153 * mp + 2) / 5 + 1;
    *piMonth = mp < 10 ? mp + 3 : mp - 9;
    *piYear = (int64_t)yoe + era * 400 + (*piMonth <= 2);
}

TEST(TimeExplode, KnownInstants)
{
    struct Case
    {
        int64_t iNs;
        const char *pszIso;
        unsigned uWeekDay, uYearDay;
        uint32_t fYear;
    };
    static const Case s_aCases[] = {
        {0, "1970-01-01T00:00:00.000000000Z", 3, 1, RTTIME_FLAGS_COMMON_YEAR},
        {-1, "1969-12-31T23:59:59.999999999Z", 2, 365, RTTIME_FLAGS_COMMON_YEAR},
        {INT64_C(951782400) * 1000000000, "2000-02-29T00:00:00.000000000Z", 1, 60, RTTIME_FLAGS_LEAP_YEAR},
        {INT64_C(1735689599) * 1000000000 + 7, "2024-12-31T23:59:59.000000007Z", 1, 366, RTTIME_FLAGS_LEAP_YEAR},
        {INT64_C(-2203891200) * 1000000000, "1900-03-01T00:00:00.000000000Z", 3, 60, RTTIME_FLAGS_COMMON_YEAR},
        {INT64_MAX, "2262-04-11T23:47:16.854775807Z", 4, 101, RTTIME_FLAGS_COMMON_YEAR},
        {INT64_MIN, "1677-09-21T00:12:43.145224192Z", 1, 264, RTTIME_FLAGS_COMMON_YEAR},
    };
    for (const Case &c : s_aCases)
    {
        RTTIMESPEC Spec = {c.iNs};
        RTTIMEREC Rec;
        memset(&Rec, 0xEE, sizeof(Rec));
        ASSERT_EQ(RTTimeExplode(&Rec, &Spec), &Rec) << c.pszIso;
        EXPECT_EQ(isoOf(c.iNs), c.pszIso);
        EXPECT_EQ(Rec.u8WeekDay, c.uWeekDay) << c.pszIso;
        EXPECT_EQ(Rec.u16YearDay, c.uYearDay) << c.pszIso;
        EXPECT_EQ(Rec.fFlags, RTTIME_FLAGS_TYPE_UTC | c.fYear) << c.pszIso;
        EXPECT_EQ(Rec.offUTC, 0) << c.pszIso;
    }
}

TEST(TimeExplode, AgreesWithCivilCalendarAcrossTheRange)
{
    /* Every day boundary region from 1678 to 2261, stepping by a prime so
       that all week days, month ends and leap days come up. */
    for (int64_t iDay = -106000; iDay < 106000; iDay += 97)
    {
        int64_t const iNs = iDay * 86400 * INT64_C(1000000000) + (iDay & 1 ? 86399999999999 : 0);
        RTTIMESPEC Spec = {iNs};
        RTTIMEREC Rec;
        ASSERT_EQ(RTTimeExplode(&Rec, &Spec), &Rec);
        int64_t iYear;
        unsigned uMonth, uDay;
        civilFromDays(iDay, &iYear, &uMonth, &uDay);
        ASSERT_EQ(Rec.i32Year, iYear) << "day " << iDay;
        ASSERT_EQ(Rec.u8Month, uMonth) << "day " << iDay;
        ASSERT_EQ(Rec.u8MonthDay, uDay) << "day " << iDay;
        ASSERT_EQ(Rec.u8WeekDay, (unsigned)(((iDay % 7) + 10) % 7)) << "day " << iDay;
        ASSERT_EQ(Rec.u8Hour, iDay & 1 ? 23u : 0u) << "day " << iDay;
    }
}

TEST(TimeExplode, InvalidPointers)
{
    RTTIMESPEC Spec = {0};
    RTTIMEREC Rec;
    EXPECT_EQ(RTTimeExplode(nullptr, &Spec), nullptr);
    EXPECT_EQ(RTTimeExplode(&Rec, nullptr), nullptr);
}

TEST(TimeToIsoString, TruncationGivesNull)
{
    RTTIMESPEC Spec = {0};
    RTTIMEREC Rec;
    RTTimeExplode(&Rec, &Spec);
    char sz[40];
    EXPECT_EQ(RTTimeToIsoString(&Rec, sz, 10), nullptr);
    EXPECT_EQ(RTTimeToIsoString(&Rec, sz, 30), nullptr) << "one byte short of the terminator";
    EXPECT_EQ(RTTimeToIsoString(&Rec, sz, 31), sz);
    EXPECT_STREQ(sz, "1970-01-01T00:00:00.000000000Z");
    EXPECT_EQ(RTTimeToIsoString(&Rec, nullptr, 40), nullptr);
}

TEST(TimeToIsoString, LocalTimeWithOffset)
{
    RTTIMESPEC Spec = {INT64_C(1714568523) * 1000000000 + 5};
    RTTIMEREC Rec;
    RTTimeExplode(&Rec, &Spec);
    Rec.fFlags = (Rec.fFlags & ~RTTIME_FLAGS_TYPE_MASK) | RTTIME_FLAGS_TYPE_LOCAL;
    struct Case
    {
        int32_t offUTC;
        const char *pszIso;
    };
    static const Case s_aCases[] = {
        {120, "2024-05-01T13:02:03.000000005+02:00"},
        {-90, "2024-05-01T13:02:03.000000005-01:30"},
        {0, "2024-05-01T13:02:03.000000005Z"},
    };
    for (const Case &c : s_aCases)
    {
        Rec.offUTC = c.offUTC;
        char sz[64];
        ASSERT_EQ(RTTimeToIsoString(&Rec, sz, sizeof(sz)), sz) << c.offUTC;
        EXPECT_STREQ(sz, c.pszIso);
        /* Cutting only the last digit of the offset must still be noticed. */
        EXPECT_EQ(RTTimeToIsoString(&Rec, sz, strlen(c.pszIso)), nullptr) << c.offUTC;
    }
}

TEST(TimeIsLeapYear, GregorianRule)
{
    EXPECT_TRUE(RTTimeIsLeapYear(2000));
    EXPECT_TRUE(RTTimeIsLeapYear(2024));
    EXPECT_TRUE(RTTimeIsLeapYear(1600));
    EXPECT_FALSE(RTTimeIsLeapYear(1900));
    EXPECT_FALSE(RTTimeIsLeapYear(2100));
    EXPECT_FALSE(RTTimeIsLeapYear(2023));
    EXPECT_TRUE(RTTimeIsLeapYear(0));
    EXPECT_TRUE(RTTimeIsLeapYear(-4));
}

TEST(TimeClocks, MonotonicAndWallClock)
{
    uint64_t uPrev = RTTimeNanoTS();
    for (int i = 0; i < 10000; i++)
    {
        uint64_t const u = RTTimeNanoTS();
        ASSERT_GE(u, uPrev);
        uPrev = u;
    }

    /* It does advance: a clock that stands still passes the loop above. */
    uint64_t const uBefore = RTTimeNanoTS();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(RTTimeNanoTS() - uBefore, UINT64_C(20000000));

    /* The wall clock agrees with the C library's to the second. */
    time_t const tBefore = time(nullptr);
    RTTIMESPEC Now;
    EXPECT_EQ(RTTimeNow(&Now), &Now);
    time_t const tAfter = time(nullptr);
    EXPECT_GE(Now.i64NanosecondsRelativeToUnixEpoch / 1000000000, (int64_t)tBefore - 1);
    EXPECT_LE(Now.i64NanosecondsRelativeToUnixEpoch / 1000000000, (int64_t)tAfter + 1);

    /* The program clocks count from the recorded start. */
    uint64_t const uSaved = g_u64rtProgramStartNanoTS;
    g_u64rtProgramStartNanoTS = RTTimeNanoTS() - UINT64_C(5) * 1000000000;
    EXPECT_GE(RTTimeProgramSecTS(), 5u);
    EXPECT_GE(RTTimeProgramMilliTS(), 5000u);
    EXPECT_GE(RTTimeProgramMicroTS(), 5000000u);
    EXPECT_LT(RTTimeProgramSecTS(), 60u);
    g_u64rtProgramStartNanoTS = uSaved;
}
} // namespace
