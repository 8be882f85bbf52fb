/** @file
 * Package extraction: every package that fits the host (every package in
 * extract-only runs) is written from its resource into the extraction
 * directory and then proven to be exactly what the launcher carries. The
 * verified file stays open with writes denied, in its cleanup record, until
 * the cleanup pass, so nobody can change it before the Windows Installer has
 * read it.
 */
#ifndef STUB_EXTRACT_H
#define STUB_EXTRACT_H

#include <zolt/file.h>

#include "cleanup.h"
#include "runops.h"

/** Read-back block size of the verification in bytes. */
#define STUB_EXTRACT_BLOCK_SIZE 65536

/**
 * Extracts the packages 0 to @a cPackages - 1 of the image
 * pOps->hPayload into @a pszPath: every package in extract-only runs, else
 * those that fit the host (PackageFitsHost with pOps->pfnDetectHostArch).
 *
 * The directory is created (mode 0700) when it does not exist; it is
 * registered for cleanup, kept (fKeep) when it existed before, opened so it
 * stays in place, and made the current directory.
 *
 * @param ppDirRecord in: the record of a directory the caller has just
 *        created, or null; out: the record of the directory in use.
 * @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE after a failure that
 *          has been reported (ShowError: "Error extracting package #%u
 *          (%s): %Rrc" for a package, the directory's own messages, or the
 *          header lookup's).
 */
int ExtractPackages(const StubRunOps *pOps, unsigned cPackages, const char *pszPath, bool fExtractOnly,
                    CleanupRecord **ppDirRecord);

/**
 * Writes resource @a pszResourceName of the image @a hPayload to
 * @a pszTargetPath (created anew,
 * writes denied to others: an earlier file of the name is deleted first, a
 * link there is refused with ERR_IS_A_SYMLINK and never written through),
 * registers the file for cleanup with
 * @a iPackage, and verifies it: reopened with writes denied, same file
 * identity and size as right after the write, and the content read back in
 * 64 KiB blocks equal to the resource. The record ends up holding the kept
 * handle (read, writes denied).
 *
 * @param hFile an open handle to write through, or NIL_RTFILE to create the
 *        file.
 * @returns 0; ERR_INVALID_POINTER for a bad text pointer; ERR_NO_MEMORY when
 *          the record cannot be made (shown; a file it created is deleted
 *          again); ERR_MISMATCH when size,
 *          identity or content differ; a file or resource status. Every
 *          failure after the record exists has printed a detail line
 *          (PrintErrorRc) and leaves the file to the cleanup pass.
 */
int ExtractPackageFile(HMODULE hPayload, const char *pszResourceName, const char *pszTargetPath, RTFILE hFile,
                       unsigned iPackage);

#endif /* STUB_EXTRACT_H */
