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
 * @returns the process exit code: 0 success (help, version, extraction
 *          done, packages installed); 1 a reported failure; 2 a
 *          command-line error; 3 the runtime failed to initialise; 3010
 *          installed, a restart is required (0 with --ignore-reboot).
 */
int StubMain(int cArgs, char **papszArgs);

/** Test builds only: when set, a verbose run writes what it would print to
 *  a console of its own into this file instead (appending), so a test can
 *  read it where no console can be allocated. */
extern const char *g_pszStubTestConsoleFile;

#endif /* STUB_RUN_H */
