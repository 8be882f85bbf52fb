/** @file
 * The checks of the identity resource. Plain byte checks without any
 * platform call, so the fuzz target runs this very code on Linux.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <string.h>

#include "identity.h"

/** Namespaces a kernel object's name may start with; only they may hold a
 *  backslash. */
static const char *const s_apszMutexNamespaces[] = {"Global\\", "Local\\"};

/** A mutex name's rules beyond those of every text; @a cwcName is its
 *  length in UTF-16 units. */
static int rtStubCheckMutexName(const char *pszName, size_t cwcName)
{
    if (cwcName > STUB_IDENTITY_MAX_MUTEX_NAME)
        return ERR_BUFFER_OVERFLOW;
    const char *pszRest = pszName;
    for (const char *pszNamespace : s_apszMutexNamespaces)
        if (strncmp(pszName, pszNamespace, strlen(pszNamespace)) == 0)
            pszRest = pszName + strlen(pszNamespace);
    if (*pszRest == '\0' || strchr(pszRest, '\\'))
        return ERR_INVALID_NAME;
    return 0;
}

/** Checks the text at @a pch (at most @a cbLeft bytes left) and gives the
 *  bytes it takes, terminator included, in *pcbText, and its length in
 *  UTF-16 units in *pcwcText. */
static int rtStubCheckIdentityText(const char *pch, size_t cbLeft, size_t *pcbText, size_t *pcwcText)
{
    const char *pchEnd = (const char *)memchr(pch, '\0', cbLeft);
    if (!pchEnd)
        return ERR_IO_BAD_LENGTH;
    size_t cch = (size_t)(pchEnd - pch);
    if (cch == 0)
        return ERR_NO_DATA;
    if (cch > STUB_IDENTITY_MAX_TEXT)
        return ERR_BUFFER_OVERFLOW;
    /* The recoding rules: the launcher converts the texts to UTF-16. */
    int rc = RTStrCountUtf16Units(pch, cch, pcwcText);
    if (RT_FAILURE(rc))
        return rc;
    for (size_t i = 0; i < cch; i++)
        if ((unsigned char)pch[i] < 0x20 || pch[i] == 0x7f)
            return ERR_INVALID_NAME;
    *pcbText = cch + 1;
    return 0;
}

int CheckStubIdentity(const void *pvData, size_t cbData, StubIdentityTexts *pTexts)
{
    const size_t cbMagic = sizeof(STUB_IDENTITY_MAGIC) - 1;
    if (cbData < cbMagic || memcmp(pvData, STUB_IDENTITY_MAGIC, cbMagic) != 0)
        return ERR_INVALID_MAGIC;
    const char *apszTexts[4];
    size_t acwcTexts[4];
    size_t off = cbMagic;
    for (size_t i = 0; i < 4; i++)
    {
        apszTexts[i] = (const char *)pvData + off;
        size_t cbText = 0;
        int rc = rtStubCheckIdentityText(apszTexts[i], cbData - off, &cbText, &acwcTexts[i]);
        if (RT_FAILURE(rc))
            return rc;
        off += cbText;
    }
    if (off != cbData)
        return ERR_IO_BAD_LENGTH;
    int rc = rtStubCheckMutexName(apszTexts[3], acwcTexts[3]);
    if (RT_FAILURE(rc))
        return rc;
    *pTexts = StubIdentityTexts{apszTexts[0], apszTexts[1], apszTexts[2], apszTexts[3]};
    return 0;
}
