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
inline constexpr UINT IDS_TIMER_HINT = 32873;
inline constexpr UINT IDS_TIMER_RANGE = 32874;
inline constexpr UINT IDS_ERROR = 32900;
inline constexpr UINT IDS_LOG_COLUMN_EVENT = 32937;
inline constexpr UINT IDS_LOG_COLUMN_TIME = 32938;
inline constexpr UINT IDS_OPC_RESULT_FIRST = 32940;  // 32940..32954: the OPC result table
inline constexpr UINT IDS_OPC_RESULT_LAST = 32954;
inline constexpr UINT IDS_SET_ACTIVE_STATE = 32975;
inline constexpr UINT IDS_ACTUAL_RATE = 32986;
inline constexpr UINT IDS_INVALID_DATA = 32987;
inline constexpr UINT IDS_APP_NAME = 32992;
inline constexpr UINT IDS_LOG_LABEL_FIRST = 33100;   // one per log category, in table order
inline constexpr UINT IDS_LOG_FILE_FAILED = 33200;
inline constexpr UINT IDS_LINK_LOST = 33201;
inline constexpr UINT IDS_SAVE_FAILED = 33202;
inline constexpr UINT IDS_ASK_SAVE = 33203;
inline constexpr UINT IDS_OPEN_FAILED = 33204;
inline constexpr UINT IDS_EVENT_TYPE_FIRST = 33300;  // 33300..33306: the event types
inline constexpr UINT IDS_COLUMN_FIRST = 40502;      // 40502..40518: the item columns

class StringTable {
public:
    // The English texts.
    StringTable();

    // Empty for an id without a text.
    std::string_view Text(UINT id) const;
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
