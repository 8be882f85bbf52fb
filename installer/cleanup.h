/** @file
 * Cleanup records: everything a run puts on disk (the extraction directory,
 * each package file, the copied custom directory) is registered the moment
 * it exists, together with the handle that keeps it open while the run
 * needs it. The cleanup pass closes those handles and deletes the objects.
 *
 * One process-wide list, used by the main thread only. New records go to
 * the front, so a walk meets files before the directory holding them.
 */
#ifndef STUB_CLEANUP_H
#define STUB_CLEANUP_H

#include <zolt/dir.h>
#include <zolt/file.h>

#include <stdint.h>

/** One file or directory the run created. */
typedef struct CleanupRecord
{
    struct CleanupRecord *pNext;
    struct CleanupRecord *pPrev;
    /** Index of the package this file holds; -1 for directories. */
    int32_t iPackage;
    /** A file (else a directory). */
    bool fIsFile;
    /** Close the handle but never delete the object: it existed before the
     *  run. */
    bool fKeep;
    /** The open handle, NIL_RTFILE or null when none. */
    union {
        RTFILE hFile;
        RTDIR hDir;
    } hHandle;
    /** Full path, stored inline. */
    char szPath[1];
} CleanupRecord;

/** Empties the list without touching anything (the start of a run). */
void InitCleanupRecords(void);

/**
 * Registers @a pszPath at the front of the list, with iPackage -1, fKeep
 * false and no handle; the caller fills in what applies.
 * @returns the record, or null after showing "Out of memory!" (ShowError).
 */
CleanupRecord *AddCleanupRecord(const char *pszPath, bool fIsFile);

/** @returns the record nearest the front whose iPackage is @a iPackage, or
 *  null. */
CleanupRecord *FindCleanupRecord(int32_t iPackage);

/**
 * The cleanup pass: up to five attempts over the list, pausing 100 ms after
 * the first and 3000 ms after the next three. Each attempt closes handles
 * not yet closed (failures are printed and the handle forgotten), drops the
 * records of kept objects, and deletes files and removes (empty)
 * directories, dropping the record when the object is gone. A deletion that
 * still fails in the last attempt is shown once (ShowError); a directory
 * still not empty then is left without a message. When the list is empty,
 * or in the last attempt, @a pszBaseDir (if not null) is removed as well.
 * @returns the status of the base directory's removal, or 0.
 */
int RunCleanup(const char *pszBaseDir);

/** Unlinks and frees every record, closing nothing and touching no file:
 *  the objects and their handles are left to the end of the process. */
void FreeCleanupRecords(void);

#endif /* STUB_CLEANUP_H */
