#include "platform/registry/Profile.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using registry::Profile;
using registry::Registry;
using registry::Status;
using registry::Value;

namespace {

class ProfileTest : public ::testing::Test {
protected:
    support::ScratchFolder folder;
    Registry reg{folder.path()};
    Profile profile{reg, "Tessaro v4.5", "Fenwold"};
};

} // namespace

TEST_F(ProfileTest, SectionsLiveUnderSoftwareKeyAndProfileName)
{
    EXPECT_EQ(profile.SectionPath("Options"), "Software\\Tessaro v4.5\\Fenwold\\Options");
    ASSERT_TRUE(profile.WriteProfileInt("Options", "Trace Level", 2));
    DWORD d = 0;
    ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold\\Options", "Trace Level", d), Status::Ok);
    EXPECT_EQ(d, 2u);

    profile.SetRegistryKey("Tessaro v5.0");
    profile.SetProfileName("Other");
    EXPECT_EQ(profile.SectionPath("S"), "Software\\Tessaro v5.0\\Other\\S");
    EXPECT_EQ(profile.GetProfileInt("Options", "Trace Level", 7), 7u);
}

TEST_F(ProfileTest, MissingOrMistypedEntriesGiveTheDefault)
{
    const std::string path = profile.SectionPath("Options");
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, path, "Number As Text", "12"), Status::Ok);
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, path, "Text As Number", 12), Status::Ok);
    ASSERT_EQ(reg.SetValue(HKEY_CURRENT_USER, path, "Bytes", Value::Binary({1, 2, 3, 4})), Status::Ok);

    EXPECT_EQ(profile.GetProfileInt("Options", "Missing", 250), 250u);
    EXPECT_EQ(profile.GetProfileInt("Options", "Number As Text", 3), 3u);
    EXPECT_EQ(profile.GetProfileInt("Options", "Bytes", 4), 4u);
    EXPECT_EQ(profile.GetProfileString("Options", "Text As Number", "dflt"), "dflt");
    EXPECT_EQ(profile.GetProfileString("Missing Section", "x", "dflt"), "dflt");
    EXPECT_EQ(profile.GetProfileString("Options", "Number As Text", "dflt"), "12");
}

TEST_F(ProfileTest, NegativeIntegersSurviveAsTheirDwordBits)
{
    ASSERT_TRUE(profile.WriteProfileInt("Options", "Event Queue Size", -1));
    EXPECT_EQ(static_cast<int>(profile.GetProfileInt("Options", "Event Queue Size", 0)), -1);
    EXPECT_EQ(profile.GetProfileInt("Options", "Missing", -5), static_cast<UINT>(-5));
}

TEST_F(ProfileTest, FailedWritesReportFailure)
{
    ASSERT_TRUE(profile.WriteProfileString("Options", "Log Folder", "/var/log"));
    std::filesystem::path hive = reg.HiveFile(HKEY_CURRENT_USER);
    {
        std::ofstream out(hive, std::ios::trunc);
        out << "garbage\n";
    }
    EXPECT_FALSE(profile.WriteProfileInt("Options", "Trace Level", 1));
    EXPECT_FALSE(profile.WriteProfileString("Options", "Log Folder", "/tmp"));
    EXPECT_EQ(profile.GetProfileString("Options", "Log Folder", "dflt"), "dflt");
}
