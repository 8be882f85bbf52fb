/** @file
 * The launcher's identity, read from its own resources at start-up, and
 * the stub marker.
 */
#include "identity.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/string.h>

#include "payload.h"

/* Every launcher is linked first without resources, as the stub, and
   packed later: the packer recognises the stub by this section. It is
   read-only data the image keeps (see g_achStubMarker's contract). */
__attribute__((section(STUB_MARKER_SECTION))) const char g_achStubMarker[] = STUB_MARKER_TEXT;

const char *g_pszStubProductTitle = STUB_IDENTITY_FALLBACK_TITLE;
const wchar_t *g_pwszStubProductTitle = L"" STUB_IDENTITY_FALLBACK_TITLE;
const char *g_pszStubProductName = NULL;
const char *g_pszStubVersionText = NULL;
const wchar_t *g_pwszStubMutexName = NULL;

/* The UTF-16 forms; a text's UTF-16 units never outnumber its UTF-8
   bytes. */
static RTUTF16 s_wszProductTitle[STUB_IDENTITY_MAX_TEXT + 1];
static RTUTF16 s_wszMutexName[STUB_IDENTITY_MAX_MUTEX_NAME + 1];

/** Converts a checked text into one of the fixed buffers. */
static int rtStubToUtf16(const char *pszText, RTUTF16 *pwszBuf, size_t cwcBuf)
{
    return RTStrToUtf16Ex(pszText, RTSTR_MAX, &pwszBuf, cwcBuf, NULL);
}

int LoadStubIdentity(HMODULE hModule)
{
    const void *pvData = NULL;
    size_t cbData = 0;
    int rc = FindPayloadResource(hModule, "IDENTITY", &pvData, &cbData);
    StubIdentityTexts Texts;
    if (RT_SUCCESS(rc))
        rc = CheckStubIdentity(pvData, cbData, &Texts);
    if (RT_SUCCESS(rc))
        rc = rtStubToUtf16(Texts.pszProductTitle, s_wszProductTitle, RT_ELEMENTS(s_wszProductTitle));
    if (RT_SUCCESS(rc))
        rc = rtStubToUtf16(Texts.pszMutexName, s_wszMutexName, RT_ELEMENTS(s_wszMutexName));
    if (RT_FAILURE(rc))
        return rc;
    g_pszStubProductTitle = Texts.pszProductTitle;
    g_pwszStubProductTitle = (const wchar_t *)s_wszProductTitle;
    g_pszStubProductName = Texts.pszProductName;
    g_pszStubVersionText = Texts.pszVersionText;
    g_pwszStubMutexName = (const wchar_t *)s_wszMutexName;
    return 0;
}
