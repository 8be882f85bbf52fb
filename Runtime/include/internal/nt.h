/** @file
 * Native NT API prototypes and constants the runtime calls in ntdll that
 * the mingw-w64 headers do not declare.
 */
#ifndef ZOLT_INTERNAL_NT_H
#define ZOLT_INTERNAL_NT_H

#include <windows.h>

#include <winternl.h>

/* NT status values that winnt.h does not define without clashing with
   ntstatus.h. */
#define RT_NT_STATUS_ABANDONED ((NTSTATUS)0x00000080)
#define RT_NT_STATUS_USER_APC ((NTSTATUS)0x000000C0)
#define RT_NT_STATUS_ALERTED ((NTSTATUS)0x00000101)
#define RT_NT_STATUS_TIMEOUT ((NTSTATUS)0x00000102)
#define RT_NT_STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005)
#define RT_NT_STATUS_NO_MORE_ENTRIES ((NTSTATUS)0x8000001A)
#define RT_NT_STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002)
#define RT_NT_STATUS_INVALID_INFO_CLASS ((NTSTATUS)0xC0000003)
#define RT_NT_STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000D)
#define RT_NT_STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022)
#define RT_NT_STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024)
#define RT_NT_STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033)
#define RT_NT_STATUS_SHARING_VIOLATION ((NTSTATUS)0xC0000043)
#define RT_NT_STATUS_FILE_IS_A_DIRECTORY ((NTSTATUS)0xC00000BA)

extern "C"
{
    /* Events. The event type is 0 for a notification (manual-reset) event
       and 1 for a synchronisation (auto-reset) one. */
    NTSTATUS NTAPI NtCreateEvent(PHANDLE phEvent, ACCESS_MASK fDesiredAccess, POBJECT_ATTRIBUTES pObjAttr,
                                 int enmEventType, BOOLEAN fInitialState);
    NTSTATUS NTAPI NtSetEvent(HANDLE hEvent, PLONG plPrevState);
    NTSTATUS NTAPI NtResetEvent(HANDLE hEvent, PLONG plPrevState);

    /* Files and directories. */
    NTSTATUS NTAPI NtQueryFullAttributesFile(POBJECT_ATTRIBUTES pObjAttr, PFILE_NETWORK_OPEN_INFORMATION pInfo);
    NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE hDir, HANDLE hEvent, PVOID pfnApc, PVOID pvApcCtx, PIO_STATUS_BLOCK pIos,
                                        PVOID pvBuf, ULONG cbBuf, FILE_INFORMATION_CLASS enmClass,
                                        BOOLEAN fReturnSingleEntry, PUNICODE_STRING pFilter, BOOLEAN fRestartScan);
    BOOLEAN NTAPI RtlEqualUnicodeString(PCUNICODE_STRING pString1, PCUNICODE_STRING pString2, BOOLEAN fCaseInsensitive);

    /* Object-manager directories (named by the raw NT path escape). */
    NTSTATUS NTAPI NtOpenDirectoryObject(PHANDLE phDir, ACCESS_MASK fDesiredAccess, POBJECT_ATTRIBUTES pObjAttr);
}

/* Object-directory access rights. */
#define RT_NT_DIRECTORY_QUERY 0x0001
#define RT_NT_DIRECTORY_TRAVERSE 0x0002
#define RT_NT_DIRECTORY_CREATE_OBJECT 0x0004
#define RT_NT_DIRECTORY_CREATE_SUBDIRECTORY 0x0008
#define RT_NT_DIRECTORY_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x000f)

#endif /* ZOLT_INTERNAL_NT_H */
