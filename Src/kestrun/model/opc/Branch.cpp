#include "kestrun/model/opc/Branch.h"

#include <algorithm>
#include <cctype>

#include "kestrun/model/ItemName.h"
#include "kestrun/model/MemoryTag.h"

namespace kestrun {
bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}
} // namespace kestrun

using kestrun::EqualNoCase;

CfsBranch::CfsBranch(std::string strName) : m_strName(std::move(strName)) {}

CfsBranch::~CfsBranch() { RemoveAll(); }

CfsBranch* CfsBranch::AddBranch(std::unique_ptr<CfsBranch> pBranch)
{
    pBranch->m_pParent = this;
    m_branches.push_back(std::move(pBranch));
    return m_branches.back().get();
}

namespace {

// Names compare ignoring case: the index holds them upper-cased.
std::string IndexKey(std::string_view name) { return kestrun::ApplyNameCase(name, false); }

} // namespace

void CfsBranch::AddTag(CfsMemoryTag* pTag)
{
    if (!pTag)
        return;
    pTag->AddTreeRef();
    m_tags.push_back(pTag);
    IndexTag(pTag);
}

void CfsBranch::IndexTag(CfsMemoryTag* pTag)
{
    const std::string name = pTag->GetShortName();
    if (name.empty())
        ++m_nUnnamed;
    m_index.emplace(IndexKey(name), pTag);
}

CfsMemoryTag* CfsBranch::FindListedTag(std::string_view name) const
{
    auto it = m_index.find(IndexKey(name));
    if (it != m_index.end() && EqualNoCase(it->second->GetShortName(), name))
        return it->second;
    // A tag renamed since it was listed: only then the names are looked at one by one.
    if (it == m_index.end() && m_nUnnamed == 0)
        return nullptr;
    for (CfsMemoryTag* tag : m_tags)
        if (EqualNoCase(tag->GetShortName(), name))
            return tag;
    return nullptr;
}

CfsBranch* CfsBranch::FindBranch(std::string_view name) const
{
    for (const auto& branch : m_branches)
        if (EqualNoCase(branch->m_strName, name))
            return branch.get();
    return nullptr;
}

CfsBranch* CfsBranch::FindOrAddBranch(std::string_view name)
{
    if (CfsBranch* found = FindBranch(name))
        return found;
    return AddBranch(std::make_unique<CfsBranch>(std::string(name)));
}

void CfsBranch::AddLeaf(const std::string& strKeyName, CfsMemoryTag* pTag)
{
    if (strKeyName.empty() || !pTag)
        return;
    CfsBranch* branch = this;
    std::string_view rest = strKeyName;
    for (std::size_t dot = rest.find('.', 1); dot != std::string_view::npos; dot = rest.find('.', 1)) {
        branch = branch->FindOrAddBranch(rest.substr(0, dot));
        rest.remove_prefix(dot + 1);
    }
    pTag->SetNamesFromBranch(branch->GetPath(), std::string(rest));
    branch->AddTag(pTag);
}

CfsMemoryTag* CfsBranch::FindTag(std::string_view itemId) const
{
    return FindTagRewritten(kestrun::RewriteBracketedItem(itemId));
}

CfsMemoryTag* CfsBranch::FindTagRewritten(std::string_view itemId) const
{
    const CfsBranch* branch = this;
    // As leaves are added: a '.' at position 0 belongs to the name.
    for (std::size_t dot = itemId.find('.', 1); dot != std::string_view::npos; dot = itemId.find('.', 1)) {
        branch = branch->FindBranch(itemId.substr(0, dot));
        if (!branch)
            return nullptr;
        itemId.remove_prefix(dot + 1);
    }
    return branch->FindListedTag(itemId);
}

std::string CfsBranch::GetItemID(std::string_view name) const
{
    const CfsBranch* branch = this;
    for (std::size_t dot = name.find('.', 1); dot != std::string_view::npos; dot = name.find('.', 1)) {
        branch = branch->FindBranch(name.substr(0, dot));
        if (!branch)
            return {};
        name.remove_prefix(dot + 1);
    }
    if (branch->FindListedTag(name) || branch->FindBranch(name))
        return branch->GetPath() + std::string(name);
    return {};
}

std::string CfsBranch::GetPath() const
{
    if (!m_pParent)
        return {};
    return m_pParent->GetPath() + m_strName + '.';
}

int CfsBranch::RemoveTag(const CfsMemoryTag* pTag)
{
    std::vector<CfsMemoryTag*> dropped;
    std::erase_if(m_tags, [&](CfsMemoryTag* tag) {
        if (tag != pTag)
            return false;
        dropped.push_back(tag);
        return true;
    });
    int removed = static_cast<int>(dropped.size());
    if (removed > 0) {
        // Another tag of the same name may come first now.
        m_index.clear();
        m_nUnnamed = 0;
        for (CfsMemoryTag* tag : m_tags)
            IndexTag(tag);
    }
    // The tag may go with its last reference: let go once it is no longer listed.
    for (CfsMemoryTag* tag : dropped)
        tag->ReleaseTreeRef();
    for (const auto& branch : m_branches)
        removed += branch->RemoveTag(pTag);
    return removed;
}

void CfsBranch::RemoveAll()
{
    // Sub-branches first, so a tag listed twice is let go of in a fixed order.
    m_branches.clear();
    m_index.clear();
    m_nUnnamed = 0;
    std::vector<CfsMemoryTag*> tags;
    tags.swap(m_tags);
    for (CfsMemoryTag* tag : tags)
        tag->ReleaseTreeRef();
}
