/** @file
 * Semaphores: the auto-reset event semaphore, the multi-release
 * (manual-reset) event semaphore, the read-write semaphore (write side) and
 * two heap-allocated lock flavours over critical sections, the spin mutex
 * and the fast mutex. Critical sections themselves are in <zolt/critsect.h>.
 *
 * Every object is a heap record reached through its handle. A handle within
 * 4096 of address zero, or one whose record does not carry the object's
 * live magic, is refused; a record being destroyed changes its magic first,
 * so a late user sees it as invalid or destroyed rather than reading freed
 * memory.
 *
 * All objects may be used from any thread. Every wait tells the thread
 * module that the caller blocks (see <zolt/thread.h>), and every wait on
 * Windows is alertable: an APC or NtAlertThread interrupts it, and the wait
 * flags decide whether it then resumes or fails with ERR_INTERRUPTED. The
 * POSIX host backend has no interruption of waits.
 */
#ifndef ZOLT_SEMAPHORE_H
#define ZOLT_SEMAPHORE_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** A time-out or interval in milliseconds. */
typedef uint32_t RTMSINTERVAL;
/** The millisecond time-out that never expires. */
#define INDEFINITE_WAIT (~(RTMSINTERVAL)0)

/** A lock class of the lock-order validator. The validator is optional and
 *  absent from this runtime: class, sub-class and name arguments are
 *  accepted everywhere and have no effect. */
typedef struct RTLOCKVALCLASSINT *RTLOCKVALCLASS;
#define NIL_RTLOCKVALCLASS ((RTLOCKVALCLASS)0)

/** @name Wait flags (RTSemEventWaitFlags, RTSemEventMultiWaitFlags)
 * A valid combination has exactly one of NORESUME and RESUME and, unless
 * INDEFINITE is given, exactly one of RELATIVE and ABSOLUTE and exactly one
 * of NANOSECS and MILLISECS. No other bits may be set.
 * @{ */
/** The time-out counts from now. */
#define SEMWAIT_RELATIVE 0x01u
/** The time-out is a point on the RTTimeNanoTS clock (in the unit given). */
#define SEMWAIT_ABSOLUTE 0x02u
/** The time-out is in nanoseconds; all ones means no time-out. */
#define SEMWAIT_NANOSECS 0x04u
/** The time-out is in milliseconds; 18446744073709 or more means no
 *  time-out (the largest count that fits in nanoseconds). */
#define SEMWAIT_MILLISECS 0x08u
/** No time-out; the time-out argument is ignored. */
#define SEMWAIT_INDEFINITE 0x10u
/** An interrupted wait fails with ERR_INTERRUPTED. */
#define SEMWAIT_NORESUME 0x20u
/** An interrupted wait goes on with the time that was left. */
#define SEMWAIT_RESUME 0x40u
/** Every defined bit. */
#define SEMWAIT_VALID_MASK 0x7Fu
/** @} */

/*
 * Event semaphore: an auto-reset event. A signal releases exactly one
 * waiter; with nobody waiting it stays set until the next wait consumes it.
 */

typedef struct RTSEMEVENTINTERNAL *RTSEMEVENT;
#define NIL_RTSEMEVENT ((RTSEMEVENT)0)

/** RTSemEventNew flag: opt out of the lock validator (no effect here). */
#define RTSEMEVENT_FLAGS_NO_LOCK_VAL 0x1u
/** RTSemEventNew flag: the event serves an object created before the
 *  runtime is initialised (accepted; no effect here). */
#define RTSEMEVENT_FLAGS_BOOTSTRAP 0x4u

/**
 * Creates an event semaphore, initially not set.
 * @param phEventSem where to store the handle; untouched on failure.
 * @param fFlags     RTSEMEVENT_FLAGS_* (only 1 and 4 are defined).
 * @param hClass, pszName lock-validator identity; no effect.
 * @returns 0; ERR_INVALID_PARAMETER for undefined flags or a bad
 *          @a phEventSem; ERR_NO_MEMORY; a converted platform status when
 *          the platform event cannot be created.
 */
RT_NODISCARD RTDECL(int) RTSemEventNew(RTSEMEVENT *phEventSem, uint32_t fFlags = 0,
                                       RTLOCKVALCLASS hClass = NIL_RTLOCKVALCLASS, const char *pszName = nullptr);

/**
 * Destroys an event semaphore. The event is set once on the way, which
 * wakes one waiter; that waiter returns ERR_SEM_DESTROYED. The record is
 * freed when the last operation in progress on it has finished.
 * @returns 0 (also for NIL_RTSEMEVENT); ERR_INVALID_HANDLE.
 */
RTDECL(int) RTSemEventFree(RTSEMEVENT hEventSem);

/**
 * Sets the event: releases one waiter, or lets the next wait pass.
 * @returns 0; ERR_INVALID_HANDLE; a converted platform status.
 */
RTDECL(int) RTSemEventSignal(RTSEMEVENT hEventSem);

/**
 * Waits for the event to be set, and resets it.
 * @param fFlags   SEMWAIT_* (see there for the valid combinations).
 * @param uTimeout the time-out in the unit and sense @a fFlags give.
 * @returns 0 when the event was set; ERR_TIMEOUT (a zero relative time-out
 *          on an unset event returns it at once); ERR_INTERRUPTED (an APC
 *          or alert arrived and SEMWAIT_NORESUME was given);
 *          ERR_SEM_DESTROYED when the event was destroyed meanwhile;
 *          ERR_SEM_OWNER_DIED (abandoned); ERR_INVALID_PARAMETER for
 *          NIL_RTSEMEVENT; ERR_INVALID_HANDLE; ERR_INVALID_FLAGS;
 *          ERR_INTERNAL_ERROR_4 for any other platform result.
 */
RTDECL(int) RTSemEventWaitFlags(RTSEMEVENT hEventSem, uint32_t fFlags, uint64_t uTimeout);

/**
 * RTSemEventWaitFlags with a relative millisecond time-out, resuming after
 * interruptions; INDEFINITE_WAIT waits forever.
 */
RTDECL(int) RTSemEventWaitMs(RTSEMEVENT hEventSem, RTMSINTERVAL cMillies);

/*
 * Multi-release event semaphore: a manual-reset event. Posting it releases
 * every waiter and it stays set, letting every later wait pass, until it is
 * cleared.
 */

typedef struct RTSEMEVENTMULTIINTERNAL *RTSEMEVENTMULTI;
#define NIL_RTSEMEVENTMULTI ((RTSEMEVENTMULTI)0)

/** RTSemEventMultiNew flag: opt out of the lock validator (no effect). */
#define RTSEMEVENTMULTI_FLAGS_NO_LOCK_VAL 0x1u

/**
 * Creates a multi-release event semaphore, initially not set.
 * @param phEventMultiSem where to store the handle; untouched on failure.
 * @param fFlags          RTSEMEVENTMULTI_FLAGS_* (only 1 is defined).
 * @returns 0; ERR_INVALID_PARAMETER for undefined flags or a bad
 *          @a phEventMultiSem; ERR_NO_MEMORY; a converted platform status.
 */
RT_NODISCARD RTDECL(int) RTSemEventMultiNew(RTSEMEVENTMULTI *phEventMultiSem, uint32_t fFlags = 0,
                                            RTLOCKVALCLASS hClass = NIL_RTLOCKVALCLASS, const char *pszName = nullptr);

/**
 * Destroys a multi-release event semaphore. Every thread waiting on it is
 * released and returns ERR_SEM_DESTROYED; the record is freed when the last
 * of them has left.
 * @returns 0 (also for NIL_RTSEMEVENTMULTI); ERR_INVALID_PARAMETER for an
 *          invalid handle.
 */
RTDECL(int) RTSemEventMultiFree(RTSEMEVENTMULTI hEventMultiSem);

/** Sets the event; it stays set until cleared.
 *  @returns 0; ERR_INVALID_PARAMETER for an invalid handle; a converted
 *  platform status. */
RTDECL(int) RTSemEventMultiPost(RTSEMEVENTMULTI hEventMultiSem);

/** Resets the event. @returns as RTSemEventMultiPost. */
RTDECL(int) RTSemEventMultiClear(RTSEMEVENTMULTI hEventMultiSem);

/**
 * Waits until the event is set; it stays set.
 * @returns as RTSemEventWaitFlags, except that an invalid handle and
 *          invalid flags both give ERR_INVALID_PARAMETER.
 */
RTDECL(int) RTSemEventMultiWaitFlags(RTSEMEVENTMULTI hEventMultiSem, uint32_t fFlags, uint64_t uTimeout);

/** Relative millisecond wait, resuming after interruptions;
 *  INDEFINITE_WAIT waits forever. */
RTDECL(int) RTSemEventMultiWaitMs(RTSEMEVENTMULTI hEventMultiSem, RTMSINTERVAL cMillies);

/** Relative millisecond wait that fails with ERR_INTERRUPTED when an APC
 *  or alert interrupts it. */
RTDECL(int) RTSemEventMultiWaitMsNoResume(RTSEMEVENTMULTI hEventMultiSem, RTMSINTERVAL cMillies);

/*
 * Spin mutex: a heap-allocated, non-recursive critical section. Locking it
 * twice from one thread fails with ERR_SEM_NESTED.
 */

typedef struct RTSEMSPINMUTEXINTERNAL *RTSEMSPINMUTEX;
#define NIL_RTSEMSPINMUTEX ((RTSEMSPINMUTEX)0)

/** RTSemSpinMutexNew flag: usable from interrupt context where a runtime
 *  has one; accepted, no effect in user mode. */
#define RTSEMSPINMUTEX_FLAGS_IRQ_SAFE 0x1u

/**
 * Creates a spin mutex.
 * @returns 0; ERR_INVALID_PARAMETER for flags above 1 or a bad
 *          @a phSpinMtx; ERR_NO_MEMORY; the status of creating its event.
 */
RT_NODISCARD RTDECL(int) RTSemSpinMutexNew(RTSEMSPINMUTEX *phSpinMtx, uint32_t fFlags);

/**
 * Destroys a spin mutex; threads waiting for it return ERR_SEM_DESTROYED.
 * @returns 0; ERR_INVALID_PARAMETER for NIL_RTSEMSPINMUTEX or a bad handle;
 *          the status of destroying its event, in which case the block is
 *          kept (nothing else may be done with it).
 */
RTDECL(int) RTSemSpinMutexFree(RTSEMSPINMUTEX hSpinMtx);

/** Locks. @returns 0; ERR_SEM_NESTED when the caller holds it already;
 *  ERR_SEM_DESTROYED; ERR_INVALID_HANDLE for a pointer near zero. */
RTDECL(int) RTSemSpinMutexLock(RTSEMSPINMUTEX hSpinMtx);

/** Unlocks. @returns 0; ERR_NOT_OWNER when the caller does not hold it;
 *  ERR_SEM_DESTROYED; ERR_INVALID_HANDLE for a pointer near zero. */
RTDECL(int) RTSemSpinMutexUnlock(RTSEMSPINMUTEX hSpinMtx);

/*
 * Fast mutex: a heap-allocated, non-recursive critical section for short
 * sections; the same contract as the spin mutex.
 */

typedef struct RTSEMFASTMUTEXINTERNAL *RTSEMFASTMUTEX;
#define NIL_RTSEMFASTMUTEX ((RTSEMFASTMUTEX)0)

/** Creates a fast mutex. @returns 0; ERR_INVALID_PARAMETER for a bad
 *  @a phFastMtx; ERR_NO_MEMORY; the status of creating its event. */
RT_NODISCARD RTDECL(int) RTSemFastMutexNew(RTSEMFASTMUTEX *phFastMtx);

/** Destroys a fast mutex; threads waiting for it return ERR_SEM_DESTROYED.
 *  @returns 0 (also for NIL_RTSEMFASTMUTEX); ERR_INVALID_PARAMETER for a
 *  bad handle; the status of destroying its event, in which case the block
 *  is kept. */
RTDECL(int) RTSemFastMutexFree(RTSEMFASTMUTEX hFastMtx);

/** Locks. @returns as RTSemSpinMutexLock. */
RTDECL(int) RTSemFastMutexRequest(RTSEMFASTMUTEX hFastMtx);

/** Unlocks. @returns as RTSemSpinMutexUnlock. */
RTDECL(int) RTSemFastMutexRelease(RTSEMFASTMUTEX hFastMtx);

/*
 * Read-write semaphore. Only the write side exists: a recursive exclusive
 * lock whose waiting writers are woken one at a time.
 */

typedef struct RTSEMRWINTERNAL *RTSEMRW;
#define NIL_RTSEMRW ((RTSEMRW)0)

/** RTSemRWNew flag: opt out of the lock validator (no effect). */
#define RTSEMRW_FLAGS_NO_LOCK_VAL 0x1u

/**
 * Creates a read-write semaphore.
 * @param fFlags 0 or RTSEMRW_FLAGS_NO_LOCK_VAL.
 * @returns 0; ERR_INVALID_PARAMETER for other flags or a bad @a phRWSem;
 *          ERR_NO_MEMORY; the status of creating one of its parts (nothing
 *          is left behind).
 */
RT_NODISCARD RTDECL(int) RTSemRWNew(RTSEMRW *phRWSem, uint32_t fFlags, RTLOCKVALCLASS hClass = NIL_RTLOCKVALCLASS,
                                    uint32_t uSubClass = 0, const char *pszName = nullptr);

/**
 * Destroys a read-write semaphore that nobody holds.
 * @returns 0 (also for NIL_RTSEMRW); ERR_INVALID_HANDLE; ERR_SEM_BUSY when
 *          it is held, a writer waits for it, or its guard is busy
 *          (nothing is changed then).
 */
RTDECL(int) RTSemRWFree(RTSEMRW hRWSem);

/**
 * Takes the write lock. The owner may take it again; it must release it as
 * often as it took it.
 * @param cMillies 0 = do not wait; INDEFINITE_WAIT = wait forever; any
 *                 other value limits each wait for a release to that many
 *                 milliseconds.
 * @returns 0; ERR_TIMEOUT; ERR_SEM_DESTROYED when destroyed while waiting;
 *          ERR_INVALID_HANDLE; the status of a failed wait.
 */
RTDECL(int) RTSemRWLockWrite(RTSEMRW hRWSem, RTMSINTERVAL cMillies);

/**
 * Releases the write lock once.
 * @returns 0; ERR_NOT_OWNER when the caller does not hold it (nothing is
 *          changed); ERR_INVALID_HANDLE; the status of waking a waiter.
 */
RTDECL(int) RTSemRWUnlockWrite(RTSEMRW hRWSem);

RT_C_DECLS_END

#endif /* ZOLT_SEMAPHORE_H */
