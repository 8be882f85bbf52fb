/** @file
 * The packer's view of its host: files by UTF-8 path, replacing renames,
 * and running a program. One implementation per host, whole files:
 * os-posix.cpp (Linux) and os-win.cpp (Windows, paths converted to UTF-16).
 *
 * Nothing here throws; failures are reported by the return value, with
 * errno-style text in *pstrError where a function takes one.
 */
#ifndef PACK_OS_H
#define PACK_OS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/** Opens a file by its UTF-8 path, as fopen does (binary modes only:
 *  "rb", "wb", "r+b"). NULL on failure, errno set. */
FILE *PackOpen(const std::string &strPath, const char *pszMode);

/** What a path names: PACK_PATH_NONE when nothing (or it cannot be seen). */
enum PackPathKind
{
    PACK_PATH_NONE,
    PACK_PATH_FILE,
    PACK_PATH_DIR,
    PACK_PATH_OTHER
};
PackPathKind PackPathQuery(const std::string &strPath, uint64_t *pcbSize = nullptr);

/** Renames strFrom to strTo, replacing a file strTo (on Windows too). */
bool PackRename(const std::string &strFrom, const std::string &strTo, std::string *pstrError);

/** Deletes a file; true when it is gone (also when it was never there). */
bool PackRemove(const std::string &strPath);

/** Creates a directory (its parent must exist); true when it exists
 *  afterwards, also when it was there already. */
bool PackMakeDir(const std::string &strPath, std::string *pstrError);

/** The directory part of a path ("." for a bare name) and the last part. */
std::string PackPathDir(const std::string &strPath);
std::string PackPathName(const std::string &strPath);

/** The packer's own executable, as a full path (the default launcher is
 *  looked for beside it). Empty if the host cannot tell. */
std::string PackSelfPath();

/** The value of an environment variable, UTF-8; false when not set. */
bool PackGetEnv(const char *pszName, std::string &strValue);

/** Finds a program as the host's shell would (PATH; on Windows also with
 *  ".exe"). Empty when there is none. */
std::string PackFindProgram(const std::string &strName);

/** Result of PackRun. */
struct PackRunResult
{
    bool fStarted = false;     /**< false: the program could not be started */
    std::string strStartError; /**< why it could not be started */
    int iExitCode = -1;        /**< the exit code when it was started */
    std::string strOutput;     /**< standard output and standard error, interleaved */
};

/** Runs argv[0] (a path or a name looked up with PackFindProgram) with the
 *  arguments argv[1..], no shell involved, standard input empty, and waits
 *  for it. On Windows the command line is quoted by the rules the C
 *  runtime's parser undoes. */
void PackRun(const std::vector<std::string> &argv, PackRunResult &result);

/** The program's entry, called by the host's main with UTF-8 arguments. */
int PackMain(int argc, char **argv);

#endif /* PACK_OS_H */
