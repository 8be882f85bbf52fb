/* Differential test of Microsoft-style command-line splitting: generated
   command lines (quotes, backslash runs, doubled quotes, blanks, tabs,
   non-ASCII text) are given to crt-argv-child through CreateProcessW, and
   the argument vector its C runtime start-up builds must equal what
   RTGetOptSplitCommandLine makes of the same line. Where our rules
   deliberately differ from that C runtime, the cases are listed below and
   checked against our rule instead. */
#include <windows.h>

#include <zolt/getopt.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace
{

std::wstring programPath(const wchar_t *pwszName)
{
    wchar_t wszExe[MAX_PATH];
    DWORD cwc = GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    std::wstring Dir(wszExe, cwc);
    return Dir.substr(0, Dir.find_last_of(L"\\/") + 1) + L"win-programs\\" + pwszName;
}

/** One argument per line, its UTF-16 units as 4-digit hex: the child's
 *  output format. */
std::string hexUtf16(const std::wstring &Arg)
{
    std::string Line;
    for (wchar_t wc : Arg)
    {
        char szUnit[8];
        snprintf(szUnit, sizeof(szUnit), "%04x", (unsigned)wc);
        Line += szUnit;
    }
    return Line + "\n";
}

/** Our split of @a wszCmdLine, in the child's output format. */
std::string ourSplit(const std::wstring &wszCmdLine)
{
    char *pszCmdLine = nullptr;
    EXPECT_EQ(
        RTUtf16ToUtf8Ex(reinterpret_cast<const RTUTF16 *>(wszCmdLine.c_str()), RTSTR_MAX, &pszCmdLine, 0, nullptr), 0);
    char **papszArgs = nullptr;
    int cArgs = 0;
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, pszCmdLine, GETOPTARGV_STYLE_MSCRT, nullptr), 0);
    std::string Text;
    for (int i = 0; i < cArgs; i++)
    {
        RTUTF16 *pwszArg = nullptr;
        EXPECT_EQ(RTStrToUtf16(papszArgs[i], &pwszArg), 0);
        Text += hexUtf16(reinterpret_cast<const wchar_t *>(pwszArg));
        RTMemFree(pwszArg);
    }
    RTGetOptArgvFree(papszArgs, GETOPTARGV_STYLE_MSCRT);
    RTStrFree(pszCmdLine);
    return Text;
}

/** Runs the child once per command line, a batch at a time, and returns
 *  what each printed. The command lines need not start with the program's
 *  path: it is given to CreateProcessW separately. */
std::vector<std::string> crtSplit(const std::vector<std::wstring> &CmdLines)
{
    std::wstring const wszProgram = programPath(L"crt-argv-child.exe");
    constexpr size_t cBatch = 8;
    std::vector<std::string> Results(CmdLines.size());
    for (size_t iFirst = 0; iFirst < CmdLines.size(); iFirst += cBatch)
    {
        size_t const cNow = std::min(cBatch, CmdLines.size() - iFirst);
        HANDLE ahOut[cBatch], ahProcess[cBatch];
        for (size_t i = 0; i < cNow; i++)
        {
            SECURITY_ATTRIBUTES Sa = {sizeof(Sa), nullptr, TRUE};
            /* A name per command line: a child's inherited copies of the other
               slots' handles may keep a file pending deletion a little
               longer than the child itself. */
            std::wstring wszOut = L"getoptargv_crt_test-" + std::to_wstring(iFirst + i) + L".tmp";
            ahOut[i] = CreateFileW(wszOut.c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &Sa, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            STARTUPINFOW Si = {};
            Si.cb = sizeof(Si);
            Si.dwFlags = STARTF_USESTDHANDLES;
            Si.hStdInput = INVALID_HANDLE_VALUE;
            Si.hStdOutput = ahOut[i];
            Si.hStdError = INVALID_HANDLE_VALUE;
            PROCESS_INFORMATION Pi = {};
            std::vector<wchar_t> CmdLine(CmdLines[iFirst + i].begin(), CmdLines[iFirst + i].end());
            CmdLine.push_back(L'\0');
            /* Wine now and then fails to start one of several children
               started at once with ERROR_INTERNAL_ERROR (seen about once in
               three runs of 1,005 starts on a loaded machine); the next
               attempt succeeds. */
            BOOL fOk = FALSE;
            DWORD dwErr = 0;
            for (int iTry = 0; iTry < 5 && !fOk; iTry++)
            {
                if (iTry)
                    Sleep(100);
                fOk = CreateProcessW(wszProgram.c_str(), CmdLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                     &Si, &Pi);
                dwErr = fOk ? 0 : GetLastError();
                if (dwErr != ERROR_INTERNAL_ERROR)
                    break;
            }
            EXPECT_TRUE(fOk) << "CreateProcessW failed: " << dwErr;
            CloseHandle(Pi.hThread);
            ahProcess[i] = Pi.hProcess;
        }
        for (size_t i = 0; i < cNow; i++)
        {
            EXPECT_EQ(WaitForSingleObject(ahProcess[i], 60000), WAIT_OBJECT_0);
            CloseHandle(ahProcess[i]);
            SetFilePointer(ahOut[i], 0, nullptr, FILE_BEGIN);
            char achBuf[4096];
            DWORD cbRead;
            while (ReadFile(ahOut[i], achBuf, sizeof(achBuf), &cbRead, nullptr) && cbRead)
                Results[iFirst + i].append(achBuf, cbRead);
            CloseHandle(ahOut[i]);
        }
    }
    return Results;
}

/** A random command-line tail made of the characters that matter to the
 *  rules: quotes, backslash runs, blanks, tabs, ordinary and non-ASCII text
 *  (including a character outside the BMP). */
std::wstring randomTail(std::mt19937 &Rng)
{
    static const wchar_t *const s_apwszPieces[] = {
        L"a",         L"b",      L" ",    L"  ",     L"\t",       L"\"",     L"\"\"",   L"\"\"\"",       L"\\",
        L"\\\\",      L"\\\\\\", L"\\\"", L"\\\\\"", L"\\\\\\\"", L"\x00e9", L"\x20ac", L"\xd83d\xde00", L"-x",
        L"C:\\dir\\",
    };
    std::uniform_int_distribution<size_t> PickPiece(0, RT_ELEMENTS(s_apwszPieces) - 1);
    std::uniform_int_distribution<int> PickCount(0, 12);
    std::wstring Tail;
    for (int n = PickCount(Rng); n > 0; n--)
        Tail += s_apwszPieces[PickPiece(Rng)];
    return Tail;
}

TEST(GetOptSplitCrt, MatchesTheCRuntime)
{
    std::wstring const wszPrefix = L"\"" + programPath(L"crt-argv-child.exe") + L"\" ";
    std::vector<std::wstring> CmdLines;
    std::mt19937 Rng(20261209);
    for (int i = 0; i < 1000; i++)
        CmdLines.push_back(wszPrefix + randomTail(Rng));
    /* The classic cases from the platform's documentation. */
    for (const wchar_t *pwsz :
         {L"\"abc\" d e", L"a\\\\\\b d\"e f\"g h", L"a\\\\\\\"b c d", L"a\\\\\\\\\"b c\" d e", L"a\"b\"\" c d"})
        CmdLines.push_back(wszPrefix + pwsz);

    std::vector<std::string> Crt = crtSplit(CmdLines);
    int cDiffs = 0;
    for (size_t i = 0; i < CmdLines.size(); i++)
    {
        std::string const Ours = ourSplit(CmdLines[i]);
        ASSERT_FALSE(Crt[i].empty()) << "the child did not run or print: " << i;
        if (Ours != Crt[i] && ++cDiffs <= 20)
        {
            std::string Shown;
            for (wchar_t wc : CmdLines[i].substr(wszPrefix.size()))
                Shown += wc < 0x80 ? (char)wc : '?';
            ADD_FAILURE() << "command line tail <" << Shown << ">\nours:\n" << Ours << "C runtime:\n" << Crt[i];
        }
    }
    EXPECT_EQ(cDiffs, 0);
}

/* Where our rules deliberately differ from the C runtime's start-up (as
   Wine's msvcrt implements it): the line, what our rule gives, and what the
   C runtime gives instead. */
TEST(GetOptSplitCrt, DeliberateDifferences)
{
    struct
    {
        const wchar_t *pwszCmdLine;
        std::vector<std::wstring> Ours;
        std::vector<std::wstring> Crt;
    } const s_aCases[] = {
        /* LF and CR separate arguments too (the default separators are
           blank, tab, LF and CR); the C runtime splits at blanks and tabs
           only. */
        {L"prog a\nb\rc d", {L"prog", L"a", L"b", L"c", L"d"}, {L"prog", L"a\nb\rc", L"d"}},
        {L"prog \"a\nb\"\n", {L"prog", L"a\nb"}, {L"prog", L"a\nb\n"}},
        /* Separators before the first argument are skipped like any others;
           the C runtime makes an empty program name of them. */
        {L"  lead a", {L"lead", L"a"}, {L"", L"lead", L"a"}},
        {L"\tlead", {L"lead"}, {L"", L"lead"}},
    };
    std::vector<std::wstring> CmdLines;
    for (auto const &Case : s_aCases)
        CmdLines.push_back(Case.pwszCmdLine);
    std::vector<std::string> Crt = crtSplit(CmdLines);
    for (size_t i = 0; i < CmdLines.size(); i++)
    {
        std::string Ours, CrtExpected;
        for (auto const &Arg : s_aCases[i].Ours)
            Ours += hexUtf16(Arg);
        for (auto const &Arg : s_aCases[i].Crt)
            CrtExpected += hexUtf16(Arg);
        EXPECT_EQ(ourSplit(CmdLines[i]), Ours) << "case " << i;
        EXPECT_EQ(Crt[i], CrtExpected) << "case " << i << ": the C runtime's rule changed?";
    }
}

} // namespace
