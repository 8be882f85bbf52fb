/* UTF-16 to UTF-8 against a naive reference decoder: statuses, counts and
   results with a unit limit (an exact-size heap copy) and up to the zero
   unit; valid input must convert back exactly and its UTF-8 must validate;
   the code-point readers must agree in both byte orders. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <memory>
#include <string.h>
#include <string>

#include "utfref.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    size_t const cwc = cb / sizeof(RTUTF16);
    std::unique_ptr<RTUTF16[]> const pawcExact(new RTUTF16[cwc ? cwc : 1]);
    memcpy(pawcExact.get(), pb, cwc * sizeof(RTUTF16));
    std::u16string const wstrTerminated(pawcExact.get(), cwc);
    std::u16string const wstrText(wstrTerminated.c_str()); /* up to the first zero unit */

    RefText const Ref = RefDecodeUtf16(pawcExact.get(), cwc);
    std::string const strRef = RefEncodeUtf8(Ref.aCps);

    for (size_t cwcLimit : {cwc, RTSTR_MAX})
    {
        const RTUTF16 *pwsz = cwcLimit == RTSTR_MAX ? wstrTerminated.c_str() : pawcExact.get();
        size_t cch = 0;
        FUZZ_CHECK(RTUtf16CountUtf8Bytes(pwsz, cwcLimit, &cch) == Ref.rc);
        FUZZ_CHECK(cch == (RT_SUCCESS(Ref.rc) ? strRef.size() : RTSTR_MAX));

        char *psz = nullptr;
        FUZZ_CHECK(RTUtf16ToUtf8Ex(pwsz, cwcLimit, &psz, 0, nullptr) == Ref.rc);
        if (RT_FAILURE(Ref.rc))
        {
            FUZZ_CHECK(psz == nullptr);
            continue;
        }
        FUZZ_CHECK(strRef == psz);
        FUZZ_CHECK(RTStrValidateUtf8(psz, RTSTR_MAX, 0) == SUCCESS);

        /* There and back exactly. */
        RTUTF16 *pwszBack = nullptr;
        FUZZ_CHECK(RTStrToUtf16Ex(psz, RTSTR_MAX, &pwszBack, 0, nullptr) == SUCCESS);
        FUZZ_CHECK(wstrText == pwszBack);
        RTMemFree(pwszBack);
        RTStrFree(psz);
    }

    /* The readers, host order and swapped, up to the first failure. */
    std::u16string wstrSwapped;
    for (char16_t wc : wstrTerminated)
        wstrSwapped += (char16_t)((wc >> 8) | (wc << 8));
    for (bool fBigEndian : {false, true})
    {
        const RTUTF16 *pwsz = fBigEndian ? wstrSwapped.c_str() : wstrTerminated.c_str();
        for (size_t i = 0;; i++)
        {
            RTUNICP uCp;
            int const rc = fBigEndian ? RTUtf16BigReadCp(&pwsz, &uCp) : RTUtf16ReadCp(&pwsz, &uCp);
            if (i == Ref.aCps.size())
            {
                FUZZ_CHECK(rc == Ref.rc && (RT_SUCCESS(rc) ? uCp == 0 : uCp == RTUNICP_INVALID));
                break;
            }
            FUZZ_CHECK(rc == SUCCESS && uCp == Ref.aCps[i]);
        }
    }
    return 0;
}
