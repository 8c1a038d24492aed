#include "platform/win/NamedLock.h"
#include "support/ServerProcess.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using win::NamedLock;

fs::path freshFolder(const std::string& test)
{
    fs::path dir = fs::path(testing::TempDir()) / ("namedlock-" + std::to_string(::getpid()) + "-" + test);
    fs::remove_all(dir);
    return dir;
}

struct NameCase {
    const char* name;
    const char* file;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.file; }

class NamedLockFileName : public testing::TestWithParam<NameCase> {};

TEST_P(NamedLockFileName, IsSafeAndDistinct)
{
    EXPECT_EQ(NamedLock::fileNameFor(GetParam().name), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    NamedLock, NamedLockFileName,
    testing::Values(NameCase{"Global\\Fenwold", "Global%5CFenwold.lock"},
                    NameCase{"Global\\{8C1B2F40-5E3A-4D8B-9C21-0A7F3E6D1B52}",
                             "Global%5C{8C1B2F40-5E3A-4D8B-9C21-0A7F3E6D1B52}.lock"},
                    NameCase{"Global/Fenwold", "Global%2FFenwold.lock"},
                    NameCase{"..", "%2E..lock"},
                    NameCase{"../../etc/passwd", "%2E.%2F..%2Fetc%2Fpasswd.lock"},
                    NameCase{"a b%", "a%20b%25.lock"},
                    NameCase{"", ".lock"},
                    NameCase{"\xED\x95\x9C", "%ED%95%9C.lock"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(NamedLock, LongNamesStayWithinFileNameLimitAndApart)
{
    const std::string a(300, 'a');
    std::string b = a;
    b.back() = 'b';
    const auto fileA = NamedLock::fileNameFor(a);
    const auto fileB = NamedLock::fileNameFor(b);
    EXPECT_LE(fileA.size(), 255u);
    EXPECT_NE(fileA, fileB);
    EXPECT_EQ(fileA.substr(0, 10), "aaaaaaaaaa");
}

TEST(NamedLock, TwoHoldersInOneProcessExcludeEachOther)
{
    const auto dir = freshFolder("two");
    NamedLock first("Global\\Fenwold", dir);
    NamedLock second("Global\\Fenwold", dir);
    NamedLock other("Global\\Other", dir);
    ASSERT_TRUE(first.tryLock());
    EXPECT_TRUE(first.isLocked());
    EXPECT_FALSE(second.tryLock());
    EXPECT_FALSE(second.lock(20));
    EXPECT_TRUE(other.tryLock());
    first.unlock();
    EXPECT_TRUE(second.lock(1000));
    fs::remove_all(dir);
}

TEST(NamedLock, ClosingReleases)
{
    const auto dir = freshFolder("close");
    NamedLock waiter("Global\\Fenwold", dir);
    {
        NamedLock holder("Global\\Fenwold", dir);
        ASSERT_TRUE(holder.tryLock());
        EXPECT_FALSE(waiter.tryLock());
    }
    EXPECT_TRUE(waiter.tryLock());
    fs::remove_all(dir);
}

TEST(NamedLock, RemovedAsItsHolderLetsGoTheLockIsTakenOnTheNewFileAlone)
{
    const auto dir = freshFolder("remove");
    NamedLock holder("Global\\Fenwold", dir);
    NamedLock waiter("Global\\Fenwold", dir);
    NamedLock third("Global\\Fenwold", dir);
    ASSERT_TRUE(holder.tryLock());
    ASSERT_FALSE(waiter.tryLock()); // the waiter holds the old file open
    holder.unlockAndRemove();
    EXPECT_FALSE(fs::exists(holder.path()));
    ASSERT_TRUE(waiter.tryLock());
    EXPECT_TRUE(fs::exists(waiter.path()));
    EXPECT_FALSE(third.tryLock());
    waiter.unlockAndRemove();
    EXPECT_TRUE(third.lock(1000));
    third.unlockAndRemove();
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
}

TEST(NamedLock, MissingFolderIsCreated)
{
    const auto dir = freshFolder("deep") / "a" / "b";
    NamedLock lock("x", dir);
    EXPECT_TRUE(lock.tryLock());
    EXPECT_TRUE(fs::exists(dir / "x.lock"));
    fs::remove_all(dir.parent_path().parent_path());
}

TEST(NamedLock, FolderBlockedByFileFailsWithError)
{
    const auto dir = freshFolder("blocked");
    fs::create_directories(dir);
    { std::FILE* f = std::fopen((dir / "file").c_str(), "w"); ASSERT_NE(f, nullptr); std::fclose(f); }
    NamedLock lock("x", dir / "file");
    EXPECT_FALSE(lock.tryLock());
    EXPECT_NE(lock.lastError(), 0);
    fs::remove_all(dir);
}

TEST(NamedLock, RefusesFolderOthersCanWriteOrALink)
{
    const auto dir = freshFolder("unsafe");
    fs::create_directories(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    NamedLock open("x", dir / "open");
    EXPECT_FALSE(open.tryLock());
    EXPECT_EQ(open.lastError(), EPERM);

    fs::create_directories(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "link");
    NamedLock linked("x", dir / "link");
    EXPECT_FALSE(linked.tryLock());
    EXPECT_FALSE(fs::exists(dir / "real" / "x.lock"));
    fs::remove_all(dir);
}

TEST(NamedLock, HeldByChildProcessBlocksParentUntilChildDies)
{
    const auto dir = freshFolder("fork");
    NamedLock parent("Global\\Fenwold", dir);
    ASSERT_TRUE(parent.open());
    const std::string path = parent.path().string();

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only plain system calls here: the parent has other threads.
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, '1');

    EXPECT_FALSE(parent.tryLock());
    EXPECT_FALSE(parent.lock(30));

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(parent.lock(5000)) << "the lock goes with the process that held it";
    fs::remove_all(dir);
}

TEST(NamedLock, StartedProgramDoesNotInheritTheLock)
{
    const auto dir = freshFolder("exec");
    testsupport::ServerProcess sleeper(testsupport::FindOnPath("sleep")); // killed at the end
    {
        NamedLock holder("Global\\Restart", dir);
        ASSERT_TRUE(holder.tryLock());
        ASSERT_TRUE(sleeper.Start({"30"}, {}));
    } // the holder ends while the program it started still runs
    NamedLock next("Global\\Restart", dir);
    EXPECT_TRUE(next.tryLock());
    fs::remove_all(dir);
}

} // namespace
