// The main window's commands and the server dialogs against the bundled server, and
// the language files.
#include "quillet/RealServerFixture.h"

#include "quillet/text/ErrorText.h"
#include "quillet/text/LanguageFile.h"
#include "quillet/views/MainFrame.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/forms/ServerForms.h"
#include "quillet/text/StringTableEnglish.h"
#include "quillet/text/TextFile.h"

#include "platform/win/VersionInfo.h"

#include <set>

namespace {

using namespace quillet::cmd;
using quillettest::kServer;

const CLSID kFenwold = *com::parseGuid("{6E6F7453-0004-4E61-8000-000000000004}");

class MainWindow : public quillettest::RealServer {
protected:
    void SetUp() override
    {
        RealServer::SetUp();
        if (IsSkipped()) return;
        // Fenwold as its registration leaves it: a class with the OPC categories.
        Register("Tessaro.Fenwold.1", true, &kFenwold);
        ASSERT_EQ(opc::registerClass(reg, kFenwold, "/nonexistent/fenwold"), S_OK);
        for (auto [clsid, progId] : {std::pair{kServer, "Tessaro.TestServer"}, {kFenwold, "Tessaro.Fenwold.1"}})
            reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + com::formatGuid(clsid) + "\\ProgID", "", progId);
        app = std::make_unique<CQuilletApp>(host);
        app->InitInstance();
        main = std::make_unique<CMainFrame>(*app);
    }
    void TearDown() override
    {
        main.reset();
        RealServer::TearDown();
    }
    std::unique_ptr<CMainFrame> main;
};

TEST_F(MainWindow, ServerDialogsListTheRegisteredServersAndKeepAClassOnlyForItsProgId)
{
    CServerSelectForm select(app->GetServerList(), app->IsDcomEnabled(), ui, texts, app->Activation());
    EXPECT_EQ(select.located, (std::vector<std::string>{"Tessaro.Fenwold.1", "Tessaro.TestServer"}));
    EXPECT_FALSE(select.nodeEnabled);
    EXPECT_EQ(select.Result().progId, "Tessaro.Fenwold.1");  // the first entry, looked up when connecting
    EXPECT_EQ(select.Result().clsid, CLSID_NULL);
    select.Choose(1);
    EXPECT_EQ(select.Result().clsid, kServer);
    select.progId = "Tessaro.Other";  // typed over: that class is not the typed server's
    EXPECT_EQ(select.Result().clsid, CLSID_NULL);

    ui.OnDialog<CServerEnumForm>(quillet::dlg::IDD_ENUM_SERVERS, [&](CServerEnumForm& f) {
        f.node = "  <LOCAL> ";
        f.Open();
        f.SelectCategory(CServerEnumForm::kServers20);
        EXPECT_EQ(f.servers.size(), 2u);
        f.selected = int(std::find_if(f.servers.begin(), f.servers.end(),
                                      [](auto& e) { return e.progId == "Tessaro.Fenwold.1"; }) - f.servers.begin());
        return true;
    });
    select.Browse();
    EXPECT_EQ(select.Result().progId, "Tessaro.Fenwold.1");
    EXPECT_EQ(select.Result().clsid, kFenwold);
    EXPECT_TRUE(ui.shown.empty());

    CServerEnumForm remote(ui, texts, app->Activation());
    remote.node = "plant-7";  // no port for it, and none is known here
    EXPECT_FALSE(remote.Connect());
    EXPECT_EQ(ui.shown, std::vector<std::string>{"Error: Could not load OPC Server Enumerator Object.\n" +
                                                 quillet::ErrorText(texts, RPC_S_SERVER_UNAVAILABLE)});
}

TEST_F(MainWindow, ConnectOpensOneConnectionPerServerAndStatusShowsTheServersRecord)
{
    ui.OnDialog<CServerSelectForm>(quillet::dlg::IDD_SELECT_SERVER, [](CServerSelectForm& f) {
        f.Choose(1);
        return true;
    });
    ASSERT_TRUE(main->Commands().Run(ID_SERVER_CONNECT));
    EXPECT_EQ(main->Commands().Run(ID_SERVER_CONNECT), true);
    ASSERT_EQ(app->Connections().size(), 1u);  // the same server on the same node: no second one
    CQuilletDoc* doc = main->ActiveDocument();
    ASSERT_EQ(doc, app->Connections()[0]);
    EXPECT_EQ(doc->GetCLSID(), kServer);
    EXPECT_GT(ui.waitCount, 0);
    EXPECT_EQ(ui.waitDepth, 0);

    std::string state;
    ui.OnDialog<CServerStatusForm>(quillet::dlg::IDD_SERVER_STATUS, [&](CServerStatusForm& f) {
        state = f.state;
        return true;
    });
    ASSERT_TRUE(app->FrameOf(doc)->Commands().Run(ID_SERVER_STATUS));
    EXPECT_EQ(state, "Server is running");
    EXPECT_EQ(CServerStatusForm::StateText(0), "(Invalid server state)");
}

TEST_F(MainWindow, RecentFilesReopenASavedSetUpUnlessSavingIsRefused)
{
    EXPECT_FALSE(main->Commands().State(ID_FILE_MRU_FIRST).enabled);  // only the placeholder
    // Another client keeps the server program from ending between the two connections.
    ASSERT_TRUE(app->ConnectToServer("Tessaro.TestServer", "", CLSID_NULL));
    CQuilletDoc* doc = app->ConnectToServer("Tessaro.TestServer", "", CLSID_NULL);
    main->SetActiveDocument(doc);
    AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    doc->SetModifiedFlag();
    const std::string path = (scratch.path() / "set-up.csv").string();
    ui.files = {path};
    ASSERT_TRUE(main->Commands().Run(ID_FILE_SAVE));
    EXPECT_EQ(ui.fileDialogs.back().defaultExt, "csv");
    EXPECT_EQ(main->RecentFileText(0), CRecentFileList::DisplayName(path));
    EXPECT_LE(main->RecentFileText(0).size(), 30u);
    EXPECT_TRUE(main->RecentFileText(0).ends_with("/set-up.csv"));
    ASSERT_TRUE(main->Commands().Run(ID_FILE_CLOSE));
    EXPECT_EQ(app->Connections().size(), 1u);

    ASSERT_TRUE(main->Commands().Run(ID_FILE_MRU_FIRST));
    CQuilletDoc* reopened = main->ActiveDocument();
    ASSERT_NE(reopened, nullptr) << (ui.shown.empty() ? "" : ui.shown.back());
    EXPECT_EQ(reopened->Groups().size(), 1u);
    reopened->SetModifiedFlag();
    ui.answers = {quillet::PromptAnswer::Cancel};
    main->Commands().Run(ID_FILE_MRU_FIRST);
    EXPECT_EQ(main->ActiveDocument(), reopened);  // refusing to save keeps it and opens nothing
    EXPECT_EQ(app->Connections().size(), 2u);
    EXPECT_EQ(ui.shown.back(), "Save changes to " + path + "?");
}

TEST(Language, KoreanFileHoldsEveryBuiltInText)
{
    auto text = quillet::ReadTextFile(quillettest::Program("KOR/quillet.lng"));
    ASSERT_TRUE(text);
    auto file = quillet::ParseLanguageFile(*text);
    ASSERT_TRUE(file);
    EXPECT_EQ(std::pair(file->major, file->minor), std::pair(win::version::kMajor, win::version::kMinor));
    std::set<UINT> strings, menus;
    std::set<std::pair<UINT, UINT>> controls;
    for (auto& [id, t] : file->strings) strings.insert(id);
    for (auto& [id, t] : file->menus) menus.insert(id);
    for (auto& [d, c, t] : file->controls) controls.insert({d, c});
    for (auto& t : quillet::english::Strings()) EXPECT_TRUE(strings.count(t.id)) << t.id;
    for (UINT id = quillet::IDS_OPC_RESULT_FIRST; id <= quillet::IDS_OPC_RESULT_LAST; ++id) EXPECT_TRUE(strings.count(id));
    for (auto& t : quillet::english::Menus()) EXPECT_TRUE(menus.count(t.id)) << t.id;
    for (auto& t : quillet::english::Controls()) EXPECT_TRUE(controls.count({t.dialog, t.control})) << t.dialog;
    quillet::StringTable korean;
    quillet::ApplyLanguage(*file, korean);
    EXPECT_EQ(korean.Text(quillet::IDS_INVALID_DATA), " (잘못된 데이터)");
    EXPECT_EQ(korean.MenuText(ID_SYNC_READ), "동기 읽기(&S)\tCtrl+Alt+R");
}

TEST(Language, FileOfTheUsersLanguageIsUsedOnlyForTheProgramsVersion)
{
    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    std::filesystem::create_directories(scratch.path() / "KOR");
    auto write = [&](const char* version) {
        quillet::ReplaceTextFile((scratch.path() / "KOR/quillet.lng").string(),
                                 std::string("version ") + version + "\n[strings]\n32992 = OPC 테스트 클라이언트\n");
    };
    const std::tuple<const char*, const char*, DWORD, bool> cases[] = {
        {"4.51", "ko_KR.UTF-8", 0, true},   {"4.51", "en_US.UTF-8", 0, false}, {"4.51", "C", 0x0412, true},
        {"4.51", "ko_KR", 0x0409, false},   {"4.52", "ko_KR", 0, false},       {"5.51", "ko", 0, false},
    };
    for (auto [version, locale, registryLocale, used] : cases) {
        write(version);
        reg.SetDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\AMBERSEL SOFTWARE\\Vexlan\\SystemLocale", "Locale", registryLocale);
        quillet::StringTable texts;
        EXPECT_EQ(quillet::LoadLanguage(texts, reg, scratch.path(), locale, 4, 51), used) << version << locale;
        EXPECT_EQ(texts.Text(quillet::IDS_APP_NAME), used ? "OPC 테스트 클라이언트" : "OPC Test Client");
    }
}

} // namespace
