#pragma once
// The test client's texts: strings by resource id, menu texts by command id and dialog
// control texts by dialog and control id (control 0 is the dialog's title). The
// English texts are built in; a language file replaces any of them at start-up.
// Ids the program names itself (the OPC result table, the log labels) live here too,
// so every text shown has one home.
#include "platform/com/HResult.h"
#include "platform/win/WinTypes.h"

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quillet {

// String ids.
inline constexpr UINT IDS_OLE_INIT_FAILED = 100;
inline constexpr UINT IDS_MAIN_TITLE = 128;
inline constexpr UINT IDS_DOC_TEMPLATE = 129;
inline constexpr UINT IDS_CONNECT_FAILED = 205;
inline constexpr UINT IDS_EMPTY_FILE_LIST = 500;
inline constexpr UINT IDS_ENUM_EXISTS = 32835;       // group enumeration
inline constexpr UINT IDS_ENUM_RELEASED = 32836;
inline constexpr UINT IDS_ENUM_NOT_RELEASED = 32837;
inline constexpr UINT IDS_GROUP_STATE_HINT = 32838;  // group state
inline constexpr UINT IDS_GROUP_STATE_EDIT = 32839;
inline constexpr UINT IDS_GROUP_STATE_FAILED = 32840;
inline constexpr UINT IDS_BY_NAME_OK = 32841;        // group by name
inline constexpr UINT IDS_BY_NAME_FAILED = 32842;
inline constexpr UINT IDS_ENUM_NO_GROUPS = 32845;
inline constexpr UINT IDS_HANDLES_HINT = 32868;      // client handles
inline constexpr UINT IDS_HANDLES_BAD_COUNT = 32872;
inline constexpr UINT IDS_TIMER_HINT = 32873;
inline constexpr UINT IDS_TIMER_RANGE = 32874;
inline constexpr UINT IDS_ERROR_ID = 32882;          // error strings
inline constexpr UINT IDS_ERROR_SERVER_TEXT = 32883;
inline constexpr UINT IDS_ITEM_ENUM_HINT = 32884;    // item enumeration
inline constexpr UINT IDS_ITEM_ENUM_FAILED = 32885;
inline constexpr UINT IDS_ITEM_ENUM_EMPTY = 32886;
inline constexpr UINT IDS_ERROR = 32900;
inline constexpr UINT IDS_ADD_ITEM_HINT = 32908;     // add item
inline constexpr UINT IDS_SHAPE_FAILED = 32915;      // write item
inline constexpr UINT IDS_SHAPE_OK = 32916;
inline constexpr UINT IDS_ARRAY_TYPE_LOCKED = 32919;
inline constexpr UINT IDS_EVENT_COLUMN_NAME = 32920; // event triggers
inline constexpr UINT IDS_EVENT_COLUMN_TYPE = 32921;
inline constexpr UINT IDS_EVENT_COLUMN_TIME = 32922;
inline constexpr UINT IDS_NEW_EVENT = 32930;
inline constexpr UINT IDS_LOG_COLUMN_EVENT = 32937;
inline constexpr UINT IDS_LOG_COLUMN_TIME = 32938;
inline constexpr UINT IDS_OPC_RESULT_FIRST = 32940;  // 32940..32954: the OPC result table
inline constexpr UINT IDS_OPC_RESULT_LAST = 32954;
inline constexpr UINT IDS_SET_ACTIVE_STATE = 32975;
inline constexpr UINT IDS_ACTUAL_RATE = 32986;
inline constexpr UINT IDS_INVALID_DATA = 32987;
inline constexpr UINT IDS_CLONE_FAILED = 32977;
inline constexpr UINT IDS_CLONE_OK = 32978;
inline constexpr UINT IDS_APP_NAME = 32992;
inline constexpr UINT IDS_LOG_LABEL_FIRST = 33100;   // one per log category, in table order
inline constexpr UINT IDS_LOG_FILE_FAILED = 33200;
inline constexpr UINT IDS_LINK_LOST = 33201;
inline constexpr UINT IDS_SAVE_FAILED = 33202;
inline constexpr UINT IDS_ASK_SAVE = 33203;
inline constexpr UINT IDS_OPEN_FAILED = 33204;
inline constexpr UINT IDS_CALL_WAITING = 33210;        // a call to the server waits
inline constexpr UINT IDS_CALL_NOT_ANSWERING = 33211;  // its time-out passed: wait again?
inline constexpr UINT IDS_EVENT_TYPE_FIRST = 33300;  // 33300..33306: the event types
inline constexpr UINT IDS_ENUM_SCOPE_FIRST = 33400;  // 33400..33405: the six group enumeration scopes
inline constexpr UINT IDS_ENUM_START = 33410;        // the group enumeration's messages
inline constexpr UINT IDS_ENUM_FAILED = 33411;
inline constexpr UINT IDS_ENUM_OK = 33412;
inline constexpr UINT IDS_MENU_FIRST = 33420;        // 33420..: the menu bar's popups (MenuPopup)
inline constexpr UINT IDS_CONTEXT_FIRST = 33440;     // 33440..33459: the right-click menus' texts
inline constexpr UINT IDS_COLUMN_FIRST = 40502;      // 40502..40518: the item columns
// The framework's prompts for a field that does not parse or lies out of range.
inline constexpr UINT IDS_PARSE_INT = 0xF110;
inline constexpr UINT IDS_PARSE_REAL = 0xF111;
inline constexpr UINT IDS_PARSE_INT_RANGE = 0xF112;
inline constexpr UINT IDS_PARSE_REAL_RANGE = 0xF113;

// The menu bar's popups, in order; their titles are the strings IDS_MENU_FIRST + n.
enum MenuPopup : UINT { MENU_FILE, MENU_EDIT, MENU_SERVER, MENU_GROUP, MENU_ADVISE, MENU_ITEM, MENU_ASYNCIO,
                        MENU_ASYNCIO2, MENU_VIEW, MENU_LOG, MENU_HELP, MENU_COUNT };

class StringTable {
public:
    // The English texts.
    StringTable();

    // Empty for an id without a text.
    std::string_view Text(UINT id) const;
    // A message box's caption: the given one, else the program's name.
    std::string_view Caption(std::string_view caption = {}) const;
    std::string_view MenuText(UINT commandId) const;
    std::string_view ControlText(UINT dialogId, UINT controlId) const;

    // A language file's texts.
    void Replace(UINT id, std::string text);
    void ReplaceMenuText(UINT commandId, std::string text);
    void ReplaceControlText(UINT dialogId, UINT controlId, std::string text);

private:
    std::unordered_map<UINT, std::string> m_texts;
    std::unordered_map<UINT, std::string> m_menus;
    std::map<std::pair<UINT, UINT>, std::string> m_controls;
};

// The OPC result code whose text the table holds under id; 0 outside 32940..32954.
HRESULT OpcResultOfId(UINT id);

// The text with its first "%s" replaced by arg.
std::string FormatText(std::string_view text, std::string_view arg);

} // namespace quillet
