/** @file
 * marrowdale-pack: the command line.
 */
#include <cstdio>
#include <cstring>

#include "os.h"

int PackMain(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    fprintf(stderr, "marrowdale-pack: not yet able to pack\n");
    return 2;
}
