/** @file
 * Time, POSIX: the host's monotonic and real-time clocks.
 */
#include <zolt/time.h>

#include <time.h>

#include "internal/time.h"

RTDECL(uint64_t) RTTimeNanoTS(void)
{
    struct timespec Ts;
    clock_gettime(CLOCK_MONOTONIC, &Ts);
    return (uint64_t)Ts.tv_sec * RT_NS_1SEC + (uint64_t)Ts.tv_nsec;
}

RTDECL(RTTIMESPEC *) RTTimeNow(RTTIMESPEC *pTime)
{
    struct timespec Ts;
    clock_gettime(CLOCK_REALTIME, &Ts);
    pTime->i64NanosecondsRelativeToUnixEpoch = (int64_t)Ts.tv_sec * (int64_t)RT_NS_1SEC + Ts.tv_nsec;
    return pTime;
}
