/** @file
 * Time: the monotonic clock, the wall clock, calendar fields and ISO 8601
 * text.
 *
 * Time values are signed 64-bit nanosecond counts; wall-clock values count
 * from 1970-01-01 00:00:00 UTC.
 */
#ifndef ZOLT_TIME_H
#define ZOLT_TIME_H

#include <zolt/cdefs.h>

/** A point in time or a time span: signed nanoseconds (wall-clock values
 *  count from 1970-01-01 00:00:00 UTC). */
typedef struct RTTIMESPEC
{
    int64_t i64NanosecondsRelativeToUnixEpoch;
} RTTIMESPEC;

/** Exploded time: calendar fields of a point in time. */
typedef struct RTTIMEREC
{
    int32_t i32Year;        /**< the year */
    uint8_t u8Month;        /**< 1-12 */
    uint8_t u8WeekDay;      /**< 0-6, 0 = Monday */
    uint16_t u16YearDay;    /**< 1-366 */
    uint8_t u8MonthDay;     /**< 1-31 */
    uint8_t u8Hour;         /**< 0-23 */
    uint8_t u8Minute;       /**< 0-59 */
    uint8_t u8Second;       /**< 0-59 */
    uint32_t u32Nanosecond; /**< 0-999999999 */
    uint32_t fFlags;        /**< RTTIME_FLAGS_* */
    int32_t offUTC;         /**< offset from UTC in minutes */
} RTTIMEREC;

/** @name RTTIMEREC flags.
 * @{ */
#define RTTIME_FLAGS_TYPE_MASK 0x3u  /**< the time type in bits 0-1 */
#define RTTIME_FLAGS_TYPE_UTC 0x2u   /**< UTC */
#define RTTIME_FLAGS_TYPE_LOCAL 0x3u /**< local time with an offset */
#define RTTIME_FLAGS_LEAP_YEAR 0x40u
#define RTTIME_FLAGS_COMMON_YEAR 0x80u
/** @} */

RT_C_DECLS_BEGIN

/** @returns monotonic nanoseconds (an arbitrary origin). */
RTDECL(uint64_t) RTTimeNanoTS(void);

/*
 * The program clocks count RTTimeNanoTS from the value that the first
 * RTR3Init recorded; before any initialisation they count from the clock's
 * origin.
 */

/** @returns microseconds since the runtime was initialised. */
RTDECL(uint64_t) RTTimeProgramMicroTS(void);

/** @returns milliseconds since the runtime was initialised. */
RTDECL(uint64_t) RTTimeProgramMilliTS(void);

/** @returns whole seconds since the runtime was initialised. */
RTDECL(uint32_t) RTTimeProgramSecTS(void);

/** Stores the wall clock (nanoseconds since 1970) in *pTime.
 *  @returns pTime. */
RTDECL(RTTIMESPEC *) RTTimeNow(RTTIMESPEC *pTime);

/**
 * Splits @a pTimeSpec into calendar fields in UTC (works before 1970 too);
 * the flags are UTC plus the leap-year or common-year bit, offset 0.
 * @returns pTime; null for an invalid pointer.
 */
RTDECL(RTTIMEREC *) RTTimeExplode(RTTIMEREC *pTime, const RTTIMESPEC *pTimeSpec);

/**
 * Writes @a pTime as ISO 8601 text ("2024-05-01T13:02:03.000000005Z", or
 * with "+hh:mm"/"-hh:mm" for local time with a non-zero offset) into
 * @a psz of @a cb bytes.
 * @returns psz; null when the text does not fit or a pointer is invalid.
 */
RTDECL(char *) RTTimeToIsoString(const RTTIMEREC *pTime, char *psz, size_t cb);

/** @returns true for a leap year of the Gregorian calendar. */
RTDECL(bool) RTTimeIsLeapYear(int32_t i32Year);

RT_C_DECLS_END

#endif /* ZOLT_TIME_H */
