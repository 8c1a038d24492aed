#include "quillet/StringTable.h"

#include "quillet/LogCategory.h"

#include <array>
#include <utility>

namespace quillet {
namespace {

// The OPC result table in resource order; its English texts are the standard's own.
constexpr std::array<HRESULT, IDS_OPC_RESULT_LAST - IDS_OPC_RESULT_FIRST + 1> kOpcResults = {
    OPC_E_INVALIDHANDLE, OPC_E_BADTYPE,      OPC_E_PUBLIC,          OPC_E_BADRIGHTS, OPC_E_UNKNOWNITEMID,
    OPC_E_INVALIDITEMID, OPC_E_INVALIDFILTER, OPC_E_UNKNOWNPATH,    OPC_E_RANGE,     OPC_E_DUPLICATENAME,
    OPC_S_UNSUPPORTEDRATE, OPC_S_CLAMP,      OPC_S_INUSE,           OPC_E_INVALIDCONFIGFILE, OPC_E_NOTFOUND,
};

// Labels in the order of LabelledCategories().
constexpr std::array<std::string_view, 20> kLabels = {
    "Item added",
    "Item removed",
    "General item error",
    "Item was updated while inactive",
    "Group add",
    "Group remove",
    "General group error",
    "Sync write",
    "Sync read",
    "Async refresh",
    "Async write",
    "Async read",
    "Async cancel",
    "Async transaction timed out",
    "Server Information Message",
    "Recieved subscription",
    "Recieved async read",
    "Write complete",
    "Recieved transaction",
    "Run Average For Item (GroupName:UpdateRate)",
};

const std::pair<UINT, std::string_view> kEnglish[] = {
    {IDS_OLE_INIT_FAILED, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {IDS_CONNECT_FAILED, "Connection to Server Failed."},
    {IDS_EMPTY_FILE_LIST, "Empty File List"},
    {IDS_ERROR, "Error"},
    {IDS_INVALID_DATA, " (Invalid Data)"},
    {IDS_APP_NAME, "OPC Test Client"},
    {IDS_LOG_FILE_FAILED, "The log file %s cannot be opened; messages are not written to a file."},
    {IDS_LINK_LOST, "The connection to the server was lost"},
};

} // namespace

HRESULT OpcResultOfId(UINT id)
{
    if (id < IDS_OPC_RESULT_FIRST || id > IDS_OPC_RESULT_LAST) return 0;
    return kOpcResults[id - IDS_OPC_RESULT_FIRST];
}

StringTable::StringTable()
{
    for (auto& [id, text] : kEnglish) m_texts.emplace(id, text);
    for (UINT id = IDS_OPC_RESULT_FIRST; id <= IDS_OPC_RESULT_LAST; ++id)
        m_texts.emplace(id, com::opcResultText(OpcResultOfId(id)));
    static_assert(kLabels.size() == 20);
    for (std::size_t i = 0; i < kLabels.size(); ++i) m_texts.emplace(IDS_LOG_LABEL_FIRST + UINT(i), kLabels[i]);
}

std::string_view StringTable::Text(UINT id) const
{
    auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string_view() : std::string_view(it->second);
}

void StringTable::Replace(UINT id, std::string text) { m_texts[id] = std::move(text); }

} // namespace quillet

namespace quillet {

std::string FormatText(std::string_view text, std::string_view arg)
{
    std::string out(text);
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, arg);
    return out;
}

} // namespace quillet
