/* Test helper: a heap ops table that counts allocations and fails on demand.
   Install it for a scope with HeapFaultScope; allocations pass through to
   the host heap until the countdown reaches zero. */
#ifndef ZOLT_TESTS_HEAPFAULT_H
#define ZOLT_TESTS_HEAPFAULT_H

#include "internal/mem.h"

class HeapFaultScope
{
  public:
    /** @param cAllocsBeforeFailure allocations (alloc, zero-alloc or
     *        realloc) that succeed before every further one fails; -1 never
     *        fails, so the scope only counts. */
    explicit HeapFaultScope(long cAllocsBeforeFailure = -1)
    {
        s_cLeft = cAllocsBeforeFailure;
        s_cAllocs = 0;
        s_cFrees = 0;
        m_pOld = rtMemSetHeapOps(&s_Ops);
    }
    ~HeapFaultScope()
    {
        rtMemSetHeapOps(m_pOld);
    }
    HeapFaultScope(const HeapFaultScope &) = delete;
    HeapFaultScope &operator=(const HeapFaultScope &) = delete;

    /** Successful allocations and reallocations so far. */
    static long allocs()
    {
        return s_cAllocs;
    }
    static long frees()
    {
        return s_cFrees;
    }

  private:
    static bool take()
    {
        if (s_cLeft == 0)
            return false;
        if (s_cLeft > 0)
            s_cLeft--;
        s_cAllocs++;
        return true;
    }
    static void *alloc(size_t cb)
    {
        return take() ? g_rtMemHostHeapOps.pfnAlloc(cb) : nullptr;
    }
    static void *allocZero(size_t cb)
    {
        return take() ? g_rtMemHostHeapOps.pfnAllocZero(cb) : nullptr;
    }
    static void *realloc(void *pv, size_t cb)
    {
        return take() ? g_rtMemHostHeapOps.pfnRealloc(pv, cb) : nullptr;
    }
    static void free(void *pv)
    {
        s_cFrees++;
        g_rtMemHostHeapOps.pfnFree(pv);
    }

    static inline long s_cLeft;
    static inline long s_cAllocs;
    static inline long s_cFrees;
    static inline const RTMEMHEAPOPS s_Ops = {alloc, allocZero, realloc, free};
    const RTMEMHEAPOPS *m_pOld;
};

#endif /* ZOLT_TESTS_HEAPFAULT_H */
