/** @file
 * The launcher's command line: option table, settings and the help text.
 */
#include "cmdline.h"

#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/path.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <string.h>

#include "identity.h"
#include "messages.h"

bool g_fSilentMode = false;
unsigned g_cVerbosity = 0;

/** Option identifier of --msi-log-file, which has no short form. */
#define STUB_OPT_MSI_LOG_FILE 1000

/** Every name in its "--", "-" and "/" spellings; the identifiers that are
 *  printable also give the short forms (-x, -s ...). Names are matched
 *  case-sensitively. */
static const RTGetOptDef s_aStubOptions[] = {
    {"--extract", 'x', OPT_VALUE_NONE},
    {"-extract", 'x', OPT_VALUE_NONE},
    {"/extract", 'x', OPT_VALUE_NONE},
    {"--silent", 's', OPT_VALUE_NONE},
    {"-silent", 's', OPT_VALUE_NONE},
    {"/silent", 's', OPT_VALUE_NONE},
    {"--no-silent-cert", 'c', OPT_VALUE_NONE},
    {"-no-silent-cert", 'c', OPT_VALUE_NONE},
    {"/no-silent-cert", 'c', OPT_VALUE_NONE},
    {"--no-install-timestamp-ca", 't', OPT_VALUE_NONE},
    {"--force-install-timestamp-ca", 'T', OPT_VALUE_NONE},
    {"--logging", 'l', OPT_VALUE_NONE},
    {"-logging", 'l', OPT_VALUE_NONE},
    {"--msi-log-file", STUB_OPT_MSI_LOG_FILE, OPT_VALUE_STRING},
    {"-msilogfile", STUB_OPT_MSI_LOG_FILE, OPT_VALUE_STRING},
    {"/logging", 'l', OPT_VALUE_NONE},
    {"--path", 'p', OPT_VALUE_STRING},
    {"-path", 'p', OPT_VALUE_STRING},
    {"/path", 'p', OPT_VALUE_STRING},
    {"--msiparams", 'm', OPT_VALUE_STRING},
    {"-msiparams", 'm', OPT_VALUE_STRING},
    {"--msi-prop", 'P', OPT_VALUE_STRING}, /* the property's value is fetched by the handler */
    {"--reinstall", 'f', OPT_VALUE_NONE},
    {"-reinstall", 'f', OPT_VALUE_NONE},
    {"/reinstall", 'f', OPT_VALUE_NONE},
    {"--ignore-reboot", 'r', OPT_VALUE_NONE},
    {"--verbose", 'v', OPT_VALUE_NONE},
    {"-verbose", 'v', OPT_VALUE_NONE},
    {"/verbose", 'v', OPT_VALUE_NONE},
    {"--version", 'V', OPT_VALUE_NONE},
    {"-version", 'V', OPT_VALUE_NONE},
    {"/version", 'V', OPT_VALUE_NONE},
    {"--help", 'h', OPT_VALUE_NONE},
    {"-help", 'h', OPT_VALUE_NONE},
    {"/help", 'h', OPT_VALUE_NONE},
    {"/?", 'h', OPT_VALUE_NONE},
};

/** The help text: the title and the version text, the product's name
 *  twice, argv[0] and the name, argv[0]. */
static const char s_szStubHelpFormat[] = "-- %s v%s --\n"
                                         "\n"
                                         "Command Line Parameters:\n"
                                         "\n"
                                         "--extract\n"
                                         "    Extract file contents to temporary directory\n"
                                         "--logging\n"
                                         "    Enables MSI installer logging (to extract path)\n"
                                         "--msi-log-file <path/to/file>\n"
                                         "    Sets MSI logging to <file>\n"
                                         "--msiparams <parameters>\n"
                                         "    Specifies extra parameters for the MSI installers\n"
                                         "    double quoted arguments must be doubled and put\n"
                                         "    in quotes: --msiparams \"PROP=\"\"a b c\"\"\"\n"
                                         "--msi-prop <prop> <value>\n"
                                         "    Adds <prop>=<value> to the MSI parameters,\n"
                                         "    quoting the property value if necessary\n"
                                         "--no-silent-cert\n"
                                         "    Do not install %s Certificate automatically\n"
                                         "    when --silent option is specified\n"
                                         "--path\n"
                                         "    Sets the path of the extraction directory\n"
                                         "--reinstall\n"
                                         "    Forces %s to get re-installed\n"
                                         "--ignore-reboot\n"
                                         "   Do not set exit code to 3010 if a reboot is required\n"
                                         "--silent\n"
                                         "   Enables silent mode installation\n"
                                         "--version\n"
                                         "   Displays version number and exit\n"
                                         "-?, -h, --help\n"
                                         "   Displays this help text and exit\n"
                                         "\n"
                                         "Examples:\n"
                                         "  %s --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\%s\"\"\"\n"
                                         "  %s --extract -path C:\\Quor";

/** Characters that would split a property name or value on the Windows
 *  Installer's command line. */
static const char s_szStubBlanks[] = " \t\n\r";

static int rtStubOutOfParamSpace(void)
{
    return ShowSyntaxError("Out of space for MSI parameters and properties");
}

/** Appends @a pszText to the parameters, after one blank when they are not
 *  empty. @returns STUB_CONTINUE, or STUB_EXIT_SYNTAX_ERROR after reporting
 *  a full buffer. */
static int rtStubAppendParams(StubSettings *pSettings, const char *pszText)
{
    if (pSettings->szMsiParams[0] != '\0' &&
        RT_FAILURE(RTStrCat(pSettings->szMsiParams, sizeof(pSettings->szMsiParams), " ")))
        return rtStubOutOfParamSpace();
    if (RT_FAILURE(RTStrCat(pSettings->szMsiParams, sizeof(pSettings->szMsiParams), pszText)))
        return rtStubOutOfParamSpace();
    return STUB_CONTINUE;
}

/** --msi-prop NAME VALUE: appends NAME=VALUE, the value quoted when it holds
 *  a blank. The option's own value is the name; the value is the next
 *  argument. @returns STUB_CONTINUE, or STUB_EXIT_SYNTAX_ERROR after a
 *  reported error. */
static int rtStubAddMsiProperty(StubSettings *pSettings, RTGetOptState *pState, RTGetOptValue *pValue)
{
    const char *pszName = pValue->psz;
    if (strpbrk(pszName, s_szStubBlanks))
        return ShowSyntaxError("The first argument to --msi-prop must not contain spaces: %s", pszName);

    int rc = RTGetOptTakeValue(pState, pValue, OPT_VALUE_STRING);
    if (rc == ERR_OPTION_VALUE_MISSING)
        return ShowSyntaxError("--msi-prop takes two arguments, the 2nd is missing");
    if (RT_FAILURE(rc))
        return ShowSyntaxError("Failed to get 2nd --msi-prop argument: %Rrc", rc);
    const char *pszValue = pValue->psz;

    size_t cchParams = strlen(pSettings->szMsiParams);
    const char *pszFormat = strpbrk(pszValue, s_szStubBlanks) ? "%s%s=\"%s\"" : "%s%s=%s";
    if (RTStrPrintfChecked(&pSettings->szMsiParams[cchParams], sizeof(pSettings->szMsiParams) - cchParams, pszFormat,
                           cchParams > 0 ? " " : "", pszName, pszValue) < 0)
        return rtStubOutOfParamSpace();
    return STUB_CONTINUE;
}

/** Makes @a pszValue absolute into a path buffer; an empty value empties
 *  it. @returns STUB_CONTINUE, or STUB_EXIT_SYNTAX_ERROR after reporting
 *  with @a pszMsgFormat. */
static int rtStubSetPath(char *pszPath, size_t cbPath, const char *pszValue, const char *pszMsgFormat)
{
    if (*pszValue == '\0')
    {
        *pszPath = '\0';
        return STUB_CONTINUE;
    }
    int rc = RTPathAbs(pszValue, pszPath, cbPath);
    if (RT_FAILURE(rc))
        return ShowSyntaxError(pszMsgFormat, rc);
    return STUB_CONTINUE;
}

/** Reports a result of the parser that is not an accepted option.
 *  @returns STUB_EXIT_SYNTAX_ERROR. */
static int rtStubParseError(int rc, const RTGetOptValue *pValue)
{
    if (g_fSilentMode)
        return RTGetOptReportError(rc, pValue); /* STUB_EXIT_SYNTAX_ERROR by its contract */
    if (rc == ERR_OPTION_UNKNOWN)
        return ShowSyntaxError("Unknown option \"%s\"\n"
                               "Please refer to the command line help by specifying \"-?\"\n"
                               "to get more information.",
                               pValue->psz);
    return ShowSyntaxError("Parameter parsing error: %Rrc\n"
                           "Please refer to the command line help by specifying \"-?\"\n"
                           "to get more information.",
                           rc);
}

bool StubCommandLineAsksSilent(int cArgs, char **papszArgs)
{
    RTGetOptState State;
    if (RT_FAILURE(RTGetOptInit(&State, cArgs, papszArgs, s_aStubOptions, RT_ELEMENTS(s_aStubOptions), 1, 0)))
        return false;
    RTGetOptValue Value;
    int rc;
    /* After a failure the parser goes on with the next argument. */
    while ((rc = RTGetOpt(&State, &Value)) != 0)
        if (rc == 's')
            return true;
    return false;
}

int ParseStubCommandLine(int cArgs, char **papszArgs, StubSettings *pSettings)
{
    memset(pSettings, 0, sizeof(*pSettings));
    pSettings->fInstallCert = true;

    RTGetOptState State;
    int rc = RTGetOptInit(&State, cArgs, papszArgs, s_aStubOptions, RT_ELEMENTS(s_aStubOptions), 1, 0);
    if (RT_FAILURE(rc))
        return ShowError("RTGetOptInit failed: %Rrc", rc);

    RTGetOptValue Value;
    int rcExit = STUB_CONTINUE;
    while (rcExit == STUB_CONTINUE && (rc = RTGetOpt(&State, &Value)) != 0)
    {
        switch (rc)
        {
            case 'x': pSettings->fExtractOnly = true; break;
            case 's': g_fSilentMode = true; break;
            case 'c': pSettings->fInstallCert = false; break;
            case 't': /* accepted for compatibility; nothing to do */
            case 'T': break;
            case 'l': pSettings->fEnableLogging = true; break;
            case STUB_OPT_MSI_LOG_FILE:
                rcExit = rtStubSetPath(pSettings->szMsiLogFile, sizeof(pSettings->szMsiLogFile), Value.psz,
                                       "MSI log file path is too long (%Rrc)");
                break;
            case 'p':
                rcExit = rtStubSetPath(pSettings->szExtractPath, sizeof(pSettings->szExtractPath), Value.psz,
                                       "Extraction path is too long (%Rrc)");
                break;
            case 'm': rcExit = rtStubAppendParams(pSettings, Value.psz); break;
            case 'P': rcExit = rtStubAddMsiProperty(pSettings, &State, &Value); break;
            case 'f': rcExit = rtStubAppendParams(pSettings, "REINSTALLMODE=vomus REINSTALL=ALL"); break;
            case 'r': pSettings->fIgnoreReboot = true; break;
            case 'v': g_cVerbosity++; break;
            case 'V': ShowInfo("Version: %s", g_pszStubVersionText); return STUB_EXIT_SUCCESS;
            case 'h':
                ShowInfo(s_szStubHelpFormat, g_pszStubProductTitle, g_pszStubVersionText, g_pszStubProductName,
                         g_pszStubProductName, papszArgs[0], g_pszStubProductName, papszArgs[0]);
                return STUB_EXIT_SUCCESS;
            case INF_NOT_AN_OPTION:
                /* Operands continue the parameters given before them; on
                   their own they mean nothing. */
                if (pSettings->szMsiParams[0] == '\0')
                    rcExit = rtStubParseError(rc, &Value);
                else
                    rcExit = rtStubAppendParams(pSettings, Value.psz);
                break;
            default: rcExit = rtStubParseError(rc, &Value); break;
        }
    }
    return rcExit;
}
