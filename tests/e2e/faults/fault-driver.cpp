/** @file
 * Windows-side driver of the fault sweeps: runs the fault launcher
 * (fault-main.cpp) inside one Wine session with the N-th call of one kind
 * failing, for N = 1, 2, ... until a run no longer reaches its N-th call,
 * and judges every run.
 *
 *  fault-driver --launcher EXE --work DIR --packages X64,ARM64,CAB
 *               --kinds heap,open,... --runs extract,silent,custom,gui
 *               [--from N] [--max N]
 *
 * The runs: "extract" extracts into a new --path directory (silent);
 * "silent" installs the demo silently (certificate included) with the
 * Windows Installer log outside the temporary directory; "custom" is the
 * silent installation with a (empty) ".custom" directory beside a copy of
 * the launcher, and fails only the calls of the custom directory's copy and
 * of its cleanup, which a run without the directory never makes (a run
 * that fails nothing lists every call first); "gui" installs interactively
 * (needs a display): the driver finds the launcher's message boxes among
 * its windows, reads and dismisses them.
 *
 * Every run must end by itself within its time limit, the temporary
 * directory must hold nothing the run made (an extract-only run keeps what
 * it wrote, by design), the product must be either not installed at all or
 * fully installed, and the single-instance mutex must be gone. What else a
 * run must show is decided by the call that failed: its call stack names
 * the step it belongs to (g_aSites), and that step's failure must give its
 * exit code and exactly one report to the user (an "error:" line on the
 * console in silent runs, a message box in interactive ones) whose text is
 * the step's message, or, where the launcher ignores the result by design,
 * the outcome the entry names with its reason. A failed call whose site is
 * in no entry is a wrong run.
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
/** The captions of the launcher's boxes: its product title, and the one
 *  a launcher without a readable identity shows. */
static const wchar_t *const g_apwszBoxTitles[] = {L"Marrowdale Installer", L"Installer"};
static const wchar_t g_wszMutex[] = L"QuorStubInstaller";
/** A run that takes longer has hung: the slowest legitimate one waits for
 *  the cleanup's retries (9.1 s) after an installation. */
static const DWORD g_cMsRunTimeout = 90000;

/** What the failure of a call site must give. */
typedef enum SITEOUTCOME
{
    /** The step fails the run: its exit code and its one report. */
    SITE_FAILS,
    /** Ignored by design: the run ends as if nothing had failed (exit 0,
     *  no report, everything installed or extracted). */
    SITE_IGNORED,
    /** As SITE_IGNORED, but the extract-only run's notice may be lost. */
    SITE_NOTICE_LOST,
    /** The run goes on and succeeds (exit 0), and the step's one report
     *  tells the user what it could not do. */
    SITE_GOES_ON_REPORTED,
    /** The report itself failed: exit 1, and the user is not told. */
    SITE_UNREPORTED,
    /** The process stops at a breakpoint by design. */
    SITE_STOPS,
} SITEOUTCOME;

/**
 * The call sites the sweeps reach, each with the step it belongs to and what
 * its failure must give. Matched in order against "<kind> <call> <- <its
 * callers, innermost first>" of the fault report (the fault build's own
 * frames left out), for the runs pszRuns names ("" for all).
 */
static const struct
{
    const char *pszRuns;
    const char *pszSite;
    const char *pszStep;
    SITEOUTCOME enmOutcome;
    /** SITE_FAILS: the exit code. */
    unsigned uExit;
    /** SITE_FAILS, SITE_GOES_ON_REPORTED: what the one report says. */
    const char *pszReport;
    /** A detail line ("error: " and this) the standard error stream must
     *  hold, or null. */
    const char *pszDetail;
    /** Why the run may end that way (all outcomes but SITE_FAILS). */
    const char *pszWhy;
} g_aSites[] = {
    /* Inside the runtime: fallbacks that give the same answer. */
    {"", "^query NtQueryFullAttributesFile\\(.* <- rtPathNativeQueryInfo ", "a path query's quick attribute query",
     SITE_IGNORED, 0, NULL, NULL, "it falls back on opening the object"},
    {"", "^query NtCreateFile\\(.* <- rtPathNativeQueryInfo ", "a path query's open", SITE_IGNORED, 0, NULL, NULL,
     "it falls back on the parent directory's listing"},
    {"", "^heap .* <- RTStrRealloc <- RTPathAbsExDup ", "shrinking a finished path's block", SITE_IGNORED, 0, NULL,
     NULL, "the longer block is kept"},
    {"", "^dir NtCreateFile\\(.*, access 0x1000a1\\) (<- rtNtPathCreateFile )?<- RTNtPathOpen <- rtDirNativeOpen ",
     "a directory open with traverse access", SITE_IGNORED, 0, NULL, NULL,
     "refused, it is retried without traverse access, which holding the directory open needs not"},
    {"", "^query NtQueryInformationFile\\([^<]* <- rtDirNativeOpen ",
     "a directory open's check that it did not follow a link: the attribute tag", SITE_IGNORED, 0, NULL, NULL,
     "treated as no link here: the name check that follows still sees a link the open followed"},
    {"",
     "^(heap .* <- \\(anonymous namespace\\)::rtNtPathFromAbs|query NtQueryInformationFile\\(.* <- "
     "rtFileNtOpenedThroughFinalLink) <- rtDirNativeOpen ",
     "a directory open's check that it did not follow a link: the opened name", SITE_IGNORED, 0, NULL, NULL,
     "treated as no link: the open was told not to follow one and the attribute tag showed none; the name check "
     "guards only against a platform that ignores the option"},
    {"", "^heap [^<]*<- \\(anonymous namespace\\)::rtStrmOutput ", "a stream's output buffer", SITE_IGNORED, 0, NULL,
     NULL, "a stream that cannot get its buffer takes one of half the size"},
    {"", "^heap .* <- rtldrNativeLoadSystem <- RTLdrLazyBind ", "loading a lazily bound library", SITE_STOPS, 0, NULL,
     NULL, "a library that cannot be loaded stops the process at a breakpoint, as the lazy loader's contract says"},

    /* Runtime initialisation, and the launcher's identity. */
    {"", "^heap .* <- rtldrNativeLoadSystem <- RTR3InitNative ", "loading the socket library at initialisation",
     SITE_IGNORED, 0, NULL, NULL, "the library is optional: without it its entry points stay null"},
    {"", "^heap .* <- RTR3Init ", "runtime initialisation", SITE_FAILS, 3, "^fatal error: RTR3Init: ", NULL, NULL},
    {"", "^(heap|resource) .* <- FindPayloadResource <- LoadStubIdentity <- StubMain ", "reading the identity",
     SITE_FAILS, 1, "Internal error: The launcher's identity is missing or damaged \\(ERR_[A-Z0-9_]+\\)\\.$", NULL,
     NULL},

    /* Preparation: the extraction directory and the manifest. */
    {"", "^heap .* <- RTPathTempDir <- RunStub ", "finding the temporary directory", SITE_FAILS, 1,
     "Failed to find temporary directory: ", NULL, NULL},
    {"", "^query .* <- rtNtQueryProcessUser <- RTPathSystemTempDir <- RunStub ",
     "asking whether the process runs as SYSTEM", SITE_FAILS, 1, "Failed to find temporary directory: ", NULL, NULL},
    {"", "^close NtClose\\(.* <- rtNtQueryProcessUser ", "closing the process token", SITE_IGNORED, 0, NULL, NULL,
     "its result is ignored: the user has been read by then"},
    {"", "^(heap|dir|query) .* <- RTDirCreateTempEx <- RunStub ", "creating the extraction directory", SITE_FAILS, 1,
     "Failed to create extraction path: ", NULL, NULL},
    {"", "^heap .* <- AddCleanupRecord <- RunStub ", "the extraction directory's cleanup record", SITE_FAILS, 1,
     "Out of memory!$", NULL, NULL},
    {"", "^(heap|resource) .* <- FindPayloadManifest <- RunStub ", "reading the manifest", SITE_FAILS, 1,
     "Internal package error: Manifest not found \\(", NULL, NULL},

    /* Extraction. */
    {"extract", "^heap .* <- RTDirExists <- ExtractPackages ", "the extraction directory's existence test",
     SITE_IGNORED, 0, NULL, NULL, "it answers no, and the directory, which did not exist, is created"},
    {"", "^heap .* <- RTDirExists <- ExtractPackages ", "the extraction directory's existence test", SITE_FAILS, 1,
     "RTDirExists failed on '.*' which we just created!", NULL, NULL},
    {"", "^(heap|dir) .* <- RTDirCreate <- ExtractPackages ", "creating the extraction directory", SITE_FAILS, 1,
     "Failed to create extraction path '.*': ", NULL, NULL},
    {"", "^heap .* <- AddCleanupRecord <- ExtractPackages ", "the extraction directory's cleanup record", SITE_FAILS, 1,
     "Out of memory!$", NULL, NULL},
    {"", "^(heap|dir) .* <- RTDirOpenFiltered <- ExtractPackages ", "opening the extraction directory", SITE_FAILS, 1,
     "Failed to open extraction path '.*': ", NULL, NULL},
    {"", "^heap .* <- RTPathSetCurrentDir <- ExtractPackages ", "making the extraction directory current", SITE_IGNORED,
     0, NULL, NULL, "only a convenience for the installer's relative paths"},
    {"", "^(heap|resource) .* <- GetPackageHeader <- (ExtractPackages|RunInstallationPhase) ", "a package's header",
     SITE_FAILS, 1, "Internal error: Could not find package header #[0-9]+: ", NULL, NULL},
    {"", "^heap .* <- AddCleanupRecord <- rtStubExtractPackageFile ", "a package file's cleanup record", SITE_FAILS, 1,
     "Out of memory!$", NULL, NULL},
    {"", "^(heap|delete) .* <- RTFileDelete <- rtStubExtractPackageFile ",
     "deleting an earlier file under a package's name", SITE_FAILS, 1,
     "Error extracting package #[0-9]+ \\(.+\\): ERR_", "#[0-9]+: Failed to create/replace '.*' for writing: ", NULL},
    {"", "^(heap|open) .* <- RTFileOpenEx <- rtStubExtractPackageFile ", "opening a package file", SITE_FAILS, 1,
     "Error extracting package #[0-9]+ \\(.+\\): ERR_",
     "#[0-9]+: (Failed to create/replace '.*' for writing|(First|Second) re-opening of '.*' failed): ", NULL},
    {"", "^(heap|resource) .* <- FindPayloadResource <- rtStubExtractPackageFile ", "a package's resource", SITE_FAILS,
     1, "Error extracting package #[0-9]+ \\(.+\\): ERR_", "#[0-9]+: Failed to locate resource '", NULL},
    {"", "^write .* <- RTFileWrite <- rtStubExtractPackageFile ", "writing a package file", SITE_FAILS, 1,
     "Error extracting package #[0-9]+ \\(.+\\): ERR_", "#[0-9]+: RTFileWrite\\('", NULL},
    {"",
     "^query NtQueryVolumeInformationFile\\(.* <- rtFileNtQueryInfo <- RTFileQueryInfo <- rtStubExtractPackageFile ",
     "a package file's volume serial number", SITE_IGNORED, 0, NULL, NULL,
     "it only completes the file's identity: the snapshots are compared by size and file index"},
    {"", "^query NtQueryInformationFile\\(.* <- rtFileNtQueryInfo <- RTFileQueryInfo <- rtStubExtractPackageFile ",
     "a package file's snapshot", SITE_FAILS, 1, "Error extracting package #[0-9]+ \\(.+\\): ERR_",
     "#[0-9]+: RTFileQueryInfo failed on '", NULL},
    {"", "^read .* <- RTFileRead <- rtStubExtractPackageFile ", "reading a package file back", SITE_FAILS, 1,
     "Error extracting package #[0-9]+ \\(.+\\): ERR_", "#[0-9]+: RTFileRead failed on '", NULL},
    {"", "^close CloseHandle\\(.* for writing\\) <- RTFileClose <- rtStubExtractPackageFile ",
     "closing a package file's write handle", SITE_FAILS, 1, "Error extracting package #[0-9]+ \\(.+\\): ERR_",
     "#[0-9]+: RTFileClose\\('.*'\\) failed: ", NULL},
    {"extract", "^close CloseHandle\\(.*\\) <- RTFileClose <- rtStubExtractPackageFile ",
     "closing a package file's first reader", SITE_IGNORED, 0, NULL, "#[0-9]+: Failed to close 2nd handle to '",
     "the failure is printed, and the verification goes on through the kept reader"},
    {"", "^close CloseHandle\\(.*\\) <- RTFileClose <- rtStubExtractPackageFile ",
     "closing a package file's first reader", SITE_GOES_ON_REPORTED, 0, "Failed to delete temporary file '",
     "#[0-9]+: Failed to close 2nd handle to '",
     "the failure is printed and the installation goes on; the reader left open keeps the file from being deleted, "
     "which the cleanup reports"},

    /* The custom directory. */
    {"", "^heap .* <- rtPathNativeQueryInfo (<- RTPathQueryInfo )?<- CopyCustomDirectory ",
     "querying the custom directory beside the launcher", SITE_FAILS, 1,
     "Failed to query the '.custom' dir '.*': ", NULL, NULL},
    {"custom", "^heap .* <- RTPathJoinA <- CopyCustomDirectory ", "the copied custom directory's path", SITE_FAILS, 1,
     "Out of memory!$", NULL, NULL},
    {"custom", "^(heap|dir|query) .* <- (RTDirCreate|RTDirOpenFiltered) <- CopyCustomDirectory ",
     "making and opening the copied custom directory", SITE_FAILS, 1,
     "Unable to open the destination .custom directory: ", NULL, NULL},
    {"custom", "^heap .* <- AddCleanupRecord <- CopyCustomDirectory ", "the copied custom directory's cleanup record",
     SITE_FAILS, 1, "Out of memory!$", NULL, NULL},
    {"custom", "^lazy SHFileOperationW <- CopyCustomDirectory ", "copying the custom directory", SITE_FAILS, 1,
     "Copying the '.custom' dir failed: 0x", NULL, NULL},

    /* The certificate. */
    {"", "^(heap|resource) .* <- FindPayloadResource <- InstallCarriedCertificates ", "reading the certificate table",
     SITE_FAILS, 1, "Failed to add our certificate\\(s\\) to trusted publisher store\\.$",
     "Could not read the certificate table: ERR_", NULL},
    {"",
     "^(heap .* <- RTStrToUtf16|lazy Cert(CreateCertificateContext|OpenStore|AddCertificateContextToStore)) <- "
     "AddCertificateToStore ",
     "certificate installation", SITE_FAILS, 1, "Failed to add our certificate\\(s\\) to trusted publisher store\\.$",
     NULL, NULL},
    {"", "^lazy CertCloseStore <- AddCertificateToStore ", "closing the certificate store", SITE_IGNORED, 0, NULL, NULL,
     "its result is ignored: the certificate is in the store by then"},

    /* The packages. */
    {"", "^heap .* <- RTStrToUtf16 <- InstallMsiPackage ", "a package's texts for the Windows Installer", SITE_FAILS, 1,
     "RTStrToUtf16 failed on '", NULL, NULL},
    {"", "^lazy MsiSetInternalUI <- InstallMsiPackage ", "the Windows Installer's user interface level", SITE_FAILS, 1,
     "Internal error: MsiSetInternalUI failed\\.$", NULL, NULL},
    {"", "^lazy MsiEnableLogW <- InstallMsiPackage ", "the Windows Installer's log", SITE_FAILS, 1,
     "MsiEnableLogW failed$", NULL, NULL},
    {"", "^lazy MsiInstallProductW <- InstallMsiPackage ", "the Windows Installer's installation", SITE_FAILS, 1,
     "Installation failed! Error: ", NULL, NULL},
    {"", "^lazy InitCommonControlsEx <- InstallMsiPackage ", "registering the common controls", SITE_IGNORED, 0, NULL,
     NULL, "its result is ignored: the installer's own dialogs register what they use"},

    /* The splash screen: only decoration, and the message boxes. */
    {"gui", "^heap .* <- StartSplash ", "starting the splash screen", SITE_IGNORED, 0, NULL, NULL,
     "a splash screen that cannot start is left out"},
    {"gui", "^lazy GdiplusStartup <- SplashThreadProc ", "starting GDI+ for the splash screen", SITE_IGNORED, 0, NULL,
     NULL, "its result is ignored: a GDI+ that does not work fails the picture's loading, which reports it"},
    {"gui", "^lazy GdipLoadImageFromStream <- SplashThreadProc ", "loading the splash picture", SITE_GOES_ON_REPORTED,
     0, "^Error loading splash image$", NULL, "the run goes on without a splash screen, which is only decoration"},
    {"gui", "^lazy Gdip(GetImageWidth|GetImageHeight) <- SplashThreadProc ", "the splash picture's size", SITE_IGNORED,
     0, NULL, NULL, "the window takes the size the query leaves, 0: an empty splash window"},
    {"gui",
     "^lazy Gdip(CreateFromHDC|GraphicsClear|DrawImageRectI|CreateSolidFill|FillEllipseI|DeleteBrush|"
     "DeleteGraphics) <- SplashPaint ",
     "painting a splash frame", SITE_IGNORED, 0, NULL, NULL,
     "a frame is drawn incompletely or an object leaks; the next tick paints again"},
    {"gui", "^lazy GdipDisposeImage <- SplashThreadProc ", "releasing the splash picture", SITE_IGNORED, 0, NULL, NULL,
     "its result is ignored: the picture's memory goes with the process"},
    {"gui", "^lazy MessageBox[WA] <- ", "showing a message box", SITE_UNREPORTED, 0, NULL, NULL,
     "the box's own failure is ignored: the failure it was to report still fails the run, unseen"},

    /* The end of the run: the extract-only notice, the cleanup. */
    {"extract", "^heap .* <- ShowInfo <- RunStub ", "the extraction notice", SITE_NOTICE_LOST, 0, NULL, NULL,
     "ShowInfo shows nothing when its text cannot be formatted, and a stream keeps the first error it meets"},
    {"", "^heap .* <- RTPathSetCurrentDir <- rtStubCloseRun ", "leaving the extraction directory",
     SITE_GOES_ON_REPORTED, 0, "Failed to delete temporary directory '", NULL,
     "the extraction directory stays current, so the cleanup cannot remove it, which it reports"},
    {"", "^(heap|delete) .* <- RTFileDelete <- RunCleanup ", "the cleanup's deletion of a file", SITE_IGNORED, 0, NULL,
     NULL, "the cleanup retries a file it cannot delete yet"},
    {"", "^query NtQueryInformationFile\\(.* <- rtFileNtOpenedThroughFinalLink <- RTFileDelete <- RunCleanup ",
     "the cleanup's check that a deletion did not follow a link", SITE_IGNORED, 0, NULL, NULL,
     "treated as no link: the file was opened without following one, so its own name is deleted"},
    {"", "^query NtQueryInformationFile\\(.* <- RTFileDelete <- RunCleanup ",
     "the cleanup's attribute checks before a deletion", SITE_IGNORED, 0, NULL, NULL,
     "the deletion fails, and the cleanup retries it"},
    {"", "^close NtClose\\(.* <- RTFileDelete <- RunCleanup ", "closing the handle that marked a file for deletion",
     SITE_IGNORED, 0, NULL, NULL,
     "the file is gone when the process ends (the system never refuses this close for the deletion's own handle)"},
    {"", "^(heap|dir) .* <- RTDirRemove <- RunCleanup ", "the cleanup's removal of a directory", SITE_IGNORED, 0, NULL,
     NULL, "the cleanup retries a directory it cannot remove yet"},
    {"", "^close CloseHandle\\(.* <- RTFileClose <- RunCleanup ", "the cleanup's close of a package file",
     SITE_GOES_ON_REPORTED, 0, "Failed to delete temporary file '",
     "Cleanup file '.*' for #[0-9]+: RTFileClose\\(.*\\) failed: ",
     "the close failure is printed; the file it leaves open cannot be deleted, which the cleanup reports"},
    {"", "^close NtClose\\(.* <- rtDirNativeClose <- RTDirClose <- RunCleanup ", "the cleanup's close of a directory",
     SITE_GOES_ON_REPORTED, 0, "Failed to delete temporary directory '",
     "Cleanup dir '.*' for #[0-9]+: RTDirClose\\(.*\\) failed: ",
     "the close failure is printed; the directory it leaves open cannot be removed, which the cleanup reports"},
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
        !wcscmp(wszClass, L"#32770") && GetWindowTextW(hWnd, wszTitle, 64))
        for (const wchar_t *pwszTitle : g_apwszBoxTitles)
            if (!wcscmp(wszTitle, pwszTitle))
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
    std::wstring wszLauncher, wszWork, wszTmp, wszExt, wszLog, wszReport, wszTrace;
    /** The launcher's copy with a ".custom" directory beside it. */
    std::wstring wszCustomLauncher;
    std::vector<std::string> Packages; /* contents, in container order */
    std::vector<std::wstring> PackageNames;
    std::string strExeName;
};

/** The launcher's functions by image offset (--symbols: "offset name"
 *  lines, sorted), to name the call stack of a fault. */
static std::vector<std::pair<uintptr_t, std::string>> g_Symbols;

/** A function's name without its parameter list and the compiler's clone
 *  suffixes: "RTDirOpenFiltered.part.0(RTDIRREC**, ...)" is
 *  "RTDirOpenFiltered". */
static std::string shortName(std::string str)
{
    size_t off = str.find(" [clone ");
    if (off != std::string::npos)
        str.erase(off);
    for (size_t i = str.size(), cDepth = 0; !str.empty() && str.back() == ')' && i-- > 0;)
    {
        if (str[i] == ')')
            cDepth++;
        else if (str[i] == '(' && --cDepth == 0)
            str.erase(i);
    }
    static const std::regex s_Clone("\\.(part|constprop|isra|cold)\\.[0-9]+.*$");
    return std::regex_replace(str, s_Clone, "");
}

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
            g_Symbols.push_back(
                {(uintptr_t)strtoull(strLine.c_str(), NULL, 16), shortName(strLine.substr(offBlank + 1))});
    }
}

/** A fault description: the call, and the functions of its call stack
 *  (innermost first) without the fault build's own frames. */
struct FaultCall
{
    std::string strCall;
    std::vector<std::string> Frames;
    /** "<call> in <frame> <- <frame> ..." */
    std::string describe() const
    {
        std::string str = strCall;
        for (size_t i = 0; i < Frames.size(); i++)
            str += (i ? " <- " : " in ") + Frames[i];
        return str;
    }
    /** "<kind> <call> <- <frame> <- ... " as g_aSites matches it. */
    std::string key(const std::string &strKind) const
    {
        std::string str = strKind + " " + strCall;
        for (const std::string &strFrame : Frames)
            str += " <- " + strFrame;
        return str + " ";
    }
};

/** Splits " @0x<offset>" frames off a fault description and names them. */
static FaultCall symbolise(const std::string &strWhat)
{
    static const std::regex s_Frame(" @(0x[0-9a-f]+)");
    FaultCall Call;
    std::sregex_iterator it(strWhat.begin(), strWhat.end(), s_Frame), itEnd;
    Call.strCall = it == itEnd ? strWhat : strWhat.substr(0, it->position());
    for (; it != itEnd; ++it)
    {
        uintptr_t uOff = (uintptr_t)strtoull((*it)[1].str().c_str(), NULL, 16);
        std::string strName = (*it)[1].str();
        for (const auto &Sym : g_Symbols)
            if (Sym.first <= uOff)
                strName = Sym.second;
            else
                break;
        /* The fault build's own functions and lazy-binding wrappers. */
        if (strName.compare(0, 5, "fault") && strName.find("FaultLazy<") == std::string::npos)
            Call.Frames.push_back(strName);
    }
    return Call;
}

/** What the fault build reported. */
struct FaultReport
{
    bool fRead = false;
    long cCalls = 0;
    bool fHit = false;
    FaultCall Call;
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
        R.Call = symbolise(M[3].str());
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

/** The entry of g_aSites for a failed call in a run of @a strRunKind, or -1. */
static int findSite(const std::string &strRunKind, const std::string &strKind, const FaultCall &Call)
{
    static std::vector<std::regex> s_Sites, s_Runs;
    if (s_Sites.empty())
        for (const auto &Site : g_aSites)
        {
            s_Sites.emplace_back(Site.pszSite);
            s_Runs.emplace_back(Site.pszRuns[0] ? Site.pszRuns : ".*");
        }
    std::string const strKey = Call.key(strKind);
    for (size_t i = 0; i < sizeof(g_aSites) / sizeof(g_aSites[0]); i++)
        if (std::regex_match(strRunKind, s_Runs[i]) && std::regex_search(strKey, s_Sites[i]))
            return (int)i;
    return -1;
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
    char szWhy[900] = "";
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
    if (strKind == "close" &&
        std::regex_search(F.Call.key(strKind), std::regex("^close NtClose\\(.* <- RTFileDelete <- RunCleanup ")))
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

    /* What the failed call's step must give; a run that failed nothing
       must succeed without a report. */
    int const iSite = F.fHit ? findSite(strRunKind, strKind, F.Call) : -1;
    SITEOUTCOME const enmOutcome = iSite >= 0 ? g_aSites[iSite].enmOutcome : SITE_IGNORED;
    bool fAllThere = true; /* an extract-only run's packages, complete */
    for (size_t i = 0; fExtract && i < S.Packages.size() && fAllThere; i++)
    {
        std::string str;
        fAllThere = readFile(S.wszExt + L"\\" + S.PackageNames[i], &str) && str == S.Packages[i];
    }
    std::string strDetail;
    if (iSite >= 0 && g_aSites[iSite].pszDetail &&
        !std::regex_search(R.strErr, std::regex(std::string("(^|\n)error: ") + g_aSites[iSite].pszDetail)))
        strDetail = std::string("error: ") + g_aSites[iSite].pszDetail;
    bool const fReportOk = iSite >= 0 && Reports.size() == 1 && g_aSites[iSite].pszReport &&
                           std::regex_search(Reports[0], std::regex(g_aSites[iSite].pszReport));

    if (!R.fEnded)
        snprintf(szWhy, sizeof(szWhy), "did not end within %lu s (killed)", g_cMsRunTimeout / 1000);
    else if (F.fHit && iSite < 0)
        snprintf(szWhy, sizeof(szWhy), "exit %lu: no step of the launcher is known for this call site", R.dwExit);
    else if (fLazyStop && enmOutcome == SITE_STOPS && !hMutex && (strLeftTmp.empty() || !fExtract))
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
    else if (enmOutcome == SITE_STOPS)
        snprintf(szWhy, sizeof(szWhy), "exit %lu, but the lazy loader's failure must stop the process", R.dwExit);
    else if (enmOutcome == SITE_FAILS && (R.dwExit != g_aSites[iSite].uExit || !fReportOk))
        snprintf(szWhy, sizeof(szWhy),
                 "exit %lu with %u reports, but %s must fail the run with exit %u and one report matching \"%s\"",
                 R.dwExit, (unsigned)Reports.size(), g_aSites[iSite].pszStep, g_aSites[iSite].uExit,
                 g_aSites[iSite].pszReport);
    else if (enmOutcome == SITE_GOES_ON_REPORTED && (R.dwExit != 0 || !fReportOk))
        snprintf(szWhy, sizeof(szWhy),
                 "exit %lu with %u reports, but a failure of %s must leave exit 0 and one report matching \"%s\"",
                 R.dwExit, (unsigned)Reports.size(), g_aSites[iSite].pszStep, g_aSites[iSite].pszReport);
    else if (enmOutcome == SITE_UNREPORTED && (R.dwExit != 1 || !Reports.empty()))
        snprintf(szWhy, sizeof(szWhy), "exit %lu with %u reports, but a failure of %s must give exit 1 and no report",
                 R.dwExit, (unsigned)Reports.size(), g_aSites[iSite].pszStep);
    else if ((enmOutcome == SITE_IGNORED || enmOutcome == SITE_NOTICE_LOST) && (R.dwExit != 0 || !Reports.empty()))
        snprintf(szWhy, sizeof(szWhy), "exit %lu with %u reports, but %s must end as if nothing had failed", R.dwExit,
                 (unsigned)Reports.size(), iSite >= 0 ? g_aSites[iSite].pszStep : "a run that failed nothing");
    else if (fExtract && R.dwExit == 0 && !fAllThere)
        snprintf(szWhy, sizeof(szWhy), "exit 0, but a package is missing or differs");
    else if (fExtract && R.dwExit == 0 && enmOutcome != SITE_NOTICE_LOST &&
             strNotice.find("Files were extracted to:") == std::string::npos)
        snprintf(szWhy, sizeof(szWhy), "exit 0, but the extraction notice is missing");
    else if (!strDetail.empty())
        snprintf(szWhy, sizeof(szWhy), "no detail line \"%s\" on the standard error stream", strDetail.c_str());

    if (!szWhy[0] && strOutcome.empty())
    {
        std::string const strSite = iSite >= 0 ? std::string(g_aSites[iSite].pszStep) + ": " : std::string();
        if (iSite < 0)
            strOutcome = "exit 0";
        else if (enmOutcome == SITE_IGNORED || enmOutcome == SITE_NOTICE_LOST || enmOutcome == SITE_UNREPORTED)
            strOutcome = "exit " + std::to_string(R.dwExit) + ", no report, " + strSite + g_aSites[iSite].pszWhy +
                         (fExtract && strNotice.empty() ? " (the notice lost)" : "");
        else
            strOutcome = "exit " + std::to_string(R.dwExit) + (R.dwExit && fInstalled ? " (installed before)" : "") +
                         (fCleanupReport                             ? " (left by the cleanup)"
                          : fEmptyDirByDesign && !strLeftTmp.empty() ? " (empty extraction directory left by design)"
                                                                     : "") +
                         ", " + strSite + normalise(Reports[0]);
    }
    else if (szWhy[0])
    {
        *pstrWhy = szWhy;
        *pstrWhy += "\n  fault: " + (F.fHit ? F.Call.describe() : std::string("(not reached)"));
        for (const std::string &strReport : Reports)
            *pstrWhy += "\n  report: " + strReport;
        *pstrWhy += "\n  --- stdout:\n" + R.strOut + "  --- stderr:\n" + R.strErr + "  ---";
    }
    return strOutcome;
}

/** The launcher's arguments for a run kind. */
static std::vector<std::wstring> runArgs(const Setup &S, const std::string &strRunKind)
{
    if (strRunKind == "extract")
        return {L"--extract", L"--silent", L"--path", S.wszExt};
    if (strRunKind == "silent" || strRunKind == "custom")
        return {L"--silent", L"--msi-log-file", S.wszLog};
    return {}; /* "gui": no options, an interactive installation */
}

/** Runs the launcher once with call @a iAt of @a strKind failing (0: none)
 *  and judges the run. @returns false when the driver cannot go on. */
static bool runPoint(const Setup &S, const std::string &strKind, const std::string &strRunKind, unsigned iAt,
                     bool fTrace, Totals *pTotals, FaultReport *pF)
{
    emptyDir(S.wszTmp);
    RemoveDirectoryW(S.wszExt.c_str());
    emptyDir(S.wszExt);
    RemoveDirectoryW(S.wszExt.c_str());
    DeleteFileW(S.wszLog.c_str());
    DeleteFileW(S.wszReport.c_str());
    DeleteFileW(S.wszTrace.c_str());
    SetEnvironmentVariableW(L"ZOLT_FAULT_KIND", toWide(strKind).c_str());
    SetEnvironmentVariableW(L"ZOLT_FAULT_N", std::to_wstring(iAt).c_str());
    SetEnvironmentVariableW(L"ZOLT_FAULT_TRACE", fTrace ? S.wszTrace.c_str() : NULL);

    Run R;
    if (!runLauncher(strRunKind == "custom" ? S.wszCustomLauncher : S.wszLauncher, runArgs(S, strRunKind), S.wszWork,
                     &R))
        return false;
    *pF = readReport(S.wszReport);
    std::string strWhy;
    std::string strOutcome = judge(S, strKind, strRunKind, R, *pF, &strWhy);
    pTotals->cPoints++;
    if (strOutcome.empty())
    {
        pTotals->cBad++;
        printf("FAIL %s/%s N=%u (exit %lu, %.2f s): %s\n", strKind.c_str(), strRunKind.c_str(), iAt, R.dwExit,
               R.secElapsed, strWhy.c_str());
    }
    else
        pTotals->Outcomes[strOutcome]++;
    if (getenv("ZOLT_FAULT_VERBOSE"))
        printf("  %s/%s N=%u: %.2f s, %s%s\n", strKind.c_str(), strRunKind.c_str(), iAt, R.secElapsed,
               pF->fHit ? pF->Call.describe().c_str() : "(not reached)", strOutcome.empty() ? " WRONG" : "");
    fflush(stdout);
    if (!uninstallDemo())
    {
        printf("FAIL %s/%s N=%u: cannot remove the demo for the next run\n", strKind.c_str(), strRunKind.c_str(), iAt);
        return false;
    }
    return true;
}

/** The calls of the custom directory's copy and of its cleanup, from the
 *  trace of a run that failed nothing. */
static std::vector<unsigned> customCalls(const Setup &S)
{
    std::vector<unsigned> Calls;
    std::string str;
    if (!readFile(S.wszTrace, &str))
        return Calls;
    size_t off = 0;
    while (off < str.size())
    {
        size_t offEnd = str.find('\n', off);
        std::string strLine = str.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        off = offEnd == std::string::npos ? str.size() : offEnd + 1;
        size_t offBlank = strLine.find(' ');
        if (offBlank == std::string::npos)
            continue;
        FaultCall const Call = symbolise(strLine.substr(offBlank + 1));
        bool fCustom = Call.strCall.find("\\.custom") != std::string::npos;
        for (const std::string &strFrame : Call.Frames)
            fCustom = fCustom || strFrame == "CopyCustomDirectory";
        if (fCustom)
            Calls.push_back((unsigned)strtoul(strLine.c_str(), NULL, 10));
    }
    return Calls;
}

/** Sweeps one kind over one run. @returns false when a run was wrong. */
static bool sweep(const Setup &S, const std::string &strKind, const std::string &strRunKind, unsigned iFrom,
                  unsigned cMax, Totals *pTotals)
{
    ULONGLONG const uStart = GetTickCount64();
    unsigned const cBadBefore = pTotals->cBad;
    FaultReport F;
    if (strRunKind == "custom")
    {
        /* A run that fails nothing says which calls are the custom
           directory's; the run up to the N-th call is the same in every
           run, so the N-th call of another run is the one listed. */
        if (!runPoint(S, strKind, strRunKind, 0, true, pTotals, &F))
            return false;
        for (unsigned iAt : customCalls(S))
            if (!runPoint(S, strKind, strRunKind, iAt, false, pTotals, &F))
                return false;
        pTotals->secTotal = secondsSince(uStart);
        return pTotals->cBad == cBadBefore;
    }
    for (unsigned iAt = iFrom; iAt <= cMax; iAt++)
    {
        if (!runPoint(S, strKind, strRunKind, iAt, false, pTotals, &F))
            return false;
        if (F.fRead && !F.fHit)
        {
            /* The run has fewer calls than N: this was the last point. */
            pTotals->secTotal = secondsSince(uStart);
            return pTotals->cBad == cBadBefore;
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
    S.wszTrace = S.wszWork + L"\\trace.txt";
    CreateDirectoryW(S.wszTmp.c_str(), NULL);
    /* The custom runs' launcher: a copy with an empty ".custom" directory
       beside it (empty, so that the cleanup can remove the copied one). */
    std::wstring const wszCustomDir = S.wszWork + L"\\custom";
    S.wszCustomLauncher = wszCustomDir + L"\\" + toWide(S.strExeName);
    if (wcsstr(wszRuns.c_str(), L"custom") &&
        (!(CreateDirectoryW(wszCustomDir.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS) ||
         !CopyFileW(S.wszLauncher.c_str(), S.wszCustomLauncher.c_str(), FALSE) ||
         !(CreateDirectoryW((wszCustomDir + L"\\.custom").c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS)))
    {
        fprintf(stderr, "fault-driver: cannot set up %s: %lu\n", toUtf8(wszCustomDir).c_str(), GetLastError());
        return 2;
    }
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
