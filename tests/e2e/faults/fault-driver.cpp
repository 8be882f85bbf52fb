/** @file
 * Windows-side driver of the fault sweeps: runs the fault launcher
 * (fault-main.cpp) inside one Wine session with the N-th call of one kind
 * failing, for N = 1, 2, ... until a run no longer reaches its N-th call,
 * and judges every run.
 *
 *  fault-driver --launcher EXE --work DIR --packages X64,ARM64,CAB
 *               --kinds heap,open,... --runs extract,silent,gui [--from N]
 *               [--max N]
 *
 * The runs: "extract" extracts into a new --path directory (silent);
 * "silent" installs the demo silently (certificate included) with the
 * Windows Installer log outside the temporary directory; "gui" installs
 * interactively (needs a display): the driver finds the launcher's message
 * boxes among its windows, reads and dismisses them.
 *
 * A run passes when it ends by itself within its time limit with the exit
 * code of the step that failed (1; 3 for the runtime's initialisation; 0
 * where the failure is ignored, see g_aAbsorbed), the user got exactly one
 * report of a failure (an "error:" line on the console in silent runs, a
 * message box in interactive ones), the temporary directory holds nothing
 * the run made (an extract-only run keeps what it wrote, by design), the
 * product is either not installed at all or fully installed with exit 0,
 * and the single-instance mutex is gone. A run whose exit code is 0 but
 * which reached its failing call must be explained by g_aAbsorbed.
 *
 * Prints one line per wrong run and, per kind and run, the number of fault
 * points and their outcomes; exits 0 when every run passed.
 */
#include <windows.h>

#include <msi.h>

#include <map>
#include <regex>
#include <stdio.h>
#include <string>
#include <vector>

#include "../driver-files.h"

static const wchar_t g_wszDemoCode[] = L"{6D617272-6F77-6461-6C65-64656D6F0010}";
static const wchar_t g_wszDemoDir[] = L"Marrowdale Demo";
static const wchar_t g_wszBoxTitle[] = L"Marrowdale Installer";
static const wchar_t g_wszMutex[] = L"QuorStubInstaller";
/** A run that takes longer has hung: the slowest legitimate one waits for
 *  the cleanup's retries (9.1 s) after an installation. */
static const DWORD g_cMsRunTimeout = 90000;

/**
 * Fault points whose run legitimately succeeds although the failing call
 * was reached: the call's failure is one the launcher ignores by design.
 * Matched against "<kind> <what>" of the fault report.
 */
static const struct
{
    const char *pszPattern;
    const char *pszWhy;
} g_aAbsorbed[] = {
    {"heap .*<- rtldrNativeLoadSystem.* <- RTR3InitNative.*",
     "the socket library the initialisation loads when present is optional: without it its entry points stay null"},
    {"heap .*<- RTDirExists <- ExtractPackages.*",
     "the existence test answers no, and the extraction directory, which did not exist, is created"},
    {"heap .*<- RTStrRealloc <- RTPathAbsExDup.*", "shrinking a finished path's block fails harmlessly"},
    {"heap .*<- RTDirExists <- CopyCustomDirectory.*",
     "the existence test answers no, and the demo has no custom directory to copy"},
    {"heap .*<- (RTFileDelete|RTDirRemove) <- RunCleanup.*", "the cleanup retries what it cannot delete yet"},
    {"heap .*<- RTPathSetCurrentDir .*", "making the extraction directory current is only a convenience"},
    {"heap .*<- StartSplash\\(\\).*", "a splash screen that cannot start is left out: it is only decoration"},
    {"heap .*::rtStrmOutput\\(.*", "a stream that cannot get its buffer takes one of half the size"},
    {"dir NtCreateFile\\(.*access 0x1000a1\\) .*",
     "a directory open refused with traverse access is retried without it, which listing needs not"},
    {"query NtQueryVolumeInformationFile\\(.*",
     "the volume serial number only completes the file's identity; both snapshots of a package miss it alike"},
    {"query NtQueryFullAttributesFile\\(.*", "the quick attribute query falls back on opening the object"},
    {"query NtCreateFile\\(.*", "the path query's open falls back on the parent directory's listing"},
    {"query NtQueryInformationFile\\(.*", "the link and reparse checks treat an unanswered query as no link"},
    {"lazy InitCommonControlsEx( .*)?", "the common controls' initialisation result is ignored"},
    {"lazy CertCloseStore( .*)?", "closing the certificate store: its result is ignored"},
    {"lazy MessageBox[WA]( .*)?", "the message box's own failure is ignored: the user is not told"},
    {"lazy Gdip(GetImageWidth|GetImageHeight|GraphicsClear|DrawImageRectI|FillEllipseI|CreateSolidFill|"
     "CreateFromHDC|DeleteBrush|DeleteGraphics|DisposeImage)( .*)?",
     "a painting or release call of the splash screen: a frame is drawn incompletely or an object leaks"},
    {"lazy GdiplusStartup( .*)?", "a failed GDI+ start shows as no picture, reported by the picture's loading"},
    {"close CloseHandle\\(.*", "a close failure is printed (standard error) and otherwise ignored"},
    {"close NtClose\\(.*", "the close of a directory or query handle: its result is ignored"},
    {"dir RemoveDirectoryW\\(.*", "the cleanup retries a directory it cannot remove yet"},
    {"delete .*", "the cleanup retries a file it cannot delete yet"},
};

/* ---- small tools ------------------------------------------------------- */

static std::wstring toWide(const std::string &str)
{
    int cwc = MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, NULL, 0);
    std::wstring wsz(cwc > 0 ? cwc - 1 : 0, L'\0');
    if (cwc > 1)
        MultiByteToWideChar(CP_UTF8, 0, str.c_str(), -1, &wsz[0], cwc);
    return wsz;
}

static double secondsSince(ULONGLONG uStartMs)
{
    return (double)(GetTickCount64() - uStartMs) / 1000.0;
}

static std::vector<std::wstring> splitList(const std::wstring &wsz)
{
    std::vector<std::wstring> List;
    size_t off = 0;
    for (;;)
    {
        size_t offComma = wsz.find(L',', off);
        List.push_back(wsz.substr(off, offComma == std::wstring::npos ? std::wstring::npos : offComma - off));
        if (offComma == std::wstring::npos)
            return List;
        off = offComma + 1;
    }
}

/* ---- the product ----------------------------------------------------------- */

static std::wstring programFilesDir()
{
    wchar_t wsz[MAX_PATH];
    DWORD cwc = GetEnvironmentVariableW(L"ProgramW6432", wsz, MAX_PATH);
    if (cwc == 0 || cwc >= MAX_PATH)
        cwc = GetEnvironmentVariableW(L"ProgramFiles", wsz, MAX_PATH);
    if (cwc == 0 || cwc >= MAX_PATH)
        wcscpy(wsz, L"C:\\Program Files");
    return std::wstring(wsz) + L"\\" + g_wszDemoDir;
}

/** Removes the demo if the installer knows it in any state. */
static bool uninstallDemo()
{
    INSTALLSTATE enm = MsiQueryProductStateW(g_wszDemoCode);
    if (enm == INSTALLSTATE_UNKNOWN || enm == INSTALLSTATE_ABSENT)
        return true;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
    UINT u = MsiConfigureProductW(g_wszDemoCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
    if (u != ERROR_SUCCESS)
        fprintf(stderr, "fault-driver: removing the demo failed: %u\n", u);
    return u == ERROR_SUCCESS;
}

/* ---- a launcher run ---------------------------------------------------------- */

struct BoxSearch
{
    DWORD idProcess;
    std::vector<HWND> Boxes;
};

static BOOL CALLBACK findBoxes(HWND hWnd, LPARAM lParam)
{
    BoxSearch *pSearch = (BoxSearch *)lParam;
    DWORD idProcess = 0;
    GetWindowThreadProcessId(hWnd, &idProcess);
    wchar_t wszClass[64], wszTitle[64];
    if (idProcess == pSearch->idProcess && IsWindowVisible(hWnd) && GetClassNameW(hWnd, wszClass, 64) &&
        !wcscmp(wszClass, L"#32770") && GetWindowTextW(hWnd, wszTitle, 64) && !wcscmp(wszTitle, g_wszBoxTitle))
        pSearch->Boxes.push_back(hWnd);
    return TRUE;
}

static BOOL CALLBACK collectStaticText(HWND hWnd, LPARAM lParam)
{
    wchar_t wszClass[32];
    if (GetClassNameW(hWnd, wszClass, 32) && !_wcsicmp(wszClass, L"Static"))
    {
        wchar_t wsz[2048];
        if (GetWindowTextW(hWnd, wsz, 2048) > 0)
            *(std::wstring *)lParam += wsz;
    }
    return TRUE;
}

struct Run
{
    DWORD dwExit = 0;
    bool fEnded = false;
    double secElapsed = 0;
    std::string strOut, strErr;
    /** The message boxes' texts, in the order they appeared. */
    std::vector<std::string> Boxes;
};

/** Runs the launcher to its end, dismissing its message boxes. */
static bool runLauncher(const std::wstring &wszExe, const std::vector<std::wstring> &Args, const std::wstring &wszWork,
                        Run *pRun)
{
    std::wstring wszCmd;
    appendArg(wszCmd, wszExe);
    for (const std::wstring &wszArg : Args)
        appendArg(wszCmd, wszArg);
    std::wstring const wszOut = wszWork + L"\\launcher.out", wszErr = wszWork + L"\\launcher.err";
    SECURITY_ATTRIBUTES Sa = {sizeof(Sa), NULL, TRUE};
    HANDLE hOut = CreateFileW(wszOut.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Sa, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE hErr = CreateFileW(wszErr.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Sa, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    STARTUPINFOW Si = {};
    Si.cb = sizeof(Si);
    Si.dwFlags = STARTF_USESTDHANDLES;
    Si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    Si.hStdOutput = hOut;
    Si.hStdError = hErr;
    PROCESS_INFORMATION Pi;
    ULONGLONG const uStart = GetTickCount64();
    BOOL fOk = hOut != INVALID_HANDLE_VALUE && hErr != INVALID_HANDLE_VALUE &&
               CreateProcessW(wszExe.c_str(), &wszCmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &Si, &Pi);
    DWORD dwErr = GetLastError();
    if (hOut != INVALID_HANDLE_VALUE)
        CloseHandle(hOut);
    if (hErr != INVALID_HANDLE_VALUE)
        CloseHandle(hErr);
    if (!fOk)
    {
        fprintf(stderr, "fault-driver: cannot start %s: %lu\n", toUtf8(wszExe).c_str(), dwErr);
        return false;
    }

    std::vector<HWND> Seen;
    while (WaitForSingleObject(Pi.hProcess, 50) == WAIT_TIMEOUT)
    {
        if (GetTickCount64() - uStart > g_cMsRunTimeout)
            break;
        BoxSearch Search = {Pi.dwProcessId, {}};
        EnumWindows(findBoxes, (LPARAM)&Search);
        for (HWND hBox : Search.Boxes)
        {
            bool fNew = true;
            for (HWND h : Seen)
                fNew = fNew && h != hBox;
            if (!fNew)
                continue;
            Seen.push_back(hBox);
            std::wstring wszText;
            EnumChildWindows(hBox, collectStaticText, (LPARAM)&wszText);
            pRun->Boxes.push_back(toUtf8(wszText));
            PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    pRun->fEnded = WaitForSingleObject(Pi.hProcess, 0) == WAIT_OBJECT_0;
    if (!pRun->fEnded)
    {
        TerminateProcess(Pi.hProcess, 999);
        WaitForSingleObject(Pi.hProcess, INFINITE);
    }
    pRun->secElapsed = secondsSince(uStart);
    GetExitCodeProcess(Pi.hProcess, &pRun->dwExit);
    CloseHandle(Pi.hProcess);
    CloseHandle(Pi.hThread);
    readFile(wszOut, &pRun->strOut);
    readFile(wszErr, &pRun->strErr);
    for (std::string *pstr : {&pRun->strOut, &pRun->strErr})
        for (size_t off; (off = pstr->find("\r\n")) != std::string::npos;)
            pstr->erase(off, 1);
    return true;
}

/* ---- the sweep ------------------------------------------------------------------ */

struct Setup
{
    std::wstring wszLauncher, wszWork, wszTmp, wszExt, wszLog, wszReport;
    std::vector<std::string> Packages; /* contents, in container order */
    std::vector<std::wstring> PackageNames;
    std::string strExeName;
};

/** The launcher's functions by image offset (--symbols: "offset name"
 *  lines, sorted), to name the call stack of a fault. */
static std::vector<std::pair<uintptr_t, std::string>> g_Symbols;

static void loadSymbols(const std::wstring &wszFile)
{
    std::string str;
    if (!readFile(wszFile, &str))
        return;
    size_t off = 0;
    while (off < str.size())
    {
        size_t offEnd = str.find('\n', off);
        std::string strLine = str.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        off = offEnd == std::string::npos ? str.size() : offEnd + 1;
        size_t offBlank = strLine.find(' ');
        if (offBlank != std::string::npos)
            g_Symbols.push_back({(uintptr_t)strtoull(strLine.c_str(), NULL, 16), strLine.substr(offBlank + 1)});
    }
}

/** Replaces every " @0x<offset>" of a fault description by the function
 *  holding it (the innermost frames first). */
static std::string symbolise(const std::string &strWhat)
{
    static const std::regex s_Frame(" @(0x[0-9a-f]+)");
    std::string strOut;
    std::sregex_iterator it(strWhat.begin(), strWhat.end(), s_Frame), itEnd;
    size_t offCopied = 0;
    for (unsigned iFrame = 0; it != itEnd; ++it, iFrame++)
    {
        strOut += strWhat.substr(offCopied, it->position() - offCopied);
        offCopied = it->position() + it->length();
        uintptr_t uOff = (uintptr_t)strtoull((*it)[1].str().c_str(), NULL, 16);
        std::string strName = (*it)[1].str();
        for (const auto &Sym : g_Symbols)
            if (Sym.first <= uOff)
                strName = Sym.second;
            else
                break;
        strOut += (iFrame ? " <- " : " in ") + strName;
    }
    return strOut + strWhat.substr(offCopied);
}

/** What the fault build reported. */
struct FaultReport
{
    bool fRead = false;
    long cCalls = 0;
    bool fHit = false;
    std::string strWhat;
};

static FaultReport readReport(const std::wstring &wszReport)
{
    FaultReport R;
    std::string str;
    if (!readFile(wszReport, &str))
        return R;
    std::smatch M;
    static const std::regex s_Line("calls=([0-9]+) hit=([01]) what=(.*)\r?\n?");
    if (std::regex_match(str, M, s_Line))
    {
        R.fRead = true;
        R.cCalls = strtol(M[1].str().c_str(), NULL, 10);
        R.fHit = M[2].str() == "1";
        R.strWhat = symbolise(M[3].str());
    }
    return R;
}

/** The user-facing error reports of a silent run: the console lines the
 *  launcher's reporters and the runtime's initialisation failure write, one
 *  per report (no report of these runs spans lines; an empty line after a
 *  platform text's own line break is no report). */
static std::vector<std::string> consoleReports(const Setup &S, const std::string &strErr)
{
    std::vector<std::string> Reports;
    std::string const astrPrefixes[] = {S.strExeName + ": error: ", S.strExeName + ": fatal error: ", "fatal error: "};
    size_t off = 0;
    while (off < strErr.size())
    {
        size_t offEnd = strErr.find('\n', off);
        std::string strLine = strErr.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        off = offEnd == std::string::npos ? strErr.size() : offEnd + 1;
        for (const std::string &strPrefix : astrPrefixes)
            if (!strLine.compare(0, strPrefix.size(), strPrefix))
            {
                if (strLine.size() > strPrefix.size())
                    Reports.push_back(strLine);
                break;
            }
    }
    return Reports;
}

/** Replaces quoted paths, numbers and the random directory names, so that
 *  outcomes fall into classes. */
static std::string normalise(const std::string &str)
{
    static const std::regex s_Quoted("'[^']*'");
    static const std::regex s_Path("[A-Za-z]:\\\\[^ ,():]*");
    static const std::regex s_Number("0x[0-9a-fA-F]+|[0-9]+");
    return std::regex_replace(std::regex_replace(std::regex_replace(str, s_Quoted, "<path>"), s_Path, "<path>"),
                              s_Number, "N");
}

static const char *absorbedWhy(const std::string &strKind, const std::string &strWhat)
{
    std::string const strKey = strKind + " " + strWhat;
    for (const auto &A : g_aAbsorbed)
        if (std::regex_match(strKey, std::regex(A.pszPattern)))
            return A.pszWhy;
    return NULL;
}

struct Totals
{
    unsigned cPoints = 0, cBad = 0;
    double secTotal = 0;
    std::map<std::string, unsigned> Outcomes;
};

/**
 * Judges one run. @returns the outcome class, or "" with the reason in
 * @a pstrWhy.
 */
static std::string judge(const Setup &S, const std::string &strKind, const std::string &strRunKind, const Run &R,
                         const FaultReport &F, std::string *pstrWhy)
{
    bool const fGui = strRunKind == "gui", fExtract = strRunKind == "extract";
    char szWhy[600] = "";
    std::string strOutcome;

    /* The reports the user got: error boxes or error lines; the extract-only
       notice is the run's normal output, not a report of a failure. */
    std::vector<std::string> Reports;
    std::string strNotice;
    if (fGui)
    {
        for (const std::string &strBox : R.Boxes)
            if (!strBox.compare(0, 24, "Files were extracted to:"))
                strNotice = strBox;
            else
                Reports.push_back(strBox);
        /* A failed runtime initialisation comes before the command line
           says whether the run is interactive: it is reported on the
           console (exit 3) in every run. */
        if (R.dwExit == 3 && Reports.empty())
            Reports = consoleReports(S, R.strErr);
    }
    else
        Reports = consoleReports(S, R.strErr);
    if (!fGui && R.strOut.size())
        strNotice = R.strOut;

    HANDLE hMutex = OpenMutexW(SYNCHRONIZE, FALSE, g_wszMutex);
    if (hMutex)
        CloseHandle(hMutex);
    INSTALLSTATE const enmState = MsiQueryProductStateW(g_wszDemoCode);
    bool const fInstalled = enmState == INSTALLSTATE_DEFAULT;
    bool const fFilesThere = exists(programFilesDir() + L"\\readme.txt") && exists(programFilesDir() + L"\\demo.ini");
    std::string const strLeftTmp = describeTree(S.wszTmp, ' ');
    std::string const strLeftExt = describeTree(S.wszExt, ' ');

    bool fLeftOk = strLeftTmp.empty();
    if (!fExtract && !strLeftExt.empty())
        fLeftOk = false;
    /* A file or directory the cleanup could not delete is left, and said
       so, by design: only then may the temporary directory hold it. */
    bool fCleanupReport = false;
    for (const std::string &strReport : Reports)
        fCleanupReport = fCleanupReport || strReport.find("Failed to delete temporary") != std::string::npos;
    /* A missing manifest ends the run before any cleanup pass, leaving the
       new extraction directory empty on disk. */
    bool fEmptyDirByDesign = false;
    for (const std::string &strReport : Reports)
        fEmptyDirByDesign = fEmptyDirByDesign || strReport.find("Manifest not found") != std::string::npos;
    if (fEmptyDirByDesign && !strLeftTmp.empty() && strLeftTmp.find(' ') == strLeftTmp.size() - 1 &&
        strLeftTmp[strLeftTmp.size() - 2] == '/')
        fLeftOk = strLeftExt.empty() || fExtract;

    /* A refused close of the handle RTFileDelete opened keeps the file
       pending deletion until the process ends, and its directory with it.
       The system refuses such a close only for a handle protected from
       closing, which RTFileDelete's own never is: the fault build's refusal
       has no real counterpart there. */
    if (strKind == "close" && std::regex_match(F.strWhat, std::regex("NtClose\\(.* <- RTFileDelete <- RunCleanup.*")))
        fLeftOk = true;

    /* The certificate's diagnostic line comes before the run's report of
       the failed certificate step: one report in two lines. */
    if (Reports.size() == 2 && !Reports[0].compare(0, S.strExeName.size() + 16, S.strExeName + ": error: Unable ") &&
        Reports[1].find("Failed to add our certificate(s)") != std::string::npos)
        Reports.erase(Reports.begin());
    /* A lazily bound library that cannot be loaded (the heap failing inside
       the loader) stops the process at a breakpoint by design. */
    bool const fLazyStop =
        R.fEnded && R.dwExit == 0x80000003u && R.strErr.find("Lazy loader failed to load \"") != std::string::npos;

    if (!R.fEnded)
        snprintf(szWhy, sizeof(szWhy), "did not end within %lu s (killed)", g_cMsRunTimeout / 1000);
    else if (fLazyStop && !hMutex && (strLeftTmp.empty() || !fExtract))
        strOutcome = "stopped by design: " + normalise(R.strErr.substr(R.strErr.find("Lazy loader")).substr(0, 60));
    else if (R.dwExit >= 0x80000000u)
        snprintf(szWhy, sizeof(szWhy), "ended by exception %#lx", R.dwExit);
    else if (!R.strErr.empty() && R.strErr.find("!! Unhandled exception") != std::string::npos)
        snprintf(szWhy, sizeof(szWhy), "exit %lu after an unhandled exception", R.dwExit);
    else if (!F.fRead)
        snprintf(szWhy, sizeof(szWhy), "exit %lu without a fault report (main did not return)", R.dwExit);
    else if (hMutex)
        snprintf(szWhy, sizeof(szWhy), "the single-instance mutex is still there after the run");
    else if (!fLeftOk && !fCleanupReport)
        snprintf(szWhy, sizeof(szWhy), "left in the temporary directory: [%s], in --path: [%s]", strLeftTmp.c_str(),
                 strLeftExt.c_str());
    else if (!fExtract && R.dwExit == 0 && !(fInstalled && fFilesThere))
        snprintf(szWhy, sizeof(szWhy), "exit 0, but the demo is not fully installed (state %d, files %s)", enmState,
                 fFilesThere ? "there" : "missing");
    else if (!fExtract && R.dwExit != 0 && (fInstalled != fFilesThere || (!fInstalled && exists(programFilesDir()))))
        snprintf(szWhy, sizeof(szWhy), "exit %lu, but the demo is (partly) installed (state %d)", R.dwExit, enmState);
    else if (R.dwExit != 0 && R.dwExit != 1 && R.dwExit != 3)
        snprintf(szWhy, sizeof(szWhy), "exit code %lu", R.dwExit);
    else if (R.dwExit != 0 && Reports.size() != 1 && !(F.fHit && absorbedWhy(strKind, F.strWhat) && Reports.empty()))
        snprintf(szWhy, sizeof(szWhy), "exit %lu with %u reports", R.dwExit, (unsigned)Reports.size());
    else if (R.dwExit == 0 && Reports.size() > 1)
        snprintf(szWhy, sizeof(szWhy), "exit 0 with %u reports", (unsigned)Reports.size());
    else if (R.dwExit == 0 && F.fHit && Reports.empty() && !absorbedWhy(strKind, F.strWhat) &&
             !(fExtract && strNotice.empty()))
        snprintf(szWhy, sizeof(szWhy), "exit 0 without a report although the failing call was reached");
    else if (R.dwExit == 0 && fExtract)
    {
        /* Every package, complete. */
        for (size_t i = 0; i < S.Packages.size() && !szWhy[0]; i++)
        {
            std::string str;
            if (!readFile(S.wszExt + L"\\" + S.PackageNames[i], &str) || str != S.Packages[i])
                snprintf(szWhy, sizeof(szWhy), "exit 0, but %s is missing or differs",
                         toUtf8(S.PackageNames[i]).c_str());
        }
    }

    if (!szWhy[0] && strOutcome.empty())
    {
        if (fExtract && R.dwExit == 0 && strNotice.find("Files were extracted to:") == std::string::npos)
            /* ShowInfo shows nothing when its text cannot be formatted, and
               a stream keeps the first error it meets. */
            strOutcome = "exit 0, all extracted, the extraction notice lost: the notice's formatting or output failed";
        else if (R.dwExit == 0 && Reports.empty())
            strOutcome = F.fHit ? std::string("exit 0, ignored: ") + absorbedWhy(strKind, F.strWhat) : "exit 0";
        else if (Reports.empty())
            strOutcome = "exit " + std::to_string(R.dwExit) + ", no report: " + absorbedWhy(strKind, F.strWhat);
        else
            strOutcome = "exit " + std::to_string(R.dwExit) + (R.dwExit && fInstalled ? " (installed before)" : "") +
                         (fCleanupReport                             ? " (left by the cleanup)"
                          : fEmptyDirByDesign && !strLeftTmp.empty() ? " (empty extraction directory left by design)"
                                                                     : "") +
                         ": " + normalise(Reports[0]);
    }
    else if (szWhy[0])
    {
        *pstrWhy = szWhy;
        *pstrWhy += "\n  fault: " + (F.fHit ? F.strWhat : std::string("(not reached)"));
        for (const std::string &strReport : Reports)
            *pstrWhy += "\n  report: " + strReport;
        *pstrWhy += "\n  --- stdout:\n" + R.strOut + "  --- stderr:\n" + R.strErr + "  ---";
    }
    return strOutcome;
}

/** Sweeps one kind over one run. @returns false when a run was wrong. */
static bool sweep(const Setup &S, const std::string &strKind, const std::string &strRunKind, unsigned iFrom,
                  unsigned cMax, Totals *pTotals)
{
    std::vector<std::wstring> Args;
    if (strRunKind == "extract")
        Args = {L"--extract", L"--silent", L"--path", S.wszExt};
    else if (strRunKind == "silent")
        Args = {L"--silent", L"--msi-log-file", S.wszLog};
    /* "gui": no options, an interactive installation. */

    ULONGLONG const uStart = GetTickCount64();
    bool fAllOk = true;
    for (unsigned iAt = iFrom; iAt <= cMax; iAt++)
    {
        emptyDir(S.wszTmp);
        RemoveDirectoryW(S.wszExt.c_str());
        emptyDir(S.wszExt);
        RemoveDirectoryW(S.wszExt.c_str());
        DeleteFileW(S.wszLog.c_str());
        DeleteFileW(S.wszReport.c_str());
        SetEnvironmentVariableW(L"ZOLT_FAULT_KIND", toWide(strKind).c_str());
        SetEnvironmentVariableW(L"ZOLT_FAULT_N", std::to_wstring(iAt).c_str());

        Run R;
        if (!runLauncher(S.wszLauncher, Args, S.wszWork, &R))
            return false;
        FaultReport const F = readReport(S.wszReport);
        std::string strWhy;
        std::string strOutcome = judge(S, strKind, strRunKind, R, F, &strWhy);
        pTotals->cPoints++;
        if (strOutcome.empty())
        {
            pTotals->cBad++;
            fAllOk = false;
            printf("FAIL %s/%s N=%u (exit %lu, %.2f s): %s\n", strKind.c_str(), strRunKind.c_str(), iAt, R.dwExit,
                   R.secElapsed, strWhy.c_str());
        }
        else
            pTotals->Outcomes[strOutcome]++;
        if (getenv("ZOLT_FAULT_VERBOSE"))
            printf("  %s/%s N=%u: %.2f s, %s%s\n", strKind.c_str(), strRunKind.c_str(), iAt, R.secElapsed,
                   F.fHit ? F.strWhat.c_str() : "(not reached)", strOutcome.empty() ? " WRONG" : "");
        fflush(stdout);
        if (!uninstallDemo())
        {
            printf("FAIL %s/%s N=%u: cannot remove the demo for the next run\n", strKind.c_str(), strRunKind.c_str(),
                   iAt);
            return false;
        }
        if (F.fRead && !F.fHit)
        {
            /* The run has fewer calls than N: this was the last point. */
            pTotals->secTotal = secondsSince(uStart);
            return fAllOk;
        }
    }
    printf("FAIL %s/%s: still reaching its failing call at N=%u\n", strKind.c_str(), strRunKind.c_str(), cMax);
    pTotals->secTotal = secondsSince(uStart);
    return false;
}

typedef std::map<std::wstring, std::wstring> Options;

static bool need(const Options &Opts, const wchar_t *pwszName, std::wstring *pwszValue)
{
    auto it = Opts.find(pwszName);
    if (it == Opts.end())
    {
        fprintf(stderr, "fault-driver: --%s is missing\n", toUtf8(pwszName).c_str());
        return false;
    }
    *pwszValue = it->second;
    return true;
}

int wmain(int argc, wchar_t **argv)
{
    Options Opts;
    for (int i = 1; i + 1 < argc; i += 2)
        Opts[argv[i] + (wcsncmp(argv[i], L"--", 2) ? 0 : 2)] = argv[i + 1];
    Setup S;
    std::wstring wszPackages, wszKinds, wszRuns;
    if (!need(Opts, L"launcher", &S.wszLauncher) || !need(Opts, L"work", &S.wszWork) ||
        !need(Opts, L"packages", &wszPackages) || !need(Opts, L"kinds", &wszKinds) || !need(Opts, L"runs", &wszRuns))
        return 2;
    if (Opts.count(L"symbols"))
        loadSymbols(Opts[L"symbols"]);
    unsigned const iFrom = Opts.count(L"from") ? (unsigned)wcstoul(Opts[L"from"].c_str(), NULL, 10) : 1;
    unsigned const cMax = Opts.count(L"max") ? (unsigned)wcstoul(Opts[L"max"].c_str(), NULL, 10) : 3000;
    for (const std::wstring &wszPackage : splitList(wszPackages))
    {
        std::string str;
        if (!readFile(wszPackage, &str))
        {
            fprintf(stderr, "fault-driver: cannot read %s\n", toUtf8(wszPackage).c_str());
            return 2;
        }
        S.Packages.push_back(str);
        S.PackageNames.push_back(wszPackage.substr(wszPackage.find_last_of(L"\\/") + 1));
    }
    S.strExeName = toUtf8(S.wszLauncher.substr(S.wszLauncher.find_last_of(L"\\/") + 1));
    S.wszTmp = S.wszWork + L"\\tmp";
    S.wszExt = S.wszWork + L"\\ext";
    S.wszLog = S.wszWork + L"\\msi.log";
    S.wszReport = S.wszWork + L"\\fault.txt";
    CreateDirectoryW(S.wszTmp.c_str(), NULL);
    SetEnvironmentVariableW(L"ZOLT_TMPDIR", S.wszTmp.c_str());
    SetEnvironmentVariableW(L"ZOLT_FAULT_REPORT", S.wszReport.c_str());
    if (!uninstallDemo())
        return 1;

    ULONGLONG const uStart = GetTickCount64();
    unsigned cPoints = 0, cBad = 0;
    for (const std::wstring &wszRun : splitList(wszRuns))
        for (const std::wstring &wszKind : splitList(wszKinds))
        {
            Totals T;
            std::string const strKind = toUtf8(wszKind), strRun = toUtf8(wszRun);
            sweep(S, strKind, strRun, iFrom, cMax, &T);
            cPoints += T.cPoints;
            cBad += T.cBad;
            printf("%s/%s: %u fault points in %.1f s, %u wrong\n", strKind.c_str(), strRun.c_str(), T.cPoints,
                   T.secTotal, T.cBad);
            for (const auto &O : T.Outcomes)
                printf("  %4u  %s\n", O.second, O.first.c_str());
            fflush(stdout);
        }
    printf("%u fault points in %.1f s, %u wrong\n", cPoints, secondsSince(uStart), cBad);
    return cBad ? 1 : 0;
}
