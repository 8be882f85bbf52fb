/** @file
 * Time internals: units and the conversion of Windows times.
 */
#ifndef ZOLT_INTERNAL_TIME_H
#define ZOLT_INTERNAL_TIME_H

#include <zolt/cdefs.h>

/** Nanoseconds per second. */
#define RT_NS_1SEC UINT64_C(1000000000)
/** Seconds between 1601-01-01 (the Windows FILETIME epoch) and 1970-01-01. */
#define RT_SEC_1601_TO_1970 INT64_C(11644473600)

/** The RTTimeNanoTS value at the first runtime initialisation, which
 *  records it; the program clocks (RTTimeProgramMilliTS and friends) count
 *  from it. Defined once, beside those clocks, so that a program using only
 *  the time functions does not pull in the initialisation. */
extern uint64_t g_u64rtProgramStartNanoTS;

/** Converts a Windows time (100-nanosecond units since 1601, FILETIME or
 *  LARGE_INTEGER) to nanoseconds since 1970. The epoch is moved first so
 *  that every time of the nanosecond range converts without overflow. */
inline int64_t rtTimeFromNtTime(int64_t i64NtTime)
{
    return (i64NtTime - RT_SEC_1601_TO_1970 * 10000000) * 100;
}

#endif /* ZOLT_INTERNAL_TIME_H */
