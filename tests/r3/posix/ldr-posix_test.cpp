/* Native module loader on the POSIX host: dlopen of rooted paths. */
#include <zolt/err.h>
#include <zolt/ldr.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>

namespace
{
/* The C library's own path, found through a function that lives in it. */
std::string libcPath()
{
    Dl_info Info;
    if (!dladdr((void *)&getpid, &Info) || !Info.dli_fname)
        return std::string();
    return Info.dli_fname;
}

TEST(LdrPosix, LoadResolveClose)
{
    std::string const strLibc = libcPath();
    ASSERT_FALSE(strLibc.empty());
    ASSERT_EQ(strLibc[0], '/');

    RTLDRMOD hMod = nullptr;
    ASSERT_EQ(RTLdrLoadNativeModule(strLibc.c_str(), &hMod, LDRLOAD_NO_UNLOAD), SUCCESS);
    EXPECT_NE(RTLdrQueryNativeHandle(hMod), RTLDR_NATIVE_NIL);
    void *pv = nullptr;
    EXPECT_EQ(RTLdrResolveSymbol(hMod, "getpid", &pv), SUCCESS);
    EXPECT_EQ(pv, dlsym(RTLD_DEFAULT, "getpid"));
    pv = &pv;
    EXPECT_EQ(RTLdrResolveSymbol(hMod, "zolt_no_such_symbol", &pv), ERR_SYMBOL_NOT_FOUND);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(RTLdrCloseModule(hMod), SUCCESS);

    /* A file that is not a library. */
    char szJunk[] = "/tmp/zolt-ldr-junk-XXXXXX";
    int const fd = mkstemp(szJunk);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "not a library", 13), 13);
    close(fd);
    EXPECT_EQ(RTLdrLoadNativeModule(szJunk, &hMod, 0), ERR_BAD_EXE_FORMAT);
    EXPECT_EQ(hMod, nullptr);
    unlink(szJunk);
}

TEST(LdrPosix, SystemLoadIsNotSupported)
{
    RTLDRMOD hMod = (RTLDRMOD)(uintptr_t)0x5555;
    EXPECT_EQ(RTLdrLoadSystemModule("libc.so.6", LDRLOAD_NO_UNLOAD, &hMod), ERR_NOT_SUPPORTED);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrResolveSystemSymbol("libc.so.6", "getpid"), nullptr);
}
} // namespace
