/** @file
 * Who the launcher says it is: the texts of its identity that the code
 * shows, generated into each launcher by tools/make-identity.py from the
 * options of add_stub_installer (cmake/StubInstaller.cmake), together with
 * its icon, manifest and version record. The launcher library's unit tests
 * link the defaults, the demo launcher's identity.
 *
 * All are NUL-terminated constants in the launcher's read-only data,
 * valid for the life of the process.
 */
#ifndef STUB_IDENTITY_H
#define STUB_IDENTITY_H

/** The product title, UTF-8 (PRODUCT_NAME, by default "Marrowdale
 *  Installer"): the caption of every message box, the splash window's
 *  title and the help's first line. */
extern const char g_szStubProductTitle[];
/** The product title in UTF-16, for the wide message box. */
extern const wchar_t g_wszStubProductTitle[];
/** The product as the help and the messages name it within their
 *  sentences ("Forces %s to get re-installed"), UTF-8: the title, or
 *  "Marrowdale" for the default title. */
extern const char g_szStubProductName[];
/** What --version and the help show as the version, UTF-8 (VERSION_TEXT,
 *  by default "7.2.0r169963"). */
extern const char g_szStubVersionText[];
/** The single-instance mutex's name in UTF-16 (MUTEX_NAME, by default
 *  "QuorStubInstaller"). */
extern const wchar_t g_wszStubMutexName[];

#endif /* STUB_IDENTITY_H */
