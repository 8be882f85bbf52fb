/** @file
 * The process token's user, and the security descriptor of a private
 * directory, through ntdll only.
 */
#include <zolt/err.h>

#include <string.h>

#include "internal/fileio.h"
#include "internal/nt.h"

namespace
{

/** A SID with up to two sub-authorities, laid out as the platform's SID. */
struct RTNTSID2
{
    BYTE bRevision;
    BYTE cSubAuthorities;
    SID_IDENTIFIER_AUTHORITY Authority;
    DWORD aSubAuthorities[2];
};

/** S-1-5-18, the local system account. */
const RTNTSID2 g_rtNtSidLocalSystem = {SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID, 0}};
/** S-1-5-32-544, BUILTIN\Administrators. */
const RTNTSID2 g_rtNtSidAdministrators = {
    SID_REVISION, 2, {SECURITY_NT_AUTHORITY}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

PSID rtNtSid(const RTNTSID2 *pSid)
{
    return (PSID)pSid; /* the Rtl calls take non-const SIDs and only read them */
}

} // namespace

int rtNtQueryProcessUser(RTNTPROCUSER *pUser)
{
    HANDLE hToken = nullptr;
    NTSTATUS rcNt = g_pRtFileSysCalls->pfnNtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    /* TOKEN_USER: the SID's address and attributes, then the SID itself. */
    union {
        TOKEN_USER User;
        uint8_t ab[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } Buf;
    ULONG cbReturned = 0;
    rcNt = g_pRtFileSysCalls->pfnNtQueryInformationToken(hToken, TokenUser, &Buf, sizeof(Buf), &cbReturned);
    (void)g_pRtFileSysCalls->pfnNtClose(hToken); /* a query handle: nothing to lose if it stays open */
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    ULONG const cbSid = RtlLengthSid(Buf.User.User.Sid);
    if (cbSid > sizeof(pUser->User))
        return ERR_INTERNAL_ERROR; /* no SID is longer */
    memcpy(&pUser->User, Buf.User.User.Sid, cbSid);
    pUser->fLocalSystem = RtlEqualSid(&pUser->User.Sid, rtNtSid(&g_rtNtSidLocalSystem));
    return SUCCESS;
}

int rtNtInitPrivateSd(RTNTPRIVATESD *pSd)
{
    RTNTPROCUSER User;
    int rc = rtNtQueryProcessUser(&User);
    if (RT_FAILURE(rc))
        return rc;
    /* Full control, inherited by every file and subdirectory created in the
       directory; the access list is protected, so nothing of the parent's
       (which may let every user in, as C:\Windows\Temp does) is inherited.
       SYSTEM running the launcher is named once. */
    PSID const apSids[] = {&User.User.Sid, rtNtSid(&g_rtNtSidAdministrators), rtNtSid(&g_rtNtSidLocalSystem)};
    NTSTATUS rcNt = RtlCreateAcl(&pSd->Dacl.Acl, sizeof(pSd->Dacl), ACL_REVISION);
    for (size_t i = 0; i < sizeof(apSids) / sizeof(apSids[0]) && NT_SUCCESS(rcNt); i++)
        if (i == 0 || !RtlEqualSid(apSids[i], apSids[0]))
            rcNt = RtlAddAccessAllowedAceEx(&pSd->Dacl.Acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                            FILE_ALL_ACCESS, apSids[i]);
    if (NT_SUCCESS(rcNt))
        rcNt = RtlCreateSecurityDescriptor(&pSd->Sd, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(rcNt))
        rcNt = RtlSetDaclSecurityDescriptor(&pSd->Sd, TRUE, &pSd->Dacl.Acl, FALSE);
    if (NT_SUCCESS(rcNt))
        rcNt = RtlSetControlSecurityDescriptor(&pSd->Sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    return NT_SUCCESS(rcNt) ? SUCCESS : RTErrConvertFromNtStatus(rcNt);
}
