#pragma once
// The windows of the server selection, enumeration, status and about dialogs, and of
// the connection window's configuration dialogs, over their forms.
#include "quillet/forms/ConfigForms.h"
#include "quillet/forms/ServerForms.h"
#include "quillet/gui/FormDialog.h"

#include <vector>

namespace quillet::gui {

// 130 "Select an OPC Server".
class ServerSelectDialog final : public FormDialog {
public:
    ServerSelectDialog(CServerSelectForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CServerSelectForm& m_form;
    QListWidget* m_located;
    QLineEdit *m_progId, *m_node;
    QLabel* m_nodeLabel;
};

// 183 "Enumerate OPC Servers".
class ServerEnumDialog final : public FormDialog {
public:
    ServerEnumDialog(CServerEnumForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CServerEnumForm& m_form;
    QLineEdit* m_node;
    QRadioButton *m_servers10, *m_servers20;
    QListWidget* m_servers;
    QPushButton* m_select;
};

// 151 "Server Status".
class ServerStatusDialog final : public FormDialog {
public:
    ServerStatusDialog(CServerStatusForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

// 100: the program's name and version.
class AboutDialog final : public FormDialog {
public:
    AboutDialog(const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

// 152 "Select Columns".
class SelectColumnsDialog final : public FormDialog {
public:
    SelectColumnsDialog(CSelectColumnsDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CSelectColumnsDlg& m_form;
    QListWidget *m_disabled, *m_enabled;
};

// 164 "Change View Update Timer".
class UpdateTimerDialog final : public FormDialog {
public:
    UpdateTimerDialog(CUpdateTimerDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CUpdateTimerDlg& m_form;
    QLineEdit* m_period;
    QLabel* m_message;
};

// 176 "Configure Log".
class LogConfigDialog final : public FormDialog {
public:
    LogConfigDialog(CLogConfigDlg& form, UiServices& ui, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CLogConfigDlg& m_form;
    std::vector<QCheckBox*> m_checks;
    QLineEdit* m_path;
};

} // namespace quillet::gui
