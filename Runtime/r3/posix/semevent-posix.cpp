/** @file
 * Host events, POSIX: a mutex and a monotonic condition variable that
 * mimic NT event semantics.
 *
 * An auto-reset event hands each set to one thread already waiting, if
 * there is one, and only otherwise stays set; so two quick sets release two
 * waiters, as on NT, instead of collapsing into one. A manual-reset event
 * releases every thread waiting at the moment it is set even if it is
 * reset before they run. The host cannot interrupt these waits: they never
 * return ERR_INTERRUPTED.
 */
#include <zolt/err.h>
#include <zolt/mem.h>

#include <errno.h>
#include <pthread.h>
#include <time.h>

#include "internal/semevent.h"

struct RTSEMHOSTEVENTINT
{
    pthread_mutex_t Mutex;
    pthread_cond_t Cond;
    bool fAutoReset;
    /** Set and not yet consumed by a wait. */
    bool fSignalled;
    /** Threads inside rtSemHostEventWait. */
    uint32_t cWaiters;
    /** Auto-reset: sets handed to waiting threads and not yet taken. */
    uint32_t cWakeUps;
    /** Manual-reset: counts the sets that found the event unset; a waiter
     *  that sees it change was released. */
    uint64_t uGeneration;
};

int rtSemHostEventCreate(RTSEMHOSTEVENT *phEvent, bool fAutoReset)
{
    RTSEMHOSTEVENT pThis = (RTSEMHOSTEVENT)RTMemAllocZero(sizeof(*pThis));
    if (!pThis)
        return ERR_NO_MEMORY;
    int iErr = pthread_mutex_init(&pThis->Mutex, NULL);
    if (iErr == 0)
    {
        pthread_condattr_t CondAttr;
        iErr = pthread_condattr_init(&CondAttr);
        if (iErr == 0)
        {
            /* Time-outs must not move with the wall clock. */
            iErr = pthread_condattr_setclock(&CondAttr, CLOCK_MONOTONIC);
            if (iErr == 0)
                iErr = pthread_cond_init(&pThis->Cond, &CondAttr);
            pthread_condattr_destroy(&CondAttr);
        }
        if (iErr == 0)
        {
            pThis->fAutoReset = fAutoReset;
            *phEvent = pThis;
            return 0;
        }
        pthread_mutex_destroy(&pThis->Mutex);
    }
    RTMemFree(pThis);
    return RTErrConvertFromErrno(iErr);
}

int rtSemHostEventSet(RTSEMHOSTEVENT pThis)
{
    pthread_mutex_lock(&pThis->Mutex);
    if (pThis->fAutoReset)
    {
        if (pThis->cWaiters > pThis->cWakeUps)
        {
            pThis->cWakeUps++;
            pthread_cond_signal(&pThis->Cond);
        }
        else
            pThis->fSignalled = true;
    }
    else if (!pThis->fSignalled)
    {
        pThis->fSignalled = true;
        pThis->uGeneration++;
        pthread_cond_broadcast(&pThis->Cond);
    }
    pthread_mutex_unlock(&pThis->Mutex);
    return 0;
}

int rtSemHostEventReset(RTSEMHOSTEVENT pThis)
{
    pthread_mutex_lock(&pThis->Mutex);
    pThis->fSignalled = false;
    pthread_mutex_unlock(&pThis->Mutex);
    return 0;
}

/** Takes a release meant for the caller, if there is one. Called with the
 *  mutex held by a thread counted in cWaiters. */
static bool rtSemHostEventTakeRelease(RTSEMHOSTEVENT pThis, uint64_t uGeneration)
{
    if (!pThis->fAutoReset)
        return pThis->uGeneration != uGeneration;
    if (pThis->cWakeUps == 0)
        return false;
    pThis->cWakeUps--;
    return true;
}

int rtSemHostEventWait(RTSEMHOSTEVENT pThis, uint64_t cNsTimeout)
{
    struct timespec Deadline;
    if (cNsTimeout != RTSEMHOST_WAIT_INDEFINITE)
    {
        clock_gettime(CLOCK_MONOTONIC, &Deadline);
        uint64_t cNs = (uint64_t)Deadline.tv_nsec + cNsTimeout % UINT64_C(1000000000);
        Deadline.tv_sec += (time_t)(cNsTimeout / UINT64_C(1000000000) + cNs / UINT64_C(1000000000));
        Deadline.tv_nsec = (long)(cNs % UINT64_C(1000000000));
    }

    pthread_mutex_lock(&pThis->Mutex);
    int rc = 0;
    if (pThis->fSignalled)
    {
        if (pThis->fAutoReset)
            pThis->fSignalled = false;
    }
    else if (cNsTimeout == 0)
        rc = ERR_TIMEOUT;
    else
    {
        uint64_t const uGeneration = pThis->uGeneration;
        pThis->cWaiters++;
        for (;;)
        {
            if (rtSemHostEventTakeRelease(pThis, uGeneration))
                break;
            int iErr = cNsTimeout == RTSEMHOST_WAIT_INDEFINITE
                           ? pthread_cond_wait(&pThis->Cond, &pThis->Mutex)
                           : pthread_cond_timedwait(&pThis->Cond, &pThis->Mutex, &Deadline);
            if (iErr == ETIMEDOUT)
            {
                if (!rtSemHostEventTakeRelease(pThis, uGeneration))
                    rc = ERR_TIMEOUT;
                break;
            }
            if (iErr != 0)
            {
                rc = ERR_INTERNAL_ERROR_4;
                break;
            }
        }
        pThis->cWaiters--;
    }
    pthread_mutex_unlock(&pThis->Mutex);
    return rc;
}

void rtSemHostEventClose(RTSEMHOSTEVENT pThis)
{
    pthread_cond_destroy(&pThis->Cond);
    pthread_mutex_destroy(&pThis->Mutex);
    RTMemFree(pThis);
}
