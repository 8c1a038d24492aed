// Recovery copies: a new owner-only file under <folder>/recovery per call,
// named after the document and the time, never one that exists already.
#include "platform/win/RecoveryCopy.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(RecoveryCopy, EachCallMakesANewPrivateFileNamedAfterTheDocumentAndTheTime)
{
    support::ScratchFolder scratch;
    // 2026-12-10 06:30:05 UTC
    const auto at = std::chrono::system_clock::time_point(std::chrono::seconds(1796884205));
    std::string error;
    const fs::path first = win::CreateRecoveryFile(scratch.path(), "mine", ".csv", at, error);
    const fs::path second = win::CreateRecoveryFile(scratch.path(), "mine", ".csv", at, error);
    const fs::path odd = win::CreateRecoveryFile(scratch.path(), "a/b\nc", "", at, error);
    const fs::path untitled = win::CreateRecoveryFile(scratch.path(), "", ".mme", at, error);
    EXPECT_EQ(first, scratch.path() / "recovery" / "mine-20261210-063005.csv");
    EXPECT_EQ(second, scratch.path() / "recovery" / "mine-20261210-063005-2.csv");
    EXPECT_EQ(odd, scratch.path() / "recovery" / "a_b_c-20261210-063005");
    EXPECT_EQ(untitled, scratch.path() / "recovery" / "Untitled-20261210-063005.mme");
    struct stat folder {}, file {};
    ASSERT_EQ(::stat((scratch.path() / "recovery").c_str(), &folder), 0);
    ASSERT_EQ(::stat(first.c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(file.st_mode & 0777, 0600u);

    EXPECT_TRUE(win::CreateRecoveryFile({}, "mine", ".csv", at, error).empty());
    EXPECT_EQ(error, "no data folder");
}

} // namespace
