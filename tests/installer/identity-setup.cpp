/** @file
 * Every test executable of the launcher library carries the default
 * launcher identity as its own resource "IDENTITY" (tests/CMakeLists.txt)
 * and loads it, as the launcher's start-up does, before the first test.
 */
#include <windows.h>

#include <gtest/gtest.h>

#include "identity.h"

namespace
{
class StubIdentityEnvironment : public testing::Environment
{
  public:
    void SetUp() override
    {
        ASSERT_EQ(0, LoadStubIdentity(GetModuleHandleW(NULL)));
    }
};

testing::Environment *const g_pIdentityEnvironment = testing::AddGlobalTestEnvironment(new StubIdentityEnvironment);
} // namespace
