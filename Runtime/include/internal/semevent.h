/** @file
 * Event semaphore internals.
 *
 * Both event kinds share one reference-counted record and one wait loop
 * (Runtime/generic/semevent-generic.cpp); what differs between them (magic,
 * reset mode, the statuses for bad input, the blocking state) is a table,
 * RTSEMEVENTKIND. Underneath is the host's event primitive: an NT event
 * (Runtime/nt/semevent-nt.cpp) or a mutex and condition variable
 * (Runtime/r3/posix/semevent-posix.cpp).
 */
#ifndef ZOLT_INTERNAL_SEMEVENT_H
#define ZOLT_INTERNAL_SEMEVENT_H

#include <zolt/semaphore.h>

#include "internal/thread.h"

/*
 * Host event primitive.
 */

/** A host event: an NT event handle or a POSIX record. */
typedef struct RTSEMHOSTEVENTINT *RTSEMHOSTEVENT;

/** Creates an unset host event; an auto-reset one releases one waiter per
 *  set, a manual-reset one every waiter until reset.
 *  @returns 0; ERR_NO_MEMORY; a converted platform status. */
int rtSemHostEventCreate(RTSEMHOSTEVENT *phEvent, bool fAutoReset);

/** Sets it. @returns 0; a converted platform status. */
int rtSemHostEventSet(RTSEMHOSTEVENT hEvent);

/** Resets it. @returns 0; a converted platform status. */
int rtSemHostEventReset(RTSEMHOSTEVENT hEvent);

/** Nanosecond time-out meaning "no time-out". */
#define RTSEMHOST_WAIT_INDEFINITE UINT64_MAX

/**
 * Waits once, alertably where the host can be alerted.
 * @param cNsTimeout relative time-out, RTSEMHOST_WAIT_INDEFINITE for none.
 * @returns 0 when set; ERR_TIMEOUT; ERR_INTERRUPTED when an APC or alert
 *          cut the wait short; ERR_SEM_OWNER_DIED when abandoned;
 *          ERR_INTERNAL_ERROR_4 for anything else.
 */
int rtSemHostEventWait(RTSEMHOSTEVENT hEvent, uint64_t cNsTimeout);

/** Destroys it; nobody may be waiting. */
void rtSemHostEventClose(RTSEMHOSTEVENT hEvent);

/*
 * The shared record and its operations.
 */

/** What distinguishes the two event kinds. */
typedef struct RTSEMEVENTKIND
{
    /** Magic of a live record; destruction adds one. */
    uint32_t uMagic;
    /** Creation flags accepted. */
    uint32_t fValidNewFlags;
    bool fAutoReset;
    /** Status for an invalid handle given to free, signal and wait. */
    int rcBadHandle;
    /** Status for a NIL handle given to a wait. */
    int rcNilWait;
    /** Status for invalid wait flags. */
    int rcBadFlags;
    /** The blocking state a waiter reports. */
    RTTHREADSTATE enmBlockState;
} RTSEMEVENTKIND;

/** The record behind RTSEMEVENT and RTSEMEVENTMULTI handles. */
typedef struct RTSEMEVENTREC
{
    /** RTSEMEVENTKIND::uMagic while alive. Atomic. */
    uint32_t uMagic;
    /** 1 for the creation, plus one per operation in progress. Atomic. */
    int32_t cReferences;
    RTSEMHOSTEVENT hHost;
} RTSEMEVENTREC;

int rtSemEventRecNew(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC **ppThis, uint32_t fFlags);
int rtSemEventRecFree(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis);
/** Sets (@a fSet) or resets the event. */
int rtSemEventRecSetOrReset(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis, bool fSet);
int rtSemEventRecWait(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis, uint32_t fFlags, uint64_t uTimeout);

/** SEMWAIT_* flags of the millisecond waits. */
static inline uint32_t rtSemWaitMsFlags(RTMSINTERVAL cMillies, bool fResume)
{
    uint32_t fFlags = fResume ? SEMWAIT_RESUME : SEMWAIT_NORESUME;
    return fFlags | (cMillies == INDEFINITE_WAIT ? SEMWAIT_INDEFINITE : SEMWAIT_MILLISECS | SEMWAIT_RELATIVE);
}

#endif /* ZOLT_INTERNAL_SEMEVENT_H */
