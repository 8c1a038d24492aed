#pragma once
// The group test dialogs' windows over their forms.
#include "quillet/forms/GroupForms.h"
#include "quillet/gui/FormDialog.h"

namespace quillet::gui {

// 131 "Add New Group".
class AddGroupDialog final : public FormDialog {
public:
    AddGroupDialog(CAddGroupDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CAddGroupDlg& m_form;
    QLineEdit *m_name, *m_bias, *m_rate, *m_deadband;
    QCheckBox *m_active, *m_timeOut, *m_measure, *m_timeStamps;
    QComboBox* m_advise;
};

// 154 "Group State".
class GroupStateDialog final : public FormDialog {
public:
    GroupStateDialog(CGroupStateDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CGroupStateDlg& m_form;
    QLineEdit *m_name, *m_rate, *m_bias, *m_deadband, *m_lcid, *m_client, *m_server;
    QCheckBox* m_active;
    QLabel* m_message;
    QPushButton *m_apply, *m_edit, *m_change;
};

// 149 "Get Group by Name".
class GroupByNameDialog final : public FormDialog {
public:
    GroupByNameDialog(CGroupByNameDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CGroupByNameDlg& m_form;
    QListWidget* m_names;
    QLineEdit* m_returned;
};

// 153 "Group Enumeration".
class GroupEnumDialog final : public FormDialog {
public:
    GroupEnumDialog(CGroupEnumDlg& form, const StringTable& texts, QWidget* parent = nullptr);
    void done(int result) override;

private:
    void Refresh() override;
    CGroupEnumDlg& m_form;
    QComboBox *m_scope, *m_kind;
    QPushButton *m_build, *m_clear;
    QListWidget* m_lines;
    QLabel* m_message;
};

// 150 "Get Error String".
class ErrorStringDialog final : public FormDialog {
public:
    ErrorStringDialog(CErrorStringDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CErrorStringDlg& m_form;
    QTreeWidget* m_rows;
};

} // namespace quillet::gui
