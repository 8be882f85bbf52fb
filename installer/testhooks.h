/** @file
 * Test hooks: the points where a test build of the launcher lets a test act
 * at a known moment of a run, or see what a run would show where a test
 * cannot look.
 *
 * Test builds (the library zolt_installer_test, which the unit tests and
 * the tests' own launchers link) are compiled with STUB_TEST_HOOKS and
 * define the hook variables (testhooks.cpp). The shipped launcher
 * (zolt_installer) is compiled without it: every hook point below is then
 * empty and no hook variable exists, so nothing in the shipped launcher can
 * be steered this way. The build checks that (tools/check-no-test-hooks.sh,
 * after every link of the demo and release launchers), relying on every
 * hook variable's name containing "Test" and no other name of the launcher
 * library doing so.
 */
#ifndef STUB_TESTHOOKS_H
#define STUB_TESTHOOKS_H

#ifdef STUB_TEST_HOOKS

#include <zolt/semaphore.h>

/** Called by ExtractPackageFile after the write handle is closed and before
 *  the file is reopened with writes denied, so a test can act on the file
 *  (as another process could) at a known moment. */
typedef void FNSTUBEXTRACTHOOK(const char *pszTargetPath, unsigned iPackage);
/** The extraction hook, or null. */
extern FNSTUBEXTRACTHOOK *g_pfnStubExtractTestHook;

/** Called by the cleanup pass in place of each pause between its attempts,
 *  with the pause's length, so a test sees the schedule without a clock and
 *  can act (as another process could) between two attempts. The pass does
 *  not sleep when this hook is set. */
typedef void FNSTUBCLEANUPPAUSEHOOK(RTMSINTERVAL cMsPause);
/** The cleanup pause hook, or null (the pass then sleeps). */
extern FNSTUBCLEANUPPAUSEHOOK *g_pfnStubCleanupPauseTestHook;

/** When set, a verbose run writes what it would print to a console of its
 *  own into this file instead (appending), so a test can read it where no
 *  console can be allocated. */
extern const char *g_pszStubTestConsoleFile;

/** The extraction hook point. */
#define STUB_TEST_HOOK_EXTRACTED(a_pszTargetPath, a_iPackage)                                                          \
    (g_pfnStubExtractTestHook ? g_pfnStubExtractTestHook(a_pszTargetPath, a_iPackage) : (void)0)
/** The cleanup pause hook point: true when the hook took the pause. */
#define STUB_TEST_HOOK_CLEANUP_PAUSE(a_cMsPause)                                                                       \
    (g_pfnStubCleanupPauseTestHook ? (g_pfnStubCleanupPauseTestHook(a_cMsPause), true) : false)
/** The console file of a verbose run, or null for a console of its own. */
#define STUB_TEST_CONSOLE_FILE() (g_pszStubTestConsoleFile)

#else /* the shipped launcher: no hooks */

#define STUB_TEST_HOOK_EXTRACTED(a_pszTargetPath, a_iPackage) ((void)0)
#define STUB_TEST_HOOK_CLEANUP_PAUSE(a_cMsPause) false
#define STUB_TEST_CONSOLE_FILE() ((const char *)0)

#endif /* STUB_TEST_HOOKS */

#endif /* STUB_TESTHOOKS_H */
