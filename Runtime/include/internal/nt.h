/** @file
 * Native NT API prototypes and constants the runtime calls in ntdll that
 * the mingw-w64 headers do not declare.
 */
#ifndef ZOLT_INTERNAL_NT_H
#define ZOLT_INTERNAL_NT_H

#include <windows.h>

#include <zolt/cdefs.h>

#include <winternl.h>

#include <stdint.h>

/* NT status values that winnt.h does not define without clashing with
   ntstatus.h. */
#define RT_NT_STATUS_ABANDONED ((NTSTATUS)0x00000080)
#define RT_NT_STATUS_USER_APC ((NTSTATUS)0x000000C0)
#define RT_NT_STATUS_ALERTED ((NTSTATUS)0x00000101)
#define RT_NT_STATUS_TIMEOUT ((NTSTATUS)0x00000102)
#define RT_NT_STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005)
#define RT_NT_STATUS_NO_MORE_ENTRIES ((NTSTATUS)0x8000001A)
#define RT_NT_STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001)
#define RT_NT_STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002)
#define RT_NT_STATUS_INVALID_INFO_CLASS ((NTSTATUS)0xC0000003)
#define RT_NT_STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000D)
#define RT_NT_STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022)
#define RT_NT_STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024)
#define RT_NT_STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033)
#define RT_NT_STATUS_SHARING_VIOLATION ((NTSTATUS)0xC0000043)
#define RT_NT_STATUS_FILE_IS_A_DIRECTORY ((NTSTATUS)0xC00000BA)
#define RT_NT_STATUS_NAME_TOO_LONG ((NTSTATUS)0xC0000106)

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

    /* The process token and security descriptors: ntdll has them all, so
       nothing needs advapi32 at load time. */
    NTSTATUS NTAPI NtOpenProcessToken(HANDLE hProcess, ACCESS_MASK fDesiredAccess, PHANDLE phToken);
    NTSTATUS NTAPI NtQueryInformationToken(HANDLE hToken, TOKEN_INFORMATION_CLASS enmClass, PVOID pvBuf, ULONG cbBuf,
                                           PULONG pcbReturned);
    BOOLEAN NTAPI RtlEqualSid(PSID pSid1, PSID pSid2);
    ULONG NTAPI RtlLengthSid(PSID pSid);
    NTSTATUS NTAPI RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, ULONG uRevision);
    NTSTATUS NTAPI RtlSetControlSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, SECURITY_DESCRIPTOR_CONTROL fMask,
                                                   SECURITY_DESCRIPTOR_CONTROL fBits);
    NTSTATUS NTAPI RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, BOOLEAN fDaclPresent, PACL pDacl,
                                                BOOLEAN fDaclDefaulted);
    NTSTATUS NTAPI RtlCreateAcl(PACL pAcl, ULONG cbAcl, ULONG uRevision);
    NTSTATUS NTAPI RtlAddAccessAllowedAceEx(PACL pAcl, ULONG uRevision, ULONG fAceFlags, ACCESS_MASK fAccess,
                                            PSID pSid);
}

/** A SID of at most SECURITY_MAX_SID_SIZE bytes (15 sub-authorities). */
typedef union RTNTSIDBUF {
    SID Sid;
    uint8_t ab[SECURITY_MAX_SID_SIZE];
} RTNTSIDBUF;

/** The process token's user, and an answer to the question it serves
 *  most: whether that is the local system account. */
typedef struct RTNTPROCUSER
{
    RTNTSIDBUF User;
    /** The user is SYSTEM (S-1-5-18). */
    bool fLocalSystem;
} RTNTPROCUSER;

/**
 * Queries the user of the process's primary token (through the file
 * layer's system-call table, so tests can fail or answer it).
 * @returns 0 with *pUser filled; the converted NT status of the token's
 *          open or query.
 */
int rtNtQueryProcessUser(RTNTPROCUSER *pUser);

/** A private directory's security descriptor (absolute form): a protected
 *  access list granting full control to the process's user,
 *  BUILTIN\Administrators and SYSTEM (once each), every entry inherited
 *  by files and subdirectories. Points into itself: not to be copied. */
typedef struct RTNTPRIVATESD
{
    SECURITY_DESCRIPTOR Sd;
    union {
        ACL Acl;
        uint8_t ab[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE)];
    } Dacl;
} RTNTPRIVATESD;

/**
 * Builds a private directory's security descriptor in @a pSd.
 * @returns 0; the failures of rtNtQueryProcessUser; the converted NT
 *          status of a descriptor call (none fails on this fixed layout).
 */
int rtNtInitPrivateSd(RTNTPRIVATESD *pSd);

/* Object-directory access rights. */
#define RT_NT_DIRECTORY_QUERY 0x0001
#define RT_NT_DIRECTORY_TRAVERSE 0x0002
#define RT_NT_DIRECTORY_CREATE_OBJECT 0x0004
#define RT_NT_DIRECTORY_CREATE_SUBDIRECTORY 0x0008
#define RT_NT_DIRECTORY_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x000f)

/**
 * NtCreateFile (through the file system-call table) that also reaches
 * names longer than the host takes in one call. Wine maps an NT name onto
 * one Unix path (the prefix's drive link followed by the whole name), and
 * the Unix calls refuse that beyond PATH_MAX (4096 bytes) with a failure
 * Wine reports as STATUS_UNSUCCESSFUL; a name relative to an open directory
 * is resolved from that directory's own descriptor instead. So when a name
 * of more than RT_NT_PATH_HOST_STEP units fails that way (or with
 * STATUS_NAME_TOO_LONG), its ancestors are opened one after the other, each
 * at most RT_NT_PATH_HOST_STEP units on from the one before and relative
 * to it, and the object is opened relative to the last of them. Windows
 * itself takes such names whole.
 *
 * The arguments are those of NtCreateFile without extended attributes;
 * @a pObjAttr must name the object by a full NT path (no root directory).
 * @returns the NT status of the open (of the first ancestor that cannot
 *          be opened when the piecewise way fails there).
 */
NTSTATUS rtNtPathCreateFile(PHANDLE phFile, ACCESS_MASK fDesiredAccess, POBJECT_ATTRIBUTES pObjAttr,
                            PIO_STATUS_BLOCK pIos, ULONG fFileAttributes, ULONG fShareAccess, ULONG fDisposition,
                            ULONG fCreateOptions);

/** The longest piece of a name rtNtPathCreateFile hands to the host in one
 *  call, in UTF-16 units: even at three UTF-8 bytes per unit, and behind a
 *  long Wine prefix, well within PATH_MAX. */
#define RT_NT_PATH_HOST_STEP 1024

/**
 * Whether a Win32 path call that failed with @a dwErr on the wide path
 * @a pwszPath may have hit the host's limit on one path, so that the same
 * operation through rtNtPathWinCreate can still succeed: the path is in the
 * long form ("\\?\" and an NT path) of more than RT_NT_PATH_HOST_STEP
 * units, and the error is Wine's translation of that limit
 * (ERROR_GEN_FAILURE) or ERROR_FILENAME_EXCED_RANGE.
 */
bool rtNtPathWinMayRetry(DWORD dwErr, const RTUTF16 *pwszPath);

/**
 * A Win32 call's way around the host's limit on one path: opens or creates
 * the object that the long-form wide path @a pwszPath (as RTPathToNativeWide
 * makes it) names, through rtNtPathCreateFile with the given NtCreateFile
 * arguments (object attributes @a fObjAttribs, no security descriptor).
 * @a pwszPath is changed while the call runs and restored before it returns.
 * @returns ERROR_SUCCESS with the handle in *phFile and the open's
 *          information (FILE_CREATED, FILE_OPENED, ...) in *puInformation
 *          when wanted; else the Win32 error the NT status stands for, as the
 *          Win32 call would have reported it (*phFile is then
 *          INVALID_HANDLE_VALUE).
 */
DWORD rtNtPathWinCreate(RTUTF16 *pwszPath, ACCESS_MASK fDesiredAccess, ULONG fObjAttribs, ULONG fFileAttributes,
                        ULONG fShareAccess, ULONG fDisposition, ULONG fCreateOptions, HANDLE *phFile,
                        ULONG_PTR *puInformation);

#endif /* ZOLT_INTERNAL_NT_H */
