#pragma once
// A combo box that keeps the texts last used, newest first, can keep them in
// the registry, and carries a small toolbar of item commands (new, delete,
// browse). This is the box without its window: its list, edit text and
// selection, the toolbar's buttons and the commands.
//
// Application thread only.
#include <functional>
#include <string>
#include <vector>

#include "kestrun/shell/app/FileDialogEx.h"
#include "platform/registry/Registry.h"

namespace shell {

class COXHistoryCombo {
public:
    // Where the toolbar sits; any other value places it above at the left.
    enum EToolbarPosition {
        TBPNone = 1,
        TBPHorizontalTopLeft,
        TBPHorizontalTopCenter,
        TBPHorizontalTopRight,
        TBPHorizontalBottomLeft,
        TBPHorizontalBottomCenter,
        TBPHorizontalBottomRight,
        TBPVerticalLeftTop,
        TBPVerticalLeftCenter,
        TBPVerticalLeftBottom,
        TBPVerticalRightTop,
        TBPVerticalRightCenter,
        TBPVerticalRightBottom,
    };
    // Toolbar buttons, in toolbar order.
    enum Button { kNew = 0, kDelete, kBrowse, kReserved1, kReserved2, kButtonCount = 10 };
    enum : UINT {
        IDR_HISTORY_TOOLBAR = 23330,
        ID_HISTORY_NEW = 23331,
        ID_HISTORY_DELETE,
        ID_HISTORY_BROWSE,
        ID_HISTORY_RESERVED1,
        ID_HISTORY_RESERVED2,
    };
    // What the box tells its parent.
    enum : int { CBN_SELCHANGE = 1, CBN_EDITCHANGE = 5 };
    static constexpr int kDefaultMaxHistory = 6;

    explicit COXHistoryCombo(EToolbarPosition position = TBPVerticalRightCenter, bool bFlush = false);

    // --- the list ---
    const std::vector<std::string>& GetItems() const { return m_items; }
    int GetCount() const { return static_cast<int>(m_items.size()); }
    int GetCurSel() const { return m_nCurSel; }
    // Selecting an entry puts it into the edit text; -1 selects none.
    void SetCurSel(int nIndex);
    const std::string& GetEditText() const { return m_strEdit; }
    void SetEditText(std::string text) { m_strEdit = std::move(text); }

    // Empty text: the edit text. Nothing for an empty text; an equal entry
    // moves to the top, where the text is selected; entries beyond the
    // maximum go. True when the text was new to the list.
    bool AddNewItem(const std::string& text = {});
    // Index -1: the selection. The entry now at its place is selected (and the
    // parent told), else the one before it. True when one was deleted.
    bool DeleteItem(int nIndex = -1);
    // A file dialog with the stored parameters; its choice becomes the edit
    // text and the parent is told.
    bool BrowseItem();
    bool CanAddNewItem() const { return !m_strEdit.empty(); }
    bool CanDeleteItem() const { return m_nCurSel >= 0; }
    bool CanBrowseItem() const { return true; }
    // A toolbar button is enabled when its test holds and the box is enabled;
    // the reserved ones never are.
    bool IsButtonEnabled(int nButton) const;
    void EnableWindow(bool bEnable) { m_bEnabled = bEnable; }
    bool IsWindowEnabled() const { return m_bEnabled; }
    // A toolbar command; false for one that is not the toolbar's.
    bool OnToolbarCommand(UINT nId);
    // A button's command string, "<prompt>\n<tooltip>".
    static const char* GetButtonTooltip(int nButton);
    // What the button's tooltip shows: the second part of its command string.
    static std::string GetButtonTip(int nButton);

    void SetMaxHistoryCount(int nCount);
    int GetMaxHistoryCount() const { return m_nMaxHistory; }
    void ShowButton(int nButton, bool bShow);
    bool IsButtonShown(int nButton) const;
    void SetToolbarResource(UINT nId) { m_nToolbarResource = nId; }
    UINT GetToolbarResource() const { return m_nToolbarResource; }
    EToolbarPosition GetToolbarPosition() const { return m_position; }
    bool IsToolbarFlush() const { return m_bFlush; }
    void SetFileDialogParams(bool bOpen, std::string strDefExt, std::string strFileName, DWORD dwFlags,
                             std::string strFilter);

    // Registry: root\Software\<company>\<application>\HistoryCombo, the value
    // the entries joined by "|" (an entry holding "|" is left out); an empty
    // list deletes the value. Empty company or application: the application's
    // registry key and profile name. Saving with bFlag adds the edit text
    // first; restoring with it selects the first entry.
    bool SaveContents(const std::string& strValueName, const std::string& strCompany = {},
                      const std::string& strApplication = {}, registry::Hive hive = registry::Hive::CurrentUser,
                      bool bFlag = true);
    bool RestoreContents(const std::string& strValueName, const std::string& strCompany = {},
                         const std::string& strApplication = {}, registry::Hive hive = registry::Hive::CurrentUser,
                         bool bFlag = true);
    // Restores at once while the window exists, and saves when it goes.
    void SetAutoPersistent(const std::string& strValueName, const std::string& strCompany = {},
                           const std::string& strApplication = {});
    void RemoveAutoPersistent() { m_bAutoPersist = false; }
    // The window was made / goes.
    void OnCreate();
    void OnDestroy();
    bool IsWindow() const { return m_bWindow; }

    // The parent's notifications (CBN_SELCHANGE, CBN_EDITCHANGE).
    std::function<void(int)> onNotify;

private:
    void Notify(int nCode) const;
    std::string KeyPath(const std::string& strCompany, const std::string& strApplication) const;

    EToolbarPosition m_position;
    bool m_bFlush;
    int m_nMaxHistory = kDefaultMaxHistory;
    bool m_shown[kButtonCount] = {true, true, true};
    UINT m_nToolbarResource = IDR_HISTORY_TOOLBAR;
    bool m_bEnabled = true;
    bool m_bWindow = false;
    std::vector<std::string> m_items;
    int m_nCurSel = -1;
    std::string m_strEdit;
    bool m_bAutoPersist = false;
    std::string m_strValueName, m_strCompany, m_strApplication;
    // The browse dialog's parameters.
    bool m_bOpen = true;
    std::string m_strDefExt;
    std::string m_strFileName = "*.*";
    DWORD m_dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    std::string m_strFilter = "All Files (*.*)| *.* ||";
    std::string m_strInitialFolder;
};

} // namespace shell
