/** @file
 * Package extraction and write verification.
 */
#include "extract.h"

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/fs.h>
#include <zolt/path.h>

#include <string.h>

#include "cleanup.h"
#include "cmdline.h"
#include "exitcodes.h"
#include "messages.h"
#include "payload.h"
#include "testhooks.h"

/** Create a new file for writing; others may read but not write. An
 *  existing file of the name is deleted first (rtStubClearTarget): creating
 *  anew, rather than replacing, never writes through whatever the name
 *  turns out to be, a link planted there included. */
#define STUB_OPEN_WRITE (RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE | (0700u << RTFOPEN_CREATE_MODE_SHIFT))
/** Reopen for reading, denying nothing, so it succeeds while the write
 *  handle is still open. */
#define STUB_OPEN_FIRST (RTFOPEN_READ | RTFOPEN_DENY_NONE | RTFOPEN_OPEN | (0700u << RTFOPEN_CREATE_MODE_SHIFT))
/** Reopen for reading with writes denied: succeeds only when nobody holds
 *  the file open for writing, and keeps it that way. */
#define STUB_OPEN_KEPT (RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_OPEN)
static_assert(STUB_OPEN_WRITE == 0x1C000222 && STUB_OPEN_FIRST == 0x1C000781 && STUB_OPEN_KEPT == 0x721,
              "the three opens of a package file");

/** The read-back buffer; extraction runs on the main thread only. */
static uint8_t g_abStubReadBack[STUB_EXTRACT_BLOCK_SIZE];

/** Reads the whole file back through @a hFile and compares it with the
 *  resource bytes. */
static int rtStubVerifyContent(RTFILE hFile, const char *pszPath, unsigned iPackage, const uint8_t *pbData,
                               size_t cbData)
{
    for (size_t off = 0; off < cbData;)
    {
        size_t cbBlock = cbData - off < sizeof(g_abStubReadBack) ? cbData - off : sizeof(g_abStubReadBack);
        int rc = RTFileRead(hFile, g_abStubReadBack, cbBlock, NULL);
        if (RT_FAILURE(rc))
            return PrintErrorRc(rc, "#%u: RTFileRead failed on '%s' at offset %#zx: %Rrc", iPackage, pszPath, off, rc);
        if (memcmp(g_abStubReadBack, &pbData[off], cbBlock) != 0)
            return PrintErrorRc(ERR_MISMATCH, "#%u: File '%s' has change (mismatch in %#zx byte block at %#zx)",
                                iPackage, pszPath, cbBlock, off);
        off += cbBlock;
    }
    return 0;
}

/** Deletes an earlier file under the package's name. A link there (to a
 *  file of the user's, or of the system's: the launcher runs elevated) is
 *  not deleted (ERR_IS_A_SYMLINK) and must not be written through; a hard
 *  link loses only this name. @returns 0 when the name is free now, else
 *  the status. */
static int rtStubClearTarget(const char *pszTargetPath)
{
    int rc = RTFileDelete(pszTargetPath);
    return RT_SUCCESS(rc) || rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND ? 0 : rc;
}

/** ExtractPackageFile; @a pfShown is set when the failure has been shown
 *  to the user already (the cleanup record's "Out of memory!"), so that the
 *  caller does not report it a second time. */
static int rtStubExtractPackageFile(HMODULE hPayload, const char *pszResourceName, const char *pszTargetPath,
                                    RTFILE hFile, unsigned iPackage, bool *pfShown)
{
    *pfShown = false;
    if (!RT_VALID_PTR(pszResourceName) || !RT_VALID_PTR(pszTargetPath))
        return ERR_INVALID_POINTER;

    int rc;
    bool const fCreated = hFile == NIL_RTFILE;
    if (fCreated)
    {
        /* Create-new fails if anything took the name again meanwhile. */
        rc = rtStubClearTarget(pszTargetPath);
        if (RT_SUCCESS(rc))
            rc = RTFileOpen(&hFile, pszTargetPath, STUB_OPEN_WRITE);
        if (RT_FAILURE(rc))
            return PrintErrorRc(rc, "#%u: Failed to create/replace '%s' for writing: %Rrc", iPackage, pszTargetPath,
                                rc);
    }

    /* From here on the cleanup pass owns the file: whatever fails, it
       closes the handle the record holds and deletes what was written. */
    CleanupRecord *pRec = AddCleanupRecord(pszTargetPath, true /*fIsFile*/);
    if (!pRec)
    {
        /* Nothing else will close it, and no cleanup pass knows of the
           file: one we created goes again at once (empty as it is). */
        (void)RTFileClose(hFile); /* a close failure changes nothing here */
        if (fCreated)
            (void)RTFileDelete(pszTargetPath); /* best effort: nothing is left to report it to */
        *pfShown = true;
        return ERR_NO_MEMORY;
    }
    pRec->iPackage = (int32_t)iPackage;
    pRec->hHandle.hFile = hFile;

    const void *pvData = NULL;
    size_t cbData = 0;
    rc = FindPayloadResource(hPayload, pszResourceName, &pvData, &cbData);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: Failed to locate resource '%s': %Rrc", iPackage, pszResourceName, rc);

    /* Straight from the image: no copy of tens of megabytes. */
    rc = RTFileWrite(hFile, pvData, cbData, NULL);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: RTFileWrite('%s',, %#x,) failed: %Rrc", iPackage, pszTargetPath, (unsigned)cbData,
                            rc);

    RTFSOBJREC InfoWritten;
    rc = RTFileQueryInfo(hFile, &InfoWritten, RTFSOBJATTRADD_UNIX);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", iPackage, pszTargetPath, rc);

    /* Open a reader before letting go of the writer, so the file is never
       without a handle of ours that pins it. */
    RTFILE hFirst = NIL_RTFILE;
    rc = RTFileOpen(&hFirst, pszTargetPath, STUB_OPEN_FIRST);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: First re-opening of '%s' failed: %Rrc", iPackage, pszTargetPath, rc);
    rc = RTFileClose(hFile);
    if (RT_FAILURE(rc))
    {
        (void)RTFileClose(hFirst); /* the write handle's failure is the one reported */
        return PrintErrorRc(rc, "#%u: RTFileClose('%s') failed: %Rrc", iPackage, pszTargetPath, rc);
    }
    pRec->hHandle.hFile = hFirst;

    STUB_TEST_HOOK_EXTRACTED(pszTargetPath, iPackage);

    RTFILE hKept = NIL_RTFILE;
    rc = RTFileOpen(&hKept, pszTargetPath, STUB_OPEN_KEPT);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: Second re-opening of '%s' failed: %Rrc", iPackage, pszTargetPath, rc);
    pRec->hHandle.hFile = hKept;
    rc = RTFileClose(hFirst);
    if (RT_FAILURE(rc))
        PrintError("#%u: Failed to close 2nd handle to '%s': %Rrc", iPackage, pszTargetPath, rc);

    RTFSOBJREC InfoKept;
    rc = RTFileQueryInfo(hKept, &InfoKept, RTFSOBJATTRADD_UNIX);
    if (RT_FAILURE(rc))
        return PrintErrorRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", iPackage, pszTargetPath, rc);
    if ((uint64_t)InfoKept.cbObject != cbData)
        return PrintErrorRc(ERR_MISMATCH, "#%u: File size of '%s' changed: %'RU64, expected %'RU32", iPackage,
                            pszTargetPath, (uint64_t)InfoKept.cbObject, (uint32_t)cbData);
    if (InfoKept.Attr.u.Unix.INodeId != InfoWritten.Attr.u.Unix.INodeId)
        return PrintErrorRc(ERR_MISMATCH, "#%u: File ID of '%s' changed: %#RX64, expected %#RX64", iPackage,
                            pszTargetPath, InfoKept.Attr.u.Unix.INodeId, InfoWritten.Attr.u.Unix.INodeId);

    return rtStubVerifyContent(hKept, pszTargetPath, iPackage, (const uint8_t *)pvData, cbData);
}

int ExtractPackageFile(HMODULE hPayload, const char *pszResourceName, const char *pszTargetPath, RTFILE hFile,
                       unsigned iPackage)
{
    bool fShown;
    return rtStubExtractPackageFile(hPayload, pszResourceName, pszTargetPath, hFile, iPackage, &fShown);
}

/** Makes sure the extraction directory exists, is registered, pinned open
 *  and current. @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE
 *  (reported). */
static int rtStubPrepareDirectory(const char *pszPath, CleanupRecord **ppDirRecord)
{
    if (!RTDirExists(pszPath))
    {
        if (*ppDirRecord)
            return ShowError("RTDirExists failed on '%s' which we just created!", pszPath);
        int rc = RTDirCreate(pszPath, 0700, 0);
        if (RT_FAILURE(rc))
            return ShowError("Failed to create extraction path '%s': %Rrc", pszPath, rc);
        *ppDirRecord = AddCleanupRecord(pszPath, false /*fIsFile*/);
        if (!*ppDirRecord)
        {
            /* No cleanup pass knows of the new, empty directory. */
            (void)RTDirRemove(pszPath); /* best effort: the failure is reported below */
            return PrintErrorFailure("Failed to add cleanup record for dir '%s'", pszPath);
        }
    }
    else if (!*ppDirRecord)
    {
        /* The user's own directory: ours to use, never to delete. */
        *ppDirRecord = AddCleanupRecord(pszPath, false /*fIsFile*/);
        if (!*ppDirRecord)
            return PrintErrorFailure("Failed to add cleanup record for existing dir '%s'", pszPath);
        (*ppDirRecord)->fKeep = true;
    }

    int rc = RTDirOpen(&(*ppDirRecord)->hHandle.hDir, pszPath);
    if (RT_FAILURE(rc))
        return ShowError("Failed to open extraction path '%s': %Rrc", pszPath, rc);

    (void)RTPathSetCurrentDir(pszPath); /* only a convenience for the installer's relative paths */
    return STUB_EXIT_SUCCESS;
}

int ExtractPackages(const StubRunOps *pOps, unsigned cPackages, const char *pszPath, bool fExtractOnly,
                    CleanupRecord **ppDirRecord)
{
    int rcExit = rtStubPrepareDirectory(pszPath, ppDirRecord);
    if (rcExit != STUB_EXIT_SUCCESS)
        return rcExit;

    for (unsigned iPackage = 0; iPackage < cPackages; iPackage++)
    {
        const PackageHeader *pHdr = GetPackageHeader(pOps->hPayload, iPackage);
        if (!pHdr)
            return STUB_EXIT_FAILURE; /* reported by the header lookup */
        if (!fExtractOnly && !PackageFitsHost(pHdr->enmArch, pOps->pfnDetectHostArch))
            continue;

        char szTarget[STUB_PATH_SIZE];
        int rc = RTPathJoin(szTarget, sizeof(szTarget), pszPath, pHdr->szFileName);
        if (RT_FAILURE(rc))
            return ShowError("Internal error: Build extraction file name failed: %Rrc", rc);
        bool fShown;
        rc = rtStubExtractPackageFile(pOps->hPayload, pHdr->szResourceName, szTarget, NIL_RTFILE, iPackage, &fShown);
        if (RT_FAILURE(rc) && fShown)
            return STUB_EXIT_FAILURE;
        if (RT_FAILURE(rc))
            return ShowError("Error extracting package #%u (%s): %Rrc", iPackage, pHdr->szFileName, rc);
    }
    return STUB_EXIT_SUCCESS;
}
