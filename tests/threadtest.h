/* Test helpers for threads and locks: a runtime thread around a closure,
   and a bounded wait until a thread sleeps in a given blocking state. */
#ifndef ZOLT_TESTS_THREADTEST_H
#define ZOLT_TESTS_THREADTEST_H

#include <zolt/err.h>
#include <zolt/thread.h>

#include <functional>

#include "internal/thread.h"

/** Generous bound for anything a test waits for; reaching it is a failure
 *  (a hang), not a timing expectation. */
#define TST_WAIT_MS 60000u

/** A waitable runtime thread running a closure. */
class TstThread
{
  public:
    TstThread() = default;
    TstThread(const TstThread &) = delete;
    TstThread &operator=(const TstThread &) = delete;

    int start(std::function<int()> fn, const char *pszName = "tst", uint32_t fFlags = RTTHREADFLAGS_WAITABLE,
              RTTHREADTYPE enmType = RTTHREADTYPE_DEFAULT)
    {
        m_Fn = std::move(fn);
        return RTThreadCreate(&m_hThread, trampoline, this, 0, enmType, fFlags, pszName);
    }

    /** @returns the thread's result, or the failure of the wait. */
    int join(RTMSINTERVAL cMillies = TST_WAIT_MS)
    {
        int rcThread = ERR_GENERAL_FAILURE;
        int rc = RTThreadWaitForExit(m_hThread, cMillies, &rcThread);
        return RT_SUCCESS(rc) ? rcThread : rc;
    }

    RTTHREAD handle() const
    {
        return m_hThread;
    }

  private:
    static int trampoline(RTTHREAD hSelf, void *pvUser)
    {
        (void)hSelf;
        return ((TstThread *)pvUser)->m_Fn();
    }

    std::function<int()> m_Fn;
    RTTHREAD m_hThread = NIL_RTTHREAD;
};

/** Waits until @a hThread has reported that it goes to sleep in
 *  @a enmState (it then holds whatever it waits on). @returns false if
 *  that does not happen within TST_WAIT_MS. */
static inline bool tstWaitUntilBlocked(RTTHREAD hThread, RTTHREADSTATE enmState)
{
    for (unsigned cMs = 0; cMs < TST_WAIT_MS; cMs++)
    {
        if (rtAtomic(hThread->enmState).load() == (uint32_t)enmState && rtAtomic(hThread->fSleeping).load())
            return true;
        RTThreadSleepMs(1);
    }
    return false;
}

#endif /* ZOLT_TESTS_THREADTEST_H */
