/** @file
 * The launcher's entry: the process start-up calls main, everything else is
 * in the launcher library.
 */
#include "run.h"

int main(int cArgs, char **papszArgs)
{
    return StubMain(cArgs, papszArgs);
}
