/* Directories on Windows: an open handle pins its directory, and NT
   object directories open through the raw NT escape. */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>

#include <gtest/gtest.h>
#include <string>

#include "internal/dir.h"
#include "r3/fstestdir.h"

namespace
{
class DirWin : public FsTestDir
{
};

TEST_F(DirWin, AnOpenHandlePinsTheDirectory)
{
    std::string const strDir = path("pinned");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), SUCCESS);
    RTDIR hDir;
    ASSERT_EQ(RTDirOpen(&hDir, strDir.c_str()), SUCCESS);
    EXPECT_FALSE(hDir->fIsObjDir);
    int const rc = RTDirRemove(strDir.c_str());
    EXPECT_TRUE(rc == ERR_SHARING_VIOLATION || rc == ERR_ACCESS_DENIED) << rc;
    EXPECT_TRUE(RTDirExists(strDir.c_str()));
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
    EXPECT_EQ(RTDirRemove(strDir.c_str()), SUCCESS);
}

TEST_F(DirWin, ExistingDirectoryKeepsItsAttributes)
{
    std::string const strDir = path("d");
    ASSERT_EQ(RTDirCreate(strDir.c_str(), 0700, RTDIRCREATE_KEEP_INDEXING), SUCCESS);
    std::wstring const wstrDir = wide(strDir);
    ASSERT_TRUE(SetFileAttributesW(wstrDir.c_str(), FILE_ATTRIBUTE_HIDDEN));
    DWORD const fBefore = GetFileAttributesW(wstrDir.c_str());
    EXPECT_EQ(RTDirCreate(strDir.c_str(), 0700, 0), ERR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileAttributesW(wstrDir.c_str()), fBefore);
}

TEST_F(DirWin, ObjectDirectoryThroughTheRawEscape)
{
    RTDIR hDir;
    ASSERT_EQ(RTDirOpen(&hDir, "\\\\:zoltnt:\\Device"), SUCCESS);
    EXPECT_TRUE(hDir->fIsObjDir);
    EXPECT_EQ(RTDirClose(hDir), SUCCESS);
}
} // namespace
