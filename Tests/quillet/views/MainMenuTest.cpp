// The main window's menu bar and tool bar as the core describes them.
#include "quillet/QuilletFixture.h"

#include "quillet/views/MainFrame.h"
#include "quillet/views/MainMenu.h"
#include "quillet/text/ResourceIds.h"

#include <set>

namespace {

using namespace quillet::cmd;
using quillet::MainMenu;
using quillet::MenuItem;

TEST(MainMenu, BarOrderAndFileMenuAndOnlyTheMainWindowsPopupsWithoutAConnection)
{
    using namespace quillet;
    EXPECT_EQ(std::vector<MenuPopup>(MainMenu::Bar().begin(), MainMenu::Bar().end()),
              (std::vector<MenuPopup>{MENU_FILE, MENU_EDIT, MENU_SERVER, MENU_GROUP, MENU_ITEM, MENU_VIEW, MENU_LOG,
                                      MENU_HELP}));
    const MenuItem sep{};
    auto c = [](UINT id) { return MenuItem{MenuItem::Kind::Command, id}; };
    EXPECT_EQ(MainMenu::Items(MENU_FILE),
              (std::vector<MenuItem>{c(ID_FILE_NEW), c(ID_FILE_OPEN), c(ID_FILE_CLOSE), c(ID_FILE_SAVE),
                                     c(ID_FILE_SAVE_AS), sep, c(32830), c(32831), c(32832), c(32833), c(32834), sep,
                                     c(ID_APP_EXIT)}));
    EXPECT_EQ(std::vector<UINT>(MainMenu::ToolBar().begin(), MainMenu::ToolBar().end()),
              (std::vector<UINT>{ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_SERVER_CONNECT, ID_ADD_GROUP,
                                 ID_ADD_ITEM, ID_REMOVE_ITEMS, 0, ID_SYNC_READ, ID_SYNC_WRITE, 0, ID_APP_ABOUT}));
    std::vector<MenuPopup> alone;
    for (MenuPopup popup : MainMenu::Bar()) {
        EXPECT_TRUE(MainMenu::Shows(popup, true)) << popup;
        if (MainMenu::Shows(popup, false)) alone.push_back(popup);
    }
    EXPECT_EQ(alone, (std::vector<MenuPopup>{MENU_FILE, MENU_SERVER, MENU_HELP}));
}

using MainMenuCommands = quillettest::AppFixture;

// Every entry draws an action: the window's own commands' or a connection window's.
// Every popup hangs in exactly one place.
TEST_F(MainMenuCommands, EveryEntryIsACommandOfTheMainWindowOrOfAConnectionWindow)
{
    CQuilletApp app(host);
    ASSERT_TRUE(app.InitInstance());
    CQuilletDoc* doc = app.ConnectToServer("OPC.ServerList", "", CLSID_OPCServerList);
    ASSERT_NE(doc, nullptr);
    CMainFrame frame(app);
    std::set<UINT> known;
    for (UINT id : frame.CommandIds()) known.insert(id);
    for (UINT id : app.FrameOf(doc)->Commands().Ids()) known.insert(id);

    std::multiset<quillet::MenuPopup> placed(MainMenu::Bar().begin(), MainMenu::Bar().end());
    for (quillet::MenuPopup popup : MainMenu::Popups()) {
        EXPECT_FALSE(MainMenu::Items(popup).empty()) << popup;
        for (const MenuItem& item : MainMenu::Items(popup)) {
            if (item.kind == MenuItem::Kind::Command) {
                EXPECT_TRUE(known.count(item.id)) << popup << " " << item.id;
            }
            if (item.kind == MenuItem::Kind::Popup) placed.insert(item.popup);
        }
    }
    for (UINT id : MainMenu::ToolBar()) {
        if (id != 0) {
            EXPECT_TRUE(known.count(id)) << id;
        }
    }
    for (quillet::MenuPopup popup : MainMenu::Popups()) EXPECT_EQ(placed.count(popup), 1u) << popup;
    EXPECT_EQ(placed.size(), MainMenu::Popups().size());
    app.CloseDocument(doc);
}

} // namespace
