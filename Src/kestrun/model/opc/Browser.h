#pragma once
// The address-space browser of the OPC bridge: walks the callback's browse tree
// for the toolkit (which keeps each client's position and walks this one browser
// there before every call). Every step runs under the callback lock; a listing
// is taken whole when it begins, so a tree rebuilt meanwhile is never walked.
#include <string>
#include <string_view>
#include <vector>

#include "platform/opc/server/OPCBrowser.h"

class CfsBranch;
class CfsCallback;
class CfsMemoryTag;

class CfsBrowser : public COPCBrowser {
public:
    enum : DWORD { BROWSE_BRANCHES = 1, BROWSE_LEAVES = 2, BROWSE_FLAT = 3 };

    explicit CfsBrowser(CfsCallback& owner);
    ~CfsBrowser() override;

    DWORD QueryOrganization() override;
    BOOL MoveUp() override;
    BOOL MoveDown(std::string_view name) override;
    // Leaves and flat entries pass the name pattern, the data-type filter
    // (VT_EMPTY: any) and the access filter (0: any; else every bit asked for).
    HRESULT BeginBrowse(DWORD browseType, std::string_view filter, VARTYPE dataTypeFilter,
                        DWORD accessFilter) override;
    std::string GetItemID(std::string_view name) override;
    std::string NextName() override;
    void Reset() override;
    HRESULT CheckName(std::string_view name) override;
    std::string GetAccessPath(std::string_view itemId) override;

    // The tree was cleared: back to the root, listing dropped. Under the callback lock.
    void OnTreeReset();

private:
    bool Accepts(const CfsMemoryTag& tag) const;
    bool MatchesFilter(const std::string& name) const;
    void CollectFlat(const CfsBranch& branch);

    CfsCallback& m_owner;
    std::size_t m_nPosition = 0;
    CfsBranch* m_pCurrent = nullptr;   // null: the root
    std::vector<std::string> m_names;  // the listing begun last
    DWORD m_nBrowseType = BROWSE_BRANCHES;
    std::string m_strFilter;
    VARTYPE m_vtFilter = VT_EMPTY;
    DWORD m_dwAccessFilter = 0;
};
