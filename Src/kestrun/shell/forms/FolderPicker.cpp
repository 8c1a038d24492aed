#include "kestrun/shell/forms/FolderPicker.h"

#include <filesystem>

#include "kestrun/shell/forms/DialogForm.h"
#include "kestrun/shell/app/MessageBox.h"

namespace shell {

COXFolderPickerDlg::COXFolderPickerDlg(std::string strInitialFolder, std::string strRootFolder,
                                       bool bDisplayDesktopItem, bool bPopupMenu, bool bOnlyFileSystemFolders,
                                       bool bShowFiles, std::string strFileFilter, bool bNotifyErrors,
                                       std::string strTitle, std::shared_ptr<const NamespaceSetup> setup)
    : m_strInitialFolder(std::move(strInitialFolder)), m_strRootFolder(std::move(strRootFolder)),
      m_bDisplayDesktopItem(bDisplayDesktopItem), m_bPopupMenu(bPopupMenu),
      m_bOnlyFileSystemFolders(bOnlyFileSystemFolders), m_bShowFiles(bShowFiles),
      m_strFileFilter(std::move(strFileFilter)), m_bNotifyErrors(bNotifyErrors), m_strTitle(std::move(strTitle)),
      m_setup(std::move(setup))
{
}

COXFolderPickerDlg::~COXFolderPickerDlg() = default;

int COXFolderPickerDlg::DoModal()
{
    FormPresenter* presenter = CurrentFormPresenter();
    return presenter && presenter->RunFolderPicker(*this) == IDOK ? IDOK : IDCANCEL;
}

std::string COXFolderPickerDlg::GetCaption() const
{
    return m_strTitle + " [Root: " + (m_strRootFolder.empty() ? std::string("Desktop") : m_strRootFolder) + " ]";
}

const char* COXFolderPickerDlg::GetCheckText(int nId)
{
    switch (nId) {
    case IDC_ONLY_FILE_SYSTEM: return "Show &only file system folders";
    case IDC_POPUP_MENU: return "Show right click popup &menu";
    case IDC_NOTIFY_ERRORS: return "Notify about &errors";
    case IDC_SHOW_FILES: return "Show &files";
    case IDC_DESKTOP_ITEM: return "Display <&Desktop> item";
    default: return "";
    }
}

bool COXFolderPickerDlg::GetCheck(int nId) const
{
    switch (nId) {
    case IDC_ONLY_FILE_SYSTEM: return m_bOnlyFileSystemFolders;
    case IDC_POPUP_MENU: return m_bPopupMenu;
    case IDC_NOTIFY_ERRORS: return m_bNotifyErrors;
    case IDC_SHOW_FILES: return m_bShowFiles;
    case IDC_DESKTOP_ITEM: return m_bDisplayDesktopItem;
    default: return false;
    }
}

void COXFolderPickerDlg::OnInitDialog(TreeControl& control)
{
    m_combo.OnCreate();
    m_combo.SetAutoPersistent(kPersistName);
    for (int button = 0; button < COXHistoryCombo::kButtonCount; ++button)
        m_combo.ShowButton(button, false);
    m_pTree = std::make_unique<COXShellFolderTree>(control, m_setup, m_bPopupMenu, m_bOnlyFileSystemFolders,
                                                   m_bNotifyErrors, m_bDisplayDesktopItem, m_bShowFiles,
                                                   m_strFileFilter);
    m_pTree->InitializeTree(m_strRootFolder);
    m_pTree->SetRedraw(false);
    m_pTree->OpenFolder(m_strInitialFolder, false);
    m_pTree->SetRedraw(true);
    if (const TreeItem selected = control.GetSelectedItem(); selected != kNoItem)
        OnTreeSelChanged(selected);
}

void COXFolderPickerDlg::OnCheckBox(int nId, bool bChecked)
{
    switch (nId) {
    case IDC_ONLY_FILE_SYSTEM: m_bOnlyFileSystemFolders = bChecked; break;
    case IDC_POPUP_MENU: m_bPopupMenu = bChecked; break;
    case IDC_NOTIFY_ERRORS: m_bNotifyErrors = bChecked; break;
    case IDC_SHOW_FILES: m_bShowFiles = bChecked; break;
    case IDC_DESKTOP_ITEM: m_bDisplayDesktopItem = bChecked; break;
    default: return;
    }
    if (!m_pTree)
        return;
    m_pTree->SetOnlyFileSystemFolders(m_bOnlyFileSystemFolders);
    m_pTree->SetEnableContextMenu(m_bPopupMenu);
    m_pTree->SetNotifyError(m_bNotifyErrors);
    m_pTree->SetShowFiles(m_bShowFiles);
    m_pTree->SetShowDesktopItem(m_bDisplayDesktopItem);
    if (nId != IDC_POPUP_MENU && nId != IDC_NOTIFY_ERRORS)
        m_pTree->Refresh(kTreeRoot);
}

bool COXFolderPickerDlg::OnOpenPath()
{
    return m_pTree && m_pTree->OpenFolder(m_combo.GetEditText(), false);
}

void COXFolderPickerDlg::OnRefresh()
{
    if (m_pTree)
        m_pTree->Refresh(kTreeRoot);
}

void COXFolderPickerDlg::OnTreeSelChanged(TreeItem item)
{
    if (!m_pTree)
        return;
    std::string path = m_pTree->GetFullPath(item);
    // A file never becomes the folder: its folder does.
    if (m_pTree->IsFileItem(item))
        path = std::filesystem::path(path).parent_path().string();
    if (!path.empty())
        m_combo.SetEditText(path);
}

void COXFolderPickerDlg::OnOK() { m_strFolderPath = m_combo.GetEditText(); }

void COXFolderPickerDlg::OnDestroy()
{
    m_combo.OnDestroy();
    m_pTree.reset();
}

} // namespace shell
