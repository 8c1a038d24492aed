#pragma once
// The "Select Log Folder" dialog without its window: a folder tree, a path
// combo that remembers the folders last chosen ("Current Folder" in the
// registry) and check boxes for the tree's options. The window hands its tree
// control over when it is made and forwards the user's actions.
//
// Application thread only.
#include <memory>
#include <string>

#include "kestrun/shell/forms/HistoryCombo.h"
#include "kestrun/shell/desktop/ShellFolderTree.h"

namespace shell {

class COXFolderPickerDlg {
public:
    enum ControlId {
        IDC_PATH = 23320,
        IDC_TREE = 23321,
        IDC_ONLY_FILE_SYSTEM = 23322,
        IDC_POPUP_MENU = 23323,
        IDC_NOTIFY_ERRORS = 23324,
        IDC_SHOW_FILES = 23325,
        IDC_DESKTOP_ITEM = 23326,
        IDC_OPEN_PATH = 23327,
        IDC_REFRESH = 23328,
    };
    static constexpr const char* kDefaultTitle = "Shell Namespace";
    static constexpr const char* kPersistName = "Current Folder";

    explicit COXFolderPickerDlg(std::string strInitialFolder = {}, std::string strRootFolder = {},
                                bool bDisplayDesktopItem = true, bool bPopupMenu = true,
                                bool bOnlyFileSystemFolders = true, bool bShowFiles = false,
                                std::string strFileFilter = {}, bool bNotifyErrors = true,
                                std::string strTitle = kDefaultTitle,
                                std::shared_ptr<const NamespaceSetup> setup = nullptr);
    ~COXFolderPickerDlg();

    // Through the installed presenter: IDOK or IDCANCEL.
    int DoModal();
    // The folder chosen at OK.
    const std::string& GetFolderPath() const { return m_strFolderPath; }
    const std::string& GetDialogTitle() const { return m_strTitle; }
    // Before the dialog runs: the caption is made from it then.
    void SetDialogTitle(std::string strTitle) { m_strTitle = std::move(strTitle); }
    // The title, then the root ("Desktop" without one).
    std::string GetCaption() const;
    // The check boxes' texts and states.
    static const char* GetCheckText(int nId);
    bool GetCheck(int nId) const;

    COXHistoryCombo& GetPathCombo() { return m_combo; }
    COXShellFolderTree* GetTree() { return m_pTree.get(); }

    // --- the window ---
    // The combo restores its history; the tree is built over the control and
    // opens the initial folder.
    void OnInitDialog(TreeControl& control);
    // A check box applies its option to the tree at once; the display options
    // rebuild it.
    void OnCheckBox(int nId, bool bChecked);
    // Opens the folder typed in the combo; true when found.
    bool OnOpenPath();
    void OnRefresh();
    // The path of the chosen item goes into the combo; for a file, the folder that holds it.
    void OnTreeSelChanged(TreeItem item);
    void OnOK();
    // The window goes: the combo keeps its history.
    void OnDestroy();

private:
    std::string m_strInitialFolder;
    std::string m_strRootFolder;
    bool m_bDisplayDesktopItem;
    bool m_bPopupMenu;
    bool m_bOnlyFileSystemFolders;
    bool m_bShowFiles;
    std::string m_strFileFilter;
    bool m_bNotifyErrors;
    std::string m_strTitle;
    std::shared_ptr<const NamespaceSetup> m_setup;
    COXHistoryCombo m_combo;
    std::unique_ptr<COXShellFolderTree> m_pTree;
    std::string m_strFolderPath;
};

} // namespace shell
