/* Fuzzes command-line splitting. The first input byte picks the style and
   the separators, the rest is the command line, copied into a buffer of
   exactly its size so that ASan sees any read past the terminator.
   Oracles: copying and in-place splitting give the same arguments; the
   vector is null-terminated; every argument is valid UTF-8 when the line is;
   the arguments together never take more room than the line. */
#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/string.h>

#include <stdlib.h>
#include <string.h>

namespace
{

const char *const g_apszSeparators[] = {nullptr, ",", " \xc2\xb7", "\t"};

char *dupExact(const uint8_t *pb, size_t cb)
{
    char *psz = static_cast<char *>(malloc(cb + 1));
    memcpy(psz, pb, cb);
    psz[cb] = '\0';
    return psz;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    uint32_t const fStyle = pbData[0] & 1 ? GETOPTARGV_STYLE_BOURNE : GETOPTARGV_STYLE_MSCRT;
    const char *pszSeps = g_apszSeparators[(pbData[0] >> 1) % 4];
    pbData++;
    cbData--;
    if (memchr(pbData, 0, cbData))
        cbData = strlen(reinterpret_cast<const char *>(pbData));

    char *pszLine = dupExact(pbData, cbData);
    bool const fValid = RTStrValidateUtf8(pszLine, RTSTR_MAX, 0) == 0;

    char **papszCopy = nullptr;
    int cCopy = -1;
    int rcCopy = RTGetOptSplitCommandLine(&papszCopy, &cCopy, pszLine, fStyle, pszSeps);
    if (fValid && rcCopy != 0)
        abort();

    char *pszInPlace = dupExact(pbData, cbData);
    char **papszInPlace = nullptr;
    int cInPlace = -1;
    int rcInPlace =
        RTGetOptSplitCommandLine(&papszInPlace, &cInPlace, pszInPlace, fStyle | GETOPTARGV_F_IN_PLACE, pszSeps);
    if (rcInPlace != rcCopy)
        abort();

    if (rcCopy == 0)
    {
        if (cCopy != cInPlace || papszCopy[cCopy] != nullptr || papszInPlace[cInPlace] != nullptr)
            abort();
        size_t cbArgs = 0;
        for (int i = 0; i < cCopy; i++)
        {
            if (strcmp(papszCopy[i], papszInPlace[i]) != 0)
                abort();
            if (RTStrValidateUtf8(papszCopy[i], RTSTR_MAX, 0) != 0)
                abort();
            cbArgs += strlen(papszCopy[i]) + 1;
        }
        if (cbArgs > cbData + 1)
            abort();
    }
    else if (papszCopy || cCopy != 0 || papszInPlace || cInPlace != 0)
        abort();

    RTGetOptArgvFree(papszCopy, fStyle);
    RTGetOptArgvFree(papszInPlace, fStyle | GETOPTARGV_F_IN_PLACE);
    free(pszInPlace);
    free(pszLine);
    return 0;
}
