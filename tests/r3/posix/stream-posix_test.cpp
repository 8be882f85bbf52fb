/* The standard output stream on the POSIX host: redirected to a file, it
   becomes fully buffered at its first write-out and the rest is written at
   process exit. Runs in a forked child whose file descriptor 1 is a file. */
#include <zolt/stream.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "streamcapture.h"

namespace
{

TEST(StreamPosix, RedirectedStandardOutputIsFlushedAtExit)
{
    const char *pszPath = "stream-posix_test-stdout.tmp";
    pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0)
    {
        int fd = open(pszPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0)
            _exit(2);
        close(fd);
        RTPrintf("a\n"); /* written at once: line-buffered until it finds a file */
        RTPrintf("b\n"); /* now fully buffered: waits for exit */
        if (write(1, "|", 1) != 1)
            _exit(3);
        exit(0);
    }
    int iStatus = 0;
    ASSERT_EQ(waitpid(pid, &iStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(iStatus));
    EXPECT_EQ(WEXITSTATUS(iStatus), 0);
    EXPECT_EQ(readFileBytes(pszPath), "a\r\n|b\r\n");
    unlink(pszPath);
}

} // namespace
