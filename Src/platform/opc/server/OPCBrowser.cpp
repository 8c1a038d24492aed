#include "platform/opc/server/OPCBrowser.h"

COPCBrowser::COPCBrowser() = default;
COPCBrowser::~COPCBrowser() = default;
DWORD COPCBrowser::QueryOrganization() { return 1; }
BOOL COPCBrowser::MoveUp() { return FALSE; }
BOOL COPCBrowser::MoveDown(std::string_view) { return FALSE; }
HRESULT COPCBrowser::BeginBrowse(DWORD, std::string_view, VARTYPE, DWORD) { return S_OK; }
std::string COPCBrowser::GetItemID(std::string_view) { return {}; }
std::string COPCBrowser::NextName() { return {}; }
void COPCBrowser::Reset() {}
HRESULT COPCBrowser::CheckName(std::string_view name) { return GetItemID(name).empty() ? E_INVALIDARG : S_OK; }
std::string COPCBrowser::GetAccessPath(std::string_view) { return {}; }
