#include "quillet/forms/AddressBrowser.h"

#include "platform/com/Bstr.h"
#include "platform/opc/Enumerators.h"

#include <algorithm>

namespace {

// Every text an enumerator gives; none for a failed call.
std::vector<std::string> Texts(HRESULT hr, opc::ComPtr<IEnumString>& names)
{
    std::vector<std::string> out;
    std::vector<std::u16string> wide;
    if (FAILED(hr) || !names || FAILED(opc::drain(names.get(), wide))) return out;
    for (auto& w : wide) out.push_back(com::fromBstr(w));
    return out;
}

VARIANT BstrArray(const std::vector<std::string>& texts)
{
    SAFEARRAY array(VT_BSTR, ULONG(texts.size()));
    for (std::size_t i = 0; i < texts.size(); ++i) array.putElement(LONG(i), VARIANT::String(texts[i]));
    return VARIANT::Array(std::move(array));
}

std::u16string NodeOf(const std::string& node)
{
    return node.empty() || node == CAddressBrowser::kLocal ? std::u16string() : com::toBstr(node);
}

} // namespace

CAddressBrowser::Server::~Server()
{
    if (server && hGroup) server->RemoveGroup(hGroup, TRUE);
}

CAddressBrowser::CAddressBrowser(quillet::UiServices& ui, CBrowseSetup setup) : m_ui(ui), m_setup(std::move(setup)) {}

CAddressBrowser::~CAddressBrowser()
{
    m_listener = nullptr;
    m_roots.clear();
}

void CAddressBrowser::Tell(UINT message)
{
    if (notify) notify(message);
}

// ---- servers ----

void CAddressBrowser::Connect(Server& s)
{
    opc::ComPtr<IUnknown> object;
    const std::u16string node = m_setup.dcom ? NodeOf(s.node) : std::u16string();
    const HRESULT hr = opc::CoCreateInstanceEx(s.clsid, node, IID_IUnknown, object.put(), m_setup.activation);
    if (FAILED(hr) || !object) {
        s.state = State::Failed;
        return;
    }
    s.object = object;
    s.browse = object.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
    s.state = s.browse ? State::Browsable : State::NoBrowsing;
    if (s.browse) s.browse->QueryOrganization(&s.organisation);
}

void CAddressBrowser::ShowConnectedServer(opc::ComPtr<IUnknown> object, std::string progIdText, std::string nodeText)
{
    if (!object && progIdText.empty()) return;
    auto s = std::make_unique<Server>();
    s->progId = progIdText.empty() ? "Root" : progIdText;
    s->node = nodeText.empty() ? kLocal : nodeText;
    if (object) {
        s->object = object;
        s->browse = object.as<IOPCBrowseServerAddressSpace>(IID_IOPCBrowseServerAddressSpace);
        s->state = s->browse ? State::Browsable : State::NoBrowsing;
        if (s->browse) s->browse->QueryOrganization(&s->organisation);
    } else {
        if (FAILED(opc::CLSIDFromProgID(com::toBstr(s->progId), &s->clsid, m_setup.activation.registry))) return;
        Connect(*s);
    }
    m_servers.push_back(std::move(s));
    ShowRoot(*m_servers.back());
}

std::vector<std::string> CAddressBrowser::ServerChoices() const
{
    std::vector<std::string> choices;
    for (auto& [id, clsid] : m_setup.servers) choices.push_back(id);
    return choices;
}

bool CAddressBrowser::ConnectEnabled() const
{
    const std::string node = nodeText.empty() ? kLocal : nodeText;
    return !serverText.empty() && std::none_of(m_servers.begin(), m_servers.end(), [&](const auto& s) {
        return s->progId == serverText && s->node == node;
    });
}

void CAddressBrowser::Connect()
{
    if (!ConnectEnabled()) return;
    auto known = std::find_if(m_setup.servers.begin(), m_setup.servers.end(),
                              [&](const auto& e) { return e.first == serverText; });
    if (known == m_setup.servers.end()) {
        // A new ProgID joins the list; one that is not registered ends here.
        m_setup.servers.emplace_back(serverText, CLSID{});
        known = std::prev(m_setup.servers.end());
        if (FAILED(opc::CLSIDFromProgID(com::toBstr(serverText), &known->second, m_setup.activation.registry))) return;
    }
    if (std::find(nodeChoices.begin(), nodeChoices.end(), nodeText) == nodeChoices.end())
        nodeChoices.push_back(nodeText);
    const bool local = nodeText.empty() || nodeText == nodeChoices.front();
    if (!allowSeveralServers) {
        m_selected = nullptr;
        RemoveChildren(nullptr);
        m_servers.clear();
    }
    auto s = std::make_unique<Server>();
    s->progId = serverText;
    s->node = local ? kLocal : nodeText;
    s->clsid = known->second;
    Connect(*s);
    m_servers.push_back(std::move(s));
    ShowRoot(*m_servers.back());
}

// ---- the tree ----

void CAddressBrowser::Append(Node* parent, std::unique_ptr<Node> child)
{
    auto& list = parent ? parent->children : m_roots;
    child->parent = parent;
    const int row = int(list.size());
    if (m_listener) m_listener->BeforeInsert(parent, row, row);
    list.push_back(std::move(child));
    if (m_listener) m_listener->AfterInsert();
}

void CAddressBrowser::RemoveChildren(Node* parent)
{
    auto& list = parent ? parent->children : m_roots;
    if (list.empty()) return;
    if (m_listener) m_listener->BeforeRemove(parent, 0, int(list.size()) - 1);
    list.clear();
    if (m_listener) m_listener->AfterRemove();
}

void CAddressBrowser::AddBranches(Node& parent, Server& s, VARTYPE typeFilter)
{
    opc::ComPtr<IEnumString> names;
    const HRESULT hr = s.browse->BrowseOPCItemIDs(OPC_BRANCH, u"", typeFilter, 0, names.put());
    for (std::string& name : Texts(hr, names)) {
        auto branch = std::make_unique<Node>();
        branch->text = std::move(name);
        auto dummy = std::make_unique<Node>();
        dummy->text = parent.parent ? "Dummy Branch" : "DummyBranch";
        dummy->placeholder = true;
        dummy->parent = branch.get();
        branch->children.push_back(std::move(dummy));
        Append(&parent, std::move(branch));
    }
}

void CAddressBrowser::ShowRoot(Server& s)
{
    auto owned = std::make_unique<Node>();
    owned->text = s.progId + " (Node: " + s.node + ")";
    owned->server = &s;
    Node* root = owned.get();
    Append(nullptr, std::move(owned));
    if (s.state == State::Browsable) {
        // A flat name space has no branches: its leaves show when the root is selected.
        if (s.organisation != OPC_NS_FLAT) {
            AddBranches(*root, s, VT_EMPTY);
            ReturnToRoot(s);
        }
        root->expanded = true;
    }
    Select(root);
    if (m_listener) m_listener->Selected(root);
}

CAddressBrowser::Server* CAddressBrowser::ServerOf(const Node* node) const
{
    for (int depth = 0; node && depth < kMaxDepth; ++depth, node = node->parent)
        if (!node->parent) return node->server;
    return nullptr;
}

bool CAddressBrowser::MoveTo(Server& s, const Node* node)
{
    std::vector<const std::string*> path;
    for (; node && node->parent; node = node->parent) {
        if (path.size() >= std::size_t(kMaxDepth)) return false;
        path.push_back(&node->text);
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it)
        if (FAILED(s.browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, com::toBstr(**it)))) return false;
    return true;
}

void CAddressBrowser::ReturnToRoot(Server& s)
{
    for (int step = 0; step < kMaxDepth && SUCCEEDED(s.browse->ChangeBrowsePosition(OPC_BROWSE_UP, u"")); ++step) {
    }
}

void CAddressBrowser::Expand(Node* node)
{
    // A root was listed when it was shown; any node only the first time it opens.
    if (!node || node->expanded || node->placeholder) return;
    Server* s = ServerOf(node);
    if (!s || s->state != State::Browsable) return;
    // The server may take its time: nothing else of the program may start meanwhile.
    quillet::WaitCursor wait(m_ui);
    quillet::MainWindowDisabled disabled(m_ui);
    RemoveChildren(node);
    node->expanded = true;
    if (MoveTo(*s, node)) AddBranches(*node, *s, TypeFilter());
    ReturnToRoot(*s);
}

void CAddressBrowser::Select(Node* node)
{
    Server* s = ServerOf(node);
    if (!node || !s || node->placeholder) return;
    m_selected = node;
    progId = s->progId;
    this->node = s->node;
    m_leaves.clear();
    m_selectedLeaves.clear();
    m_leavesAreMessages = s->state != State::Browsable;
    if (s->state == State::Browsable) {
        quillet::WaitCursor wait(m_ui);
        if (MoveTo(*s, node)) {
            opc::ComPtr<IEnumString> names;
            const HRESULT hr = s->browse->BrowseOPCItemIDs(OPC_LEAF, com::toBstr(nameFilter), TypeFilter(),
                                                           DWORD(accessIndex), names.put());
            m_leaves = Texts(hr, names);
        }
        std::vector<const std::string*> path;
        for (const Node* n = node; n && path.size() < std::size_t(kMaxDepth); n = n->parent) path.push_back(&n->text);
        m_header.clear();
        for (auto it = path.rbegin(); it != path.rend(); ++it) m_header += (it == path.rbegin() ? "" : "\\") + **it;
        ReturnToRoot(*s);
    } else {
        m_leaves = {s->state == State::Failed ? "Connection to Server Failed."
                                              : "Server doesn't Support Browsing Namespace."};
        m_header = "Item Leaf";
    }
    Tell(kBranchSelected);
}

// ---- the leaves ----

void CAddressBrowser::SelectLeaves(std::vector<int> rows)
{
    std::erase_if(rows, [&](int r) { return r < 0 || std::size_t(r) >= m_leaves.size(); });
    std::sort(rows.begin(), rows.end());
    if (!severalLeaves && rows.size() > 1) rows.resize(1);
    m_selectedLeaves = std::move(rows);
    if (!m_selectedLeaves.empty() && !m_leavesAreMessages) Tell(kLeafSelected);
}

void CAddressBrowser::ActivateLeaf(int row)
{
    if (row >= 0 && std::size_t(row) < m_leaves.size() && !m_leavesAreMessages) Tell(kLeafActivated);
}

// ---- the filters ----

VARTYPE CAddressBrowser::TypeFilter() const
{
    // "Any" is no filter at all, whatever was chosen before.
    if (typeIndex <= 0 || std::size_t(typeIndex) >= std::size(kTypeChoices)) return VT_EMPTY;
    return kTypeChoices[typeIndex] | (array ? VT_ARRAY : 0);
}

void CAddressBrowser::SetTypeIndex(int index)
{
    typeIndex = index;
    Select(m_selected);
}

void CAddressBrowser::SetArray(bool on)
{
    array = on;
    Select(m_selected);
}

void CAddressBrowser::SetNameFilter(std::string filter)
{
    nameFilter = std::move(filter);
    Select(m_selected);
}

void CAddressBrowser::SetAccessIndex(int index)
{
    accessIndex = index;
    Select(m_selected);
}

// ---- for the host ----

VARIANT CAddressBrowser::SelectedItemIds()
{
    Server* s = ServerOf(m_selected);
    if (!s) return VARIANT();
    std::vector<std::string> ids;
    if (s->state != State::Browsable || m_leavesAreMessages) return BstrArray(ids);
    if (MoveTo(*s, m_selected)) {
        for (int row : m_selectedLeaves) {
            std::u16string id;
            if (FAILED(s->browse->GetItemID(com::toBstr(m_leaves[row]), id))) {
                ids.clear();
                break;
            }
            ids.push_back(com::fromBstr(id));
        }
    }
    ReturnToRoot(*s);
    return BstrArray(ids);
}

VARIANT CAddressBrowser::AccessPaths(const std::string& itemId)
{
    Server* s = ServerOf(m_selected);
    if (!s || s->state != State::Browsable) return VARIANT();
    opc::ComPtr<IEnumString> paths;
    const HRESULT hr = s->browse->BrowseAccessPaths(com::toBstr(itemId), paths.put());
    auto texts = Texts(hr, paths);
    if (texts.empty()) return VARIANT();
    return BstrArray(texts);
}

int CAddressBrowser::CanonicalType(const std::string& itemId, const std::string& accessPath)
{
    Server* s = ServerOf(m_selected);
    if (!s || s->state != State::Browsable) return -1;
    if (!s->itemMgt) {
        s->server = s->object.as<IOPCServer>(IID_IOPCServer);
        if (!s->server) return -1;
        opc::ComPtr<IUnknown> group;
        DWORD revised = 0;
        if (FAILED(s->server->AddGroup(u"", FALSE, 1000, 0, nullptr, nullptr, 0, &s->hGroup, &revised, IID_IOPCItemMgt,
                                       group.put())))
            return -1;
        s->itemMgt = group.as<IOPCItemMgt>(IID_IOPCItemMgt);
        if (!s->itemMgt) return -1;
    }
    OPCITEMDEF def;
    def.szAccessPath = com::toBstr(accessPath);
    def.szItemID = com::toBstr(itemId);
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    const HRESULT hr = s->itemMgt->ValidateItems(std::span(&def, 1), FALSE, results, errors);
    if (FAILED(hr) || results.empty() || (!errors.empty() && FAILED(errors[0]))) return -1;
    return results[0].vtCanonicalDataType;
}
