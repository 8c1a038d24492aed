#pragma once
// The test client's texts by resource id. The English texts are built in; a language
// file may replace any of them later. Ids the program names itself (the OPC result
// table, the log labels) live here too, so every text shown has one home.
#include "platform/com/HResult.h"
#include "platform/win/WinTypes.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace quillet {

// Resource ids.
inline constexpr UINT IDS_OLE_INIT_FAILED = 100;
inline constexpr UINT IDS_CONNECT_FAILED = 205;
inline constexpr UINT IDS_EMPTY_FILE_LIST = 500;
inline constexpr UINT IDS_ERROR = 32900;
inline constexpr UINT IDS_OPC_RESULT_FIRST = 32940;  // 32940..32954: the OPC result table
inline constexpr UINT IDS_OPC_RESULT_LAST = 32954;
inline constexpr UINT IDS_INVALID_DATA = 32987;
inline constexpr UINT IDS_APP_NAME = 32992;
inline constexpr UINT IDS_LOG_LABEL_FIRST = 33100;   // one per log category, in table order
inline constexpr UINT IDS_LOG_FILE_FAILED = 33200;
inline constexpr UINT IDS_LINK_LOST = 33201;

class StringTable {
public:
    // The English texts.
    StringTable();

    // Empty for an id without a text.
    std::string_view Text(UINT id) const;
    // A language file's text for id.
    void Replace(UINT id, std::string text);

private:
    std::unordered_map<UINT, std::string> m_texts;
};

// The OPC result code whose text the table holds under id; 0 outside 32940..32954.
HRESULT OpcResultOfId(UINT id);

} // namespace quillet

namespace quillet {
// The text with its first "%s" replaced by arg.
std::string FormatText(std::string_view text, std::string_view arg);
} // namespace quillet
