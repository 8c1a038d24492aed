#include "quillet/forms/ServerForms.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/ServerEntry.h"

#include "platform/com/Bstr.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>

namespace {

std::string Trimmed(std::string_view text)
{
    auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

bool IsLocal(std::string_view node)
{
    constexpr std::string_view kLocal = "<local>";
    return node.size() == kLocal.size() && std::equal(node.begin(), node.end(), kLocal.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

// ---- enumerate servers ----

CServerEnumForm::CServerEnumForm(quillet::UiServices& ui, const quillet::StringTable& texts,
                                 opc::ActivationOptions activation)
    : m_ui(ui), m_texts(texts), m_activation(std::move(activation))
{
}

void CServerEnumForm::Open()
{
    Connect();
    SelectCategory(kServers10);
}

bool CServerEnumForm::Connect()
{
    std::string name = Trimmed(node);
    if (name.size() >= 256) {
        m_ui.MessageBox("Error: Node name is to long.");
        return false;
    }
    if (IsLocal(name)) name.clear();
    m_list.reset();
    opc::ComPtr<IUnknown> unknown;
    const HRESULT hr =
        opc::CoCreateInstanceEx(CLSID_OPCServerList, com::toBstr(name), IID_IOPCServerList, unknown.put(), m_activation);
    m_list = unknown.as<IOPCServerList>(IID_IOPCServerList);
    if (m_list) return true;
    if (name.empty()) m_ui.MessageBox("Error: Could not load local OPC Server Enumerator Object.");
    else m_ui.MessageBox("Error: Could not load OPC Server Enumerator Object.\n" +
                         quillet::ErrorText(m_texts, FAILED(hr) ? hr : E_NOINTERFACE));
    return false;
}

void CServerEnumForm::SelectCategory(Category chosen)
{
    category = chosen;
    servers.clear();
    selected = -1;
    if (!m_list || chosen == kNone) return;
    const CATID cat = chosen == kServers10 ? CATID_OPCDAServer10 : CATID_OPCDAServer20;
    opc::ComPtr<IEnumGUID> classes;
    if (FAILED(m_list->EnumClassesOfCategories(std::span(&cat, 1), std::span(&cat, 1), classes.put())) || !classes)
        return;
    for (;;) {
        std::vector<GUID> batch;
        if (FAILED(classes->Next(16, batch)) || batch.empty()) break;
        for (const GUID& clsid : batch) {
            std::u16string progId, userType;
            if (SUCCEEDED(m_list->GetClassDetails(clsid, progId, userType)))
                servers.push_back({com::fromBstr(progId), clsid});
        }
    }
}

// ---- select a server ----

CServerSelectForm::CServerSelectForm(const std::vector<CServerEntry>& servers, bool dcom, quillet::UiServices& ui,
                                     const quillet::StringTable& texts, opc::ActivationOptions activation)
    : nodeEnabled(dcom), m_ui(ui), m_texts(texts), m_activation(std::move(activation))
{
    for (const CServerEntry& s : servers)
        if (s.hidden == 0) located.push_back(s.progId);
    if (!located.empty()) selected = 0;
}

void CServerSelectForm::Choose(int index)
{
    if (index < 0 || std::size_t(index) >= located.size()) return;
    selected = index;
    progId = located[index];
    m_clsidProgId = progId;
    if (FAILED(opc::CLSIDFromProgID(com::toBstr(progId), &m_clsid, m_activation.registry))) m_clsid = CLSID_NULL;
}

void CServerSelectForm::Browse()
{
    CServerEnumForm form(m_ui, m_texts, m_activation);
    if (!m_ui.RunDialog(form)) return;
    const CServerEnumForm::Entry* chosen = form.Chosen();
    if (!chosen) return;
    node = form.node;
    progId = chosen->progId;
    m_clsid = chosen->clsid;
    m_clsidProgId = progId;
}

CServerSelectForm::Choice CServerSelectForm::Result() const
{
    Choice choice;
    choice.progId = progId;
    if (choice.progId.empty() && selected >= 0 && std::size_t(selected) < located.size())
        choice.progId = located[selected];
    choice.node = node;
    if (choice.progId == m_clsidProgId) choice.clsid = m_clsid;
    return choice;
}

// ---- status ----

std::string CServerStatusForm::StateText(DWORD state)
{
    switch (state) {
    case 1: return "Server is running";
    case 2: return "Server failed - not functioning";
    case 3: return "No configuration has been set.  (Needed to run.)";
    case 4: return "Suspended - no data available";
    case 5: return "Running in TEST mode";
    default: return "(Invalid server state)";
    }
}

std::string CServerStatusForm::TimeText(FILETIME time)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(com::fromFileTime(time));
    std::tm local{};
    char text[64] = {};
    if (!localtime_r(&t, &local) || std::strftime(text, sizeof text, "%B %d, %Y, %H:%M:%S", &local) == 0) return {};
    return text;
}

CServerStatusForm::CServerStatusForm(const OPCSERVERSTATUS& s)
    : vendor(com::fromBstr(s.szVendorInfo))
    , version(std::to_string(s.wMajorVersion) + "." + std::to_string(s.wMinorVersion) + "." +
              std::to_string(s.wBuildNumber))
    , state(StateText(DWORD(s.dwServerState)))
    , groups(std::to_string(int(s.dwGroupCount)))
    , bandwidth(std::to_string(int(s.dwBandWidth)))
    , startTime(TimeText(s.ftStartTime))
    , currentTime(TimeText(s.ftCurrentTime))
    , lastUpdate(TimeText(s.ftLastUpdateTime))
{
}
