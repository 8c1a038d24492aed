#pragma once
// A dialog window for any form: its fields laid out in their group boxes
// (label, control, unit, a button beside), OK and Cancel. Every change goes to
// the form at once and the form's answer is shown; OK asks the form, which
// may refuse and keep the dialog open with the refused control focused.
#include <QDialog>

#include <map>

#include "kestrun/shell/forms/DialogForm.h"

class QDialogButtonBox;

namespace shell::gui {

class FormDialog final : public QDialog {
public:
    explicit FormDialog(DialogForm& form, QWidget* parent = nullptr);

    // The control of a field (QLineEdit, QCheckBox, QComboBox or QPushButton).
    QWidget* Control(int nId) const;
    QDialogButtonBox* Buttons() const { return m_pButtons; }
    // The form's fields as they stand.
    void ShowFields(int nExceptId = 0);

    void accept() override;

private:
    void Build();
    QWidget* MakeControl(const FormField& field);
    void OnChanged(int nId);

    DialogForm& m_form;
    std::map<int, QWidget*> m_controls;
    QDialogButtonBox* m_pButtons = nullptr;
};

// Shows forms and the folder picker on the desktop.
class QtFormPresenter final : public FormPresenter {
public:
    int Run(DialogForm& form) override;
    int RunFolderPicker(COXFolderPickerDlg& picker) override;
};

} // namespace shell::gui
