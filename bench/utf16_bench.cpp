/* UTF-8 to UTF-16: RTStrToUtf16Ex into a caller buffer against glibc's
   iconv, on 1 MiB of ASCII and about 1 MiB of multilingual text, in the
   same run. Throughput is source bytes per second. */
#include <zolt/err.h>
#include <zolt/string.h>

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <string>
#include <vector>

namespace
{
constexpr size_t g_cbTarget = 1024 * 1024;

/* One paragraph as a multilingual document might carry it: mostly Latin
   text with accents, some Greek and Cyrillic, Chinese, Japanese and Korean
   sentences, and emoji between them. */
const char g_szParagraph[] =
    "The committee met on Tuesday to review the budget for the next season. "
    "Le comité a approuvé le rapport après une longue discussion sur l'été prochain, où chaque délégué a exprimé "
    "ses préférences. "
    "Die Arbeitsgruppe prüft nächste Woche die Änderungen an den Straßenplänen für Köln und Düsseldorf. "
    "Zespół omówił też zażółcone dokumenty i plan na jesień. "
    "Η επιτροπή συνεδρίασε την Τρίτη. Комитет обсудил бюджет на следующий год. "
    "委员会星期二开会审查了下一季度的预算，并批准了报告。"
    "委員会は火曜日に会合し、来季の予算を検討しました。"
    "위원회는 화요일에 회의를 열어 다음 시즌 예산을 검토했습니다. "
    "Great work, everyone! 🎉👍 See you next week 😀🌍. ";

std::string MakeMixed()
{
    std::string str;
    while (str.size() + sizeof(g_szParagraph) - 1 <= g_cbTarget)
        str += g_szParagraph;
    return str;
}

const std::string &Source(bool fMixed)
{
    static const std::string s_strAscii(g_cbTarget, 'a');
    static const std::string s_strMixed = MakeMixed();
    return fMixed ? s_strMixed : s_strAscii;
}

void BM_RTStrToUtf16Ex(benchmark::State &State, bool fMixed, bool fLimit)
{
    const std::string &strSrc = Source(fMixed);
    std::vector<RTUTF16> awc(strSrc.size() + 1);
    for (auto _ : State)
    {
        RTUTF16 *pwc = awc.data();
        int rc = RTStrToUtf16Ex(strSrc.c_str(), fLimit ? strSrc.size() : RTSTR_MAX, &pwc, awc.size(), nullptr);
        if (RT_FAILURE(rc))
            State.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(rc);
        benchmark::ClobberMemory();
    }
    State.SetBytesProcessed((int64_t)State.iterations() * (int64_t)strSrc.size());
}

void BM_RTStrCountUtf16Units(benchmark::State &State, bool fMixed)
{
    const std::string &strSrc = Source(fMixed);
    for (auto _ : State)
    {
        size_t cwc;
        int rc = RTStrCountUtf16Units(strSrc.c_str(), strSrc.size(), &cwc);
        benchmark::DoNotOptimize(rc);
        benchmark::DoNotOptimize(cwc);
    }
    State.SetBytesProcessed((int64_t)State.iterations() * (int64_t)strSrc.size());
}

void BM_iconv(benchmark::State &State, bool fMixed)
{
    const std::string &strSrc = Source(fMixed);
    std::vector<RTUTF16> awc(strSrc.size() + 1);
    iconv_t hIconv = iconv_open("UTF-16LE", "UTF-8");
    if (hIconv == (iconv_t)-1)
    {
        State.SkipWithError("iconv_open failed");
        return;
    }
    for (auto _ : State)
    {
        char *pchIn = const_cast<char *>(strSrc.data());
        size_t cbIn = strSrc.size();
        char *pchOut = reinterpret_cast<char *>(awc.data());
        size_t cbOut = awc.size() * sizeof(RTUTF16);
        iconv(hIconv, nullptr, nullptr, nullptr, nullptr);
        size_t cConv = iconv(hIconv, &pchIn, &cbIn, &pchOut, &cbOut);
        if (cConv == (size_t)-1)
            State.SkipWithError("iconv failed");
        benchmark::DoNotOptimize(cConv);
        benchmark::ClobberMemory();
    }
    iconv_close(hIconv);
    State.SetBytesProcessed((int64_t)State.iterations() * (int64_t)strSrc.size());
}

BENCHMARK_CAPTURE(BM_RTStrToUtf16Ex, ascii_limit, false, true);
BENCHMARK_CAPTURE(BM_RTStrToUtf16Ex, ascii_rtstrmax, false, false);
BENCHMARK_CAPTURE(BM_iconv, ascii, false);
BENCHMARK_CAPTURE(BM_RTStrToUtf16Ex, mixed_limit, true, true);
BENCHMARK_CAPTURE(BM_RTStrToUtf16Ex, mixed_rtstrmax, true, false);
BENCHMARK_CAPTURE(BM_iconv, mixed, true);
/* The measuring pass alone, to show how the time splits. */
BENCHMARK_CAPTURE(BM_RTStrCountUtf16Units, ascii, false);
BENCHMARK_CAPTURE(BM_RTStrCountUtf16Units, mixed, true);
} // namespace

BENCHMARK_MAIN();
