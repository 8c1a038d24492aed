#include "platform/win/Folders.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace folders = win::folders;

folders::EnvLookup fakeEnv(std::map<std::string, std::string> vars)
{
    return [vars = std::move(vars)](std::string_view name) -> std::optional<std::string> {
        auto it = vars.find(std::string(name));
        if (it == vars.end())
            return std::nullopt;
        return it->second;
    };
}

struct FolderCase {
    const char* what;
    std::map<std::string, std::string> env;
    const char* config;
    const char* data;
    const char* runtime;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.what; }

class FolderResolution : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderResolution, FollowsEnvironment)
{
    const auto& c = GetParam();
    const auto env = fakeEnv(c.env);
    EXPECT_EQ(folders::configFolder(env), fs::path(c.config)) << c.what;
    EXPECT_EQ(folders::dataFolder(env), fs::path(c.data)) << c.what;
    EXPECT_EQ(folders::runtimeFolder(env), fs::path(c.runtime)) << c.what;
}

const std::string kTmpRuntime = "/tmp/tessaro-" + std::to_string(::getuid()) + "/tessaro";

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderResolution,
    testing::Values(
        FolderCase{"home only", {{"HOME", "/home/op"}}, "/home/op/.config/tessaro", "/home/op/.local/share/tessaro",
                   kTmpRuntime.c_str()},
        FolderCase{"xdg set",
                   {{"HOME", "/home/op"}, {"XDG_CONFIG_HOME", "/cfg"}, {"XDG_DATA_HOME", "/data"}, {"XDG_RUNTIME_DIR", "/run/user/7"}},
                   "/cfg/tessaro", "/data/tessaro", "/run/user/7/tessaro"},
        FolderCase{"tessaro data wins",
                   {{"HOME", "/home/op"}, {"XDG_DATA_HOME", "/data"}, {"TESSARO_DATA", "/srv/plant"}},
                   "/home/op/.config/tessaro", "/srv/plant", kTmpRuntime.c_str()},
        FolderCase{"relative and empty values are ignored",
                   {{"HOME", "/home/op"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_DATA_HOME", ""}, {"TESSARO_DATA", "data"}},
                   "/home/op/.config/tessaro", "/home/op/.local/share/tessaro", kTmpRuntime.c_str()}),
    [](const auto& info) { return std::string("case") + std::to_string(info.index); });

TEST(Folders, CreatesMissingParentsWithPermissions)
{
    const fs::path root = fs::path(testing::TempDir()) / ("folders-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path deep = root / "a" / "b" / "c";
    std::error_code error;
    EXPECT_TRUE(folders::createFolders(deep, fs::perms::owner_all, &error)) << error.message();
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(fs::status(deep).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(folders::createFolders(deep)) << "an existing folder is fine";
    fs::remove_all(root);
}

TEST(Folders, FileInTheWayFails)
{
    const fs::path root = fs::path(testing::TempDir()) / ("folders-file-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    std::ofstream(root / "plain") << "x";
    std::error_code error;
    EXPECT_FALSE(folders::createFolders(root / "plain" / "sub", fs::perms::all, &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(folders::createFolders(root / "plain"));
    EXPECT_FALSE(folders::createFolders(fs::path()));
    fs::remove_all(root);
}

} // namespace
