#include "quillet/views/MainMenu.h"

#include "quillet/text/ResourceIds.h"

#include <algorithm>
#include <array>

namespace quillet {

using namespace cmd;

namespace {

MenuItem C(UINT id) { return {MenuItem::Kind::Command, id}; }
MenuItem P(MenuPopup popup) { return {MenuItem::Kind::Popup, 0, popup}; }
const MenuItem kSeparator{};

constexpr std::array kPopups = {MENU_FILE,    MENU_EDIT,     MENU_SERVER, MENU_GROUP, MENU_ADVISE, MENU_ITEM,
                                MENU_ASYNCIO, MENU_ASYNCIO2, MENU_VIEW,   MENU_LOG,   MENU_HELP};
constexpr std::array kBar = {MENU_FILE, MENU_EDIT, MENU_SERVER, MENU_GROUP, MENU_ITEM, MENU_VIEW, MENU_LOG, MENU_HELP};
constexpr std::array<UINT, 13> kTools = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_SERVER_CONNECT, ID_ADD_GROUP,
                                         ID_ADD_ITEM, ID_REMOVE_ITEMS, 0, ID_SYNC_READ, ID_SYNC_WRITE, 0, ID_APP_ABOUT};
// The popups of the connection window's commands.
constexpr std::array kWindowPopups = {MENU_EDIT, MENU_GROUP, MENU_ITEM, MENU_VIEW, MENU_LOG};

std::array<std::vector<MenuItem>, MENU_COUNT> MakeItems()
{
    std::array<std::vector<MenuItem>, MENU_COUNT> items;
    items[MENU_FILE] = {C(ID_FILE_NEW),  C(ID_FILE_OPEN),    C(ID_FILE_CLOSE),
                        C(ID_FILE_SAVE), C(ID_FILE_SAVE_AS), kSeparator};
    for (UINT id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id) items[MENU_FILE].push_back(C(id));
    items[MENU_FILE].insert(items[MENU_FILE].end(), {kSeparator, C(ID_APP_EXIT)});
    items[MENU_EDIT] = {C(ID_EDIT_COPY)};
    items[MENU_SERVER] = {C(ID_SERVER_CONNECT), C(ID_SERVER_STATUS), kSeparator, C(ID_ADD_GROUP), C(ID_REMOVE_GROUP),
                          C(ID_GET_GROUP_BY_NAME), C(ID_GET_ERROR_STRING), C(ID_GROUP_ENUM), kSeparator,
                          C(ID_EXPERT_MODE)};
    items[MENU_GROUP] = {C(ID_GET_STATE), C(ID_ENUMERATE_ITEMS), C(ID_COUNTER_RESET), C(ID_MMI_EMULATION),
                         C(ID_CONFIGURE_EVENTS), kSeparator, P(MENU_ADVISE)};
    items[MENU_ADVISE] = {C(ID_ADVISE_NONE), C(ID_ADVISE_DATAOBJECT_TIME), C(ID_ADVISE_DATAOBJECT),
                          C(ID_ADVISE_CONNECTIONPOINT), C(ID_ADVISE_GROUPS)};
    items[MENU_ITEM] = {C(ID_ADD_ITEM), C(ID_REMOVE_ITEMS), C(ID_ACTIVE_STATE), C(ID_SET_DATATYPE),
                        C(ID_CHANGE_HANDLES), kSeparator, C(ID_READ_FROM_CACHE), C(ID_SYNC_READ), C(ID_SYNC_WRITE),
                        P(MENU_ASYNCIO), P(MENU_ASYNCIO2), kSeparator, C(ID_IMPORT_ITEMS)};
    items[MENU_ASYNCIO] = {C(ID_ASYNCIO_READ), C(ID_ASYNCIO_WRITE), C(ID_ASYNCIO_REFRESH)};
    items[MENU_ASYNCIO2] = {C(ID_ASYNCIO2_READ), C(ID_ASYNCIO2_WRITE), C(ID_ASYNCIO2_REFRESH), C(ID_ASYNCIO2_ENABLE)};
    items[MENU_VIEW] = {C(ID_ITEM_COLUMNS), C(ID_VIEW_UPDATE_TIMER), C(ID_MESSAGE_LOG)};
    items[MENU_LOG] = {C(ID_ENABLE_LOG_VIEW), C(ID_CONFIGURE_LOGGER), C(ID_DISPLAY_MESSAGES), C(ID_CLEAR_LOG)};
    items[MENU_HELP] = {C(ID_APP_ABOUT)};
    return items;
}

} // namespace

std::span<const MenuPopup> MainMenu::Popups() { return kPopups; }

std::span<const MenuPopup> MainMenu::Bar() { return kBar; }

const std::vector<MenuItem>& MainMenu::Items(MenuPopup popup)
{
    static const std::array<std::vector<MenuItem>, MENU_COUNT> kItems = MakeItems();
    static const std::vector<MenuItem> kNone;
    return popup < MENU_COUNT ? kItems[popup] : kNone;
}

std::span<const UINT> MainMenu::ToolBar() { return kTools; }

bool MainMenu::Shows(MenuPopup popup, bool windowOpen)
{
    return windowOpen || std::find(kWindowPopups.begin(), kWindowPopups.end(), popup) == kWindowPopups.end();
}

} // namespace quillet
