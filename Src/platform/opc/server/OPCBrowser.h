#pragma once
// Base of the application's address-space browser. The toolkit keeps each client's
// browse position itself and, before every browse call, walks this one shared browser
// from the root down to that position (MoveUp until false, then MoveDown by name), so
// the browser only has to keep the current branch.
#include "platform/win/WinTypes.h"
#include "platform/com/HResult.h"
#include "platform/com/Variant.h"

#include <string>
#include <string_view>

class COPCBrowser {
public:
    COPCBrowser();
    virtual ~COPCBrowser();
    COPCBrowser(const COPCBrowser&) = delete;
    COPCBrowser& operator=(const COPCBrowser&) = delete;

    // 1 hierarchical, 2 flat.
    virtual DWORD QueryOrganization();
    // To the parent branch; false at the root (the position stays).
    virtual BOOL MoveUp();
    // Into the named sub-branch; false when there is none (the position stays).
    virtual BOOL MoveDown(std::string_view name);
    // Starts a listing: type 1 branches, 2 leaves, 3 flat (all item ids).
    virtual HRESULT BeginBrowse(DWORD browseType, std::string_view filter, VARTYPE dataTypeFilter,
                                DWORD accessFilter);
    // Fully qualified item id of a name at the current branch; empty when unknown.
    virtual std::string GetItemID(std::string_view name);
    // Next name of the listing; empty at the end.
    virtual std::string NextName();
    // Restarts the listing.
    virtual void Reset();
    // E_INVALIDARG when the name is not known at the current branch.
    virtual HRESULT CheckName(std::string_view name);
    // Access paths of an item id; empty when the server has none.
    virtual std::string GetAccessPath(std::string_view itemId);
};
