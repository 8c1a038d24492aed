#include "kestrun/model/opc/Browser.h"

#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/opc/Branch.h"
#include "kestrun/model/opc/Callback.h"
#include "platform/opc/server/ServerEntries.h"

CfsBrowser::CfsBrowser(CfsCallback& owner) : m_owner(owner), m_pCurrent(&owner.m_root) {}

CfsBrowser::~CfsBrowser() = default;

DWORD CfsBrowser::QueryOrganization() { return 1; }

BOOL CfsBrowser::MoveUp()
{
    auto lock = m_owner.Lock();
    m_owner.GetRootLocked();
    if (!m_pCurrent->GetParent())
        return FALSE;
    m_pCurrent = m_pCurrent->GetParent();
    m_names.clear();
    m_nPosition = 0;
    return TRUE;
}

BOOL CfsBrowser::MoveDown(std::string_view name)
{
    auto lock = m_owner.Lock();
    m_owner.GetRootLocked();
    CfsBranch* branch = m_pCurrent->FindBranch(name);
    if (!branch)
        return FALSE;
    m_pCurrent = branch;
    m_names.clear();
    m_nPosition = 0;
    return TRUE;
}

bool CfsBrowser::MatchesFilter(const std::string& name) const
{
    return m_strFilter.empty() || FSMatchPattern(name.c_str(), m_strFilter.c_str(), FALSE);
}

bool CfsBrowser::Accepts(const CfsMemoryTag& tag) const
{
    // A tag whose point is gone stays listed only until the tree is rebuilt; clients never see it.
    if (!tag.GetPoint())
        return false;
    if (m_vtFilter != VT_EMPTY && tag.GetCanonicalType() != m_vtFilter)
        return false;
    return (tag.GetAccessRights() & m_dwAccessFilter) == m_dwAccessFilter;
}

void CfsBrowser::CollectFlat(const CfsBranch& branch)
{
    for (CfsMemoryTag* tag : branch.GetTags()) {
        if (!Accepts(*tag))
            continue;
        std::string id = branch.GetPath() + tag->GetShortName();
        if (MatchesFilter(id))
            m_names.push_back(std::move(id));
    }
    for (const auto& sub : branch.GetBranches())
        CollectFlat(*sub);
}

HRESULT CfsBrowser::BeginBrowse(DWORD browseType, std::string_view filter, VARTYPE dataTypeFilter, DWORD accessFilter)
{
    auto lock = m_owner.Lock();
    CfsBranch& root = m_owner.GetRootLocked();
    m_nBrowseType = browseType;
    m_strFilter = std::string(filter);
    m_vtFilter = dataTypeFilter;
    m_dwAccessFilter = accessFilter;
    m_names.clear();
    m_nPosition = 0;
    switch (browseType) {
    case BROWSE_BRANCHES:
        for (const auto& sub : m_pCurrent->GetBranches())
            if (MatchesFilter(sub->GetName()))
                m_names.push_back(sub->GetName());
        break;
    case BROWSE_LEAVES:
        for (CfsMemoryTag* tag : m_pCurrent->GetTags()) {
            if (!Accepts(*tag))
                continue;
            std::string name = tag->GetShortName();
            if (MatchesFilter(name))
                m_names.push_back(std::move(name));
        }
        break;
    case BROWSE_FLAT:
        m_pCurrent = &root;
        CollectFlat(root);
        break;
    default:
        return E_INVALIDARG;
    }
    return S_OK;
}

std::string CfsBrowser::GetItemID(std::string_view name)
{
    auto lock = m_owner.Lock();
    m_owner.GetRootLocked();
    return m_pCurrent->GetItemID(name);
}

std::string CfsBrowser::NextName()
{
    auto lock = m_owner.Lock();
    if (m_nPosition >= m_names.size())
        return {};
    return m_names[m_nPosition++];
}

void CfsBrowser::Reset()
{
    auto lock = m_owner.Lock();
    m_nPosition = 0;
}

HRESULT CfsBrowser::CheckName(std::string_view name) { return GetItemID(name).empty() ? E_INVALIDARG : S_OK; }

std::string CfsBrowser::GetAccessPath(std::string_view) { return {}; }

void CfsBrowser::OnTreeReset()
{
    m_pCurrent = &m_owner.m_root;
    m_names.clear();
    m_nPosition = 0;
}
