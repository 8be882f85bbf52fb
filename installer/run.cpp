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
#include "customdir.h"
#include "exitcodes.h"
#include "extract.h"
#include "identity.h"
#include "install.h"
#include "messages.h"
#include "msipackage.h"
#include "payload.h"
#include "splash.h"
#include "testhooks.h"

/** What a run holds from the mutex on, released by its end. */
typedef struct StubRun
{
    StubSettings *pSettings;
    HANDLE hMutex;
    SplashState *pSplash;
    /** Cleanup record of the extraction directory, once there is one. */
    CleanupRecord *pDirRecord;
} StubRun;

/** Opens a console of our own for a verbose run and points both standard
 *  streams at it. @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE when
 *  there is no console (reported). */
static int rtStubOpenVerboseConsole(void)
{
    const char *pszConsole = STUB_TEST_CONSOLE_FILE();
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
    return STUB_EXIT_SUCCESS; /* without CONOUT$ the output stays where it was */
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

/** Lets another launcher start. */
static void rtStubReleaseMutex(StubRun *pRun)
{
    if (pRun->hMutex)
        CloseHandle(pRun->hMutex);
    pRun->hMutex = NULL;
}

/** The end of every run that got past the mutex: console, splash screen,
 *  mutex, and the restart-required result. @returns the exit code. */
static int rtStubCommonEnd(StubRun *pRun, int rcExit)
{
    if (g_cVerbosity)
        FreeConsole();
    StopSplash(pRun->pSplash);
    pRun->pSplash = NULL;
    rtStubReleaseMutex(pRun);
    if (rcExit == STUB_EXIT_REBOOT_REQUIRED && pRun->pSettings->fIgnoreReboot)
        rcExit = STUB_EXIT_SUCCESS;
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
 *  itself for extract-only runs, else a new private directory with a random
 *  name in it. The temporary directory is the local system account's own
 *  when the launcher runs as SYSTEM on a host that has one, else the
 *  runtime's. On failure the mutex is released before the message (see the
 *  caller). @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE after a
 *  reported failure. */
static int rtStubChooseExtractPath(StubRun *pRun)
{
    StubSettings *pSettings = pRun->pSettings;
    /* A deployment service running us as SYSTEM would otherwise extract
       under C:\Windows\Temp, where every user may create files. */
    int rc = RTPathSystemTempDir(pSettings->szExtractPath, sizeof(pSettings->szExtractPath));
    if (rc == ERR_NOT_SUPPORTED)
        rc = RTPathTempDir(pSettings->szExtractPath, sizeof(pSettings->szExtractPath));
    if (RT_FAILURE(rc))
    {
        rtStubReleaseMutex(pRun);
        return ShowError("Failed to find temporary directory: %Rrc", rc);
    }
    if (pSettings->fExtractOnly)
        return STUB_EXIT_SUCCESS;

    rc = RTPathAppend(pSettings->szExtractPath, sizeof(pSettings->szExtractPath), STUB_TEMP_DIR_TEMPLATE);
    if (RT_SUCCESS(rc))
        /* Nobody but us, the administrators and SYSTEM may enter it or
           touch what we write into it between extraction and
           installation. */
        rc = RTDirCreateTempEx(pSettings->szExtractPath, 0700, RTDIRCREATE_PRIVATE);
    if (RT_FAILURE(rc))
    {
        rtStubReleaseMutex(pRun);
        return ShowError("Failed to create extraction path: %Rrc", rc);
    }
    pRun->pDirRecord = AddCleanupRecord(pSettings->szExtractPath, false /*fIsFile*/);
    if (pRun->pDirRecord)
        return STUB_EXIT_SUCCESS;
    /* "Out of memory!" has been shown. No cleanup pass knows of the new
       directory, so it goes at once: it is still empty. */
    (void)RTDirRemove(pSettings->szExtractPath); /* best effort: the failure is reported already */
    rtStubReleaseMutex(pRun);
    return STUB_EXIT_FAILURE;
}

bool StubRefusesHost(const StubSettings *pSettings, PackageArch enmHost)
{
    /* A 32-bit host can still be extracted for, or served unattended with
       the packages that fit every host; an interactive installation there
       is refused up front. */
    return !pSettings->fExtractOnly && !g_fSilentMode && enmHost == PackageArch_X86;
}

int RunStub(StubSettings *pSettings, const StubRunOps *pOps)
{
    StubRun Run = {pSettings, NULL, NULL, NULL};

    /* Only one launcher at a time: the mutex's existence is the signal, it
       is never waited on. */
    SetLastError(0);
    Run.hMutex = CreateMutexW(NULL, FALSE, g_pwszStubMutexName);
    if (Run.hMutex && GetLastError() == ERROR_ALREADY_EXISTS)
    {
        /* Another launcher runs. Nothing of ours exists yet but this
           handle, and it goes before the message, so that we do not keep
           the other launcher's mutex alive while the user reads it. */
        rtStubReleaseMutex(&Run);
        return ShowError("Another installer is already running");
    }

    if (!g_fSilentMode)
        Run.pSplash = StartSplash();

    InitCleanupRecords();
    if (pSettings->szExtractPath[0] == '\0')
    {
        /* No place to extract to, and nothing extracted yet. The mutex has
           gone before the message, so the launcher can be started again
           while the user reads it (once TMP is fixed, say). The splash
           thread, if one runs, holds nothing that outlives the process and
           ends with it, right after the message. */
        int rcExit = rtStubChooseExtractPath(&Run);
        if (rcExit != STUB_EXIT_SUCCESS)
            return rcExit;
    }
    RTPathToBackslashes(pSettings->szExtractPath);

    if (g_cVerbosity)
    {
        /* No console: nothing has been extracted yet, so there is nothing
           to clean up. The mutex and the splash thread go with the
           process, which ends right after this message; a directory of our
           own made above stays, empty. */
        int rcExit = rtStubOpenVerboseConsole();
        if (rcExit != STUB_EXIT_SUCCESS)
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
            /* Nothing extracted yet either: the mutex, the splash thread
               and the console opened above go with the process, and a
               directory of our own made above stays, empty. */
            if (RT_FAILURE(rc))
                return ShowError("Error creating MSI log file name, rc=%Rrc", rc);
        }
    }

    PackageArch enmHost = pOps->pfnDetectHostArch();
    if (g_cVerbosity)
        rtStubPrintSettings(pSettings, enmHost);

    /* The host policy (StubRefusesHost). From here on every run ends
       through the common end, which frees the console, takes the splash
       screen down and releases the mutex. Here and at the missing manifest
       nothing has been extracted, so no cleanup pass runs: a directory of
       our own made above stays, empty. */
    if (StubRefusesHost(pSettings, enmHost))
        return rtStubCommonEnd(
            &Run, ShowError("32-bit Windows hosts are not supported by this %s release.", g_pszStubProductName));

    const PayloadManifest *pManifest = NULL;
    int rc = FindPayloadManifest(pOps->hPayload, &pManifest);
    if (RT_FAILURE(rc))
        return rtStubCommonEnd(&Run, ShowError("Internal package error: Manifest not found (%Rrc)", rc));

    int rcExit =
        ExtractPackages(pOps, pManifest->cPackages, pSettings->szExtractPath, pSettings->fExtractOnly, &Run.pDirRecord);
    if (rcExit != STUB_EXIT_SUCCESS)
    {
        /* A failed installation deletes what it wrote: the files are of no
           use to anyone without the installation. */
        if (!pSettings->fExtractOnly)
            return rtStubCloseRun(&Run, rcExit);
        /* A failed extract-only run keeps what it wrote, which shows how
           far it got; the records go, and the handles they held with them
           end with the process. */
        FreeCleanupRecords();
        return rtStubCommonEnd(&Run, rcExit);
    }

    StopSplash(Run.pSplash);
    Run.pSplash = NULL;

    if (pSettings->fExtractOnly)
    {
        ShowInfo("Files were extracted to: %s", pSettings->szExtractPath);
        /* The files are what the user asked for and stay. The handles the
           records held are not closed: they end with the process, which
           follows at once. */
        FreeCleanupRecords();
        return rtStubCommonEnd(&Run, STUB_EXIT_SUCCESS);
    }

    /* The installation phase (custom directory, certificate, packages)
       runs with the extracted files still held open. */
    return rtStubCloseRun(&Run, RunInstallationPhase(pOps, pSettings, pManifest->cPackages));
}

int StubMain(int cArgs, char **papszArgs)
{
    int rc = RTR3InitForExe(cArgs, &papszArgs, RTR3INIT_F_SYSTEM32_DLLS);
    if (RT_FAILURE(rc))
        return RTMessageInitFailure(rc); /* STUB_EXIT_INIT_FAILURE by its contract */

    /* Read once: a link that drops unused sections must keep the marker. */
    (void)*(const volatile char *)g_achStubMarker;

    /* The identity comes first: every message, the help and the mutex
       need it. Without it the image itself is broken (a stub that was
       never packed, or a damaged launcher), and nothing else is done. */
    rc = LoadStubIdentity(GetModuleHandleW(NULL));
    if (RT_FAILURE(rc))
    {
        g_fSilentMode = StubCommandLineAsksSilent(cArgs, papszArgs);
        return ShowError("Internal error: The launcher's identity is missing or damaged (%Rrc).", rc);
    }

    /* Owned by the run for its whole life; too big for a comfortable stack
       frame. */
    static StubSettings s_Settings;
    int rcExit = ParseStubCommandLine(cArgs, papszArgs, &s_Settings);
    if (rcExit != STUB_CONTINUE)
        return rcExit;
    /* The payload is our own image's; the steps are the real ones. */
    const StubRunOps Ops = {GetModuleHandleW(NULL), DetectHostArch, CopyCustomDirectory, InstallCarriedCertificates,
                            InstallMsiPackage};
    return RunStub(&s_Settings, &Ops);
}
