#pragma once
// A node of the OPC browse tree: devices, named blocks and the parts of dotted
// point names. A branch lists tags without owning them (each listed tag is kept
// allocated until the branch lets go of it) and owns its sub-branches. Names
// compare ignoring case. The callback lock guards every tree.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CfsMemoryTag;

class CfsBranch {
public:
    explicit CfsBranch(std::string strName);
    ~CfsBranch();
    CfsBranch(const CfsBranch&) = delete;
    CfsBranch& operator=(const CfsBranch&) = delete;

    const std::string& GetName() const { return m_strName; }
    CfsBranch* GetParent() const { return m_pParent; }
    const std::vector<CfsMemoryTag*>& GetTags() const { return m_tags; }
    const std::vector<std::unique_ptr<CfsBranch>>& GetBranches() const { return m_branches; }

    // Appends the sub-branch and sets its parent.
    CfsBranch* AddBranch(std::unique_ptr<CfsBranch> pBranch);
    // Appends the tag (null is ignored), found by the short name it has now.
    void AddTag(CfsMemoryTag* pTag);
    // First sub-branch of that name, ignoring case; null when none.
    CfsBranch* FindBranch(std::string_view name) const;
    CfsBranch* FindOrAddBranch(std::string_view name);
    // A point's key name as a leaf: every '.'-part but the last (a '.' at
    // position 0 splits nothing) finds or adds a sub-branch; the tag is named
    // from that branch and listed there under the last part.
    void AddLeaf(const std::string& strKeyName, CfsMemoryTag* pTag);

    // The tag an item id names below this branch; a bracketed id is rewritten first.
    CfsMemoryTag* FindTag(std::string_view itemId) const;
    // The item id of a tag's short name or a sub-branch name below this branch;
    // empty when nothing has that name.
    std::string GetItemID(std::string_view name) const;
    // The parent's path, the name and a '.'; empty for the root.
    std::string GetPath() const;

    // Drops the tag from this branch and every branch below; the count dropped.
    int RemoveTag(const CfsMemoryTag* pTag);
    // Drops every tag and deletes every sub-branch, depth first.
    void RemoveAll();

private:
    CfsMemoryTag* FindTagRewritten(std::string_view itemId) const;
    // The first listed tag whose short name is the name, ignoring case; null when none.
    CfsMemoryTag* FindListedTag(std::string_view name) const;
    void IndexTag(CfsMemoryTag* pTag);

    std::string m_strName;
    std::vector<CfsMemoryTag*> m_tags;                    // listed, not owned
    // The first listed tag of each short name (upper-cased) as it was listed, so an
    // item is found without a scan. A tag listed without a name may be named later
    // (by an item id): a branch that lists such a tag scans the names it does not
    // know; so does a lookup whose tag was renamed since.
    std::unordered_map<std::string, CfsMemoryTag*> m_index;
    int m_nUnnamed = 0;
    std::vector<std::unique_ptr<CfsBranch>> m_branches;   // owned
    CfsBranch* m_pParent = nullptr;
};

namespace kestrun {
// ASCII comparison ignoring case, as every browse-tree name compares.
bool EqualNoCase(std::string_view a, std::string_view b);
}
