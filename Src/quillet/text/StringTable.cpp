#include "quillet/text/StringTable.h"

#include "quillet/text/StringTableEnglish.h"

#include <array>

namespace quillet {
namespace {

// The OPC result table in resource order; its English texts are the standard's own.
constexpr std::array<HRESULT, IDS_OPC_RESULT_LAST - IDS_OPC_RESULT_FIRST + 1> kOpcResults = {
    OPC_E_INVALIDHANDLE, OPC_E_BADTYPE,      OPC_E_PUBLIC,          OPC_E_BADRIGHTS, OPC_E_UNKNOWNITEMID,
    OPC_E_INVALIDITEMID, OPC_E_INVALIDFILTER, OPC_E_UNKNOWNPATH,    OPC_E_RANGE,     OPC_E_DUPLICATENAME,
    OPC_S_UNSUPPORTEDRATE, OPC_S_CLAMP,      OPC_S_INUSE,           OPC_E_INVALIDCONFIGFILE, OPC_E_NOTFOUND,
};

} // namespace

HRESULT OpcResultOfId(UINT id)
{
    if (id < IDS_OPC_RESULT_FIRST || id > IDS_OPC_RESULT_LAST) return 0;
    return kOpcResults[id - IDS_OPC_RESULT_FIRST];
}

StringTable::StringTable()
{
    for (const english::Text& t : english::Strings()) m_texts.emplace(t.id, t.text);
    for (UINT id = IDS_OPC_RESULT_FIRST; id <= IDS_OPC_RESULT_LAST; ++id)
        m_texts.emplace(id, com::opcResultText(OpcResultOfId(id)));
    for (const english::Text& t : english::Menus()) m_menus.emplace(t.id, t.text);
    for (const english::ControlText& t : english::Controls()) m_controls.emplace(std::pair(t.dialog, t.control), t.text);
}

namespace {
template <typename Map, typename Key>
std::string_view Lookup(const Map& map, const Key& key)
{
    auto it = map.find(key);
    return it == map.end() ? std::string_view() : std::string_view(it->second);
}
} // namespace

std::string_view StringTable::Text(UINT id) const { return Lookup(m_texts, id); }
std::string_view StringTable::Caption(std::string_view caption) const
{
    return caption.empty() ? Text(IDS_APP_NAME) : caption;
}
std::string_view StringTable::MenuText(UINT commandId) const { return Lookup(m_menus, commandId); }
std::string_view StringTable::ControlText(UINT dialogId, UINT controlId) const
{
    return Lookup(m_controls, std::pair(dialogId, controlId));
}

void StringTable::Replace(UINT id, std::string text) { m_texts[id] = std::move(text); }
void StringTable::ReplaceMenuText(UINT commandId, std::string text) { m_menus[commandId] = std::move(text); }
void StringTable::ReplaceControlText(UINT dialogId, UINT controlId, std::string text)
{
    m_controls[std::pair(dialogId, controlId)] = std::move(text);
}

std::string FormatText(std::string_view text, std::string_view arg)
{
    std::string out(text);
    if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, arg);
    return out;
}

} // namespace quillet
