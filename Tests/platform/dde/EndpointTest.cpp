#include "platform/dde/Endpoint.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "support/ScratchFolder.h"

namespace {

const std::string kToken(64, 'a');

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(Endpoint, FileTextHasItsGoldenForm)
{
    const dde::Endpoint endpoint{"Fenwold", 40123, kToken};
    EXPECT_EQ(dde::FormatEndpoint(endpoint), "service=Fenwold\nport=40123\ntoken=" + kToken + "\n");
    EXPECT_EQ(dde::ParseEndpoint(dde::FormatEndpoint(endpoint)), endpoint);
}

TEST(Endpoint, IncompleteOrWrongTextsAreRefused)
{
    const std::string good = "service=Fenwold\nport=40123\ntoken=" + kToken + "\n";
    EXPECT_NE(dde::ParseEndpoint(good), std::nullopt);
    const char* bad[] = {
        "port=40123\ntoken=",                                 // no service
        "service=Fenwold\nport=0\ntoken=",                    // port 0
        "service=Fenwold\nport=65536\ntoken=",                // port out of range
        "service=Fenwold\nport=12ab\ntoken=",                 // not a number
        "service=../x\nport=40123\ntoken=",                   // not a service name
    };
    for (const char* text : bad)
        EXPECT_EQ(dde::ParseEndpoint(std::string(text) + kToken), std::nullopt) << text;
    EXPECT_EQ(dde::ParseEndpoint("service=Fenwold\nport=40123\ntoken=abc"), std::nullopt);
}

TEST(Endpoint, FileIsOwnerOnlyInAPrivateFolderAndRemovedOnlyByItsWriter)
{
    support::ScratchFolder scratch;
    const std::filesystem::path folder = scratch.path() / "run" / "tessaro";
    std::error_code error;
    ASSERT_TRUE(dde::WriteEndpointFile(folder, {"Fenwold", 40123, kToken}, error)) << error.message();
    const std::filesystem::path file = dde::EndpointPath(folder, "Fenwold");
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(dde::ReadEndpointFile(file), (dde::Endpoint{"Fenwold", 40123, kToken}));
    EXPECT_EQ(dde::ListEndpointServices(folder), std::vector<std::string>{"Fenwold"});

    // A later server of the same name owns the file now: the first one's stop leaves it.
    const std::string other(64, 'b');
    ASSERT_TRUE(dde::WriteEndpointFile(folder, {"Fenwold", 40124, other}, error));
    dde::RemoveEndpointFile(file, kToken);
    EXPECT_TRUE(std::filesystem::exists(file));
    dde::RemoveEndpointFile(file, other);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(Endpoint, ALooseFolderIsNarrowedAndALooseFileIsNotRead)
{
    support::ScratchFolder scratch;
    const std::filesystem::path folder = scratch.path() / "tessaro";
    std::filesystem::create_directory(folder);
    ::chmod(folder.c_str(), 0755);
    std::error_code error;
    ASSERT_TRUE(dde::WriteEndpointFile(folder, {"Fenwold", 40123, kToken}, error));
    EXPECT_EQ(ModeOf(folder), 0700u);
    const std::filesystem::path file = dde::EndpointPath(folder, "Fenwold");
    ::chmod(file.c_str(), 0644);
    EXPECT_EQ(dde::ReadEndpointFile(file), std::nullopt);
}

TEST(Endpoint, TokensAreRandomAndComparedWhole)
{
    const std::string token = dde::NewToken();
    EXPECT_NE(dde::ParseEndpoint("service=F\nport=1\ntoken=" + token), std::nullopt);
    EXPECT_NE(token, dde::NewToken());
    EXPECT_TRUE(dde::SameToken(token, token));
    EXPECT_FALSE(dde::SameToken(token, token.substr(1)));
    EXPECT_FALSE(dde::SameToken(kToken, std::string(63, 'a') + "b"));
}

} // namespace
