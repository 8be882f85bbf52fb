/** @file
 * The packer's entry on POSIX: the arguments are UTF-8 already.
 */
#include "os.h"

int main(int argc, char **argv)
{
    return PackMain(argc, argv);
}
