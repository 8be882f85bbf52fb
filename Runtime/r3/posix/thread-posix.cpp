/** @file
 * Threads, POSIX host backend: pthreads, a pthread key as the per-thread
 * slot, and the Linux thread id as the registry key.
 *
 * Threads are detached: the exit event, not pthread_join, tells a waiter
 * that a thread is done, so nobody would join them. Thread types keep
 * every thread at the process's priority: an unprivileged Linux thread can
 * lower its nice value but never raise it again, and a lowered thread
 * would only slow down the waits the types are meant to speed up.
 */
#include <zolt/assert.h>
#include <zolt/err.h>
#include <zolt/thread.h>

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>
#include <x86intrin.h>

#include "internal/thread.h"

/** The per-thread slot holding each thread's record. */
static pthread_key_t g_rtThreadSelfKey;
/** Whether g_rtThreadSelfKey exists. Atomic. */
static bool g_frtThreadSelfKey = false;

int rtThreadNativeInit(void)
{
    if (pthread_key_create(&g_rtThreadSelfKey, nullptr) != 0)
        return ERR_NO_TLS;
    rtAtomic(g_frtThreadSelfKey).store(true, std::memory_order_release);
    return 0;
}

void rtThreadNativeTerm(void)
{
    rtAtomic(g_frtThreadSelfKey).store(false);
    pthread_key_delete(g_rtThreadSelfKey);
}

int rtThreadNativeSetSelf(PRTTHREADINT pThread)
{
    if (!rtAtomic(g_frtThreadSelfKey).load(std::memory_order_acquire) ||
        pthread_setspecific(g_rtThreadSelfKey, pThread) != 0)
        return ERR_TLS_SET_FAILED;
    return 0;
}

PRTTHREADINT rtThreadNativeGetSelf(void)
{
    if (!rtAtomic(g_frtThreadSelfKey).load(std::memory_order_acquire))
        return nullptr;
    return (PRTTHREADINT)pthread_getspecific(g_rtThreadSelfKey);
}

uint32_t rtThreadNativeSelfKey(void)
{
    return (uint32_t)gettid();
}

constinit thread_local char g_rtThreadNativeSelfTag = 0;

RTDECL(RTNATIVETHREAD) RTThreadNativeSelf(void)
{
    return rtThreadNativeSelfInline();
}

void rtThreadNativeAnnounceName(PRTTHREADINT pThread)
{
    /* Shows in /proc, ps and debuggers; the kernel takes 15 bytes too. */
    pthread_setname_np(pthread_self(), pThread->szThreadName);
}

void rtThreadNativeSetPriority(RTTHREADTYPE enmType)
{
    (void)enmType; /* see the file comment */
}

static void *rtThreadNativeMain(void *pvThread)
{
    PRTTHREADINT pThread = (PRTTHREADINT)pvThread;
    if (RT_FAILURE(rtThreadNativeSetSelf(pThread)))
    {
        /* Without its record the thread cannot take part in any wait. */
        int iErr = errno;
        RTAssertReport1("rc == 0", __LINE__, __FILE__, __PRETTY_FUNCTION__);
        RTAssertReport2("failed to set self TLS. lasterr=%d thread '%s'\n", iErr, pThread->szThreadName);
        RT_BREAKPOINT();
        __builtin_trap();
    }
    rtThreadNativeAnnounceName(pThread);
    rtThreadMain(pThread, rtThreadNativeSelfKey());
    (void)rtThreadNativeSetSelf(nullptr); /* the slot was settable a moment ago */
    return nullptr;
}

int rtThreadNativeCreate(PRTTHREADINT pThread, uint32_t *puKey)
{
    pthread_attr_t Attr;
    int iErr = pthread_attr_init(&Attr);
    if (iErr != 0)
        return RTErrConvertFromErrno(iErr);
    iErr = pthread_attr_setdetachstate(&Attr, PTHREAD_CREATE_DETACHED);
    if (iErr == 0 && pThread->cbStackSize != 0)
    {
        /* Windows rounds small stacks up; so do we, instead of failing. */
        size_t cbStack = pThread->cbStackSize;
        if (cbStack < (size_t)PTHREAD_STACK_MIN)
            cbStack = PTHREAD_STACK_MIN;
        iErr = pthread_attr_setstacksize(&Attr, cbStack);
    }
    pthread_t hThread;
    if (iErr == 0)
        iErr = pthread_create(&hThread, &Attr, rtThreadNativeMain, pThread);
    pthread_attr_destroy(&Attr);
    if (iErr != 0)
        return RTErrConvertFromErrno(iErr);
    /* The new thread may already be done with the record; hNative is only
       read when the record is destroyed, after the creator's reference. */
    pThread->hNative = (RTNATIVETHREADHANDLE)hThread;
    *puKey = 0; /* the kernel's thread id is only known on the thread */
    return 0;
}

bool rtThreadNativeIsDead(PRTTHREADINT pThread)
{
    (void)pThread; /* a detached thread cannot be asked */
    return false;
}

void rtThreadNativeClose(PRTTHREADINT pThread)
{
    /* Detached: nothing to release. */
    pThread->hNative = NIL_RTNATIVETHREADHANDLE;
}

RTDECL(int) RTThreadSleepMs(RTMSINTERVAL cMillies)
{
    if (cMillies == 0)
    {
        sched_yield();
        return 0;
    }
    struct timespec Left = {(time_t)(cMillies / 1000), (long)(cMillies % 1000) * 1000000};
    while (nanosleep(&Left, &Left) != 0 && errno == EINTR)
    {
    }
    return 0;
}

RTDECL(bool) RTThreadYieldNow(void)
{
    uint64_t uStart = __rdtsc();
    sched_yield();
    uint64_t cTicks = __rdtsc() - uStart;
    return cTicks > 1500;
}
