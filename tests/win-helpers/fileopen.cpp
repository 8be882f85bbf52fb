/* Test helper: a second Wine process that opens a file with a flag word
   while the test holds it open. Sharing modes are enforced between Wine
   processes only, so this is the opener the sharing tests need.

   Usage: zolt-fileopen <path> <flag word in hexadecimal>
   Exit code: 0 when the open succeeded, else the status negated
   (114 for ERR_SHARING_VIOLATION). */
#include <zolt/err.h>
#include <zolt/file.h>

#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 200;
    RTFILE hFile;
    int const rc = RTFileOpen(&hFile, argv[1], strtoull(argv[2], nullptr, 16));
    if (RT_FAILURE(rc))
        return -rc;
    return RTFileClose(hFile) == SUCCESS ? 0 : 201;
}
