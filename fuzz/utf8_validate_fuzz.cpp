/* UTF-8 validation and reading against a naive reference decoder: the
   validation statuses and flags, the code-point count and array, the
   readers at every offset, stepping back over valid text, and writing the
   code points back. The first input byte picks the validation flags. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <string.h>
#include <string>

#include "utfref.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbInput, size_t cbInput)
{
    if (!cbInput)
        return 0;
    uint32_t const fFlags = pbInput[0] & 7;
    const uint8_t *pb = pbInput + 1;
    size_t const cb = cbInput - 1;
    const char *pch = (const char *)pb;
    std::string const strTerminated(pch, cb);
    size_t const cchText = strlen(strTerminated.c_str());

    RefText const Ref = RefDecodeUtf8(pb, cb, false /*fRecode*/);

    /* Validation with the flags. */
    int rcExpected = Ref.rc;
    if (fFlags > 3)
        rcExpected = ERR_INVALID_PARAMETER;
    else if (RT_SUCCESS(rcExpected) && (fFlags & RTSTR_VALIDATE_ENCODING_EXACT_LENGTH))
    {
        size_t const cbNeeded = cchText + (fFlags & RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED ? 1 : 0);
        rcExpected = cbNeeded < cb ? ERR_STR_SHORTER_THAN_SIZE : cbNeeded > cb ? ERR_BUFFER_OVERFLOW : SUCCESS;
    }
    else if (RT_SUCCESS(rcExpected) && (fFlags & RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED) && cchText == cb)
        rcExpected = ERR_BUFFER_OVERFLOW;
    FUZZ_CHECK(RTStrValidateUtf8(pch, cb, fFlags) == rcExpected);
    FUZZ_CHECK(RTStrValidateUtf8(strTerminated.c_str(), RTSTR_MAX, 0) == Ref.rc);

    /* Count and array. */
    FUZZ_CHECK(RTStrCountCodePoints(strTerminated.c_str()) == (RT_SUCCESS(Ref.rc) ? Ref.aCps.size() : 0));
    RTUNICP *paCps = nullptr;
    size_t cCps = 12345;
    FUZZ_CHECK(RTStrToCodePoints(pch, cb, &paCps, 0, &cCps) == Ref.rc);
    if (RT_SUCCESS(Ref.rc))
    {
        FUZZ_CHECK(cCps == Ref.aCps.size() && paCps[cCps] == 0);
        FUZZ_CHECK(!cCps || memcmp(paCps, Ref.aCps.data(), cCps * sizeof(RTUNICP)) == 0);
        RTMemFree(paCps);
    }
    else
        FUZZ_CHECK(paCps == nullptr && cCps == 12345);

    /* The bounded reader at every offset: one sequence, or one byte and
       the marker on failure. */
    for (size_t off = 0; off < cb; off++)
    {
        uint32_t uCpRef = 0;
        size_t cbSeqRef = 1;
        int const rcRef = RefDecodeUtf8One(pb + off, cb - off, false /*fRecode*/, &uCpRef, &cbSeqRef);
        const char *psz = pch + off;
        size_t cchLeft = cb - off;
        RTUNICP uCp;
        FUZZ_CHECK(RTStrReadCpN(&psz, &cchLeft, &uCp) == rcRef);
        FUZZ_CHECK(uCp == (RT_SUCCESS(rcRef) ? uCpRef : RTUNICP_INVALID));
        FUZZ_CHECK(psz == pch + off + cbSeqRef && cchLeft == cb - off - cbSeqRef);
    }

    /* Valid text: stepping back visits every code point's start, and
       writing the code points reproduces the bytes. */
    if (RT_SUCCESS(Ref.rc))
    {
        const char *psz = pch + cchText;
        for (size_t i = Ref.aCps.size(); i-- > 0;)
        {
            const char *pszPrev = RTStrStepBackCp(pch, psz);
            RTUNICP uCp;
            const char *pszRead = pszPrev;
            FUZZ_CHECK(RTStrReadCp(&pszRead, &uCp) == SUCCESS && uCp == Ref.aCps[i] && pszRead == psz);
            psz = pszPrev;
        }
        FUZZ_CHECK(psz == pch && RTStrStepBackCp(pch, psz) == pch);

        std::string strWritten(cchText + 8, '\0');
        char *pszOut = &strWritten[0];
        for (uint32_t uCp : Ref.aCps)
            pszOut = RTStrWriteCp(pszOut, uCp);
        FUZZ_CHECK((size_t)(pszOut - strWritten.data()) == cchText && memcmp(strWritten.data(), pch, cchText) == 0);
    }
    else
    {
        /* Anything else: stepping back stays within the text. */
        const char *pszEnd = pch + cchText;
        const char *pszPrev = RTStrStepBackCp(pch, pszEnd);
        FUZZ_CHECK(pszPrev >= pch && (pszPrev < pszEnd || cchText == 0));
    }
    return 0;
}
