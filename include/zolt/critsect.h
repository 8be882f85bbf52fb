/** @file
 * Critical sections: recursive locks in caller-provided records.
 *
 * An uncontended enter or leave is one atomic operation on cLockers plus
 * plain stores; only contended sections touch their event semaphore, on
 * which waiters block and are woken one at a time.
 *
 * Example:
 * @code
 *     RTCRITSECT CritSect;
 *     int rc = RTCritSectCreate(&CritSect);
 *     if (RT_SUCCESS(rc))
 *     {
 *         RTCritSectAcquire(&CritSect); // may nest: acquire, acquire, leave, leave
 *         ...
 *         RTCritSectLeave(&CritSect);
 *         RTCritSectDestroy(&CritSect);
 *     }
 * @endcode
 */
#ifndef ZOLT_CRITSECT_H
#define ZOLT_CRITSECT_H

#include <zolt/cdefs.h>
#include <zolt/semaphore.h>
#include <zolt/thread.h>

RT_C_DECLS_BEGIN

/** Magic of a live critical section. */
#define RTCRITSECT_MAGIC 0x19790326u
/** Magic of a destroyed one (the bitwise complement). */
#define RTCRITSECT_MAGIC_DEAD 0xE686FCD9u

/** @name Critical section flags (RTCritSectCreateEx)
 * @{ */
/** A second enter by the owner fails with ERR_SEM_NESTED instead of
 *  nesting. */
#define RTCRITSECT_FLAGS_NO_NESTING 0x1u
/** Opt out of the lock validator (kept; no effect here). */
#define RTCRITSECT_FLAGS_NO_LOCK_VAL 0x2u
/** The section is created before the runtime is initialised; passed on to
 *  its event semaphore. */
#define RTCRITSECT_FLAGS_BOOTSTRAP 0x4u
/** No-op section: enter and leave succeed at once without locking. */
#define RTCRITSECT_FLAGS_NOP 0x8u
/** Every defined flag. */
#define RTCRITSECT_FLAGS_VALID_MASK 0xFu
/** @} */

/**
 * A critical section. The caller provides the storage; the fields are
 * managed by the RTCritSect calls and read by nobody else.
 */
typedef struct RTCRITSECT
{
    /** RTCRITSECT_MAGIC while usable; RTCRITSECT_MAGIC_DEAD once destroyed;
     *  the failing status when creation failed. */
    uint32_t uMagic;
    /** -1 when free; otherwise the number of enter calls in progress or
     *  held, minus one. Changed atomically. */
    int32_t cLockers;
    /** The owning thread, NIL_RTNATIVETHREAD when free. Changed atomically. */
    RTNATIVETHREAD hOwner;
    /** The owner's recursion depth; touched by the owner only. */
    uint32_t cNestings;
    /** RTCRITSECT_FLAGS_*. */
    uint32_t fFlags;
    /** Waiters block here (auto-reset: one is woken per leave). */
    RTSEMEVENT hEvent;
    /** Record of the optional lock validator; always null here. */
    void *pValidatorRec;
} RTCRITSECT;
typedef RTCRITSECT *PRTCRITSECT;

/** RTCritSectCreateEx with no flags. */
RT_NODISCARD RTDECL(int) RTCritSectCreate(PRTCRITSECT pCritSect);

/**
 * Initialises a critical section in @a pCritSect.
 * @param fFlags RTCRITSECT_FLAGS_*.
 * @param hClass, uSubClass, pszName lock-validator identity; no effect.
 * @returns 0; ERR_INVALID_PARAMETER for undefined flags; the status of
 *          creating the event semaphore, which is then also left in uMagic
 *          so that every later call on the section fails.
 */
RT_NODISCARD RTDECL(int)
    RTCritSectCreateEx(PRTCRITSECT pCritSect, uint32_t fFlags, RTLOCKVALCLASS hClass = NIL_RTLOCKVALCLASS,
                       uint32_t uSubClass = 0, const char *pszName = nullptr);

/**
 * Enters the section, waiting as long as it takes.
 * @returns 0 (also when the caller owns it already: the depth grows);
 *          ERR_SEM_NESTED when the caller owns a no-nesting section (which
 *          stays as it was); ERR_SEM_DESTROYED when the section is (or gets,
 *          while the caller waits) destroyed.
 */
RTDECL(int) RTCritSectAcquire(PRTCRITSECT pCritSect);

/**
 * Enters the section only if that needs no wait.
 * @returns 0; ERR_SEM_BUSY when another thread owns it; ERR_SEM_NESTED as RTCritSectAcquire; ERR_SEM_DESTROYED.
 */
RTDECL(int) RTCritSectTryAcquire(PRTCRITSECT pCritSect);

/**
 * Leaves the section once; the last leave of the owner frees it and wakes
 * one waiter.
 * @returns 0; ERR_NOT_OWNER when the caller does not own it (nothing is
 *          changed); ERR_SEM_DESTROYED.
 * A failure to wake the waiter leaves the section unusable: it is reported
 * as an assertion and stops at a breakpoint trap.
 */
RTDECL(int) RTCritSectLeave(PRTCRITSECT pCritSect);

/**
 * Destroys the section. Every thread waiting to enter it is woken and its
 * enter returns ERR_SEM_DESTROYED. The owner may destroy a section it holds.
 * Destroying a destroyed section again does nothing and returns 0.
 * @returns the status of destroying the event semaphore (0 normally);
 *          ERR_INVALID_PARAMETER for a pointer near zero.
 */
RTDECL(int) RTCritSectDestroy(PRTCRITSECT pCritSect);

RT_C_DECLS_END

#endif /* ZOLT_CRITSECT_H */
