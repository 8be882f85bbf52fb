/** @file
 * The run sequence: single instance, splash screen, extraction directory,
 * verbose console, log file, host check, extraction, and the end of a run.
 */
#include "run.h"

#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/message.h>
#include <zolt/path.h>
#include <zolt/stream.h>
#include <zolt/string.h>

#include "cleanup.h"
#include "cmdline.h"
#include "extract.h"
#include "install.h"
#include "messages.h"
#include "payload.h"
#include "splash.h"

/** What a run holds from the mutex on, released by its end. */
typedef struct StubRun
{
    StubSettings *pSettings;
    HANDLE hMutex;
    SplashState *pSplash;
    /** Cleanup record of the extraction directory, once there is one. */
    CleanupRecord *pDirRecord;
} StubRun;

const char *g_pszStubTestConsoleFile = NULL;

/** Opens a console of our own for a verbose run and points both standard
 *  streams at it. @returns 0, or 1 when there is no console (reported). */
static int rtStubOpenVerboseConsole(void)
{
    const char *pszConsole = g_pszStubTestConsoleFile;
    if (!pszConsole)
    {
        if (!AllocConsole())
            return ShowError("Unable to allocate console: LastError=%u\n", GetLastError());
        pszConsole = "CONOUT$";
    }
    PRTSTREAM pConsole = NULL;
    if (RT_SUCCESS(RTStreamOpen(pszConsole, "a", &pConsole)))
    {
        RTStreamSetBufferMode(pConsole, RTSTRMBUFMODE_UNBUFFERED);
        g_pStdOut = pConsole;
        g_pStdErr = pConsole;
    }
    return 0; /* without CONOUT$ the output stays where it was */
}

static void rtStubPrintSettings(const StubSettings *pSettings, PackageArch enmHost)
{
    RTPrintf("Host architecture        : %s\n", PackageArchName(enmHost));
    RTPrintf("Extraction path          : %s\n", pSettings->szExtractPath);
    RTPrintf("Silent installation      : %RTbool\n", g_fSilentMode);
    RTPrintf("Certificate installation : %RTbool\n", pSettings->fInstallCert);
    RTPrintf("Additional MSI parameters: %s\n", pSettings->szMsiParams[0] ? pSettings->szMsiParams : "<None>");
    RTPrintf("Logging to file          : %s\n", pSettings->szMsiLogFile[0] ? pSettings->szMsiLogFile : "<None>");
}

/** The end of every run that got past the mutex: console, splash screen,
 *  mutex, and the restart-required result. @returns the exit code. */
static int rtStubCommonEnd(StubRun *pRun, int rcExit)
{
    if (g_cVerbosity)
        FreeConsole();
    StopSplash(pRun->pSplash);
    pRun->pSplash = NULL;
    if (pRun->hMutex)
        CloseHandle(pRun->hMutex);
    if (rcExit == ERROR_SUCCESS_REBOOT_REQUIRED && pRun->pSettings->fIgnoreReboot)
        rcExit = 0;
    return rcExit;
}

/** Deletes what the run extracted, then the common end. The extraction
 *  directory itself goes only when the run created it and no log file is
 *  meant to stay in it. */
static int rtStubCloseRun(StubRun *pRun, int rcExit)
{
    /* Leave the extraction directory so it can be removed. */
    (void)RTPathSetCurrentDir("..");
    StubSettings *pSettings = pRun->pSettings;
    const char *pszBaseDir =
        pSettings->fEnableLogging || !pRun->pDirRecord || pRun->pDirRecord->fKeep ? NULL : pSettings->szExtractPath;
    (void)RunCleanup(pszBaseDir); /* its failures are its own to report */
    FreeCleanupRecords();
    return rtStubCommonEnd(pRun, rcExit);
}

/** Settles szExtractPath when the user gave none: the temporary directory
 *  itself for extract-only runs, else a new directory with a random name in
 *  it. @returns 0, or 1 after a reported failure. */
static int rtStubChooseExtractPath(StubRun *pRun)
{
    StubSettings *pSettings = pRun->pSettings;
    int rc = RTPathTempDir(pSettings->szExtractPath, sizeof(pSettings->szExtractPath));
    if (RT_FAILURE(rc))
        return ShowError("Failed to find temporary directory: %Rrc", rc);
    if (pSettings->fExtractOnly)
        return 0;

    rc = RTPathAppend(pSettings->szExtractPath, sizeof(pSettings->szExtractPath), STUB_TEMP_DIR_TEMPLATE);
    if (RT_SUCCESS(rc))
        rc = RTDirCreateTemp(pSettings->szExtractPath, 0700);
    if (RT_FAILURE(rc))
        return ShowError("Failed to create extraction path: %Rrc", rc);
    pRun->pDirRecord = AddCleanupRecord(pSettings->szExtractPath, false /*fIsFile*/);
    return pRun->pDirRecord ? 0 : 1; /* "Out of memory!" has been shown */
}

/** The run after option parsing. */
static int rtStubRun(StubSettings *pSettings)
{
    StubRun Run = {pSettings, NULL, NULL, NULL};

    /* Only one launcher at a time: the mutex's existence is the signal, it
       is never waited on. */
    SetLastError(0);
    Run.hMutex = CreateMutexW(NULL, FALSE, L"" STUB_MUTEX_NAME);
    if (Run.hMutex && GetLastError() == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(Run.hMutex);
        return ShowError("Another installer is already running");
    }

    if (!g_fSilentMode)
        Run.pSplash = StartSplash();

    InitCleanupRecords();
    if (pSettings->szExtractPath[0] == '\0')
    {
        int rcExit = rtStubChooseExtractPath(&Run);
        if (rcExit != 0)
        {
            if (Run.hMutex)
                CloseHandle(Run.hMutex);
            return rcExit;
        }
    }
    RTPathToBackslashes(pSettings->szExtractPath);

    if (g_cVerbosity)
    {
        int rcExit = rtStubOpenVerboseConsole();
        if (rcExit != 0)
            return rcExit;
    }

    if (pSettings->fEnableLogging || pSettings->szMsiLogFile[0] != '\0')
    {
        pSettings->fEnableLogging = true;
        if (pSettings->szMsiLogFile[0] == '\0')
        {
            int rc = RTStrCopy(pSettings->szMsiLogFile, sizeof(pSettings->szMsiLogFile), pSettings->szExtractPath);
            if (RT_SUCCESS(rc))
                rc = RTPathAppend(pSettings->szMsiLogFile, sizeof(pSettings->szMsiLogFile), STUB_DEFAULT_LOG_NAME);
            if (RT_FAILURE(rc))
                return ShowError("Error creating MSI log file name, rc=%Rrc", rc);
        }
    }

    PackageArch enmHost = DetectHostArch();
    if (g_cVerbosity)
        rtStubPrintSettings(pSettings, enmHost);

    /* A 32-bit host can still be extracted for, or served unattended with
       the packages that fit every host; an interactive installation there
       is refused up front. */
    if (!pSettings->fExtractOnly && !g_fSilentMode && enmHost == PackageArch_X86)
        return rtStubCommonEnd(&Run, ShowError("32-bit Windows hosts are not supported by this Marrowdale release."));

    const PayloadManifest *pManifest = NULL;
    int rc = FindPayloadManifest(&pManifest);
    if (RT_FAILURE(rc))
        return rtStubCommonEnd(&Run, ShowError("Internal package error: Manifest not found (%Rrc)", rc));

    int rcExit =
        ExtractPackages(pManifest->cPackages, pSettings->szExtractPath, pSettings->fExtractOnly, &Run.pDirRecord);
    if (rcExit != 0)
    {
        if (!pSettings->fExtractOnly)
            return rtStubCloseRun(&Run, rcExit);
        FreeCleanupRecords(); /* what was extracted stays */
        return rtStubCommonEnd(&Run, rcExit);
    }

    StopSplash(Run.pSplash);
    Run.pSplash = NULL;

    if (pSettings->fExtractOnly)
    {
        ShowInfo("Files were extracted to: %s", pSettings->szExtractPath);
        /* The files stay, and so do our handles on them until the process
           ends. */
        FreeCleanupRecords();
        return rtStubCommonEnd(&Run, 0);
    }

    /* The installation phase (custom directory, certificate, packages)
       runs with the extracted files still held open. */
    return rtStubCloseRun(&Run, RunInstallationPhase(pSettings, pManifest->cPackages));
}

int StubMain(int cArgs, char **papszArgs)
{
    int rc = RTR3InitForExe(cArgs, &papszArgs, RTR3INIT_F_SYSTEM32_DLLS);
    if (RT_FAILURE(rc))
        return RTMessageInitFailure(rc);

    /* Owned by the run for its whole life; too big for a comfortable stack
       frame. */
    static StubSettings s_Settings;
    int rcExit = ParseStubCommandLine(cArgs, papszArgs, &s_Settings);
    if (rcExit != STUB_CONTINUE)
        return rcExit;
    return rtStubRun(&s_Settings);
}
