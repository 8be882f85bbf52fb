/** @file
 * The test hooks' variables, compiled into test builds of the launcher only
 * (zolt_installer_test).
 */
#include "testhooks.h"

#ifndef STUB_TEST_HOOKS
#error "testhooks.cpp belongs to test builds only (STUB_TEST_HOOKS)"
#endif

FNSTUBEXTRACTHOOK *g_pfnStubExtractTestHook = nullptr;
FNSTUBCLEANUPPAUSEHOOK *g_pfnStubCleanupPauseTestHook = nullptr;
const char *g_pszStubTestConsoleFile = nullptr;
