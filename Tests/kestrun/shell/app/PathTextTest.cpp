// Path texts, standard folders, versions and message boxes.
#include "kestrun/shell/app/PathText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "kestrun/shell/app/Version.h"
#include "support/shell/ShellHarness.h"

namespace {

TEST(PathText, EditsGiveTheirTextAndResult)
{
    using Edit = std::function<BOOL(std::string&)>;
    const Edit parent = [](std::string& t) { return GetParentDir(t); };
    const Edit name = [](std::string& t) { return GetAppFileName(t); };
    const Edit title = [](std::string& t) { return GetAppFileTitle(t); };
    const Edit trailBack = [](std::string& t) { AddTrailDirChar(t, 0); return TRUE; };
    const Edit trailSlash = [](std::string& t) { AddTrailDirChar(t, 1); return TRUE; };
    const Edit dot = [](std::string& t) { AddLeadingDotChar(t); return TRUE; };
    struct Case {
        const char* what;
        Edit edit;
        const char* in;
        const char* out;
        BOOL result;
    } cases[] = {
        {"parent", parent, "/srv/tessaro/config/", "/srv/tessaro", TRUE},
        {"parent", parent, "\\srv\\a", "/srv", TRUE},
        {"parent", parent, "/srv", "/", TRUE},
        {"parent", parent, "/", "/", TRUE},
        {"parent", parent, "", "", FALSE},
        {"parent", parent, "plant.mme", "plant.mme", FALSE},
        {"name", name, "/srv/plant.mme", "plant.mme", TRUE},
        {"name", name, "/srv/", "/srv/", FALSE},
        {"name", name, "a\\b", "b", TRUE},
        {"name", name, "plant", "plant", FALSE},
        {"title", title, "/srv/plant.v2.mme", "plant.v2", TRUE},
        {"title", title, "/srv/.hidden", ".hidden", TRUE},
        {"trail", trailBack, "/srv/", "/srv\\", TRUE},
        {"trail", trailSlash, "/srv", "/srv/", TRUE},
        {"trail", trailSlash, "", "", TRUE},
        {"dot", dot, "mme", ".mme", TRUE},
        {"dot", dot, ".mme", ".mme", TRUE},
        {"dot", dot, "", "", TRUE},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(c.edit(text), c.result) << c.what << " " << c.in;
        EXPECT_EQ(text, c.out) << c.what << " " << c.in;
    }
}

TEST(PathText, RootIsAFolderThatExists)
{
    EXPECT_TRUE(IsRootDir("/"));
    EXPECT_FALSE(IsRootDir("/srv"));
    EXPECT_TRUE(IsFolderExist("/"));
    EXPECT_FALSE(IsAppFileAvailable("/"));
    EXPECT_FALSE(IsFolderExist(""));
}

TEST(StandardFolders, FoldersLieUnderTheDataFolderAndAreOwnerOnly)
{
    testsupport::ShellHarness shell;
    const std::string data = (shell.scratch.path() / "data").string();
    EXPECT_EQ(GetDataFolder(0), data + "/Tessaro ver4.5");
    EXPECT_EQ(GetConfigFolder(1), data + "/Tessaro ver4.5/config");
    EXPECT_EQ(GetDefaultLogFolder(), data + "/Tessaro ver4.5/log");
    struct stat info {};
    ASSERT_EQ(::stat(GetDataFolder(0).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(CreateFolder(data + "/one"));
    EXPECT_FALSE(CreateFolder(data + "/two/three")); // one level only
    // The install folder is the parent of the module's folder, never empty here.
    EXPECT_FALSE(GetInstallFolder().empty());
    EXPECT_EQ(GetConfigFolder(0), GetInstallFolder() + "/config");
}

TEST(StandardFolders, EmptyBaseGivesAnEmptyFolderNotOneAtTheRoot)
{
    EXPECT_EQ(JoinFolder("", "config"), "");
    EXPECT_EQ(JoinFolder("/srv/", "config"), "/srv/config");
    EXPECT_EQ(JoinFolder("/srv", "log"), "/srv/log");
}

TEST(Version, TextsOfTheFrameworkVersion)
{
    EXPECT_EQ(GetVersionString(1), "ver4.5");
    EXPECT_EQ(GetVersionString(0), "ver4.5.1");
    const CdsVersion version;
    EXPECT_EQ(version.GetMajor(), 4u);
    EXPECT_EQ(version.GetMinor(), 51u);
    EXPECT_EQ(version.GetLanguageName(), "English (United States)");
    EXPECT_EQ(version.GetLegalCopyright(), "Copyright (C) Zendry Software");
    EXPECT_EQ(version.GetFileDescription(), "Tessaro server framework library");
}

TEST(MessageBoxes, ServiceModeAnswersWithTheDefaultWithoutAsking)
{
    testsupport::ShellHarness shell;
    struct Asker final : shell::MessageBoxPresenter {
        int Show(const std::string&, const std::string&, unsigned, int) override { return ++asked, shell::IDYES; }
        int asked = 0;
    } desktop;
    shell::MessageBoxPresenter* previous = shell::InstallMessageBoxPresenter(&desktop);
    EXPECT_EQ(svcMessageBox("Stop?", shell::MB_YESNO, shell::IDNO), shell::IDYES);
    shell.app.SetServiceMode(1);
    EXPECT_EQ(svcMessageBox("Stop?", shell::MB_YESNO, shell::IDNO), shell::IDNO);
    EXPECT_EQ(svcMessageBox("Stop?", shell::MB_YESNO), 0);
    shell.app.SetAppInDll(0);
    EXPECT_EQ(desktop.asked, 1);
    shell::InstallMessageBoxPresenter(previous);
    shell::NonInteractivePresenter none;
    EXPECT_EQ(none.Show("text", "caption", shell::MB_YESNOCANCEL, shell::IDCANCEL), shell::IDCANCEL);
}

} // namespace
