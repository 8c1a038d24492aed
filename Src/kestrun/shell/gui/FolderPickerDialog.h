#pragma once
// The folder picker's window: the path combo with a button that opens the
// typed folder, the folder tree, the tree's option check boxes, "Refresh",
// OK and Cancel, over the picker's core.
#include <QDialog>

#include <map>

#include "kestrun/shell/forms/FolderPicker.h"

class QCheckBox;
class QPushButton;

namespace shell::gui {

class HistoryComboWidget;
class ShellTreeWidget;

class FolderPickerDialog final : public QDialog {
public:
    explicit FolderPickerDialog(COXFolderPickerDlg& picker, QWidget* parent = nullptr);
    ~FolderPickerDialog() override;

    ShellTreeWidget* Tree() const { return m_pTree; }
    HistoryComboWidget* Path() const { return m_pPath; }
    QCheckBox* Check(int nId) const;
    QPushButton* OpenButton() const { return m_pOpen; }

    void accept() override;
    void done(int nResult) override;

private:
    COXFolderPickerDlg& m_picker;
    ShellTreeWidget* m_pTree;
    HistoryComboWidget* m_pPath = nullptr;
    QPushButton* m_pOpen = nullptr;
    std::map<int, QCheckBox*> m_checks;
    bool m_bDone = false;
};

} // namespace shell::gui
