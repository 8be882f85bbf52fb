/** @file
 * What a run uses of the world around the launcher's own decisions: the
 * image that carries the payload, the host's architecture, and the steps
 * of the installation phase that change the machine.
 *
 * The launcher runs with its own image and the real steps (StubMain).
 * Tests run the very same sequence (StubRun, ExtractPackages,
 * RunInstallationPhase) with a table of their own: other launchers' images
 * loaded as resources, another host, steps that record what they were
 * asked and answer as told. So every decision of a run (which packages are
 * extracted and installed, in what order, when it stops, what the exit
 * code becomes) can be driven with real extraction and cleanup but without
 * the Windows Installer installing anything.
 */
#ifndef STUB_RUNOPS_H
#define STUB_RUNOPS_H

#include <windows.h>

#include "exitcodes.h"
#include "payload.h"

/** The run's surroundings; the table outlives the run. RunStub and
 *  RunInstallationPhase use every member; ExtractPackages only hPayload
 *  and pfnDetectHostArch, so the steps may be null for it. */
typedef struct StubRunOps
{
    /** The image whose resources carry the payload container. */
    HMODULE hPayload;
    /** The host's architecture (DetectHostArch), asked anew wherever the run
     *  needs it. */
    FNDETECTHOSTARCH *pfnDetectHostArch;
    /** Copies the custom directory into the extraction directory
     *  (CopyCustomDirectory). @returns STUB_EXIT_SUCCESS, or
     *  STUB_EXIT_FAILURE after a reported failure. */
    int (*pfnCopyCustomDirectory)(const char *pszExtractPath);
    /** Adds the certificates carried by the image (hPayload) to the local
     *  machine's trusted publishers (InstallCarriedCertificates).
     *  @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE after a reported
     *  failure. */
    int (*pfnInstallCertificates)(HMODULE hModule);
    /** Installs one extracted package (InstallMsiPackage, same arguments).
     *  @returns STUB_EXIT_SUCCESS, STUB_EXIT_REBOOT_REQUIRED, or
     *  STUB_EXIT_FAILURE after a reported failure. */
    int (*pfnInstallMsiPackage)(const char *pszPackage, const char *pszMsiParams, const char *pszLogFile);
} StubRunOps;

#endif /* STUB_RUNOPS_H */
