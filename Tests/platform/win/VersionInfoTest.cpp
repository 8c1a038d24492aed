#include "platform/win/VersionInfo.h"

#include <gtest/gtest.h>
#include <string>

TEST(VersionInfo, MatchesReleaseNumbering)
{
    EXPECT_EQ(win::version::kMajor, 4u);
    EXPECT_EQ(win::version::kMinor, 51u);
    EXPECT_EQ(win::version::kBuild, 2023u);
    EXPECT_EQ(win::version::kRevision, 1022u);
    EXPECT_EQ(std::string(win::version::kText), "4.51.2023.1022");
}
