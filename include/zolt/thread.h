/** @file
 * Threads: named threads around a thread function, a registry of every
 * known thread keyed by the platform's thread identifier, waiting for a
 * thread's end, and one "user" event per thread.
 *
 * Thread records are reference counted. A running thread holds a reference
 * to its own record until its function returns; a waitable thread's record
 * also keeps one for the first successful RTThreadWaitForExit. A record
 * whose count drops to zero is destroyed, so a non-waitable thread's
 * handle must not be used once the thread may have ended unless the caller
 * took a reference of its own (RTThreadAddRef) while it knew it alive.
 *
 * The thread that initialises the module (the runtime's start-up, or else
 * the first thread that creates a thread) is adopted under the name
 * "main".
 */
#ifndef ZOLT_THREAD_H
#define ZOLT_THREAD_H

#include <zolt/cdefs.h>
#include <zolt/semaphore.h>

RT_C_DECLS_BEGIN

/** A platform thread identifier as the locks record their owner: the
 *  Windows thread id, or on a POSIX host an address unique to the thread
 *  while it runs (reused by later threads, as Windows reuses ids). */
typedef uintptr_t RTNATIVETHREAD;
/** No thread. */
#define NIL_RTNATIVETHREAD (~(RTNATIVETHREAD)0)

/** The calling thread's platform identifier; never NIL_RTNATIVETHREAD.
 *  Cheap: no system call. */
RTDECL(RTNATIVETHREAD) RTThreadNativeSelf(void);

/** A thread handle: the thread's record. */
typedef struct RTTHREADINT *RTTHREAD;
#define NIL_RTTHREAD ((RTTHREAD)0)

/** The function a thread runs. @param hSelf the thread's own handle.
 *  @returns the thread's result, collected by RTThreadWaitForExit. */
typedef int(RTTHREADFN)(RTTHREAD hSelf, void *pvUser);
typedef RTTHREADFN *PFNRTTHREAD;

/**
 * Thread types. Each gives the thread a platform priority (Windows thread
 * priority in brackets); the process's priority class is left alone.
 */
typedef enum RTTHREADTYPE
{
    /** Unclassified work [below normal]. */
    RTTHREADTYPE_BACKGROUND = 0,
    /** Polls rarely [lowest]. */
    RTTHREADTYPE_INFREQUENT_POLLER = 1,
    /** Long-running work of the main program [below normal]. */
    RTTHREADTYPE_MAIN_HEAVY_WORKER = 2,
    /** Emulation or computation [normal]. */
    RTTHREADTYPE_EMULATION = 3,
    /** Anything else; used by the main and splash threads [normal]. */
    RTTHREADTYPE_DEFAULT = 4,
    /** User interface [normal]. */
    RTTHREADTYPE_GUI = 5,
    /** Short work of the main program [normal]. */
    RTTHREADTYPE_MAIN_WORKER = 6,
    /** Remote display traffic [normal]. */
    RTTHREADTYPE_DISPLAY_IO = 7,
    /** Debugger support [above normal]. */
    RTTHREADTYPE_DEBUGGER = 8,
    /** Message pumps [above normal]. */
    RTTHREADTYPE_MSG_PUMP = 9,
    /** Input and output [highest]. */
    RTTHREADTYPE_IO = 10,
    /** Timers [highest]. */
    RTTHREADTYPE_TIMER = 11,
    /** One past the last valid type. */
    RTTHREADTYPE_END
} RTTHREADTYPE;

/** @name Thread creation flags
 * @{ */
/** Another thread may wait for the end with RTThreadWaitForExit. */
#define RTTHREADFLAGS_WAITABLE 0x1u
/** The thread joins COM in a multi-threaded apartment before its function
 *  runs (Windows; ole32 is loaded from the system directory). */
#define RTTHREADFLAGS_COM_MTA 0x2u
/** The thread joins COM in a single-threaded apartment (Windows). */
#define RTTHREADFLAGS_COM_STA 0x4u
/** Accepted for callers shared with other runtimes; no effect. */
#define RTTHREADFLAGS_NO_SIGNALS 0x8u
/** Every defined flag. */
#define RTTHREADFLAGS_VALID_MASK 0xFu
/** @} */

/** Longest thread name in bytes, without the terminator. */
#define RTTHREAD_NAME_LEN 15

/**
 * Creates a thread that runs pfnThread(handle, pvUser).
 *
 * @param phThread    where to store the handle, or null. Untouched on
 *                    failure. For a non-waitable thread the handle is only
 *                    safe to use while the thread is known to run.
 * @param pfnThread   the thread function.
 * @param pvUser      passed to @a pfnThread.
 * @param cbStack     stack size in bytes, 0 for the platform's default. A
 *                    non-zero multiple of 64 KiB is enlarged by 4 KiB
 *                    (65536 becomes 69632) so that the platform's guard page
 *                    does not eat into the requested size.
 * @param enmType     the thread type (sets the priority).
 * @param fFlags      RTTHREADFLAGS_*; COM_MTA and COM_STA exclude each other.
 * @param pszName     1 to 15 bytes of UTF-8 (the platform shows it to
 *                    debuggers).
 * @returns 0; ERR_INVALID_POINTER for a bad @a phThread or @a pfnThread;
 *          ERR_INVALID_PARAMETER for an empty or over-long name, a stack
 *          size of all ones in 32 bits or more (0xffffffff and above) or
 *          an undefined type; ERR_INVALID_FLAGS;
 *          ERR_NO_TMP_MEMORY when the record cannot be made; the status of
 *          initialising the module; a converted platform status when the
 *          platform cannot start the thread (also reported as an
 *          assertion; the caller may carry on).
 */
RT_NODISCARD RTDECL(int) RTThreadCreate(RTTHREAD *phThread, PFNRTTHREAD pfnThread, void *pvUser, size_t cbStack,
                                        RTTHREADTYPE enmType, uint32_t fFlags, const char *pszName);

/**
 * Waits for a waitable thread to end and collects its result. The first
 * successful wait releases the thread's record (with the reference that
 * waiting kept); later waits fail.
 *
 * @param cMillies time-out in ms; INDEFINITE_WAIT waits forever. The wait
 *                 resumes after interruptions.
 * @param prc      where to store the thread function's result, or null.
 *                 Untouched on failure.
 * @returns 0; ERR_INVALID_HANDLE for an invalid or dead handle;
 *          ERR_THREAD_NOT_WAITABLE when the thread is not waitable or was
 *          waited for already; ERR_TIMEOUT (the thread stays waitable);
 *          another failure of the wait.
 */
RTDECL(int) RTThreadWaitForExit(RTTHREAD hThread, RTMSINTERVAL cMillies, int *prc);

/** Sets the thread's user event. It stays set: every later
 *  RTThreadWaitUserEvent returns at once.
 *  @returns 0; ERR_INVALID_HANDLE; a failure of the event. */
RTDECL(int) RTThreadSignalUserEvent(RTTHREAD hThread);

/**
 * Waits until the thread's user event is set (any thread may wait).
 * @param cMillies time-out in ms; INDEFINITE_WAIT waits forever. The wait
 *                 resumes after interruptions.
 * @returns 0; ERR_TIMEOUT; ERR_INVALID_HANDLE; another failure of the wait.
 */
RTDECL(int) RTThreadWaitUserEvent(RTTHREAD hThread, RTMSINTERVAL cMillies);

/** The calling thread's handle, or NIL_RTTHREAD for a thread the module
 *  neither created nor adopted. Lock-free. */
RTDECL(RTTHREAD) RTThreadCurrent(void);

/** The calling thread's name, or null for an unknown thread. The text
 *  lives as long as the thread's record. */
RTDECL(const char *) RTThreadCurrentName(void);

/** Takes a reference to the record. @returns @a hThread, or NIL_RTTHREAD
 *  for an invalid or dead handle. */
RTDECL(RTTHREAD) RTThreadAddRef(RTTHREAD hThread);

/** Drops a reference; the last one destroys the record. @returns the new
 *  count; 0 for an invalid or dead handle. */
RTDECL(uint32_t) RTThreadReleaseRef(RTTHREAD hThread);

/** Sleeps @a cMillies ms (0 gives up the rest of the time slice).
 *  @returns 0. */
RTDECL(int) RTThreadSleepMs(RTMSINTERVAL cMillies);

/** Gives up the processor. @returns true when that took long enough (more
 *  than 1500 time-stamp ticks) that another thread probably ran. */
RTDECL(bool) RTThreadYieldNow(void);

RT_C_DECLS_END

#endif /* ZOLT_THREAD_H */
