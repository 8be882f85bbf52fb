/* Path parsing, assembly and appending. Oracles: every entry lies inside
   the input, the assembled path has the parsed length and parses back to the
   same components, appending leaves the buffer untouched when it fails, and
   no call writes past the size it is given (exact-size heap blocks). */
#include <zolt/err.h>
#include <zolt/path.h>

#include <stdlib.h>
#include <string.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    uint32_t const fStyle = pbData[0] % 3;
    size_t const cEntries = pbData[1] % 16;
    std::string const s((const char *)pbData + 2, cbData - 2);
    const char *psz = s.c_str();
    size_t const cch = strlen(psz);

    size_t const cbRec = RTPATHPARSEREC_HDR_SIZE + cEntries * sizeof(RTPATHPARSECOMP);
    RTPATHPARSEREC *pRec = (RTPATHPARSEREC *)malloc(cbRec);
    int rc = RTPathParse(psz, pRec, cbRec, fStyle);
    if (rc == ERR_PATH_ZERO_LENGTH && cch != 0)
        abort();
    if (rc == ERR_BUFFER_OVERFLOW && pRec->cComps <= cEntries)
        abort();
    if (rc >= 0)
    {
        if (pRec->cComps == 0 || pRec->cComps > cEntries || pRec->cchPath > cch || pRec->u16Reserved != 0)
            abort();
        size_t offPrev = 0;
        for (size_t i = 0; i < pRec->cComps; i++)
        {
            RTPATHPARSECOMP const Comp = pRec->aComps[i];
            if (Comp.cch == 0 || (size_t)Comp.off + Comp.cch > cch || (i && Comp.off < offPrev))
                abort();
            offPrev = (size_t)Comp.off + Comp.cch;
        }
        if ((pRec->fProps & RTPATH_PROP_SUFFIX) && psz[pRec->offSuffix] != '.')
            abort();

        /* Exactly enough room, then one byte less. */
        size_t const cchPath = pRec->cchPath;
        char *pszOut = (char *)malloc(cchPath + 1);
        if (RTPathAssemble(psz, pRec, fStyle, pszOut, cchPath + 1) != SUCCESS || strlen(pszOut) != cchPath)
            abort();
        if (cchPath > 0)
        {
            char *pszShort = (char *)malloc(cchPath);
            if (RTPathAssemble(psz, pRec, fStyle, pszShort, cchPath) != ERR_BUFFER_OVERFLOW || *pszShort != '\0')
                abort();
            free(pszShort);
        }

        /* The normalised form parses to the same number of components. */
        size_t const cbRec2 = RTPATHPARSEREC_HDR_SIZE + pRec->cComps * sizeof(RTPATHPARSECOMP);
        RTPATHPARSEREC *pRec2 = (RTPATHPARSEREC *)malloc(cbRec2);
        rc = RTPathParse(pszOut, pRec2, cbRec2, fStyle);
        if (rc != SUCCESS || pRec2->cComps != pRec->cComps || pRec2->cchPath != cchPath)
            abort();
        free(pRec2);
        free(pszOut);
    }
    free(pRec);

    /* The input's first half is the path, the second the text to append. */
    size_t const cchHead = cch / 2;
    std::string const sHead(psz, cchHead);
    size_t const cbBuf = cchHead + 1 + pbData[1] % 8;
    char *pszBuf = (char *)malloc(cbBuf);
    memset(pszBuf, 'Z', cbBuf);
    memcpy(pszBuf, sHead.c_str(), cchHead + 1);
    char *pszSaved = (char *)malloc(cbBuf);
    memcpy(pszSaved, pszBuf, cbBuf);
    rc = RTPathAppendEx(pszBuf, cbBuf, psz + cchHead, RTSTR_MAX, fStyle);
    if (rc < 0 && memcmp(pszBuf, pszSaved, cbBuf) != 0)
        abort();
    if (rc >= 0 && strlen(pszBuf) >= cbBuf)
        abort();
    free(pszSaved);
    free(pszBuf);
    return 0;
}
