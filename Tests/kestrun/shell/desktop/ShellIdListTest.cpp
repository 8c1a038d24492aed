// Item ID lists: our byte encoding and the list arithmetic the tree relies on.
#include "kestrun/shell/desktop/ShellIdList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/ScratchFolder.h"

#include "kestrun/shell/desktop/ShellNamespace.h"

namespace {

using shell::IdKind;
using shell::IdList;

TEST(ShellIdList, AnItemIsItsSizeKindAndTextAndAListEndsWithAZeroSize)
{
    EXPECT_EQ(shell::MakeIdList(IdKind::Entry, "ab"), (IdList{0x05, 0x00, 0x10, 'a', 'b', 0x00, 0x00}));
    EXPECT_EQ(shell::MakeIdList(IdKind::Home, {}), (IdList{0x03, 0x00, 0x01, 0x00, 0x00}));
    EXPECT_TRUE(shell::MakeIdList(IdKind::Entry, std::string(65533, 'x')).empty()); // no longer fits the size field
}

TEST(ShellIdList, SizesCopiesAndJoinsFollowTheListArithmetic)
{
    const IdList home = shell::MakeIdList(IdKind::Home, {});
    const IdList docs = shell::MakeIdList(IdKind::Entry, "docs");
    EXPECT_EQ(shell::GetIDLSize({}), 0u);
    EXPECT_EQ(shell::GetIDLSize(IdList{0, 0}), 2u); // the desktop's own list
    EXPECT_EQ(shell::GetIDLSize(docs), 9u);

    const IdList full = shell::ConcatenatePIDLs(home, docs);
    EXPECT_EQ(full.size(), shell::GetIDLSize(home) - 2 + shell::GetIDLSize(docs));
    EXPECT_EQ(full, (IdList{0x03, 0x00, 0x01, 0x07, 0x00, 0x10, 'd', 'o', 'c', 's', 0x00, 0x00}));
    EXPECT_EQ(shell::ConcatenatePIDLs({}, docs), docs);
    EXPECT_EQ(shell::ConcatenatePIDLs(docs, {}), docs);
    EXPECT_TRUE(shell::ConcatenatePIDLs({}, {}).empty());
    EXPECT_EQ(shell::GetNextIDLItem(full, 0), 3u);
    EXPECT_EQ(shell::GetNextIDLItem(full, 3), std::string::npos);
    EXPECT_EQ(shell::GetLastIDLItem(full), docs);
    EXPECT_EQ(shell::GetParentIDL(full), home);

    // Trailing bytes behind the terminator are not part of the list.
    IdList padded = docs;
    padded.push_back(0xAA);
    EXPECT_EQ(shell::CopyPIDL(padded), docs);
}

TEST(ShellIdList, ItemsMatchOnlyByteForByteWithTheirSize)
{
    const IdList entry = shell::MakeIdList(IdKind::Entry, "vol");
    const IdList volume = shell::MakeIdList(IdKind::Volume, "vol");
    const IdList longer = shell::MakeIdList(IdKind::Entry, "vol2");
    EXPECT_TRUE(shell::IsSameIdItem(shell::GetFirstIdItem(entry), shell::GetFirstIdItem(shell::CopyPIDL(entry))));
    EXPECT_FALSE(shell::IsSameIdItem(shell::GetFirstIdItem(entry), shell::GetFirstIdItem(volume)));
    EXPECT_FALSE(shell::IsSameIdItem(shell::GetFirstIdItem(entry), shell::GetFirstIdItem(longer)));
    // A size that runs past the end ends the list there.
    const IdList broken{0x09, 0x00, 0x10, 'a', 0x00, 0x00};
    EXPECT_TRUE(shell::GetIDLItems(broken).empty());
    EXPECT_EQ(shell::GetIDLSize(broken), 2u);
}

TEST(ShellNamespace, VolumesAreBlockDevicesAndSharesButNotTheRootOrImages)
{
    const char* table = "/dev/sda2 / ext4 rw 0 0\n"
                        "proc /proc proc rw 0 0\n"
                        "tmpfs /run tmpfs rw 0 0\n"
                        "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                        "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
                        "server:/export /mnt/share nfs4 rw 0 0\n"
                        "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n";
    EXPECT_EQ(shell::ParseMountedVolumes(table),
              (std::vector<std::string>{"/media/ann/USB STICK", "/mnt/share"}));
}

TEST(ShellNamespace, AFolderEnumeratesInItsOwnOrderEveryTime)
{
    support::ScratchFolder scratch;
    for (const char* folder : {"b", "A", "c"})
        std::filesystem::create_directory(scratch.path() / folder);
    for (const char* file : {"a.txt", "B.csv"})
        std::ofstream(scratch.path() / file) << "x";
    auto setup = std::make_shared<shell::NamespaceSetup>();
    const shell::ShellFolderPtr desktop = shell::ShellFolder::Desktop(setup);
    const std::optional<shell::IdList> idl = desktop->ParseDisplayName(scratch.path().string());
    ASSERT_TRUE(idl.has_value());
    const shell::ShellFolderPtr folder = desktop->BindToObject(*idl);
    ASSERT_NE(folder, nullptr);
    std::vector<shell::IdList> objects;
    ASSERT_TRUE(folder->EnumObjects(shell::SHCONTF_FOLDERS | shell::SHCONTF_NONFOLDERS, objects));
    std::vector<std::string> names;
    for (const shell::IdList& object : objects)
        names.push_back(folder->GetDisplayNameOf(object));
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c", "a.txt", "B.csv"}));
}

} // namespace
