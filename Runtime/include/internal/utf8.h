/** @file
 * Unicode conversion internals shared by the UTF-8 and UTF-16 sides and the
 * host backends of RTStrToAnsiCodePage.
 */
#ifndef ZOLT_INTERNAL_UTF8_H
#define ZOLT_INTERNAL_UTF8_H

#include <zolt/err.h>
#include <zolt/mem.h>

/**
 * Picks the output buffer of a conversion under the caller-buffer protocol
 * of <zolt/string.h>, once the source has been validated and measured at
 * @a cResult elements (terminator excluded). Stores the length in
 * *pcResult (optional), then either accepts the caller's buffer *ppOut of
 * @a cCapacity elements or sets *ppOut to null and allocates
 * max(cCapacity, cResult + 1) elements.
 *
 * Heap strings and heap blocks are the same kind of block (<zolt/mem.h>),
 * so one allocator serves every target and RTStrFree releases a UTF-8
 * result.
 *
 * @returns 0 with *ppBuf set; the conversion then always fits, so the
 *          caller converts, terminates and stores *ppBuf in *ppOut.
 *          ERR_BUFFER_OVERFLOW if the caller's buffer is too small (nothing
 *          written); @a rcNoMemory if the allocation fails or its size does
 *          not fit in a size_t.
 */
template <typename T>
int rtUniPickTarget(size_t cResult, T **ppOut, size_t cCapacity, size_t *pcResult, int rcNoMemory, const char *pszTag,
                    T **ppBuf)
{
    if (pcResult)
        *pcResult = cResult;
    if (cCapacity && *ppOut)
    {
        if (cResult >= cCapacity)
            return ERR_BUFFER_OVERFLOW;
        *ppBuf = *ppOut;
        return SUCCESS;
    }
    *ppOut = nullptr;
    size_t const cAlloc = cCapacity > cResult ? cCapacity : cResult + 1;
    if (cAlloc > RTSTR_MAX / sizeof(T))
        return rcNoMemory;
    *ppBuf = static_cast<T *>(RTMemAlloc(cAlloc * sizeof(T), pszTag));
    return *ppBuf ? SUCCESS : rcNoMemory;
}

/**
 * Validates @a pszSource under the UTF-8 validation rules and duplicates
 * it: RTStrToAnsiCodePage where the current code page is UTF-8.
 * @returns 0 with the copy in *ppszString; the validation status;
 *          ERR_NO_STR_MEMORY. *ppszString is null on failure.
 */
int rtStrValidateAndDup(char **ppszString, const char *pszSource, const char *pszTag);

#endif /* ZOLT_INTERNAL_UTF8_H */
