/** @file
 * Copying the custom directory into the extraction directory.
 */
#include "customdir.h"

#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/fs.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include "cleanup.h"
#include "cmdline.h"
#include "exitcodes.h"
#include "lazybind.h"
#include "messages.h"

/** Capacity of a converted path in UTF-16 units, as many as a path buffer
 *  has bytes; its buffer has one unit more for the second terminator of the
 *  shell's name lists. */
#define STUB_SHELL_PATH_UNITS STUB_PATH_SIZE

/** Converts @a pszPath into a shell name list of one name: the path, its
 *  terminator and a second zero unit. @returns STUB_EXIT_SUCCESS, or
 *  STUB_EXIT_FAILURE after showing the conversion failure. */
static int rtStubToShellList(const char *pszPath, RTUTF16 *pwszList)
{
    RTUTF16 *pwsz = pwszList;
    size_t cwc = 0;
    int rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, STUB_SHELL_PATH_UNITS, &cwc);
    if (RT_FAILURE(rc))
        return ShowError("RTStrToUtf16Ex failed on '%s': %Rrc", pszPath, rc);
    pwszList[cwc + 1] = 0; /* cwc < STUB_SHELL_PATH_UNITS: still inside the buffer */
    return STUB_EXIT_SUCCESS;
}

int CopyCustomDirectory(const char *pszExtractPath)
{
    char szSource[STUB_PATH_SIZE];
    int rc = RTPathExecutableDir(szSource, sizeof(szSource));
    if (RT_SUCCESS(rc))
        rc = RTPathAppend(szSource, sizeof(szSource), STUB_CUSTOM_DIR_NAME);
    if (RT_FAILURE(rc))
        return ShowError("Failed to construct '.custom' dir path: %Rrc", rc);
    /* Only a name that is not there, or is no directory, means there is
       nothing to copy; a query that cannot answer (out of memory, say)
       must not leave the vendor's files out of the installation. */
    RTFSOBJREC Source;
    rc = RTPathQueryInfo(szSource, &Source, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK);
    if (rc == ERR_FILE_NOT_FOUND || rc == ERR_PATH_NOT_FOUND ||
        (RT_SUCCESS(rc) && !RTFS_IS_DIRECTORY(Source.Attr.fMode)))
        return STUB_EXIT_SUCCESS;
    if (RT_FAILURE(rc))
        return ShowError("Failed to query the '.custom' dir '%s': %Rrc", szSource, rc);

    RTUTF16 wszSource[STUB_SHELL_PATH_UNITS + 1];
    RTUTF16 wszDest[STUB_SHELL_PATH_UNITS + 1];
    if (rtStubToShellList(szSource, wszSource) != STUB_EXIT_SUCCESS ||
        rtStubToShellList(pszExtractPath, wszDest) != STUB_EXIT_SUCCESS)
        return STUB_EXIT_FAILURE;

    char *pszCopy = RTPathJoinA(pszExtractPath, STUB_CUSTOM_DIR_NAME);
    if (!pszCopy)
        return ShowError("Out of memory!");
    /* The shell copies into whatever bears the copy's name: through a link
       planted there (in a directory the user named, or in ours meanwhile)
       it would write the vendor's files, with the launcher's rights,
       wherever the link points. So the copy's directory is made here
       (unless an earlier run left it), opened without following a link,
       and held open, which keeps it from being swapped for one. It is
       registered for cleanup only once it is open as a directory: whatever
       else bears its name (a file of the user's in an existing extraction
       directory, say) is not ours to delete. */
    RTDIR hDir = NULL;
    rc = RTDirCreate(pszCopy, 0700, 0);
    bool const fCreated = RT_SUCCESS(rc);
    if (fCreated || rc == ERR_ALREADY_EXISTS)
        rc = RTDirOpenFiltered(&hDir, pszCopy, RTDIRFILTER_NONE, RTDIR_F_NO_FOLLOW);
    CleanupRecord *pRec = NULL;
    if (RT_SUCCESS(rc))
    {
        pRec = AddCleanupRecord(pszCopy, false /*fIsFile*/);
        if (!pRec)
            (void)RTDirClose(hDir); /* the record's failure is the one shown */
    }
    if (!pRec && fCreated)
        /* No cleanup pass knows of the directory we just made, empty as it
           still is: it goes at once. */
        (void)RTDirRemove(pszCopy); /* best effort: the failure is reported below */
    RTStrFree(pszCopy);
    if (RT_FAILURE(rc))
        return ShowError("Unable to open the destination .custom directory: %Rrc", rc);
    if (!pRec)
        return STUB_EXIT_FAILURE; /* shown by AddCleanupRecord */
    pRec->hHandle.hDir = hDir;

    SHFILEOPSTRUCTW Op;
    Op.hwnd = NULL;
    Op.wFunc = FO_COPY;
    Op.pFrom = reinterpret_cast<const wchar_t *>(wszSource);
    Op.pTo = reinterpret_cast<const wchar_t *>(wszDest);
    /* Unattended: no progress, no questions, no error boxes. */
    Op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    Op.fAnyOperationsAborted = FALSE;
    Op.hNameMappings = NULL;
    Op.lpszProgressTitle = NULL;
    int iShellResult = g_pfnSHFileOperationW(&Op);
    if (iShellResult != 0)
        return ShowError("Copying the '.custom' dir failed: %#x", iShellResult);
    return STUB_EXIT_SUCCESS;
}
