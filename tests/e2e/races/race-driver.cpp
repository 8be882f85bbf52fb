/** @file
 * Windows-side driver of the race, full-disk and squatted-mutex tests: it
 * runs a launcher many times inside one Wine session, with an attacker
 * thread of its own racing each run, and judges every run's outcome from
 * the launcher's exit code and output, the Windows Installer's log and
 * product states, and what is left on disk.
 *
 *  race-driver races --launcher EXE --work DIR --package MSI
 *              --replacement MSI --fixture-text FILE [--reps N] [--seed S]
 *              [--only RACE]
 *      N installation runs of each race (default 200); prints one summary
 *      per race and exits 0 when every run ended as allowed.
 *  race-driver disk --launcher EXE --tmp DIR --log FILE --fixture-text FILE
 *              --expect disk-full|installed [--keep NAME]
 *      One installation run whose temporary directory (ZOLT_TMPDIR) is DIR
 *      on a small file system; DIR holds only NAME (a filler) before and
 *      must hold only it afterwards.
 *  race-driver mutex --launcher EXE --helper E2E-HELPER --work DIR
 *              --fixture-text FILE [--reps N]
 *      N times (default 10): a helper holds the launcher's single-instance
 *      mutex, an installation run must give up at once; the holder goes
 *      (released or killed) and the next run installs.
 *
 * The attackers are threads of this Wine process: the file sharing the
 * launcher relies on is enforced between Wine processes' handles, so they
 * meet the same rules as any other Windows program.
 */
#include <windows.h>

#include <msi.h>

#include <map>
#include <regex>
#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "../driver-files.h"

/** The product the race launchers carry (tests/e2e/fixtures plain.msi) and
 *  the attacker's replacement package, another product with another file. */
static const wchar_t g_wszEmbeddedCode[] = L"{6D617272-6F77-6461-6C65-64656D6F0110}";
static const wchar_t g_wszReplacementCode[] = L"{6D617272-6F77-6461-6C65-64656D6F0660}";
static const wchar_t g_wszEmbeddedDir[] = L"Marrowdale Plain Fixture";
static const wchar_t g_wszReplacementDir[] = L"Marrowdale Race Replacement";
/** The package's file name in every race launcher's container. */
static const wchar_t g_wszPackageName[] = L"plain.msi";
/** A run that takes longer has hung. */
static const DWORD g_cMsRunTimeout = 120000;

/* ---- small tools ------------------------------------------------------- */

static double seconds(LARGE_INTEGER Start)
{
    LARGE_INTEGER Now, Freq;
    QueryPerformanceCounter(&Now);
    QueryPerformanceFrequency(&Freq);
    return (double)(Now.QuadPart - Start.QuadPart) / (double)Freq.QuadPart;
}

static LARGE_INTEGER now()
{
    LARGE_INTEGER Now;
    QueryPerformanceCounter(&Now);
    return Now;
}

/** Waits @a cUs microseconds, yielding the processor meanwhile (the machine
 *  has few cores; the launcher and the Wine server need them). */
static void pauseUs(unsigned cUs)
{
    if (!cUs)
        return;
    LARGE_INTEGER Start = now();
    if (cUs > 3000)
        Sleep(cUs / 1000 - 2);
    while (seconds(Start) * 1e6 < cUs)
        SwitchToThread();
}

/** xorshift64*: every repetition draws its timing from a seed of its own,
 *  derived from the session's (--seed) and printed with any failure. */
struct Rng
{
    uint64_t u;
    explicit Rng(uint64_t uSeed) : u(uSeed * 0x9E3779B97F4A7C15ull | 1)
    {
    }
    uint32_t next()
    {
        u ^= u >> 12;
        u ^= u << 25;
        u ^= u >> 27;
        return (uint32_t)((u * 0x2545F4914F6CDD1Dull) >> 32);
    }
    uint32_t below(uint32_t uLimit)
    {
        return uLimit ? next() % uLimit : 0;
    }
    bool coin()
    {
        return next() & 1;
    }
};

/* ---- products ----------------------------------------------------------- */

static INSTALLSTATE productState(const wchar_t *pwszCode)
{
    return MsiQueryProductStateW(pwszCode);
}

/** True when the product is known to the installer in any way. */
static bool productPresent(const wchar_t *pwszCode)
{
    INSTALLSTATE enm = productState(pwszCode);
    return enm != INSTALLSTATE_UNKNOWN && enm != INSTALLSTATE_ABSENT;
}

/** Removes the product if it is installed. @returns false if that failed. */
static bool uninstall(const wchar_t *pwszCode)
{
    if (productState(pwszCode) != INSTALLSTATE_DEFAULT)
        return true;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
    UINT u = MsiConfigureProductW(pwszCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
    if (u != ERROR_SUCCESS)
        fprintf(stderr, "race-driver: removing %s failed: %u\n", toUtf8(pwszCode).c_str(), u);
    return u == ERROR_SUCCESS && productState(pwszCode) != INSTALLSTATE_DEFAULT;
}

static std::wstring programFilesFile(const wchar_t *pwszProductDir)
{
    wchar_t wsz[MAX_PATH];
    DWORD cwc = GetEnvironmentVariableW(L"ProgramW6432", wsz, MAX_PATH);
    if (cwc == 0 || cwc >= MAX_PATH)
        cwc = GetEnvironmentVariableW(L"ProgramFiles", wsz, MAX_PATH);
    if (cwc == 0 || cwc >= MAX_PATH)
        wcscpy(wsz, L"C:\\Program Files");
    return std::wstring(wsz) + L"\\" + pwszProductDir + L"\\fixture.txt";
}

/** The last ProductCode the installer's verbose log reports, or "". */
static std::string loggedProductCode(const std::string &strLog)
{
    static const std::string s_strKey = "Property(S): ProductCode = ";
    size_t off = strLog.rfind(s_strKey);
    if (off == std::string::npos)
        return "";
    off += s_strKey.size();
    size_t offEnd = strLog.find_first_of("\r\n", off);
    return strLog.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
}

/* ---- launcher runs ------------------------------------------------------ */

struct Launch
{
    PROCESS_INFORMATION Pi;
    LARGE_INTEGER Start;
    DWORD dwExit;
    double secElapsed;
    std::string strOut, strErr;
    std::wstring wszOut, wszErr;
};

/** Starts @a wszExe with its standard output and error going to the files
 *  "<tag>.out" and "<tag>.err" in @a wszWork. @returns false (with a
 *  message) when it cannot. */
static bool startProgram(Launch *pRun, const std::wstring &wszExe, const std::vector<std::wstring> &Args,
                         const std::wstring &wszWork, const wchar_t *pwszTag = L"launcher")
{
    std::wstring wszCmd;
    appendArg(wszCmd, wszExe);
    for (const std::wstring &wszArg : Args)
        appendArg(wszCmd, wszArg);
    pRun->wszOut = wszWork + L"\\" + pwszTag + L".out";
    pRun->wszErr = wszWork + L"\\" + pwszTag + L".err";
    SECURITY_ATTRIBUTES Sa = {sizeof(Sa), NULL, TRUE};
    HANDLE hOut = CreateFileW(pRun->wszOut.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Sa,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE hErr = CreateFileW(pRun->wszErr.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Sa,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    STARTUPINFOW Si = {};
    Si.cb = sizeof(Si);
    Si.dwFlags = STARTF_USESTDHANDLES;
    Si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    Si.hStdOutput = hOut;
    Si.hStdError = hErr;
    pRun->Start = now();
    BOOL fOk = hOut != INVALID_HANDLE_VALUE && hErr != INVALID_HANDLE_VALUE &&
               CreateProcessW(wszExe.c_str(), &wszCmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &Si, &pRun->Pi);
    DWORD dwErr = GetLastError();
    if (hOut != INVALID_HANDLE_VALUE)
        CloseHandle(hOut);
    if (hErr != INVALID_HANDLE_VALUE)
        CloseHandle(hErr);
    if (!fOk)
        fprintf(stderr, "race-driver: cannot start %s: %lu\n", toUtf8(wszExe).c_str(), dwErr);
    return fOk != FALSE;
}

/** Waits for the program's end and collects its exit code and output.
 *  @returns false when it did not end in time (it is then killed). */
static bool waitProgram(Launch *pRun)
{
    bool fEnded = WaitForSingleObject(pRun->Pi.hProcess, g_cMsRunTimeout) == WAIT_OBJECT_0;
    if (!fEnded)
    {
        TerminateProcess(pRun->Pi.hProcess, 999);
        WaitForSingleObject(pRun->Pi.hProcess, INFINITE);
    }
    pRun->secElapsed = seconds(pRun->Start);
    GetExitCodeProcess(pRun->Pi.hProcess, &pRun->dwExit);
    CloseHandle(pRun->Pi.hProcess);
    CloseHandle(pRun->Pi.hThread);
    /* The launcher's streams end lines with CR LF. */
    for (std::string *pstr : {&pRun->strOut, &pRun->strErr})
    {
        readFile(pstr == &pRun->strOut ? pRun->wszOut : pRun->wszErr, pstr);
        for (size_t off; (off = pstr->find("\r\n")) != std::string::npos;)
            pstr->erase(off, 1);
    }
    return fEnded;
}

static std::wstring baseName(const std::wstring &wszPath)
{
    size_t off = wszPath.find_last_of(L"\\/");
    return off == std::wstring::npos ? wszPath : wszPath.substr(off + 1);
}

/* ---- judging a run ------------------------------------------------------ */

/** What the test knows about the world after a run. */
struct Judge
{
    std::wstring wszLauncher;
    std::string strEmbeddedText;
};

/** Replaces every quoted path by <path> and every number by N, so that the
 *  outcomes of many runs fall into a few classes. */
static std::string normalise(const std::string &str)
{
    static const std::regex s_Quoted("'[^']*'");
    static const std::regex s_Number("0x[0-9a-fA-F]+|[0-9][0-9 ]*[0-9]|[0-9]");
    return std::regex_replace(std::regex_replace(str, s_Quoted, "<path>"), s_Number, "N");
}

/**
 * Classifies the standard error of a run that failed during extraction.
 * @returns the class ("ERR_X: detail" with paths and numbers normalised),
 * or "" when the text is not one of the launcher's extraction failures:
 * a detail line and its summary, or one of the directory messages.
 */
static std::string extractionFailure(const Judge &J, const std::string &strErr)
{
    const std::string strExe = toUtf8(baseName(J.wszLauncher));
    static const std::regex s_Detail(
        "error: #0: ((Second|First) re-opening of '[^']+' failed: (ERR_\\w+)"
        "|File size of '[^']+' changed: [0-9 ]+, expected [0-9 ]+"
        "|File ID of '[^']+' changed: 0x[0-9A-F]+, expected 0x[0-9A-F]+"
        "|File '[^']+' has change \\(mismatch in 0x[0-9a-f]+ byte block at (0x[0-9a-f]+|0)\\)"
        "|Failed to create/replace '[^']+' for writing: (ERR_\\w+)"
        "|RTFileWrite\\('[^']+',, 0x[0-9a-f]+,\\) failed: (ERR_\\w+)"
        "|RTFileRead failed on '[^']+' at offset (0x[0-9a-f]+|0): (ERR_\\w+)"
        "|RTFileQueryInfo failed on '[^']+': (ERR_\\w+))\n");
    std::smatch M;
    std::string::const_iterator itEnd = strErr.end();
    if (std::regex_search(strErr.begin(), itEnd, M, s_Detail, std::regex_constants::match_continuous))
    {
        std::string strDetail = M[1].str();
        std::string strWant = "ERR_MISMATCH";
        for (int iGroup : {3, 5, 6, 8, 9})
            if (M[iGroup].matched)
                strWant = M[iGroup].str();
        std::string strSummary = strExe + ": error: Error extracting package #0 (plain.msi): " + strWant + "\n";
        if (strErr.compare(M.length(0), std::string::npos, strSummary) != 0)
            return "";
        return strWant + ": " + normalise(strDetail);
    }
    static const std::regex s_Dir("(RTDirExists failed on '[^']+' which we just created!"
                                  "|Failed to open extraction path '[^']+': ERR_\\w+"
                                  "|Failed to create extraction path '[^']+': ERR_\\w+"
                                  "|Failed to create extraction path: ERR_\\w+)\n");
    if (strErr.compare(0, strExe.size() + 9, strExe + ": error: ") == 0)
    {
        std::string strRest = strErr.substr(strExe.size() + 9);
        if (std::regex_match(strRest, M, s_Dir))
            return normalise(M[1].str());
    }
    return "";
}

/**
 * Judges an installation run. @a wszLog is the run's --msi-log-file,
 * @a fMustFail tells that an attacker changed the package before the
 * installer could have started (so only a failure is right). Leaves the
 * product state clean for the next run.
 * @returns the outcome class: "installed", "failed: <class>", or "" with
 * the reason in @a pstrWhy.
 */
static std::string judgeInstallRun(const Judge &J, const Launch &Run, const std::wstring &wszLog, bool fMustFail,
                                   std::string *pstrWhy)
{
    std::string strLog;
    bool const fLog = readFile(wszLog, &strLog);
    INSTALLSTATE const enmEmbedded = productState(g_wszEmbeddedCode);
    INSTALLSTATE const enmReplacement = productState(g_wszReplacementCode);
    std::string strOutcome;
    char szWhy[512] = "";
    if (productPresent(g_wszReplacementCode) || exists(programFilesFile(g_wszReplacementDir)))
        snprintf(szWhy, sizeof(szWhy), "the attacker's package was installed (state %d)", enmReplacement);
    else if (Run.dwExit == 0)
    {
        std::string strInstalled;
        bool const fInstalled = readFile(programFilesFile(g_wszEmbeddedDir), &strInstalled);
        if (!Run.strOut.empty() || !Run.strErr.empty())
            snprintf(szWhy, sizeof(szWhy), "exit 0 with output");
        else if (fMustFail)
            snprintf(szWhy, sizeof(szWhy), "exit 0 although the package was changed before the installation");
        else if (!fLog || loggedProductCode(strLog) != toUtf8(g_wszEmbeddedCode))
            snprintf(szWhy, sizeof(szWhy), "exit 0, but the installer's log names product '%s'",
                     fLog ? loggedProductCode(strLog).c_str() : "(no log)");
        else if (enmEmbedded != INSTALLSTATE_DEFAULT || !fInstalled || strInstalled != J.strEmbeddedText)
            snprintf(szWhy, sizeof(szWhy),
                     "exit 0, but the embedded product is not installed as it should be "
                     "(state %d, file %s)",
                     enmEmbedded, fInstalled ? "differs" : "missing");
        else
            strOutcome = "installed";
    }
    else if (Run.dwExit == 1)
    {
        std::string strClass = Run.strOut.empty() ? extractionFailure(J, Run.strErr) : "";
        if (strClass.empty())
            snprintf(szWhy, sizeof(szWhy), "exit 1 without one of the extraction messages");
        else if (fLog)
            snprintf(szWhy, sizeof(szWhy), "the extraction failed, yet the installer was called (log written)");
        else if (productPresent(g_wszEmbeddedCode))
            snprintf(szWhy, sizeof(szWhy), "the extraction failed, yet the product got installed");
        else
            strOutcome = "failed: " + strClass;
    }
    else
        snprintf(szWhy, sizeof(szWhy), "exit code %lu", Run.dwExit);

    if (strOutcome.empty())
        *pstrWhy = std::string(szWhy) + "\n--- stdout:\n" + Run.strOut + "--- stderr:\n" + Run.strErr + "---";
    if (!uninstall(g_wszEmbeddedCode) || !uninstall(g_wszReplacementCode))
    {
        pstrWhy->append("\ncannot remove the products for the next run");
        strOutcome.clear();
    }
    DeleteFileW(wszLog.c_str());
    return strOutcome;
}

/* ---- the races ------------------------------------------------------------ */

enum RaceKind
{
    RACE_REPLACE_WRITTEN,
    RACE_REPLACE_VERIFIED,
    RACE_HOLD_WRITER,
    RACE_RENAME_FILE,
    RACE_MOVE_DIR,
    RACE_APPEND
};

struct RaceDef
{
    RaceKind enmKind;
    const char *pszName;
    const char *pszWhat;
};

static const RaceDef g_aRaces[] = {
    {RACE_REPLACE_WRITTEN, "replace-written", "replace the package from the moment it appears"},
    {RACE_REPLACE_VERIFIED, "replace-verified", "replace the package once the installer has started"},
    {RACE_HOLD_WRITER, "hold-writer", "open the package for writing and hold it"},
    {RACE_RENAME_FILE, "rename-file", "rename the package"},
    {RACE_MOVE_DIR, "move-dir", "rename or remove the extraction directory (and plant one of our own)"},
    {RACE_APPEND, "append", "append to the package"},
};

/** One attacker thread's orders and findings for one run. */
struct Attack
{
    const RaceDef *pRace;
    Rng *pRng;
    /** The extraction directory when the run was given --path, else empty
     *  (it then appears in wszTmpDir with a random name). */
    std::wstring wszKnownDir;
    std::wstring wszTmpDir;
    std::wstring wszLog;
    /** Where moved files and directories go, outside the temporary
     *  directory. */
    std::wstring wszStash;
    const std::string *pstrReplacement;
    volatile LONG fStop;

    /* Timing of this run, drawn from the seed. */
    unsigned cUsStartDelay;
    unsigned cUsMaxGap;
    bool fPlant;

    /* Findings. */
    unsigned cAttempts;
    /** Actions that took effect: a change of the package or the directory,
     *  or (hold-writer) a write handle obtained. */
    unsigned cHits;
    /** A change was complete while the installer had not started (no log
     *  yet): the launcher must then fail, unless it went on in a planted
     *  directory. */
    bool fEarlyChange;
    /** The attacker found the launcher had let go of the package and
     *  withdrew. */
    bool fWithdrew;
    /** The attacker created something in the extraction directory after
     *  the launcher let go, or planted a directory: an empty extraction
     *  directory may then stay (see judgeLeftovers). */
    bool fCreatedInDir;
    bool fPlanted;
    std::wstring wszDir;
};

static bool attackStopped(const Attack *pAtk)
{
    return InterlockedCompareExchange(const_cast<LONG *>(&pAtk->fStop), 0, 0) != 0;
}

/** Finds the extraction directory, polling as fast as possible.
 *  @returns false when told to stop first. */
static bool attackFindDir(Attack *pAtk)
{
    while (!attackStopped(pAtk))
    {
        if (!pAtk->wszKnownDir.empty())
        {
            if (exists(pAtk->wszKnownDir))
            {
                pAtk->wszDir = pAtk->wszKnownDir;
                return true;
            }
            continue;
        }
        for (const DirEntry &E : listDir(pAtk->wszTmpDir))
            if (E.fDir)
            {
                pAtk->wszDir = pAtk->wszTmpDir + L"\\" + E.wszName;
                return true;
            }
    }
    return false;
}

static bool attackWaitFor(Attack *pAtk, const std::wstring &wszPath)
{
    while (!attackStopped(pAtk))
        if (exists(wszPath))
            return true;
    return false;
}

/**
 * Counts a change. The launcher holds the package from its creation to its
 * cleanup through handles that deny deletion, so a change that needed
 * delete access (@a fDeleteAccess), or any change once the installer has
 * started (its log exists), shows that the launcher has let go of it: there
 * is nothing left to race, and the attacker takes away the file it put
 * there (@a wszOwnFile) and stops, so that the cleanup is not held up by
 * it.
 */
static void attackChanged(Attack *pAtk, bool fDeleteAccess, const std::wstring &wszOwnFile = std::wstring())
{
    pAtk->cHits++;
    bool const fLog = exists(pAtk->wszLog);
    if (!fLog)
        pAtk->fEarlyChange = true;
    if (fLog || fDeleteAccess)
    {
        if (!wszOwnFile.empty())
        {
            pAtk->fCreatedInDir = true;
            DeleteFileW(wszOwnFile.c_str());
        }
        pAtk->fWithdrew = true;
        InterlockedExchange(&pAtk->fStop, 1);
    }
}

/** Writes @a str through a new handle on @a wszPath opened with
 *  @a dwAccess and @a dwDisposition, sharing everything. */
static bool attackWrite(const std::wstring &wszPath, DWORD dwAccess, DWORD dwDisposition, const std::string &str)
{
    HANDLE h = CreateFileW(wszPath.c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           dwDisposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD cb = 0;
    WriteFile(h, str.data(), (DWORD)str.size(), &cb, NULL);
    CloseHandle(h);
    return cb != 0;
}

/** One attempt of the race's action on the package @a wszTarget. */
static void attackOnce(Attack *pAtk, const std::wstring &wszTarget)
{
    unsigned const iAttempt = pAtk->cAttempts++;
    std::wstring wszMoved = pAtk->wszStash + L"\\" + std::to_wstring(iAttempt);
    std::wstring wszSpare = pAtk->wszStash + L"\\replacement.msi";
    switch (pAtk->pRace->enmKind)
    {
        case RACE_REPLACE_WRITTEN:
        case RACE_REPLACE_VERIFIED:
            /* Three ways to put other bytes under the package's name: move
               a file over it, overwrite it in place, delete and recreate. */
            switch (iAttempt % 3)
            {
                case 0:
                    if (!exists(wszSpare))
                        writeFile(wszSpare, *pAtk->pstrReplacement);
                    if (MoveFileExW(wszSpare.c_str(), wszTarget.c_str(), MOVEFILE_REPLACE_EXISTING))
                        attackChanged(pAtk, true, wszTarget);
                    break;
                case 1:
                    if (attackWrite(wszTarget, GENERIC_WRITE, TRUNCATE_EXISTING, *pAtk->pstrReplacement))
                        attackChanged(pAtk, false);
                    break;
                default:
                    if (DeleteFileW(wszTarget.c_str()))
                    {
                        attackWrite(wszTarget, GENERIC_WRITE, CREATE_NEW, *pAtk->pstrReplacement);
                        attackChanged(pAtk, true, wszTarget);
                    }
                    break;
            }
            break;

        case RACE_HOLD_WRITER: {
            HANDLE h =
                CreateFileW(wszTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h != INVALID_HANDLE_VALUE)
            {
                pAtk->cHits++;
                pauseUs(pAtk->pRng->below(20000));
                CloseHandle(h);
            }
            break;
        }

        case RACE_RENAME_FILE:
            if (MoveFileW(wszTarget.c_str(), wszMoved.c_str()))
                attackChanged(pAtk, true);
            break;

        case RACE_MOVE_DIR: {
            /* The directory is pinned only once the launcher has opened it,
               so here a change before the installation is the race itself
               and not a sign that the launcher has let go. */
            bool fDone = iAttempt % 2 ? RemoveDirectoryW(pAtk->wszDir.c_str())
                                      : MoveFileW(pAtk->wszDir.c_str(), wszMoved.c_str());
            if (!fDone)
                break;
            attackChanged(pAtk, false);
            /* Put a directory of our own in its place, with our package
               under the package's name, while the installer has not begun. */
            if (pAtk->fPlant && !pAtk->fPlanted && !pAtk->fWithdrew && CreateDirectoryW(pAtk->wszDir.c_str(), NULL))
            {
                pAtk->fPlanted = true;
                pAtk->fCreatedInDir = true;
                writeFile(pAtk->wszDir + L"\\" + g_wszPackageName, *pAtk->pstrReplacement);
            }
            break;
        }

        case RACE_APPEND:
            if (attackWrite(wszTarget, FILE_APPEND_DATA, OPEN_EXISTING, std::string(1 + iAttempt % 64, 'A')))
                attackChanged(pAtk, false);
            break;
    }
}

static DWORD WINAPI attackThread(void *pvUser)
{
    Attack *pAtk = static_cast<Attack *>(pvUser);
    if (!attackFindDir(pAtk))
        return 0;
    std::wstring wszTarget = pAtk->wszDir + L"\\" + g_wszPackageName;
    /* The moment the race starts from: the directory, the package file, or
       (replace-verified) the installer's log, which proves the package has
       been verified. */
    if (pAtk->pRace->enmKind == RACE_REPLACE_VERIFIED)
    {
        if (!attackWaitFor(pAtk, pAtk->wszLog))
            return 0;
    }
    else if (pAtk->pRace->enmKind != RACE_MOVE_DIR && !attackWaitFor(pAtk, wszTarget))
        return 0;
    pauseUs(pAtk->cUsStartDelay);
    while (!attackStopped(pAtk))
    {
        attackOnce(pAtk, wszTarget);
        pauseUs(pAtk->pRng->below(pAtk->cUsMaxGap));
    }
    return 0;
}

/**
 * What a run left on disk. Nothing of the launcher's may stay: no file
 * other than the attacker's own replacement, in the temporary directory or
 * in a directory the attacker moved away, and no package the attacker
 * renamed is less than whole. An empty extraction directory may
 * stay when the attacker created something in it after the launcher let go
 * (Wine's RemoveDirectoryW succeeds while the removal waits for the last
 * handle to close, and a file created meanwhile makes the final removal
 * fail unseen; Windows refuses new files in a directory being deleted).
 * @returns "" when all is well, " (empty extraction directory left)" when
 * that happened, or "!" and the reason.
 */
static std::string judgeLeftovers(const Attack &Atk, const std::string &strReplacement, const std::string &strEmbedded)
{
    std::string strNote;
    for (const std::wstring &wszTop : {Atk.wszTmpDir, Atk.wszStash})
        for (const DirEntry &E : listDir(wszTop))
        {
            std::wstring wszPath = wszTop + L"\\" + E.wszName;
            std::vector<std::wstring> Files;
            if (E.fDir)
                for (const DirEntry &Sub : listDir(wszPath))
                    Files.push_back(wszPath + L"\\" + Sub.wszName);
            else if (wszTop == Atk.wszTmpDir)
                Files.push_back(wszPath);
            else
            {
                /* A package the attacker renamed: whole, never partial. */
                std::string str;
                if (!readFile(wszPath, &str) || (str != strReplacement && str != strEmbedded))
                    return "!a partial package was moved away: " + toUtf8(wszPath) + " (" + std::to_string(str.size()) +
                           " bytes)";
            }
            for (const std::wstring &wszFile : Files)
            {
                std::string str;
                if (!readFile(wszFile, &str) || str != strReplacement)
                    return "!the launcher's " + toUtf8(wszFile) + " was left (" + std::to_string(str.size()) +
                           " bytes)";
            }
            if (E.fDir && wszTop == Atk.wszTmpDir && Files.empty())
            {
                if (!Atk.fCreatedInDir)
                    return "!the extraction directory " + toUtf8(wszPath) + " was left";
                strNote = " (empty extraction directory left)";
            }
        }
    return strNote;
}

/** Totals of one race. */
struct RaceTotals
{
    std::map<std::string, unsigned> Outcomes;
    unsigned cBad = 0;
    unsigned cAttempts = 0, cHits = 0, cEarly = 0, cWithdrew = 0, cPlanted = 0;
    double secTotal = 0, secLongest = 0;
};

struct RaceSetup
{
    Judge J;
    std::wstring wszWork, wszTmpDir, wszStash, wszLogDir;
    std::string strReplacement, strEmbedded;
    unsigned cReps;
    uint64_t uSeed;
};

/** One run of @a pRace. @returns false on a wrong outcome (printed). */
static bool raceOnce(const RaceSetup &S, const RaceDef *pRace, unsigned iRep, RaceTotals *pTotals)
{
    uint64_t const uSeed = S.uSeed + (uint64_t)pRace->enmKind * 1000003u + iRep;
    Rng R(uSeed);
    Attack Atk = {};
    Atk.pRace = pRace;
    Atk.pRng = &R;
    Atk.wszTmpDir = S.wszTmpDir;
    Atk.wszStash = S.wszStash;
    Atk.wszLog = S.wszLogDir + L"\\run.log";
    Atk.pstrReplacement = &S.strReplacement;
    /* Half the runs tight from the first moment, the others after a random
       delay; between attempts no pause or a random one. */
    unsigned const cUsMaxDelay = pRace->enmKind == RACE_REPLACE_VERIFIED ? 150000 : 20000;
    Atk.cUsStartDelay = R.coin() ? 0 : R.below(cUsMaxDelay);
    Atk.cUsMaxGap = R.coin() ? 0 : 1 + R.below(500);
    Atk.fPlant = R.coin();

    std::vector<std::wstring> Args = {L"--silent", L"--no-silent-cert", L"--msi-log-file", Atk.wszLog};
    if (iRep % 2)
    {
        /* A directory the run creates itself, at a name known in advance. */
        Atk.wszKnownDir = S.wszTmpDir + L"\\given-" + std::to_wstring(iRep);
        Args.push_back(L"--path");
        Args.push_back(Atk.wszKnownDir);
    }

    HANDLE hThread = CreateThread(NULL, 0, attackThread, &Atk, 0, NULL);
    Launch Run;
    bool fOk = hThread && startProgram(&Run, S.J.wszLauncher, Args, S.wszWork);
    bool const fEnded = fOk && waitProgram(&Run);
    InterlockedExchange(&Atk.fStop, 1);
    if (hThread)
    {
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
    }
    if (!fOk)
        return false;

    std::string strWhy;
    bool const fMustFail = Atk.fEarlyChange && !Atk.fPlanted;
    std::string strOutcome = fEnded ? judgeInstallRun(S.J, Run, Atk.wszLog, fMustFail, &strWhy) : "";
    if (!fEnded)
        strWhy = "the launcher did not end within two minutes";
    std::string strLeft = judgeLeftovers(Atk, S.strReplacement, S.strEmbedded);
    if (strOutcome.size() && strLeft[0] == '!')
    {
        strWhy = strLeft.substr(1) + ":\n" + describeTree(S.wszTmpDir, '\n') + describeTree(S.wszStash, '\n');
        strOutcome.clear();
    }
    else if (strOutcome.size())
        strOutcome += strLeft;
    emptyDir(S.wszTmpDir);
    emptyDir(S.wszStash);

    pTotals->cAttempts += Atk.cAttempts;
    pTotals->cHits += Atk.cHits;
    pTotals->cEarly += Atk.fEarlyChange;
    pTotals->cWithdrew += Atk.fWithdrew;
    pTotals->cPlanted += Atk.fPlanted;
    pTotals->secTotal += Run.secElapsed;
    if (Run.secElapsed > pTotals->secLongest)
        pTotals->secLongest = Run.secElapsed;
    if (strOutcome.empty())
    {
        pTotals->cBad++;
        printf("FAIL %s rep %u (seed %llu, %s, start delay %u us, gap up to %u us, plant %d): attempts %u, hits %u, "
               "early change %d, withdrew %d, planted %d: %s\n",
               pRace->pszName, iRep, (unsigned long long)uSeed, Atk.wszKnownDir.empty() ? "random dir" : "--path",
               Atk.cUsStartDelay, Atk.cUsMaxGap, Atk.fPlant, Atk.cAttempts, Atk.cHits, Atk.fEarlyChange, Atk.fWithdrew,
               Atk.fPlanted, strWhy.c_str());
        fflush(stdout);
        return false;
    }
    pTotals->Outcomes[strOutcome]++;
    return true;
}

/* ---- modes ---------------------------------------------------------------- */

typedef std::map<std::wstring, std::wstring> Options;

static bool parseOptions(int argc, wchar_t **argv, Options *pOpts)
{
    for (int i = 2; i < argc; i += 2)
    {
        if (wcsncmp(argv[i], L"--", 2) || i + 1 >= argc)
            return false;
        (*pOpts)[argv[i] + 2] = argv[i + 1];
    }
    return true;
}

static bool need(const Options &Opts, const wchar_t *pwszName, std::wstring *pwszValue)
{
    auto it = Opts.find(pwszName);
    if (it == Opts.end())
    {
        fprintf(stderr, "race-driver: --%s is missing\n", toUtf8(pwszName).c_str());
        return false;
    }
    *pwszValue = it->second;
    return true;
}

static unsigned optNumber(const Options &Opts, const wchar_t *pwszName, unsigned uDefault)
{
    auto it = Opts.find(pwszName);
    return it == Opts.end() ? uDefault : (unsigned)wcstoul(it->second.c_str(), NULL, 10);
}

static bool loadJudge(const Options &Opts, Judge *pJ)
{
    std::wstring wszText;
    if (!need(Opts, L"launcher", &pJ->wszLauncher) || !need(Opts, L"fixture-text", &wszText))
        return false;
    if (!readFile(wszText, &pJ->strEmbeddedText))
    {
        fprintf(stderr, "race-driver: cannot read %s\n", toUtf8(wszText).c_str());
        return false;
    }
    /* Leftovers of an earlier, interrupted session. */
    return uninstall(g_wszEmbeddedCode) && uninstall(g_wszReplacementCode);
}

/** Installs the attacker's package directly once: proof that the checks
 *  would see it had the installer been handed its bytes. */
static bool checkReplacementInstalls(const RaceSetup &S)
{
    std::wstring wszCopy = S.wszWork + L"\\replacement-check.msi";
    if (!writeFile(wszCopy, S.strReplacement))
        return false;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
    UINT u = MsiInstallProductW(wszCopy.c_str(), L"");
    bool fSeen = u == ERROR_SUCCESS && productState(g_wszReplacementCode) == INSTALLSTATE_DEFAULT &&
                 exists(programFilesFile(g_wszReplacementDir));
    DeleteFileW(wszCopy.c_str());
    if (!fSeen)
        fprintf(stderr, "race-driver: the replacement package does not install on its own (%u)\n", u);
    return uninstall(g_wszReplacementCode) && fSeen;
}

static int modeRaces(const Options &Opts)
{
    RaceSetup S;
    std::wstring wszReplacement, wszPackage;
    if (!loadJudge(Opts, &S.J) || !need(Opts, L"work", &S.wszWork) || !need(Opts, L"replacement", &wszReplacement) ||
        !need(Opts, L"package", &wszPackage))
        return 2;
    S.cReps = optNumber(Opts, L"reps", 200);
    S.uSeed = optNumber(Opts, L"seed", GetTickCount());
    auto itOnly = Opts.find(L"only");
    S.wszTmpDir = S.wszWork + L"\\tmp";
    S.wszStash = S.wszWork + L"\\stash";
    S.wszLogDir = S.wszWork + L"\\logs";
    for (const std::wstring &wszDir : {S.wszTmpDir, S.wszStash, S.wszLogDir})
    {
        CreateDirectoryW(wszDir.c_str(), NULL);
        emptyDir(wszDir);
    }
    /* The launcher's temporary directory: the random extraction
       directories appear here, and only here. */
    SetEnvironmentVariableW(L"ZOLT_TMPDIR", S.wszTmpDir.c_str());

    if (!readFile(wszReplacement, &S.strReplacement) || !readFile(wszPackage, &S.strEmbedded))
        return 2;
    if (!checkReplacementInstalls(S))
        return 1;
    printf("seed %llu, %u runs per race\n", (unsigned long long)S.uSeed, S.cReps);
    fflush(stdout);

    LARGE_INTEGER Start = now();
    unsigned cBad = 0, cRuns = 0;
    for (const RaceDef &Race : g_aRaces)
    {
        if (itOnly != Opts.end() && itOnly->second != std::wstring(Race.pszName, Race.pszName + strlen(Race.pszName)))
            continue;
        RaceTotals T;
        LARGE_INTEGER RaceStart = now();
        for (unsigned iRep = 0; iRep < S.cReps; iRep++)
            raceOnce(S, &Race, iRep, &T);
        cBad += T.cBad;
        cRuns += S.cReps;
        printf("race %s (%s): %u runs in %.1f s (launcher %.2f s on average, %.2f s at most); attacker: %u attempts, "
               "%u took effect; a change before the installation in %u runs; withdrew after the launcher let go in "
               "%u runs; planted a directory in %u runs\n",
               Race.pszName, Race.pszWhat, S.cReps, seconds(RaceStart), T.secTotal / S.cReps, T.secLongest, T.cAttempts,
               T.cHits, T.cEarly, T.cWithdrew, T.cPlanted);
        for (const auto &O : T.Outcomes)
            printf("  %5u  %s\n", O.second, O.first.c_str());
        if (T.cBad)
            printf("  %5u  WRONG (see above)\n", T.cBad);
        fflush(stdout);
    }
    printf("%u runs in %.1f s, %u wrong\n", cRuns, seconds(Start), cBad);
    return cBad ? 1 : 0;
}

static int modeDisk(const Options &Opts)
{
    Judge J;
    std::wstring wszTmp, wszLog, wszExpect, wszKeep;
    if (!loadJudge(Opts, &J) || !need(Opts, L"tmp", &wszTmp) || !need(Opts, L"log", &wszLog) ||
        !need(Opts, L"expect", &wszExpect))
        return 2;
    auto itKeep = Opts.find(L"keep");
    std::string strBefore = describeTree(wszTmp, '\n');
    DeleteFileW(wszLog.c_str());
    SetEnvironmentVariableW(L"ZOLT_TMPDIR", wszTmp.c_str());

    Launch Run;
    std::wstring wszWork = wszLog.substr(0, wszLog.find_last_of(L"\\")); /* beside the log, off the small disk */
    if (!startProgram(&Run, J.wszLauncher, {L"--silent", L"--no-silent-cert", L"--msi-log-file", wszLog}, wszWork))
        return 1;
    bool const fEnded = waitProgram(&Run);
    std::string strWhy;
    std::string strOutcome = fEnded ? judgeInstallRun(J, Run, wszLog, false, &strWhy) : "";
    if (!fEnded)
        strWhy = "the launcher did not end within two minutes";
    std::string strAfter = describeTree(wszTmp, '\n');
    bool fOk = !strOutcome.empty();
    if (fOk && strAfter != strBefore)
    {
        strWhy = "the temporary directory held before:\n" + strBefore + "and after the run:\n" + strAfter;
        fOk = false;
    }
    if (fOk && wszExpect == L"disk-full")
        fOk = strOutcome == "failed: ERR_DISK_FULL: RTFileWrite(<path>,, N,) failed: ERR_DISK_FULL";
    else if (fOk)
        fOk = strOutcome == "installed";
    if (itKeep != Opts.end() && strBefore != toUtf8(itKeep->second) + "\n")
    {
        strWhy = "the temporary directory did not hold just the filler before the run";
        fOk = false;
    }
    printf("exit %lu after %.2f s: %s\n", Run.dwExit, Run.secElapsed, fOk ? strOutcome.c_str() : "WRONG");
    if (fOk && !Run.strErr.empty())
        printf("%s", Run.strErr.c_str());
    if (!fOk)
        printf("expected %s; %s\n--- stderr:\n%s---\n", toUtf8(wszExpect).c_str(),
               strWhy.empty() ? strOutcome.c_str() : strWhy.c_str(), Run.strErr.c_str());
    return fOk ? 0 : 1;
}

/** Starts e2e-helper holding the single-instance mutex and waits until it
 *  does. */
static bool holdMutex(const std::wstring &wszHelper, const std::wstring &wszWork, const std::wstring &wszReady,
                      const std::wstring &wszRelease, Launch *pHolder)
{
    DeleteFileW(wszReady.c_str());
    DeleteFileW(wszRelease.c_str());
    if (!startProgram(pHolder, wszHelper, {L"hold-mutex", L"QuorStubInstaller", wszReady, wszRelease}, wszWork,
                      L"holder"))
        return false;
    for (int i = 0; i < 3000 && !exists(wszReady); i++)
        if (WaitForSingleObject(pHolder->Pi.hProcess, 20) == WAIT_OBJECT_0)
            break;
    return exists(wszReady);
}

static int modeMutex(const Options &Opts)
{
    Judge J;
    std::wstring wszHelper, wszWork;
    if (!loadJudge(Opts, &J) || !need(Opts, L"helper", &wszHelper) || !need(Opts, L"work", &wszWork))
        return 2;
    unsigned const cReps = optNumber(Opts, L"reps", 10);
    std::wstring wszTmp = wszWork + L"\\tmp", wszLog = wszWork + L"\\run.log";
    std::wstring wszReady = wszWork + L"\\holder.ready", wszRelease = wszWork + L"\\holder.release";
    CreateDirectoryW(wszTmp.c_str(), NULL);
    emptyDir(wszTmp);
    SetEnvironmentVariableW(L"ZOLT_TMPDIR", wszTmp.c_str());
    std::vector<std::wstring> const Args = {L"--silent", L"--no-silent-cert", L"--msi-log-file", wszLog};
    std::string const strWant = toUtf8(baseName(J.wszLauncher)) + ": error: Another installer is already running\n";

    unsigned cBad = 0;
    double secLongest = 0, secTotal = 0;
    for (unsigned iRep = 0; iRep < cReps; iRep++)
    {
        Launch Holder, Run, Next;
        if (!holdMutex(wszHelper, wszWork, wszReady, wszRelease, &Holder))
        {
            printf("FAIL rep %u: the helper did not take the mutex\n", iRep);
            return 1;
        }
        DeleteFileW(wszLog.c_str());
        bool const fEnded = startProgram(&Run, J.wszLauncher, Args, wszWork) && waitProgram(&Run);
        secTotal += Run.secElapsed;
        secLongest = Run.secElapsed > secLongest ? Run.secElapsed : secLongest;
        std::string strLeft = describeTree(wszTmp, '\n');
        bool fOk = fEnded && Run.dwExit == 1 && Run.strOut.empty() && Run.strErr == strWant && strLeft.empty() &&
                   !exists(wszLog) && productState(g_wszEmbeddedCode) != INSTALLSTATE_DEFAULT && Run.secElapsed < 2.0;
        /* The holder goes: half the time it lets go, half the time it is
           killed while holding (the mutex is then abandoned). */
        bool const fKill = iRep % 2;
        if (fKill)
            TerminateProcess(Holder.Pi.hProcess, 1);
        else
            writeFile(wszRelease, "");
        waitProgram(&Holder);
        std::string strWhy;
        std::string strNext = startProgram(&Next, J.wszLauncher, Args, wszWork) && waitProgram(&Next)
                                  ? judgeInstallRun(J, Next, wszLog, false, &strWhy)
                                  : "";
        printf("rep %u: squatted run exit %lu after %.3f s; holder %s; next run %s after %.2f s\n", iRep, Run.dwExit,
               Run.secElapsed, fKill ? "killed" : "let go", strNext.empty() ? "WRONG" : strNext.c_str(),
               Next.secElapsed);
        if (!fOk)
            printf("FAIL: the squatted run should end within 2 s with exit 1 and \"%s\", leaving nothing:\n"
                   "exit %lu after %.3f s\n--- stdout:\n%s--- stderr:\n%s--- left:\n%s---\n",
                   strWant.c_str(), Run.dwExit, Run.secElapsed, Run.strOut.c_str(), Run.strErr.c_str(),
                   strLeft.c_str());
        if (strNext != "installed")
            printf("FAIL: the run after the holder went: %s\n", strWhy.c_str());
        cBad += !fOk || strNext != "installed";
        fflush(stdout);
    }
    printf("%u squatted runs: %.3f s on average, %.3f s at most; %u wrong\n", cReps, secTotal / cReps, secLongest,
           cBad);
    return cBad ? 1 : 0;
}

int wmain(int argc, wchar_t **argv)
{
    Options Opts;
    if (argc < 2 || !parseOptions(argc, argv, &Opts))
    {
        fprintf(stderr, "usage: see race-driver.cpp\n");
        return 2;
    }
    if (!wcscmp(argv[1], L"races"))
        return modeRaces(Opts);
    if (!wcscmp(argv[1], L"disk"))
        return modeDisk(Opts);
    if (!wcscmp(argv[1], L"mutex"))
        return modeMutex(Opts);
    fprintf(stderr, "usage: see race-driver.cpp\n");
    return 2;
}
