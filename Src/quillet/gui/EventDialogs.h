#pragma once
// The event trigger, event and MMI emulation dialogs' windows over their forms.
#include "quillet/views/EventForms.h"
#include "quillet/gui/FormDialog.h"

namespace quillet::gui {

// 172 "Configure Event Triggers for Group".
class EventTriggersDialog final : public FormDialog {
public:
    EventTriggersDialog(CEventTriggersDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CEventTriggersDlg& m_form;
    QTreeWidget* m_rows;
};

// 173 "Configure Event".
class EventConfigDialog final : public FormDialog {
public:
    EventConfigDialog(CEventConfigDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CEventConfigDlg& m_form;
    QLineEdit *m_name, *m_interval;
    QComboBox* m_type;
    QCheckBox* m_onlyActive;
    QListWidget* m_items;
};

// 170 "MMI Emulation Configuration".
class MMIEmulationDialog final : public FormDialog {
public:
    MMIEmulationDialog(CMMIEmulationDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CMMIEmulationDlg& m_form;
    QCheckBox *m_enable, *m_onlyDisplayed;
    QLineEdit* m_seconds;
    QLabel* m_secondsLabel;
};

} // namespace quillet::gui
