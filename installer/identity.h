/** @file
 * Who the launcher says it is: the texts of its identity that the code
 * shows, carried by each launcher as the data resource "IDENTITY" (type
 * RT_RCDATA, language 1033) next to its icon, manifest and version record,
 * and the marker that tells a launcher's stub image (the launcher linked
 * without any resource) apart from any other executable.
 *
 * The resource: the 8 bytes STUB_IDENTITY_MAGIC (no terminator), then
 * exactly four NUL-terminated UTF-8 texts in this order, and nothing after
 * the fourth terminator: the product title, the product name in sentences,
 * the version text and the single-instance mutex's name.
 *
 * The start-up reads it once (LoadStubIdentity) before anything else of the
 * run; the accessors below are valid after that succeeded, for the life of
 * the process. Before, and after a failed load, the title is
 * STUB_IDENTITY_FALLBACK_TITLE and the other texts are null.
 */
#ifndef STUB_IDENTITY_H
#define STUB_IDENTITY_H

#include <stddef.h>

#ifdef _WIN32
#include <windows.h>
#endif

/** The resource's first bytes (8, no terminator). */
#define STUB_IDENTITY_MAGIC "QuorIdV1"
/** The longest text of the identity in bytes, its terminator not counted. */
#define STUB_IDENTITY_MAX_TEXT 512
/** The longest mutex name in UTF-16 units: a kernel object's name is at
 *  most MAX_PATH units long. */
#define STUB_IDENTITY_MAX_MUTEX_NAME 260
/** The caption of the one report of a launcher whose identity cannot be
 *  read: the product's own title is unknown then. */
#define STUB_IDENTITY_FALLBACK_TITLE "Installer"

/** The texts of a checked identity resource, pointing into its bytes. */
typedef struct StubIdentityTexts
{
    const char *pszProductTitle;
    const char *pszProductName;
    const char *pszVersionText;
    const char *pszMutexName;
} StubIdentityTexts;

/**
 * Checks the bytes of an identity resource: the magic, then exactly four
 * terminated texts that end the data, each non-empty, UTF-8 that converts
 * to UTF-16 (the recoding rules: no code point above U+10FFFF), free of
 * control characters (U+0000..U+001F, U+007F) and at most
 * STUB_IDENTITY_MAX_TEXT bytes long; the mutex name (the fourth) also at
 * most STUB_IDENTITY_MAX_MUTEX_NAME UTF-16 units, with a backslash only
 * right after the namespace "Global" or "Local", and a name after that.
 * Plain byte checks, no platform call.
 * @param pTexts out: the four texts within @a pvData; untouched on failure.
 * @returns 0; ERR_INVALID_MAGIC for data shorter than the magic or with
 *          another one; ERR_IO_BAD_LENGTH when a text has no terminator
 *          within the data or bytes follow the fourth one; ERR_NO_DATA for
 *          an empty text; ERR_BUFFER_OVERFLOW for a text over its maximum;
 *          the recoding status (ERR_INVALID_UTF8_ENCODING and friends);
 *          ERR_INVALID_NAME for a control
 *          character or a mutex name against its rules.
 */
int CheckStubIdentity(const void *pvData, size_t cbData, StubIdentityTexts *pTexts);

/** The section of every launcher image that marks it as built from the
 *  launcher's stub. Its raw data starts with STUB_MARKER_TEXT (no
 *  terminator), NUL padding after it. */
#define STUB_MARKER_SECTION ".mdstub"
#define STUB_MARKER_TEXT "MarrowdaleLauncherStub/1"

#ifdef _WIN32
/**
 * Reads the identity resource of @a hModule (FindPayloadResource), checks
 * it (CheckStubIdentity) and makes its texts the launcher's identity. The
 * texts stay in the image, which must stay loaded for the life of the
 * process (the launcher's own image does); the UTF-16 forms are kept in
 * fixed buffers of the launcher. On failure the identity is left as it was.
 * Not thread-safe: the start-up calls it before any other thread runs.
 * @returns 0; the statuses of FindPayloadResource and CheckStubIdentity.
 */
int LoadStubIdentity(HMODULE hModule);

/** The product title, UTF-8 (PRODUCT_NAME, by default "Marrowdale
 *  Installer"): the caption of every message box, the splash window's
 *  title and the help's first line. */
extern const char *g_pszStubProductTitle;
/** The product title in UTF-16, for the wide message box. */
extern const wchar_t *g_pwszStubProductTitle;
/** The product as the help and the messages name it within their
 *  sentences ("Forces %s to get re-installed"), UTF-8: the title, or
 *  "Marrowdale" for the default title. */
extern const char *g_pszStubProductName;
/** What --version and the help show as the version, UTF-8 (VERSION_TEXT,
 *  by default "7.2.0r169963"). */
extern const char *g_pszStubVersionText;
/** The single-instance mutex's name in UTF-16 (MUTEX_NAME, by default
 *  "QuorStubInstaller"). */
extern const wchar_t *g_pwszStubMutexName;

/** The stub marker's bytes (STUB_MARKER_SECTION). The start-up reads it,
 *  so that a link dropping unused sections keeps it. */
extern const char g_achStubMarker[];
#endif /* _WIN32 */

#endif /* STUB_IDENTITY_H */
