/** @file
 * Current code page, POSIX host.
 *
 * The runtime takes the current code page of a POSIX host to be UTF-8 (the
 * locale's character set is not consulted): byte-oriented output is the
 * UTF-8 text itself, checked first so nothing malformed goes out.
 */
#include <zolt/string.h>

#include "internal/utf8.h"

RTDECL(int) RTStrToAnsiCodePage(char **ppszString, const char *pszSource, const char *pszTag)
{
    return rtStrValidateAndDup(ppszString, pszSource, pszTag);
}
