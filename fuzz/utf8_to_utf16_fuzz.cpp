/* UTF-8 to UTF-16 against a naive reference decoder: statuses, counts and
   results with a byte limit (the fuzzer's exact-size buffer) and up to the
   terminator; valid input must convert back exactly, a caller buffer that
   is too small must stay untouched, and validation must agree. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <string.h>
#include <string>
#include <vector>

#include "utfref.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    RefText const Ref = RefDecodeUtf8(pb, cb, true /*fRecode*/);
    std::u16string const wstrRef = RefEncodeUtf16(Ref.aCps);
    std::string const strTerminated((const char *)pb, cb);
    std::string const strText(strTerminated.c_str()); /* up to the first NUL */

    for (size_t cchLimit : {cb, RTSTR_MAX})
    {
        const char *psz = cchLimit == RTSTR_MAX ? strTerminated.c_str() : (const char *)pb;
        size_t cwc = 0;
        FUZZ_CHECK(RTStrCountUtf16Units(psz, cchLimit, &cwc) == Ref.rc);
        FUZZ_CHECK(cwc == (RT_SUCCESS(Ref.rc) ? wstrRef.size() : RTSTR_MAX));

        RTUTF16 *pwsz = nullptr;
        size_t cwcOut = 12345;
        FUZZ_CHECK(RTStrToUtf16Ex(psz, cchLimit, &pwsz, 0, &cwcOut) == Ref.rc);
        if (RT_FAILURE(Ref.rc))
        {
            FUZZ_CHECK(pwsz == nullptr && cwcOut == 12345);
            continue;
        }
        FUZZ_CHECK(cwcOut == wstrRef.size() && wstrRef == pwsz);

        /* There and back exactly. */
        char *pszBack = nullptr;
        FUZZ_CHECK(RTUtf16ToUtf8Ex(pwsz, RTSTR_MAX, &pszBack, 0, nullptr) == SUCCESS);
        FUZZ_CHECK(strText == pszBack);
        RTStrFree(pszBack);
        RTMemFree(pwsz);

        /* A caller buffer one unit short is left alone; one that fits is
           filled and terminated, and nothing after it is written. */
        std::vector<RTUTF16> awc(wstrRef.size() + 2, 0xAAAA);
        RTUTF16 *pwc = awc.data();
        if (!wstrRef.empty())
        {
            FUZZ_CHECK(RTStrToUtf16Ex(psz, cchLimit, &pwc, wstrRef.size(), nullptr) == ERR_BUFFER_OVERFLOW);
            FUZZ_CHECK(pwc == awc.data() && awc[0] == 0xAAAA);
        }
        FUZZ_CHECK(RTStrToUtf16Ex(psz, cchLimit, &pwc, wstrRef.size() + 1, nullptr) == SUCCESS);
        FUZZ_CHECK(pwc == awc.data() && wstrRef == pwc && awc[wstrRef.size() + 1] == 0xAAAA);
    }

    /* Whatever recodes also validates, with one code point per character. */
    if (RT_SUCCESS(Ref.rc))
    {
        FUZZ_CHECK(RTStrValidateUtf8((const char *)pb, cb, 0) == SUCCESS);
        FUZZ_CHECK(RTStrCountCodePoints(strTerminated.c_str()) == Ref.aCps.size());
    }
    return 0;
}
