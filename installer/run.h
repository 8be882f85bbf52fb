/** @file
 * The launcher's main function: runtime initialisation, the command line,
 * and the run sequence.
 */
#ifndef STUB_RUN_H
#define STUB_RUN_H

/** The single-instance mutex: its existence is the signal. */
#define STUB_MUTEX_NAME "QuorStubInstaller"
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

/** Test builds only: when set, a verbose run writes what it would print to
 *  a console of its own into this file instead (appending), so a test can
 *  read it where no console can be allocated. */
extern const char *g_pszStubTestConsoleFile;

#endif /* STUB_RUN_H */
