/** @file
 * Thread internals: the thread record, the interface between the
 * host-independent thread module and its host backends, and the blocking
 * notifications the semaphores give.
 */
#ifndef ZOLT_INTERNAL_THREAD_H
#define ZOLT_INTERNAL_THREAD_H

#include <zolt/thread.h>

#include <atomic>

/** Thread states. The blocking states say what a waiting thread waits on. */
typedef enum RTTHREADSTATE
{
    RTTHREADSTATE_INVALID = 0,
    RTTHREADSTATE_INITIALIZING = 1,
    RTTHREADSTATE_TERMINATED = 2,
    RTTHREADSTATE_RUNNING = 3,
    RTTHREADSTATE_CRITSECT = 4,
    RTTHREADSTATE_EVENT = 5,
    RTTHREADSTATE_EVENT_MULTI = 6,
    RTTHREADSTATE_RW_READ = 9,
    RTTHREADSTATE_RW_WRITE = 10
} RTTHREADSTATE;

/** Magic of a live thread record. */
#define RTTHREADINT_MAGIC 0x18740529u
/** Magic of a record being destroyed. */
#define RTTHREADINT_MAGIC_DEAD 0x19360614u

/** @name Internal flags (RTTHREADINT::fInternalFlags)
 * @{ */
/** The record describes a thread the module did not create. */
#define RTTHREADINT_FLAGS_ALIEN 0x1u
/** The thread function has returned. */
#define RTTHREADINT_FLAGS_TERMINATED 0x2u
/** The record is in the registry. */
#define RTTHREADINT_FLAGS_IN_TREE 0x4u
/** The record is the adopted main thread's. */
#define RTTHREADINT_FLAGS_MAIN 0x8u
/** @} */

/** A platform thread handle (Windows HANDLE, POSIX pthread_t). */
typedef uintptr_t RTNATIVETHREADHANDLE;
#define NIL_RTNATIVETHREADHANDLE (~(RTNATIVETHREADHANDLE)0)

/**
 * The thread record: one heap block per thread, zero-filled at allocation.
 * Fields marked atomic are only accessed through std::atomic_ref.
 */
typedef struct RTTHREADINT
{
    /** Platform thread identifier the registry knows it by; 0 until
     *  registered. Atomic. */
    uint32_t Key;
    /** Registry tree links (AVL). */
    struct RTTHREADINT *pLeft;
    struct RTTHREADINT *pRight;
    uint8_t cHeight;
    /** RTTHREADINT_MAGIC while alive. Atomic. */
    uint32_t uMagic;
    /** Reference count; destroyed at 0. Atomic. */
    int32_t cReferences;
    /** RTTHREADSTATE. Atomic. */
    uint32_t enmState;
    /** Set by a blocking notification that really sleeps. Atomic. */
    bool fSleeping;
    /** Handle from thread creation, NIL_RTNATIVETHREADHANDLE otherwise. */
    RTNATIVETHREADHANDLE hNative;
    /** The user event; never reset. */
    RTSEMEVENTMULTI hUserEvent;
    /** Set once the thread function has returned. */
    RTSEMEVENTMULTI hExitEvent;
    RTTHREADTYPE enmType;
    /** RTTHREADFLAGS_*. Atomic (the waitable flag is cleared by waiters). */
    uint32_t fCreateFlags;
    /** RTTHREADINT_FLAGS_*. Atomic. */
    uint32_t fInternalFlags;
    /** The thread function's result; ERR_THREAD_RUNNING until it returns. */
    int32_t rcExit;
    PFNRTTHREAD pfnMain;
    void *pvArg;
    /** Requested stack size, already adjusted; 0 = platform default. */
    uint32_t cbStackSize;
    char szThreadName[RTTHREAD_NAME_LEN + 1];
} RTTHREADINT;
typedef RTTHREADINT *PRTTHREADINT;

/** Atomic view of a plain field. */
template <typename T> static inline std::atomic_ref<T> rtAtomic(T &rField)
{
    return std::atomic_ref<T>(rField);
}

/*
 * Host-independent part (Runtime/common/misc/thread.cpp).
 */

/** The registry lock: the write side of a read-write semaphore, created by
 *  rtThreadInit. Atomic. Only tests touch it from outside the module. */
extern RTSEMRW g_hRtThreadRegistryLock;

/**
 * Initialises the module: the registry lock, the per-thread slot, and the
 * calling thread adopted as "main" (type RTTHREADTYPE_DEFAULT).
 * @returns 0; INF_ALREADY_INITIALIZED when done before; the status of the
 *          step that failed (nothing is kept then).
 */
int rtThreadInit(void);

/** Before blocking: puts @a pThread (may be null) into @a enmState if it
 *  is running and records whether it really sleeps. */
void rtThreadBlocking(PRTTHREADINT pThread, RTTHREADSTATE enmState, bool fReallySleeping);

/** After waking: undoes rtThreadBlocking (if the state is still
 *  @a enmState). */
void rtThreadUnblocked(PRTTHREADINT pThread, RTTHREADSTATE enmState);

/**
 * The body of a created thread, run by the backend's start routine on the
 * new thread after it has set the per-thread slot and announced the name:
 * registers the record, sets the priority, runs the thread function,
 * records its result and drops the thread's own reference.
 * @param uKey the thread's platform identifier.
 * @returns the thread function's result.
 */
int rtThreadMain(PRTTHREADINT pThread, uint32_t uKey);

/** The stack size the platform is asked for: a non-zero multiple of 64 KiB
 *  grows by 4 KiB, anything else is passed on. */
uint32_t rtThreadAdjustStackSize(uint32_t cbStack);

/** Platform priority of a thread type (-2 lowest .. 2 highest);
 *  @a enmType must be below RTTHREADTYPE_END. */
int rtThreadTypeToPriority(RTTHREADTYPE enmType);

/**
 * Looks a thread up in the registry, for diagnostics and tests.
 * @returns the record with a reference the caller must drop, or null.
 */
PRTTHREADINT rtThreadGetByKey(uint32_t uKey);

/*
 * The registry's AVL tree (Runtime/common/misc/threadtree.cpp), linked
 * through the records' tree fields and keyed by RTTHREADINT::Key. The
 * caller serialises access.
 */

/** Links @a pNew in. @returns false (and changes nothing) when a record
 *  with its key is in the tree already. */
bool rtThreadTreeInsert(PRTTHREADINT *ppRoot, PRTTHREADINT pNew);

/** Unlinks the record with key @a uKey. @returns it, or null if none. */
PRTTHREADINT rtThreadTreeRemove(PRTTHREADINT *ppRoot, uint32_t uKey);

/** @returns the record with key @a uKey, or null. */
PRTTHREADINT rtThreadTreeGet(PRTTHREADINT pRoot, uint32_t uKey);

/*
 * Host backend (Runtime/r3/win/thread-win.cpp, Runtime/r3/posix/thread-posix.cpp).
 */

#ifdef _WIN32
/** RTThreadNativeSelf for the locks' hot paths; GetCurrentThreadId only
 *  reads the thread's environment block. */
#define rtThreadNativeSelfInline() RTThreadNativeSelf()
#else
/** One byte per thread whose address is the POSIX host's thread
 *  identifier: a TLS address costs no call, unlike pthread_self(). */
extern thread_local constinit char g_rtThreadNativeSelfTag;
/** RTThreadNativeSelf, inlined for the locks' hot paths. */
static inline RTNATIVETHREAD rtThreadNativeSelfInline(void)
{
    return (RTNATIVETHREAD)&g_rtThreadNativeSelfTag;
}
#endif

/** Allocates the per-thread slot and looks up optional platform entry
 *  points. @returns 0; ERR_NO_TLS. */
int rtThreadNativeInit(void);

/** Releases the per-thread slot after a failed module initialisation. */
void rtThreadNativeTerm(void);

/** Stores @a pThread (or null) in the calling thread's slot.
 *  @returns 0; ERR_TLS_SET_FAILED. */
int rtThreadNativeSetSelf(PRTTHREADINT pThread);

/** The record in the calling thread's slot; null before rtThreadNativeInit
 *  or for an unknown thread. */
PRTTHREADINT rtThreadNativeGetSelf(void);

/** The calling thread's registry key (Windows thread id, Linux tid). */
uint32_t rtThreadNativeSelfKey(void);

/** Shows the thread's name to debuggers and the platform; runs on the
 *  named thread itself. */
void rtThreadNativeAnnounceName(PRTTHREADINT pThread);

/** Sets the calling thread's priority for its type; failures are ignored. */
void rtThreadNativeSetPriority(RTTHREADTYPE enmType);

/**
 * Starts a platform thread whose start routine sets up @a pThread and calls
 * rtThreadMain. Uses pThread->cbStackSize.
 * @param puKey where to store the new thread's registry key, or 0 when the
 *              platform does not tell it to the creator.
 * @returns 0 with pThread->hNative set; a converted platform status.
 */
int rtThreadNativeCreate(PRTTHREADINT pThread, uint32_t *puKey);

/** True when the platform thread of @a pThread has ended (its handle is
 *  signalled), whether or not its function returned normally. */
bool rtThreadNativeIsDead(PRTTHREADINT pThread);

/** Releases pThread->hNative. */
void rtThreadNativeClose(PRTTHREADINT pThread);

#endif /* ZOLT_INTERNAL_THREAD_H */
