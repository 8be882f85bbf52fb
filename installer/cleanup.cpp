/** @file
 * Cleanup records and the cleanup pass.
 */
#include "cleanup.h"

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/mem.h>
#include <zolt/thread.h>

#include <stddef.h>
#include <string.h>

#include "messages.h"
#include "testhooks.h"

/** The list head: a sentinel, so insertion and removal need no cases. */
static CleanupRecord g_CleanupHead = {&g_CleanupHead, &g_CleanupHead, -1, false, false, {NIL_RTFILE}, {0}};

/** Attempts of the cleanup pass, and the pause after each but the last:
 *  other processes (a virus scanner, the Windows Installer service) may
 *  hold a file for a moment after the installation. */
static const RTMSINTERVAL g_acMsCleanupPause[] = {100, 3000, 3000, 3000};
#define STUB_CLEANUP_ATTEMPTS (RT_ELEMENTS(g_acMsCleanupPause) + 1)

void InitCleanupRecords(void)
{
    g_CleanupHead.pNext = &g_CleanupHead;
    g_CleanupHead.pPrev = &g_CleanupHead;
}

CleanupRecord *AddCleanupRecord(const char *pszPath, bool fIsFile)
{
    size_t cchPath = strlen(pszPath);
    CleanupRecord *pRec = (CleanupRecord *)RTMemAllocZero(offsetof(CleanupRecord, szPath) + cchPath + 1);
    if (!pRec)
    {
        ShowError("Out of memory!");
        return NULL;
    }
    pRec->iPackage = -1;
    pRec->fIsFile = fIsFile;
    if (fIsFile)
        pRec->hHandle.hFile = NIL_RTFILE;
    else
        pRec->hHandle.hDir = NULL;
    memcpy(pRec->szPath, pszPath, cchPath + 1);

    pRec->pNext = g_CleanupHead.pNext;
    pRec->pPrev = &g_CleanupHead;
    g_CleanupHead.pNext->pPrev = pRec;
    g_CleanupHead.pNext = pRec;
    return pRec;
}

CleanupRecord *FindCleanupRecord(int32_t iPackage)
{
    for (CleanupRecord *pRec = g_CleanupHead.pNext; pRec != &g_CleanupHead; pRec = pRec->pNext)
        if (pRec->iPackage == iPackage)
            return pRec;
    return NULL;
}

static void rtStubFreeCleanupRecord(CleanupRecord *pRec)
{
    pRec->pPrev->pNext = pRec->pNext;
    pRec->pNext->pPrev = pRec->pPrev;
    RTMemFree(pRec);
}

void FreeCleanupRecords(void)
{
    while (g_CleanupHead.pNext != &g_CleanupHead)
        rtStubFreeCleanupRecord(g_CleanupHead.pNext);
}

/** Closes the record's handle if it still has one; a failure is printed
 *  and the handle forgotten either way. */
static void rtStubCloseRecordHandle(CleanupRecord *pRec)
{
    if (pRec->fIsFile)
    {
        if (pRec->hHandle.hFile != NIL_RTFILE && RTFileIsValid(pRec->hHandle.hFile))
        {
            int rc = RTFileClose(pRec->hHandle.hFile);
            if (RT_FAILURE(rc))
                PrintError("Cleanup file '%s' for #%u: RTFileClose(%p) failed: %Rrc", pRec->szPath, pRec->iPackage,
                           (void *)pRec->hHandle.hFile, rc);
        }
        pRec->hHandle.hFile = NIL_RTFILE;
    }
    else
    {
        if (pRec->hHandle.hDir && RTDirIsValid(pRec->hHandle.hDir))
        {
            int rc = RTDirClose(pRec->hHandle.hDir);
            if (RT_FAILURE(rc))
                PrintError("Cleanup dir '%s' for #%u: RTDirClose(%p) failed: %Rrc", pRec->szPath, pRec->iPackage,
                           (void *)pRec->hHandle.hDir, rc);
        }
        pRec->hHandle.hDir = NULL;
    }
}

/** One attempt at one record. @returns true when the record is done with
 *  (dropped), false when it stays for the next attempt. */
static bool rtStubCleanupRecord(CleanupRecord *pRec, bool fLastAttempt)
{
    rtStubCloseRecordHandle(pRec);
    if (pRec->fKeep)
        return true;

    int rc = pRec->fIsFile ? RTFileDelete(pRec->szPath) : RTDirRemove(pRec->szPath);
    if (RT_SUCCESS(rc) || rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND)
        return true;
    /* A directory that is not empty holds something we did not create (a
       log file, the user's own files): not ours to remove, nor an error. */
    if (!pRec->fIsFile && rc == ERR_DIR_NOT_EMPTY)
        return fLastAttempt;
    if (fLastAttempt)
        ShowError(pRec->fIsFile ? "Failed to delete temporary file '%s': %Rrc"
                                : "Failed to delete temporary directory '%s': %Rrc",
                  pRec->szPath, rc);
    return false;
}

int RunCleanup(const char *pszBaseDir)
{
    for (unsigned iAttempt = 0;; iAttempt++)
    {
        bool const fLastAttempt = iAttempt + 1 == STUB_CLEANUP_ATTEMPTS;
        for (CleanupRecord *pRec = g_CleanupHead.pNext; pRec != &g_CleanupHead;)
        {
            CleanupRecord *pNext = pRec->pNext;
            if (rtStubCleanupRecord(pRec, fLastAttempt))
                rtStubFreeCleanupRecord(pRec);
            pRec = pNext;
        }

        if (g_CleanupHead.pNext == &g_CleanupHead || fLastAttempt)
        {
            if (!pszBaseDir)
                return 0;
            /* Failures here are never reported: the directory may rightly
               hold files that are not ours. */
            int rc = RTDirRemove(pszBaseDir);
            if (RT_SUCCESS(rc) || rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND || fLastAttempt)
                return rc;
        }
        if (!STUB_TEST_HOOK_CLEANUP_PAUSE(g_acMsCleanupPause[iAttempt]))
            RTThreadSleepMs(g_acMsCleanupPause[iAttempt]);
    }
}
