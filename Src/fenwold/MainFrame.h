#pragma once
// The MELSEC server's main window: the framework's main window with the
// program's menu bar and toolbar (texts in the user's language), the data view
// above the log view, and MELSEC communication handlers. Its commands go to
// the data view, the log view, the document or the application.
#include "fenwold/FenwoldStrings.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/server/ServerFrame.h"

class CFenwoldDoc;
class CLogView;

class CMainFrame : public CdsServerFrame {
public:
    explicit CMainFrame(fenwold::Language language = fenwold::LanguageOfEnvironment());

    // A MELSEC handler for every port.
    std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD dwPortHandle) override;
    std::unique_ptr<CdsDataView> NewDataView() override;
    std::unique_ptr<CdsLogView> NewLogView() override;
    // The option dialog with the program's file filter.
    std::unique_ptr<CdsOptionDlg> NewOptionDlg() override;

    const shell::MenuBarModel* GetMenuBar() const override { return &m_menus; }
    void OnUpdateCommand(UINT nId, shell::CommandState& state) const override;
    std::string GetCommandPrompt(UINT nId) const override;
    // "<document> - Fenwold", as the document template names the window.
    std::string GetWindowTitle() const override;

    fenwold::Language GetLanguage() const { return m_language; }
    // The data view's command of a Config or Mode menu item.
    static bool DataViewCommandOf(UINT nId, CdsDataView::Command& command);

protected:
    bool OnCommand(UINT nId) override;

private:
    CFenwoldDoc* GetFenwoldDoc() const;
    CLogView* GetFenwoldLogView() const;

    fenwold::Language m_language;
    shell::MenuBarModel m_menus;
};
