// The main window's rules without its widgets: routing of commands, their states for
// the open documents, the recent files' menu texts and the exit rule.
#include "quillet/QuilletFixture.h"

#include "quillet/views/MainFrame.h"
#include "quillet/text/ResourceIds.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace quillet::cmd;
using quillet::CommandTable;
using quillet::PromptAnswer;

class MainFrame : public quillettest::AppFixture {
protected:
    void SetUp() override { ASSERT_TRUE(app.InitInstance()); }
    // A document without a server: the server list object is no OPC server.
    CQuilletDoc& Open()
    {
        CQuilletDoc* doc = app.ConnectToServer("OPC.ServerList", "", CLSID_OPCServerList);
        EXPECT_NE(doc, nullptr);
        ui.shown.clear();
        return *doc;
    }

    CQuilletApp app{host};
    CMainFrame frame{app};
};

TEST_F(MainFrame, CommandsGoToTheActiveWindowWhenItsTableHoldsThemAndExitIsTheMainWindows)
{
    const CommandTable& window = app.FrameOf(&Open())->Commands();
    const struct {
        UINT id;
        const CommandTable* window;
        CommandRoute route;
    } cases[] = {
        {ID_ADD_GROUP, &window, CommandRoute::Window},
        {ID_ADD_GROUP, nullptr, CommandRoute::Frame},  // no window: the frame lacks it and does nothing
        {ID_FILE_SAVE, &window, CommandRoute::Frame},
        {ID_FILE_MRU_FIRST, &window, CommandRoute::Frame},
        {ID_APP_EXIT, &window, CommandRoute::Exit},
        {ID_APP_EXIT, nullptr, CommandRoute::Exit},
    };
    for (const auto& c : cases) EXPECT_EQ(CMainFrame::Route(c.id, c.window), c.route) << c.id;
    EXPECT_FALSE(frame.Commands().Run(ID_ADD_GROUP));
    EXPECT_EQ(frame.CommandIds().back(), ID_APP_EXIT);
    EXPECT_FALSE(frame.Commands().Has(ID_APP_EXIT));

    // A state comes from the first table holding the command.
    EXPECT_EQ(CommandTable::Holder(ID_ADD_GROUP, {&window, &frame.Commands()}), &window);
    EXPECT_EQ(CommandTable::Holder(ID_FILE_SAVE, {nullptr, &frame.Commands()}), &frame.Commands());
    EXPECT_EQ(CommandTable::Holder(ID_APP_EXIT, {&window, &frame.Commands()}), nullptr);
}

TEST_F(MainFrame, DocumentCommandsAreEnabledOnlyWithAnActiveDocument)
{
    const UINT always[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_SERVER_CONNECT, ID_APP_ABOUT};
    const UINT needDocument[] = {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_CLOSE};
    for (UINT id : always) EXPECT_TRUE(frame.Commands().State(id).enabled) << id;
    for (UINT id : needDocument) EXPECT_FALSE(frame.Commands().State(id).enabled) << id;
    for (UINT id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id)  // only the placeholder
        EXPECT_FALSE(frame.Commands().State(id).enabled) << id;

    CQuilletDoc& doc = Open();
    EXPECT_EQ(frame.ActiveDocument(), nullptr);  // until its window is active
    frame.SetActiveDocument(&doc);
    for (UINT id : needDocument) EXPECT_TRUE(frame.Commands().State(id).enabled) << id;
    ASSERT_TRUE(frame.Commands().Run(ID_FILE_CLOSE));
    EXPECT_EQ(frame.ActiveDocument(), nullptr);
    for (UINT id : needDocument) EXPECT_FALSE(frame.Commands().State(id).enabled) << id;
}

TEST_F(MainFrame, RecentFileEntriesAreNumberedCutToThirtyCharactersAndShowAmpersands)
{
    CRecentFileList& recent = app.RecentFiles();
    EXPECT_EQ(recent.MenuText(0), "Empty File List");  // the placeholder: no number
    for (std::size_t i = 1; i < CRecentFileList::kSize; ++i) EXPECT_EQ(recent.MenuText(i), "") << i;

    recent.RemovePlaceholder();
    for (const char* path : {"/home/operator/projects/line4/plant.csv", "/srv/R&D/a.csv", "b.csv"}) recent.Add(path);
    EXPECT_EQ(recent.MenuText(0), "&1 b.csv");
    EXPECT_EQ(recent.MenuText(1), "&2 /srv/R&&D/a.csv");
    EXPECT_EQ(recent.MenuText(2), "&3 /.../projects/line4/plant.csv");
    EXPECT_EQ(recent.MenuText(3), "");  // unused: hidden
    EXPECT_EQ(recent.MenuText(CRecentFileList::kSize), "");
    EXPECT_TRUE(frame.Commands().State(ID_FILE_MRU_FIRST + 2).enabled);
    EXPECT_FALSE(frame.Commands().State(ID_FILE_MRU_FIRST + 3).enabled);
}

TEST_F(MainFrame, ExitAsksToSaveEachModifiedDocumentAndAnyThatStaysKeepsTheProgramRunning)
{
    const struct {
        PromptAnswer answer;
        bool fileChosen;
        bool exits;
    } cases[] = {
        {PromptAnswer::Cancel, false, false},
        {PromptAnswer::Yes, false, false},  // saving cancelled: nothing is lost
        {PromptAnswer::Yes, true, true},
        {PromptAnswer::No, false, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        CQuilletDoc& kept = Open();
        CQuilletDoc& modified = Open();
        modified.SetModifiedFlag();
        const std::string title = modified.GetTitle();
        CQuilletDoc& newest = Open();
        frame.SetActiveDocument(&newest);
        ui.shown.clear();
        ui.answers = {c.answer};
        const std::string path = (scratch.path() / ("exit" + std::to_string(n++) + ".csv")).string();
        if (c.fileChosen) ui.files = {path};

        EXPECT_EQ(frame.CloseAll(), c.exits);
        ASSERT_EQ(ui.shown.size(), 1u);  // only the modified document asks
        EXPECT_EQ(ui.shown[0], "Save changes to " + title + "?");
        EXPECT_EQ(std::filesystem::exists(path), c.fileChosen);
        if (c.exits) {
            EXPECT_TRUE(app.Connections().empty());
            continue;
        }
        // The newest closed; the refused one and the one before it stay, the refused one active.
        EXPECT_EQ(app.Connections(), (std::vector<CQuilletDoc*>{&kept, &modified}));
        EXPECT_EQ(frame.ActiveDocument(), &modified);
        modified.SetModifiedFlag(false);
        ASSERT_TRUE(frame.CloseAll());
    }
    EXPECT_TRUE(frame.CloseAll());  // nothing open
}

TEST_F(MainFrame, ClosingAWindowClosesOnlyItsDocument)
{
    CQuilletDoc& first = Open();
    CQuilletDoc& second = Open();
    frame.SetActiveDocument(&second);
    first.SetModifiedFlag();
    ui.answers = {PromptAnswer::Cancel};
    EXPECT_FALSE(frame.CloseDocument(first));
    EXPECT_EQ(frame.ActiveDocument(), &first);
    EXPECT_TRUE(frame.CloseDocument(second));
    EXPECT_EQ(app.Connections(), std::vector<CQuilletDoc*>{&first});
    EXPECT_EQ(frame.ActiveDocument(), nullptr);
}

// A signal ends the program: nothing is asked, no file dialog opens, the
// user's file keeps its text and a modified set-up goes to a new file under
// the data folder, named in the document's log.
TEST_F(MainFrame, QuittingWithoutQuestionsSavesAModifiedSetUpToARecoveryCopy)
{
    const std::filesystem::path data = scratch.path() / "data";
    const char* previous = std::getenv("TESSARO_DATA");
    const std::string kept = previous ? previous : "";
    ::setenv("TESSARO_DATA", data.c_str(), 1);
    const std::string mine = (scratch.path() / "mine.csv").string();
    CQuilletDoc& doc = Open();
    ASSERT_TRUE(doc.SaveConnection(mine));
    const std::string text = doc.SetupText();
    doc.SetModifiedFlag();
    CQuilletDoc& unchanged = Open();
    (void)unchanged;
    ui.shown.clear();
    ui.answers = {PromptAnswer::Cancel};
    ui.files = {(scratch.path() / "chosen.csv").string()};

    frame.QuitWithoutQuestions();
    EXPECT_TRUE(frame.CloseAll());
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_TRUE(app.Connections().empty());
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "chosen.csv"));
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(data / "quillet" / "recovery"))
        copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);  // the unchanged document has nothing to recover
    EXPECT_EQ(copies[0].filename().string().rfind("mine-", 0), 0u);
    EXPECT_EQ(copies[0].extension(), ".csv");
    std::ifstream in(copies[0], std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
    std::ifstream user(mine, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(user), {}), text);
    if (previous) ::setenv("TESSARO_DATA", kept.c_str(), 1);
    else ::unsetenv("TESSARO_DATA");
}

} // namespace
