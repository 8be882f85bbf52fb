/** @file
 * The packer's host layer on POSIX: paths are UTF-8 already, programs run
 * through posix_spawnp with one pipe collecting their output.
 */
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os.h"

extern char **environ;

FILE *PackOpen(const std::string &strPath, const char *pszMode)
{
    return fopen(strPath.c_str(), pszMode);
}

PackPathKind PackPathQuery(const std::string &strPath, uint64_t *pcbSize)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0)
        return PACK_PATH_NONE;
    if (pcbSize)
        *pcbSize = (uint64_t)st.st_size;
    if (S_ISREG(st.st_mode))
        return PACK_PATH_FILE;
    if (S_ISDIR(st.st_mode))
        return PACK_PATH_DIR;
    return PACK_PATH_OTHER;
}

bool PackRename(const std::string &strFrom, const std::string &strTo, std::string *pstrError)
{
    if (rename(strFrom.c_str(), strTo.c_str()) == 0)
        return true;
    int iErr = errno;
    if (pstrError)
        *pstrError = strerror(iErr);
    return false;
}

bool PackRemove(const std::string &strPath)
{
    return unlink(strPath.c_str()) == 0 || errno == ENOENT;
}

bool PackMakeDir(const std::string &strPath, std::string *pstrError)
{
    if (mkdir(strPath.c_str(), 0777) == 0 || (errno == EEXIST && PackPathQuery(strPath) == PACK_PATH_DIR))
        return true;
    int iErr = errno;
    if (pstrError)
        *pstrError = strerror(iErr);
    return false;
}

std::string PackPathDir(const std::string &strPath)
{
    size_t off = strPath.find_last_of('/');
    if (off == std::string::npos)
        return ".";
    if (off == 0)
        return "/";
    return strPath.substr(0, off);
}

std::string PackPathName(const std::string &strPath)
{
    size_t off = strPath.find_last_of('/');
    return off == std::string::npos ? strPath : strPath.substr(off + 1);
}

std::string PackSelfPath()
{
    char szPath[PATH_MAX];
    ssize_t cch = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (cch <= 0)
        return std::string();
    return std::string(szPath, (size_t)cch);
}

bool PackGetEnv(const char *pszName, std::string &strValue)
{
    const char *psz = getenv(pszName);
    if (!psz)
        return false;
    strValue = psz;
    return true;
}

std::string PackFindProgram(const std::string &strName)
{
    if (strName.find('/') != std::string::npos)
        return access(strName.c_str(), X_OK) == 0 ? strName : std::string();
    const char *pszPath = getenv("PATH");
    std::string strPath = pszPath ? pszPath : "/usr/local/bin:/usr/bin:/bin";
    size_t off = 0;
    for (;;)
    {
        size_t offEnd = strPath.find(':', off);
        std::string strDir = strPath.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
        /* An empty PATH element is the current directory, as for the shell. */
        std::string strCandidate = (strDir.empty() ? std::string(".") : strDir) + "/" + strName;
        if (PackPathQuery(strCandidate) == PACK_PATH_FILE && access(strCandidate.c_str(), X_OK) == 0)
            return strCandidate;
        if (offEnd == std::string::npos)
            return std::string();
        off = offEnd + 1;
    }
}

void PackRun(const std::vector<std::string> &argv, PackRunResult &result)
{
    result = PackRunResult();
    if (argv.empty())
    {
        result.strStartError = "no program given";
        return;
    }
    std::string strProgram = PackFindProgram(argv[0]);
    if (strProgram.empty())
    {
        result.strStartError = "'" + argv[0] + "' not found";
        return;
    }

    int aiPipe[2];
    if (pipe2(aiPipe, O_CLOEXEC) != 0)
    {
        result.strStartError = strerror(errno);
        return;
    }
    std::vector<char *> apszArgs;
    for (const std::string &str : argv)
        apszArgs.push_back(const_cast<char *>(str.c_str()));
    apszArgs.push_back(nullptr);

    /* The child's standard input is empty (/dev/null); its output and
       errors both go into the pipe, in the order it writes them. */
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, aiPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, aiPipe[1], 2);
    pid_t pid;
    int rc = posix_spawn(&pid, strProgram.c_str(), &actions, nullptr, apszArgs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(aiPipe[1]);
    if (rc != 0)
    {
        close(aiPipe[0]);
        result.strStartError = strerror(rc);
        return;
    }
    result.fStarted = true;

    char abBuf[4096];
    for (;;)
    {
        ssize_t cb = read(aiPipe[0], abBuf, sizeof(abBuf));
        if (cb > 0)
            result.strOutput.append(abBuf, (size_t)cb);
        else if (cb == 0 || errno != EINTR)
            break;
    }
    close(aiPipe[0]);

    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR)
    {
    }
    if (WIFEXITED(iStatus))
        result.iExitCode = WEXITSTATUS(iStatus);
    else if (WIFSIGNALED(iStatus))
        result.iExitCode = 128 + WTERMSIG(iStatus);
}
