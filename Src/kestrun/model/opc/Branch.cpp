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

void CfsBranch::AddTag(CfsMemoryTag* pTag)
{
    if (!pTag)
        return;
    pTag->AddTreeRef();
    m_tags.push_back(pTag);
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
    branch->AddTag(pTag);
    pTag->SetNamesFromBranch(branch->GetPath(), std::string(rest));
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
    for (CfsMemoryTag* tag : branch->m_tags)
        if (EqualNoCase(tag->GetShortName(), itemId))
            return tag;
    return nullptr;
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
    for (CfsMemoryTag* tag : branch->m_tags)
        if (EqualNoCase(tag->GetShortName(), name))
            return branch->GetPath() + std::string(name);
    if (branch->FindBranch(name))
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
    int removed = 0;
    for (auto it = m_tags.begin(); it != m_tags.end();) {
        if (*it == pTag) {
            CfsMemoryTag* tag = *it;
            it = m_tags.erase(it);
            ++removed;
            tag->ReleaseTreeRef();
        } else {
            ++it;
        }
    }
    for (const auto& branch : m_branches)
        removed += branch->RemoveTag(pTag);
    return removed;
}

void CfsBranch::RemoveAll()
{
    // Sub-branches first, so a tag listed twice is let go of in a fixed order.
    m_branches.clear();
    std::vector<CfsMemoryTag*> tags;
    tags.swap(m_tags);
    for (CfsMemoryTag* tag : tags)
        tag->ReleaseTreeRef();
}
