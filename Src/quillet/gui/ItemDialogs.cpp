#include "quillet/gui/ItemDialogs.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/gui/BrowserWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet::gui {

using namespace quillet::ctl;

namespace {

void AddTypes(QComboBox* combo, std::span<const VARTYPE> types)
{
    for (VARTYPE vt : types) combo->addItem(Q(TypeChoiceText(vt)));
}

template <std::size_t N>
std::vector<std::vector<std::string>> Rows(const std::vector<std::array<std::string, N>>& rows)
{
    std::vector<std::vector<std::string>> out;
    for (const auto& r : rows) out.emplace_back(r.begin(), r.end());
    return out;
}

} // namespace

// ---- add item ----

AddItemDialog::AddItemDialog(CAddItemDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ADD_ITEM, texts, parent), m_form(form)
{
    if (!m_form.Browser()) m_form.Open();
    auto* grid = new QGridLayout;
    Field(grid, IDC_ACCESS_PATH, m_path = Edit(IDC_ACCESS_PATH));
    Field(grid, IDC_ITEM_NAME, m_name = Edit(IDC_ITEM_NAME));
    Field(grid, IDC_DATA_TYPE, m_type = Combo(IDC_DATA_TYPE));
    Field(grid, IDC_ACCESS_RIGHTS, m_rights = Edit(IDC_ACCESS_RIGHTS, true));
    AddTypes(m_type, AddItemTypes());
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_active = Check(IDC_ITEM_ACTIVE));
    checks->addWidget(m_array = Check(IDC_ITEM_ARRAY));
    grid->addLayout(checks, grid->rowCount(), 1);
    auto* list = new QVBoxLayout;
    list->addWidget(new QLabel(Text(IDC_LIST), this));
    list->addWidget(m_entries = List(IDC_LIST));
    auto* top = new QHBoxLayout;
    top->addLayout(grid, 1);
    top->addLayout(list, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    if (CAddressBrowser* browser = m_form.Browser()) {
        m_browser = new BrowserWidget(*browser, texts, dlg::IDD_ADD_ITEM, this);
        m_browser->changed = [this] { Sync(); };
        layout->addWidget(m_browser, 1);
    }
    layout->addWidget(m_message = Label(IDC_MESSAGE));
    layout->addLayout(Buttons({IDC_ADD_ITEM, IDC_VALIDATE, IDC_ITEM_PROPERTIES, IDOK, IDCANCEL}));
    m_validate = findChild<QPushButton*>(IdName(IDC_VALIDATE));
    m_properties = findChild<QPushButton*>(IdName(IDC_ITEM_PROPERTIES));

    connect(m_path, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.accessPath = S(t); }));
    connect(m_name, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.SetItemName(S(t)); }));
    connect(m_type, &QComboBox::activated, this, Act([this](int i) { m_form.ChooseType(i); }));
    connect(m_active, &QCheckBox::clicked, this, Act([this](bool on) { m_form.active = on; }));
    connect(m_array, &QCheckBox::clicked, this, Act([this](bool on) { m_form.array = on; }));
    connect(m_entries, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.Select(row); }));
    connect(findChild<QPushButton*>(IdName(IDC_ADD_ITEM)), &QPushButton::clicked, this, Act([this] { m_form.AddEntry(); }));
    connect(m_validate, &QPushButton::clicked, this, Act([this] { m_form.Validate(); }));
    connect(m_properties, &QPushButton::clicked, this, Act([this] { m_form.ShowProperties(); }));
    resize(640, 560);
    Sync();
}

void AddItemDialog::Refresh()
{
    std::vector<std::string> ids;
    for (const auto& e : m_form.Entries()) ids.push_back(e->GetItemID());
    Show(m_entries, ids, m_form.Current());
    Show(m_path, m_form.accessPath);
    Show(m_name, m_form.itemName);
    Show(m_rights, m_form.accessText);
    m_type->setCurrentIndex(m_form.type);
    m_active->setChecked(m_form.active);
    m_array->setChecked(m_form.array);
    m_array->setEnabled(m_form.ArrayEnabled());
    m_validate->setEnabled(m_form.CanValidate());
    m_properties->setEnabled(m_form.CanShowProperties());
    m_message->setText(Q(m_form.message));
    if (m_browser) m_browser->Sync();
}

void AddItemDialog::OnOk()
{
    m_form.Confirm();
    accept();
}

// ---- write ----

WriteItemDialog::WriteItemDialog(CWriteItemDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_WRITE_ITEM, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_ACCESS_PATH, m_path = Edit(IDC_ACCESS_PATH, true));
    Field(grid, IDC_SERVER_HANDLE, m_handle = Edit(IDC_SERVER_HANDLE, true));
    Field(grid, IDC_WRITE_VALUE, m_value = Edit(IDC_WRITE_VALUE));
    Field(grid, IDC_DATA_TYPE, m_type = Combo(IDC_DATA_TYPE));
    Field(grid, IDC_WRITE_LENGTH, m_length = Edit(IDC_WRITE_LENGTH));
    grid->addWidget(m_array = Check(IDC_WRITE_ARRAY), grid->rowCount(), 1);
    AddTypes(m_type, WriteTypes());
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(Text(IDC_LIST), this), 0, 0);
    lists->addWidget(new QLabel(Text(IDC_ELEMENTS), this), 0, 1);
    lists->addWidget(m_items = List(IDC_LIST), 1, 0);
    lists->addWidget(m_elements = List(IDC_ELEMENTS), 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(grid);
    layout->addWidget(m_message = Label(IDC_MESSAGE));
    layout->addLayout(Buttons({IDOK, IDCANCEL}));

    connect(m_items, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.SelectItem(row); }));
    connect(m_elements, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.SelectElement(row); }));
    connect(m_value, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.valueText = S(t); }));
    connect(m_type, &QComboBox::activated, this, Act([this](int i) { m_form.ChooseType(i); }));
    connect(m_array, &QCheckBox::clicked, this, Act([this](bool on) { m_form.SetArray(on); }));
    connect(m_length, &QLineEdit::editingFinished, this, Act([this] {
                if (m_length->text() != Q(m_form.lengthText)) m_form.SetLength(S(m_length->text()));
            }));
    Sync();
}

void WriteItemDialog::Refresh()
{
    std::vector<std::string> ids;
    for (CItem* item : m_form.items) ids.push_back(item->GetItemID());
    Show(m_items, ids, m_form.current);
    Show(m_elements, m_form.elements, m_form.array ? m_form.element : -1);
    m_elements->setEnabled(m_form.array);
    Show(m_path, m_form.accessPath);
    Show(m_handle, m_form.serverHandle);
    Show(m_value, m_form.valueText);
    m_type->setCurrentIndex(m_form.type);
    m_array->setChecked(m_form.array);
    Show(m_length, m_form.lengthText);
    m_length->setEnabled(m_form.LengthEnabled());
    m_message->setText(Q(m_form.message));
}

void WriteItemDialog::OnOk()
{
    m_form.Confirm();
    accept();
}

// ---- item state ----

ItemStateDialog::ItemStateDialog(CItemStateDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ITEM_STATE, texts, parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label(IDC_STATIC_TEXT));
    layout->addLayout(Buttons({IDC_STATE_ACTIVE, IDC_STATE_INACTIVE, IDCANCEL}));
    auto* active = findChild<QPushButton*>(IdName(IDC_STATE_ACTIVE));
    auto* inactive = findChild<QPushButton*>(IdName(IDC_STATE_INACTIVE));
    connect(active, &QPushButton::clicked, this, [this, &form] {
        form.active = TRUE;
        accept();
    });
    connect(inactive, &QPushButton::clicked, this, [this, &form] {
        form.active = FALSE;
        accept();
    });
    (form.activeFirst ? active : inactive)->setDefault(true);
    (form.activeFirst ? active : inactive)->setFocus();
}

// ---- client handles ----

ClientHandlesDialog::ClientHandlesDialog(CClientHandlesDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_CLIENT_HANDLES, texts, parent)
{
    auto* layout = new QVBoxLayout(this);
    const auto& c = CClientHandlesDlg::kColumns;
    QTreeWidget* table = Table(IDC_LIST, {{c[0].title, c[0].width}, {c[1].title, c[1].width}, {c[2].title, c[2].width}});
    Show(table, Rows(form.rows));
    layout->addWidget(table);
    QLabel* message = Label(IDC_MESSAGE);
    message->setText(Q(form.message));
    layout->addWidget(message);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    findChild<QPushButton*>(IdName(IDOK))->setEnabled(form.okEnabled);
}

// ---- data types ----

DataTypeDialog::DataTypeDialog(CDataTypeDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_DATA_TYPE, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_TYPE_ITEM_ID, m_itemId = Edit(IDC_TYPE_ITEM_ID, true));
    Field(grid, IDC_TYPE_LIST, m_type = Combo(IDC_TYPE_LIST));
    grid->addWidget(m_array = Check(IDC_TYPE_ARRAY), grid->rowCount(), 1);
    AddTypes(m_type, SortedTypes());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text(IDC_LIST), this));
    layout->addWidget(m_rows = List(IDC_LIST));
    layout->addLayout(grid);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    connect(m_rows, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.SelectRow(row); }));
    connect(m_type, &QComboBox::activated, this, Act([this](int i) { m_form.type = i; }));
    connect(m_array, &QCheckBox::clicked, this, Act([this](bool on) { m_form.array = on; }));
    Sync();
}

void DataTypeDialog::Refresh()
{
    Show(m_rows, m_form.RowTexts(), m_form.row);
    Show(m_itemId, m_form.itemId);
    m_type->setCurrentIndex(m_form.type);
    m_array->setChecked(m_form.array);
}

void DataTypeDialog::OnOk()
{
    m_form.Confirm();
    accept();
}

// ---- item enumeration ----

ItemEnumDialog::ItemEnumDialog(CItemEnumDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ITEM_ENUM, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    const std::pair<UINT, std::string CItemEnumDlg::*> fields[] = {
        {IDC_ENUM_ACCESS_PATH, &CItemEnumDlg::accessPath},   {IDC_ENUM_ITEM_ID, &CItemEnumDlg::itemId},
        {IDC_ENUM_CLIENT_HANDLE, &CItemEnumDlg::clientHandle}, {IDC_ENUM_SERVER_HANDLE, &CItemEnumDlg::serverHandle},
        {IDC_ENUM_ACCESS_RIGHTS, &CItemEnumDlg::accessRights}, {IDC_ENUM_BLOB_SIZE, &CItemEnumDlg::blobSize},
        {IDC_ENUM_REQUESTED_TYPE, &CItemEnumDlg::requestedType},
        {IDC_ENUM_CANONICAL_TYPE, &CItemEnumDlg::canonicalType},
    };
    for (auto [id, member] : fields) {
        QLineEdit* edit = Edit(id, true);
        Field(grid, id, edit);
        m_fields.emplace_back(edit, member);
    }
    grid->addWidget(m_active = Check(IDC_ENUM_ACTIVE), grid->rowCount(), 1);
    m_active->setEnabled(false);
    auto* top = new QHBoxLayout;
    top->addWidget(m_items = List(IDC_LIST), 1);
    top->addLayout(grid, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_message = Label(IDC_MESSAGE));
    layout->addLayout(Buttons({IDC_ENUM_CLONE, IDOK}));
    m_clone = findChild<QPushButton*>(IdName(IDC_ENUM_CLONE));
    connect(m_items, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.Show(row); }));
    connect(m_clone, &QPushButton::clicked, this, Act([this] { m_form.Clone(); }));
    Sync();
}

void ItemEnumDialog::Refresh()
{
    Show(m_items, m_form.itemIds, m_form.selected);
    for (auto [edit, member] : m_fields) Show(edit, m_form.*member);
    m_active->setChecked(m_form.active);
    m_clone->setEnabled(m_form.canClone);
    m_message->setText(Q(m_form.message));
}

// ---- tables ----

ItemPropertiesDialog::ItemPropertiesDialog(CItemPropertiesDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ITEM_PROPERTIES, texts, parent)
{
    auto* grid = new QGridLayout;
    QLineEdit* id = Edit(IDC_PROPERTIES_ITEM_ID, true);
    id->setText(Q(form.itemId));
    Field(grid, IDC_PROPERTIES_ITEM_ID, id);
    const auto& c = CItemPropertiesDlg::kColumns;
    QTreeWidget* table =
        Table(IDC_PROPERTIES_LIST, {{c[0].title, c[0].width}, {c[1].title, c[1].width}, {c[2].title, c[2].width}});
    Show(table, Rows(form.rows));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(table);
    layout->addLayout(Buttons({IDOK}));
    resize(440, 300);
}

ValidationResultsDialog::ValidationResultsDialog(CValidationResultsDlg& form, const StringTable& texts,
                                                 QWidget* parent)
    : FormDialog(dlg::IDD_VALIDATION_RESULTS, texts, parent)
{
    const auto& c = CValidationResultsDlg::kColumns;
    QTreeWidget* table = Table(IDC_LIST, {{c[0].title, c[0].width}, {c[1].title, c[1].width}, {c[2].title, c[2].width},
                                          {c[3].title, c[3].width}, {c[4].title, c[4].width}});
    Show(table, Rows(form.rows));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addLayout(Buttons({IDOK}));
    resize(480, 300);
}

} // namespace quillet::gui
