#pragma once
// The item dialogs' windows over their forms.
#include "quillet/forms/ItemForms.h"
#include "quillet/forms/WriteItemDlg.h"
#include "quillet/gui/FormDialog.h"

namespace quillet::gui {

class BrowserWidget;

// 132 "Add New OPC Item", with the address-space browser.
class AddItemDialog final : public FormDialog {
public:
    AddItemDialog(CAddItemDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CAddItemDlg& m_form;
    QLineEdit *m_path, *m_name, *m_rights;
    QCheckBox *m_active, *m_array;
    QComboBox* m_type;
    QListWidget* m_entries;
    QPushButton *m_validate, *m_properties;
    QLabel* m_message;
    BrowserWidget* m_browser = nullptr;
};

// 144 "Write Item".
class WriteItemDialog final : public FormDialog {
public:
    WriteItemDialog(CWriteItemDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CWriteItemDlg& m_form;
    QListWidget *m_items, *m_elements;
    QLineEdit *m_path, *m_handle, *m_value, *m_length;
    QComboBox* m_type;
    QCheckBox* m_array;
    QLabel* m_message;
};

// 168 "Item State".
class ItemStateDialog final : public FormDialog {
public:
    ItemStateDialog(CItemStateDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

// 163 "Change Client Handles".
class ClientHandlesDialog final : public FormDialog {
public:
    ClientHandlesDialog(CClientHandlesDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

// 165 "Change Data Type".
class DataTypeDialog final : public FormDialog {
public:
    DataTypeDialog(CDataTypeDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    void OnOk() override;
    CDataTypeDlg& m_form;
    QListWidget* m_rows;
    QComboBox* m_type;
    QCheckBox* m_array;
    QLineEdit* m_itemId;
};

// 166 "Item Enumeration".
class ItemEnumDialog final : public FormDialog {
public:
    ItemEnumDialog(CItemEnumDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override;
    CItemEnumDlg& m_form;
    QListWidget* m_items;
    std::vector<std::pair<QLineEdit*, std::string CItemEnumDlg::*>> m_fields;
    QCheckBox* m_active;
    QPushButton* m_clone;
    QLabel* m_message;
};

// 182 "Item Properties" and 167 "Validation Results": tables.
class ItemPropertiesDialog final : public FormDialog {
public:
    ItemPropertiesDialog(CItemPropertiesDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

class ValidationResultsDialog final : public FormDialog {
public:
    ValidationResultsDialog(CValidationResultsDlg& form, const StringTable& texts, QWidget* parent = nullptr);

private:
    void Refresh() override {}
};

} // namespace quillet::gui
