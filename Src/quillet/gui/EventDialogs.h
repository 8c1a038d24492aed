#pragma once
// The event trigger, event and MMI emulation dialogs' windows over their forms.
#include "quillet/forms/EventForms.h"
#include "quillet/gui/FormDialog.h"

namespace quillet::gui {

// 172 "Configure Event Triggers for Group".
class EventTriggersDialog final : public FormDialog {
public:
    EventTriggersDialog(CEventTriggersForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CEventTriggersForm& m_form;
    QTreeWidget* m_rows;
};

// 173 "Configure Event".
class EventConfigDialog final : public FormDialog {
public:
    EventConfigDialog(CEventConfigForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CEventConfigForm& m_form;
    QLineEdit *m_name, *m_interval;
    QComboBox* m_type;
    QCheckBox* m_onlyActive;
    QListWidget* m_items;
};

// 170 "MMI Emulation Configuration".
class MmiDialog final : public FormDialog {
public:
    MmiDialog(CMmiForm& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CMmiForm& m_form;
    QCheckBox *m_enable, *m_onlyDisplayed;
    QLineEdit* m_seconds;
    QLabel* m_secondsLabel;
};

} // namespace quillet::gui
