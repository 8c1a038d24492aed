// The vendor record the DDE toolkit hands its clients.
#include "kestrun/shell/server/ServerDdeHost.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/shell/ShellHarness.h"

namespace {

TEST(Version, VendorInfoIsNumbersThenNameCutToTheBuffer)
{
    testsupport::ShellHarness shell;
    char record[64];
    std::memset(record, 0x7F, sizeof record);
    ASSERT_TRUE(FillServerVendorInfo(record, sizeof record));
    const unsigned char numbers[] = {4, 0, 51, 0, 0xE7, 0x07}; // 4, 51, 2023
    EXPECT_EQ(std::memcmp(record, numbers, sizeof numbers), 0);
    EXPECT_STREQ(record + 6, "TestServer (by Zendry Software)");
    char small[12];
    std::memset(small, 0x7F, sizeof small);
    ASSERT_TRUE(FillServerVendorInfo(small, sizeof small));
    EXPECT_STREQ(small + 6, "TestS"); // cut, and still terminated
    EXPECT_FALSE(FillServerVendorInfo(small, 6));
}

} // namespace
