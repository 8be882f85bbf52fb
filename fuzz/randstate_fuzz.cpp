/* Fuzz target: restoring a saved random-generator state. Any text either is
   refused, leaving the state alone, or is exactly the saved form, which
   saving again reproduces (hexadecimal digits in lower case). */
#include <zolt/err.h>
#include <zolt/rand.h>

#include <stdlib.h>
#include <string.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    static RTRAND s_hRand;
    if (!s_hRand && RT_FAILURE(RTRandParkMillerCreate(&s_hRand)))
        abort();
    std::string const strInput((const char *)pbData, cbData); /* terminated, may hold NULs */

    char szBefore[RTRAND_PARKMILLER_STATE_SIZE], szAfter[RTRAND_PARKMILLER_STATE_SIZE];
    size_t cb = sizeof(szBefore);
    if (RT_FAILURE(RTRandAdvSaveState(s_hRand, szBefore, &cb)))
        abort();
    int const rc = RTRandAdvRestoreState(s_hRand, strInput.c_str());
    cb = sizeof(szAfter);
    if (RT_FAILURE(RTRandAdvSaveState(s_hRand, szAfter, &cb)))
        abort();
    if (rc == ERR_PARSE_ERROR)
    {
        if (strcmp(szBefore, szAfter))
            abort(); /* a refused text changed the state */
    }
    else if (rc == SUCCESS)
    {
        std::string strLower(strInput.c_str());
        for (char &ch : strLower)
            if (ch >= 'A' && ch <= 'F')
                ch = (char)(ch - 'A' + 'a');
        if (strLower != szAfter)
            abort(); /* accepted something that is not the saved form */
        (void)RTRandAdvU32Ex(s_hRand, 0, UINT32_MAX);
    }
    else
        abort();
    return 0;
}
