/** @file
 * The launcher's main function: runtime initialisation, the command line,
 * and the run sequence.
 */
#ifndef STUB_RUN_H
#define STUB_RUN_H

#include "cmdline.h"
#include "runops.h"

/** Template of a new extraction directory in the temporary directory. */
#define STUB_TEMP_DIR_TEMPLATE "XXXXXXXXXXXXXXXXXXXXXXXX"
/** The Windows Installer log's name in the extraction directory. */
#define STUB_DEFAULT_LOG_NAME "QuorInstallLog.txt"

/**
 * Runs the launcher on the UTF-8 argument vector of the process start-up.
 * @returns the process exit code (exitcodes.h): STUB_EXIT_SUCCESS (help,
 *          version, extraction done, packages installed);
 *          STUB_EXIT_FAILURE a reported failure; STUB_EXIT_SYNTAX_ERROR a
 *          command-line error; STUB_EXIT_INIT_FAILURE the runtime failed to
 *          initialise; STUB_EXIT_REBOOT_REQUIRED installed, a restart is
 *          required (STUB_EXIT_SUCCESS with --ignore-reboot).
 */
int StubMain(int cArgs, char **papszArgs);

/**
 * The run after option parsing, from the single-instance mutex to the
 * exit code, with @a pSettings as parsed (g_fSilentMode and g_cVerbosity
 * set) and the payload, host and installation steps of @a pOps. StubMain
 * passes its own image and the real steps; tests pass their own.
 * @returns the exit code, as StubMain's.
 */
int RunStub(StubSettings *pSettings, const StubRunOps *pOps);

/**
 * The host policy of RunStub: an interactive installation (neither
 * extract-only nor g_fSilentMode) on an x86 host is refused; RunStub then
 * shows "32-bit Windows hosts are not supported by this <product>
 * release." (g_pszStubProductName, identity.h) and ends with STUB_EXIT_FAILURE before reading the manifest.
 * @returns true when the run is refused.
 */
bool StubRefusesHost(const StubSettings *pSettings, PackageArch enmHost);

#endif /* STUB_RUN_H */
