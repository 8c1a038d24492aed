// The folder tree over a scratch namespace and a tree control in memory:
// lazy filling, finding and opening paths, refresh, rename, the objects'
// menu (delete to the trash), the file filter and the hidden folders.
#include "kestrun/shell/desktop/ShellFolderTree.h"
#include "kestrun/shell/desktop/Trash.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/ScratchFolder.h"
#include "support/shell/FakeTreeControl.h"
#include "support/shell/ShellFakes.h"

namespace {

namespace fs = std::filesystem;
using shell::kNoItem;
using shell::kTreeRoot;
using shell::TreeItem;

class RecordingOpener final : public shell::ShellOpener {
public:
    RecordingOpener() { m_previous = shell::InstallShellOpener(this); }
    ~RecordingOpener() override { shell::InstallShellOpener(m_previous); }
    bool Open(const std::string& path) override
    {
        opened.push_back(path);
        return true;
    }
    std::vector<std::string> opened;

private:
    shell::ShellOpener* m_previous = nullptr;
};

class ShellFolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : {"home/Desktop", "home/docs/sub/deep", "home/.config/tessaro", "vol", "root"})
            fs::create_directories(Path(folder));
        for (const char* file : {"home/docs/a.TXT", "home/docs/b.log", "home/docs/c.csv", "home/docs/README",
                                 "home/docs/.txt", "home/docs/x.tar.txt"})
            std::ofstream(Path(file)) << "x";
        auto s = std::make_shared<shell::NamespaceSetup>();
        s->strHome = Path("home");
        s->strDesktop = Path("home/Desktop");
        s->strRoot = Path("root");
        s->volumes = {Path("vol"), Path("gone")};
        s->strTrash = Path("trash");
        setup = s;
    }
    std::string Path(const std::string& relative) const { return (scratch.path() / relative).string(); }
    std::unique_ptr<shell::COXShellFolderTree> MakeTree(bool bShowFiles = false, const std::string& filter = {})
    {
        return std::make_unique<shell::COXShellFolderTree>(control, setup, true, true, true, true, bShowFiles, filter);
    }
    TreeItem Desktop() const { return control.GetChildItem(kTreeRoot); }
    TreeItem Home() const { return control.Child(Desktop(), "home"); }

    support::ScratchFolder scratch;
    std::shared_ptr<const shell::NamespaceSetup> setup;
    testsupport::FakeTreeControl control;
};

TEST_F(ShellFolderTreeTest, TheDesktopShowsItsPlacesAndABranchIsFilledOnItsFirstExpansion)
{
    auto tree = MakeTree();
    ASSERT_TRUE(tree->InitializeTree());
    ASSERT_EQ(control.Texts(kTreeRoot), std::vector<std::string>{"Desktop"});
    // Home, the desktop folder, the file system and the volumes that exist.
    EXPECT_EQ(control.Texts(Desktop()), (std::vector<std::string>{"home", "Desktop", "File System", "vol"}));
    EXPECT_EQ(tree->GetItemRecord(Desktop()), nullptr);
    EXPECT_EQ(control.icons.front(), shell::kIconDesktop);

    const TreeItem home = Home();
    EXPECT_TRUE(control.nodes.at(home).childrenMark);
    EXPECT_TRUE(control.Texts(home).empty());
    tree->Expand(home);
    // Folders only, sorted, hidden ones left out.
    EXPECT_EQ(control.Texts(home), (std::vector<std::string>{"Desktop", "docs"}));
    tree->Collapse(home);
    tree->Expand(home);
    EXPECT_EQ(control.Texts(home).size(), 2u);
    EXPECT_EQ(tree->GetFullPath(control.Child(home, "docs")), Path("home/docs"));
    EXPECT_EQ(tree->GetFullPath(Desktop()), "");
}

TEST_F(ShellFolderTreeTest, OpenFolderExpandsTheWayAndSelectsWhatFindFolderThenFinds)
{
    auto tree = MakeTree();
    ASSERT_TRUE(tree->InitializeTree());
    const std::string deep = Path("home/docs/sub/deep");
    EXPECT_EQ(tree->FindFolder(deep), kNoItem); // not loaded yet
    ASSERT_TRUE(tree->OpenFolder(deep, false));
    const TreeItem selected = control.GetSelectedItem();
    EXPECT_EQ(control.GetItemText(selected), "deep");
    EXPECT_EQ(tree->GetFullPath(selected), deep);
    EXPECT_EQ(tree->FindFolder(deep), selected);
    EXPECT_TRUE(control.IsExpanded(control.Child(Home(), "docs")));

    EXPECT_TRUE(tree->OpenFolder(std::string(), true)); // nothing to do
    EXPECT_EQ(control.GetSelectedItem(), selected);
    EXPECT_FALSE(tree->OpenFolder(Path("home/nothing"), true));
    EXPECT_FALSE(tree->OpenFolder("relative/path", true));

    // A hidden folder is never listed, but opening a folder inside one shows the way.
    EXPECT_EQ(control.Child(Home(), ".config"), kNoItem);
    ASSERT_TRUE(tree->OpenFolder(Path("home/.config/tessaro"), false));
    EXPECT_EQ(tree->GetFullPath(control.GetSelectedItem()), Path("home/.config/tessaro"));
}

TEST_F(ShellFolderTreeTest, RefreshRebuildsFromTheTreesOwnRootKeepingExpandedFoldersAndTheSelection)
{
    auto tree = MakeTree();
    ASSERT_TRUE(tree->InitializeTree(Path("home")));
    // Rooted at home: its folders are the first level, found below the root.
    ASSERT_EQ(control.Texts(Desktop()), (std::vector<std::string>{"Desktop", "docs"}));
    ASSERT_TRUE(tree->OpenFolder(Path("home/docs/sub"), true));
    fs::create_directory(Path("home/docs/sub/new"));
    fs::create_directory(Path("home/later"));

    ASSERT_TRUE(tree->Refresh(kTreeRoot));
    EXPECT_EQ(control.Texts(Desktop()), (std::vector<std::string>{"Desktop", "docs", "later"}));
    const TreeItem sub = tree->FindFolder(Path("home/docs/sub"));
    ASSERT_NE(sub, kNoItem);
    EXPECT_TRUE(control.IsExpanded(sub));
    EXPECT_EQ(control.Texts(sub), (std::vector<std::string>{"deep", "new"}));
    EXPECT_EQ(control.GetSelectedItem(), sub);
    EXPECT_TRUE(control.redraw);

    // A collapsed branch loses its children and fills afresh, once, when next expanded.
    const TreeItem docs = control.Child(Desktop(), "docs");
    tree->Collapse(docs);
    ASSERT_TRUE(tree->Refresh(docs));
    EXPECT_EQ(control.GetSelectedItem(), kNoItem);
    EXPECT_TRUE(control.Texts(docs).empty());
    EXPECT_EQ(tree->GetItemRecord(sub), nullptr); // freed with its item
    tree->Expand(docs);
    EXPECT_EQ(control.Texts(docs), std::vector<std::string>{"sub"});
}

TEST_F(ShellFolderTreeTest, RenamingAnExpandedFolderRebuildsItsChildrenUnderTheNewName)
{
    auto tree = MakeTree();
    ASSERT_TRUE(tree->InitializeTree());
    ASSERT_TRUE(tree->OpenFolder(Path("home/docs/sub"), true));
    const TreeItem docs = control.Child(Home(), "docs");
    ASSERT_TRUE(tree->OnBeginLabelEdit(docs));
    ASSERT_TRUE(tree->OnEndLabelEdit(docs, std::string("papers")));
    EXPECT_TRUE(fs::is_directory(Path("home/papers/sub/deep")));
    EXPECT_EQ(control.GetItemText(docs), "papers");
    EXPECT_EQ(tree->GetFullPath(docs), Path("home/papers"));
    const TreeItem sub = tree->FindFolder(Path("home/papers/sub"));
    ASSERT_NE(sub, kNoItem);
    EXPECT_TRUE(control.IsExpanded(sub));
    EXPECT_EQ(tree->GetFullPath(control.Child(sub, "deep")), Path("home/papers/sub/deep"));

    // Cancelled, emptied or taken names keep the old name.
    for (const std::optional<std::string>& text : {std::optional<std::string>(), std::optional<std::string>(""),
                                                   std::optional<std::string>("Desktop")})
        EXPECT_FALSE(tree->OnEndLabelEdit(docs, text));
    EXPECT_EQ(tree->GetFullPath(docs), Path("home/papers"));
    EXPECT_TRUE(fs::is_directory(Path("home/Desktop")));

    // The "Desktop" item and the places cannot be renamed or given a menu.
    EXPECT_FALSE(tree->OnBeginLabelEdit(Desktop()));
    EXPECT_FALSE(tree->OnBeginLabelEdit(Home()));
    tree->OnContextMenu(Desktop(), 0, 0);
    EXPECT_TRUE(control.lastMenu.empty());
}

TEST_F(ShellFolderTreeTest, DeleteAsksFirstAndMovesTheObjectToTheTrash)
{
    auto tree = MakeTree();
    ASSERT_TRUE(tree->InitializeTree());
    ASSERT_TRUE(tree->OpenFolder(Path("home/docs/sub"), false));
    const TreeItem sub = control.GetSelectedItem();
    testsupport::ScriptedAnswers answers({shell::IDNO, shell::IDYES});
    control.menuChoice = shell::ID_SHELL_DELETE;
    tree->OnContextMenu(sub, 0, 0);
    EXPECT_EQ(answers.asked, std::vector<std::string>{"Are you sure you want to move \"sub\" to the trash?"});
    EXPECT_TRUE(fs::exists(Path("home/docs/sub")));
    ASSERT_NE(tree->FindFolder(Path("home/docs/sub")), kNoItem);

    tree->OnContextMenu(sub, 0, 0);
    EXPECT_FALSE(fs::exists(Path("home/docs/sub")));
    EXPECT_TRUE(fs::is_directory(Path("trash/files/sub/deep")));
    std::ifstream info(Path("trash/info/sub.trashinfo"));
    std::string header, pathLine;
    std::getline(info, header);
    std::getline(info, pathLine);
    EXPECT_EQ(header, "[Trash Info]");
    EXPECT_EQ(pathLine, "Path=" + shell::TrashInfoPath(Path("home/docs/sub")));
    EXPECT_EQ(tree->FindFolder(Path("home/docs/sub")), kNoItem);

    // The menu offers rename to objects that can be renamed; rename starts the label edit.
    control.menuChoice = shell::ID_SHELL_RENAME;
    const TreeItem docs = control.Child(Home(), "docs");
    tree->OnContextMenu(docs, 0, 0);
    EXPECT_EQ(control.edited, docs);
    EXPECT_EQ(control.lastMenu.front().strText, "&Open");
}

// The filter's own test, reachable from a derived tree.
class FilterProbe : public shell::COXShellFolderTree {
public:
    using COXShellFolderTree::COXShellFolderTree;
    using COXShellFolderTree::IsMatchingFilter;
};

TEST_F(ShellFolderTreeTest, FilesAreFilteredByTheExtensionAfterTheirLastDot)
{
    struct Case {
        const char* filter;
        const char* name;
        bool shown;
    };
    const Case cases[] = {
        {"", "c.csv", true},        {"txt|log", "a.TXT", true},   {"txt|log", "b.log", true},
        {"txt|log", "c.csv", false}, {"txt|log", "x.tar.txt", true}, {"tar", "x.tar.txt", false},
        {"readme", "README", true},  {"txt", ".txt", false},      {"txt|", ".txt", true},
        {"|", "README", false},
    };
    for (const Case& c : cases) {
        FilterProbe tree(control, setup);
        tree.SetFilter(c.filter);
        EXPECT_EQ(tree.IsMatchingFilter(c.name), c.shown) << c.filter << " " << c.name;
    }
    FilterProbe tree(control, setup);
    for (auto [set, read] : {std::pair{"txt||log|", "txt|log|"}, {"|", "|"}, {"txt|log", "txt|log"}, {"", ""}}) {
        tree.SetFilter(set);
        EXPECT_EQ(tree.GetFilter(), read) << set;
    }

    // The filter applies to files only; hidden files never show.
    auto shown = MakeTree(true, "txt");
    ASSERT_TRUE(shown->InitializeTree(Path("home/docs")));
    EXPECT_EQ(control.Texts(Desktop()), (std::vector<std::string>{"sub", "a.TXT", "x.tar.txt"}));
}

TEST_F(ShellFolderTreeTest, ADoubleClickOpensFilesButNotFolders)
{
    RecordingOpener opener;
    auto tree = MakeTree(true);
    ASSERT_TRUE(tree->InitializeTree(Path("home/docs")));
    tree->OnDblClick(control.Child(Desktop(), "sub"));
    tree->OnDblClick(Desktop());
    EXPECT_TRUE(opener.opened.empty());
    tree->OnDblClick(control.Child(Desktop(), "b.log"));
    EXPECT_EQ(opener.opened, std::vector<std::string>{Path("home/docs/b.log")});
    EXPECT_TRUE(tree->IsFileItem(control.Child(Desktop(), "b.log")));
}

TEST_F(ShellFolderTreeTest, DrawingIsOnAgainOnlyWhenEveryOffHadItsOn)
{
    auto tree = MakeTree();
    tree->SetRedraw(false);
    tree->SetRedraw(false);
    tree->SetRedraw(true);
    EXPECT_FALSE(control.redraw);
    tree->SetRedraw(true);
    EXPECT_TRUE(control.redraw);
    tree->SetRedraw(true); // one too many changes nothing
    tree->SetRedraw(false);
    EXPECT_FALSE(control.redraw);
}

} // namespace
