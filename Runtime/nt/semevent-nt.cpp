/** @file
 * Host events, NT: event objects of ntdll, waited for alertably so that
 * APCs and NtAlertThread interrupt the waits.
 */
#include <windows.h>

#include <zolt/err.h>

#include "internal/nt.h"
#include "internal/semevent.h"

/** The handle value is the host event. */
static HANDLE rtSemHostEventToHandle(RTSEMHOSTEVENT hEvent)
{
    return (HANDLE)hEvent;
}

int rtSemHostEventCreate(RTSEMHOSTEVENT *phEvent, bool fAutoReset)
{
    HANDLE hEvent = NULL;
    NTSTATUS rcNt =
        NtCreateEvent(&hEvent, EVENT_ALL_ACCESS, NULL, fAutoReset ? 1 /*SynchronizationEvent*/ : 0, FALSE /*not set*/);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    *phEvent = (RTSEMHOSTEVENT)hEvent;
    return 0;
}

int rtSemHostEventSet(RTSEMHOSTEVENT hEvent)
{
    return RTErrConvertFromNtStatus(NtSetEvent(rtSemHostEventToHandle(hEvent), NULL));
}

int rtSemHostEventReset(RTSEMHOSTEVENT hEvent)
{
    return RTErrConvertFromNtStatus(NtResetEvent(rtSemHostEventToHandle(hEvent), NULL));
}

int rtSemHostEventWait(RTSEMHOSTEVENT hEvent, uint64_t cNsTimeout)
{
    /* A negative count of 100 ns units is a relative time-out to NT. */
    LARGE_INTEGER Timeout;
    PLARGE_INTEGER pTimeout = NULL;
    if (cNsTimeout != RTSEMHOST_WAIT_INDEFINITE)
    {
        Timeout.QuadPart = -(LONGLONG)(cNsTimeout / 100);
        pTimeout = &Timeout;
    }
    NTSTATUS rcNt = NtWaitForSingleObject(rtSemHostEventToHandle(hEvent), TRUE /*alertable*/, pTimeout);
    switch (rcNt)
    {
        case 0 /*STATUS_SUCCESS, STATUS_WAIT_0*/: return 0;
        case RT_NT_STATUS_TIMEOUT: return ERR_TIMEOUT;
        case RT_NT_STATUS_ABANDONED: return ERR_SEM_OWNER_DIED;
        case RT_NT_STATUS_ALERTED:
        case RT_NT_STATUS_USER_APC: return ERR_INTERRUPTED;
        default: return ERR_INTERNAL_ERROR_4;
    }
}

void rtSemHostEventClose(RTSEMHOSTEVENT hEvent)
{
    NtClose(rtSemHostEventToHandle(hEvent));
}
