/** @file
 * The packer's entry on Windows (linked with -municode): the UTF-16
 * arguments become UTF-8 for PackMain.
 */
#include <cwchar>
#include <vector>

#include "os-win.h"
#include "os.h"

int wmain(int argc, wchar_t **wargv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++)
        args.push_back(PackUtf8FromWide(wargv[i], wcslen(wargv[i])));
    std::vector<char *> argv;
    for (std::string &str : args)
        argv.push_back(str.data());
    argv.push_back(nullptr);
    return PackMain(argc, argv.data());
}
