#include "fenwold/MainFrame.h"

#include "fenwold/CommHdlr.h"
#include "fenwold/DataView.h"
#include "fenwold/FenwoldDialogs.h"
#include "fenwold/FenwoldDoc.h"
#include "fenwold/LogView.h"
#include "fenwold/Resource.h"
#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/Document.h"
#include "kestrun/shell/app/RecentFileList.h"

using namespace fenwold;

namespace {

using shell::MenuEntry;

constexpr UINT kSeparator = 0;

MenuEntry Menu(Language language, UINT nMenuId, std::initializer_list<MenuEntry> items)
{
    return MenuEntry{nMenuId, MenuText(language, nMenuId), false, items};
}

MenuEntry Command(Language language, UINT nId, bool bCheck = false)
{
    return MenuEntry{nId, nId == kSeparator ? std::string() : MenuText(language, nId), bCheck, {}};
}

// The menu 128 and the toolbar; the texts are the string table's.
shell::MenuBarModel BuildMenus(Language l)
{
    const MenuEntry gap{};
    shell::MenuBarModel model;
    model.menus = {
        Menu(l, IDM_FILE,
             {Command(l, ID_FILE_NEW), Command(l, ID_FILE_OPEN), Command(l, ID_FILE_SAVE), Command(l, ID_FILE_SAVE_AS),
              gap, Command(l, ID_FILE_IMPORT), Command(l, ID_FILE_EXPORT), gap, Command(l, ID_FILE_PRINT),
              Command(l, ID_FILE_PRINT_PREVIEW), Command(l, ID_FILE_PRINT_SETUP), gap, Command(l, ID_FILE_MRU_FILE1),
              Command(l, ID_FILE_MRU_FILE1 + 1), Command(l, ID_FILE_MRU_FILE1 + 2), Command(l, ID_FILE_MRU_FILE4),
              gap, Command(l, ID_APP_EXIT)}),
        Menu(l, IDM_EDIT,
             {Command(l, ID_EDIT_UNDO), gap, Command(l, ID_EDIT_CUT), Command(l, ID_EDIT_COPY),
              Command(l, ID_EDIT_PASTE), gap, Command(l, ID_EDIT_OPTION)}),
        Menu(l, IDM_CONFIG,
             {Command(l, ID_CONFIG_SELECT_TOPIC), Command(l, ID_CONFIG_SELECT_ITEM), gap,
              Command(l, ID_CONFIG_EDIT_DEVICE), Command(l, ID_CONFIG_EDIT_MEMORY), gap,
              Command(l, ID_CONFIG_NEW_DEVICE), Command(l, ID_CONFIG_NEW_MEMORY), gap,
              Command(l, ID_CONFIG_DELETE_DEVICE), Command(l, ID_CONFIG_DELETE_MEMORY), gap,
              Command(l, ID_SERIAL_SETUP), Command(l, ID_SET_TIMEOUT), Command(l, ID_COMMAND_DIAG),
              Command(l, ID_REDUNDANCY)}),
        Menu(l, IDM_MODE, {Command(l, ID_MODE_ONLINE, true), Command(l, ID_MODE_OFFLINE, true)}),
        Menu(l, IDM_VIEW,
             {Command(l, ID_VIEW_TOOLBAR, true), Command(l, ID_VIEW_STATUS_BAR, true), gap,
              Command(l, ID_VIEW_EVENTS, true), Command(l, ID_VIEW_COMMANDS, true), Command(l, ID_VIEW_ERRORS, true),
              Command(l, ID_VIEW_ACTIONS, true), Command(l, ID_VIEW_INIT_VALUES, true),
              Menu(l, IDM_VIEW_TRACES,
                   {Command(l, ID_VIEW_TRACE_DETAIL, true), Command(l, ID_VIEW_TRACE_SIMPLE, true),
                    Command(l, ID_VIEW_NO_TRACE, true)}),
              gap, Command(l, ID_VIEW_LOGTOFILE, true)}),
        Menu(l, IDM_HELP, {Command(l, ID_APP_ABOUT)}),
    };
    model.toolBar = {ID_FILE_NEW,    ID_FILE_OPEN,    ID_FILE_SAVE, kSeparator,  ID_FILE_IMPORT,
                     ID_FILE_EXPORT, kSeparator,      ID_MODE_ONLINE, ID_MODE_OFFLINE, kSeparator,
                     ID_APP_ABOUT};
    return model;
}

// Commands there is nothing for in a form of lists and a log: no selection to
// edit, nothing to print.
bool IsUnavailable(UINT nId)
{
    switch (nId) {
    case ID_EDIT_UNDO:
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_FILE_PRINT_SETUP:
        return true;
    default:
        return false;
    }
}

// "&1 name" of a recent file, as the menu shows it.
std::string RecentText(int nIndex, const std::string& strPath)
{
    const std::size_t slash = strPath.find_last_of('/');
    return "&" + std::to_string(nIndex + 1) + " " + (slash == std::string::npos ? strPath : strPath.substr(slash + 1));
}

} // namespace

CMainFrame::CMainFrame(Language language) : m_language(language), m_menus(BuildMenus(language)) {}

std::shared_ptr<CdsCommHdlr> CMainFrame::NewCommHdlr(DWORD) { return std::make_shared<CCommHdlr>(); }

std::unique_ptr<CdsDataView> CMainFrame::NewDataView() { return std::make_unique<CDataView>(); }

std::unique_ptr<CdsLogView> CMainFrame::NewLogView() { return std::make_unique<CLogView>(); }

std::unique_ptr<CdsOptionDlg> CMainFrame::NewOptionDlg() { return NewFenwoldOptionDlg(); }

CFenwoldDoc* CMainFrame::GetFenwoldDoc() const { return dynamic_cast<CFenwoldDoc*>(GetActiveDocument()); }

CLogView* CMainFrame::GetFenwoldLogView() const { return dynamic_cast<CLogView*>(GetLogView()); }

bool CMainFrame::DataViewCommandOf(UINT nId, CdsDataView::Command& command)
{
    using C = CdsDataView::Command;
    static constexpr struct {
        UINT nId;
        C value;
    } kCommands[] = {
        {ID_CONFIG_NEW_DEVICE, C::NewDevice},       {ID_CONFIG_EDIT_DEVICE, C::EditDevice},
        {ID_CONFIG_DELETE_DEVICE, C::DeleteDevice}, {ID_CONFIG_NEW_MEMORY, C::NewBlock},
        {ID_CONFIG_EDIT_MEMORY, C::EditBlock},      {ID_CONFIG_DELETE_MEMORY, C::DeleteBlock},
        {ID_SERIAL_SETUP, C::PortSetup},            {ID_SET_TIMEOUT, C::Timeouts},
        {ID_COMMAND_DIAG, C::CommandDiag},          {ID_REDUNDANCY, C::Redundancy},
        {ID_MODE_ONLINE, C::Online},                {ID_MODE_OFFLINE, C::Offline},
    };
    return CommandOfTable(kCommands, nId, command);
}

bool CMainFrame::OnCommand(UINT nId)
{
    CdsDataView::Command command{};
    if (DataViewCommandOf(nId, command)) {
        if (CdsDataView* pView = GetDataView())
            pView->OnCommand(command);
        return true;
    }
    if (CLogView* pLog = GetFenwoldLogView(); pLog && pLog->OnCommand(nId))
        return true;
    if (nId == ID_CONFIG_SELECT_TOPIC || nId == ID_CONFIG_SELECT_ITEM) {
        if (CdsDataView* pView = GetDataView())
            pView->FocusList(nId == ID_CONFIG_SELECT_ITEM);
        return true;
    }
    if (IsUnavailable(nId))
        return true;
    CFenwoldDoc* pDoc = GetFenwoldDoc();
    switch (nId) {
    case ID_FILE_SAVE:
        if (pDoc)
            pDoc->DoFileSave();
        return true;
    case ID_APP_EXIT:
        PostMessage(WM_CLOSE);
        return true;
    default:
        if (pDoc && pDoc->OnCommand(nId))
            return true;
        return CdsServerFrame::OnCommand(nId);
    }
}

void CMainFrame::OnUpdateCommand(UINT nId, shell::CommandState& state) const
{
    CdsServerFrame::OnUpdateCommand(nId, state);
    CdsDataView::Command command{};
    CdsLogView::Command logCommand{};
    if (DataViewCommandOf(nId, command)) {
        const CdsDataView* pView = GetDataView();
        state.bEnabled = pView && pView->IsCommandEnabled(command);
        state.bChecked = pView && pView->IsCommandChecked(command);
    } else if (CLogView::CommandOf(nId, logCommand)) {
        const CdsLogView* pLog = GetLogView();
        state.bEnabled = pLog != nullptr;
        state.bChecked = pLog && pLog->IsCommandChecked(logCommand);
    } else if (IsUnavailable(nId)) {
        state.bEnabled = false;
    } else if (nId >= ID_FILE_MRU_FILE1 && nId <= ID_FILE_MRU_FILE4) {
        const shell::RecentFileList* pList = GetApplication() ? GetApplication()->GetRecentFileList() : nullptr;
        const std::size_t index = nId - ID_FILE_MRU_FILE1;
        const std::size_t count = pList ? pList->GetFiles().size() : 0;
        if (index < count)
            state.strText = RecentText(static_cast<int>(index), pList->GetFiles()[index]);
        // An empty list shows its caption, disabled, in the first place.
        state.bEnabled = index < count;
        state.bVisible = index < count || index == 0;
    }
}

std::string CMainFrame::GetCommandPrompt(UINT nId) const { return PromptText(m_language, nId); }

std::string CMainFrame::GetWindowTitle() const
{
    const shell::Document* pDoc = GetActiveDocument();
    return pDoc ? pDoc->GetTitle() + " - Fenwold" : "Fenwold";
}
