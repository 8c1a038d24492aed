#include "quillet/gui/EventDialogs.h"

#include "quillet/doc/GroupEvent.h"
#include "quillet/text/ResourceIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quillet::gui {

using namespace quillet::ctl;

// ---- event triggers ----

EventTriggersDialog::EventTriggersDialog(CEventTriggersDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_EVENT_TRIGGERS, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_rows = Table(IDC_LIST, {{Q(texts.Text(IDS_EVENT_COLUMN_NAME)), 120},
                                                {Q(texts.Text(IDS_EVENT_COLUMN_TYPE)), 150},
                                                {Q(texts.Text(IDS_EVENT_COLUMN_TIME)), 80}}));
    layout->addLayout(Buttons({IDC_ADD_EVENT, IDC_EDIT_EVENT, IDC_REMOVE_EVENT, IDOK}));
    auto button = [this](UINT id) { return findChild<QPushButton*>(IdName(id)); };
    connect(button(IDC_ADD_EVENT), &QPushButton::clicked, this, Act([this] { m_form.AddEvent(); }));
    connect(button(IDC_EDIT_EVENT), &QPushButton::clicked, this, Act([this] { m_form.EditEvent(); }));
    connect(button(IDC_REMOVE_EVENT), &QPushButton::clicked, this, Act([this] { m_form.RemoveEvent(); }));
    connect(m_rows, &QTreeWidget::currentItemChanged, this,
            Act([this](QTreeWidgetItem* item, QTreeWidgetItem*) { m_form.selected = m_rows->indexOfTopLevelItem(item); }));
    connect(m_rows, &QTreeWidget::itemDoubleClicked, this, Act([this](QTreeWidgetItem*, int) { m_form.EditEvent(); }));
    resize(420, 300);
    Sync();
}

void EventTriggersDialog::Refresh()
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : m_form.Rows(Texts())) rows.push_back({r.name, r.type, r.time});
    Show(m_rows, rows, m_form.selected);
}

// ---- one event ----

EventConfigDialog::EventConfigDialog(CEventConfigDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_EVENT_CONFIG, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_EVENT_NAME, m_name = Edit(IDC_EVENT_NAME));
    Field(grid, IDC_EVENT_INTERVAL, m_interval = Edit(IDC_EVENT_INTERVAL));
    Field(grid, IDC_EVENT_TYPE, m_type = Combo(IDC_EVENT_TYPE));
    for (DWORD type = EVENT_ASYNC_READ_CACHE; type <= EVENT_TOGGLE_ACTIVE; ++type)
        m_type->addItem(Q(CGroupEvent::TypeName(texts, type)));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_onlyActive = Check(IDC_EVENT_ONLY_ACTIVE));
    layout->addWidget(new QLabel(Text(IDC_LIST), this));
    layout->addWidget(m_items = List(IDC_LIST, true));
    m_items->setSelectionMode(QAbstractItemView::MultiSelection);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    connect(m_name, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.name = S(t); }));
    connect(m_interval, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.intervalText = S(t); }));
    connect(m_type, &QComboBox::activated, this, Act([this](int i) { m_form.type = i; }));
    connect(m_onlyActive, &QCheckBox::clicked, this, Act([this](bool on) { m_form.onlyIfActive = on; }));
    connect(m_items, &QListWidget::itemSelectionChanged, this, Act([this] {
                for (int i = 0; i < m_items->count(); ++i) m_form.items[i].selected = m_items->item(i)->isSelected();
            }));
    Sync();
}

void EventConfigDialog::Refresh()
{
    Show(m_name, m_form.name);
    Show(m_interval, m_form.intervalText);
    m_type->setCurrentIndex(m_form.type);
    m_onlyActive->setChecked(m_form.onlyIfActive);
    std::vector<std::string> names;
    for (const auto& e : m_form.items) names.push_back(e.name);
    Show(m_items, names, -1);
    for (int i = 0; i < m_items->count(); ++i) m_items->item(i)->setSelected(m_form.items[i].selected);
}

void EventConfigDialog::OnOk()
{
    std::string prompt;
    m_form.Confirm(prompt);
    // A field that did not parse is reported; the event takes the other values all the same.
    if (!prompt.empty()) ShowPrompt(this, Texts(), prompt);
    accept();
}

// ---- MMI emulation ----

MMIEmulationDialog::MMIEmulationDialog(CMMIEmulationDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_MMI_EMULATION, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable = Check(IDC_MMI_ENABLE));
    auto* grid = new QGridLayout;
    grid->addWidget(m_secondsLabel = Label(IDC_MMI_SECONDS_LABEL), 0, 0);
    grid->addWidget(m_seconds = Edit(IDC_MMI_SECONDS), 0, 1);
    layout->addLayout(grid);
    layout->addWidget(m_onlyDisplayed = Check(IDC_MMI_ONLY_DISPLAYED));
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    if (m_form.secondsText.empty()) m_form.secondsText = std::to_string(m_form.seconds);
    connect(m_enable, &QCheckBox::clicked, this, Act([this](bool on) { m_form.SetEnabled(on); }));
    connect(m_onlyDisplayed, &QCheckBox::clicked, this, Act([this](bool on) { m_form.onlyDisplayedActive = on; }));
    connect(m_seconds, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.secondsText = S(t); }));
    Sync();
}

void MMIEmulationDialog::Refresh()
{
    m_enable->setChecked(m_form.enabled);
    m_onlyDisplayed->setChecked(m_form.onlyDisplayedActive);
    m_onlyDisplayed->setEnabled(m_form.OnlyDisplayedEnabled());
    Show(m_seconds, m_form.secondsText);
    m_seconds->setEnabled(m_form.SecondsEnabled());
    m_secondsLabel->setEnabled(m_form.SecondsEnabled());
}

void MMIEmulationDialog::OnOk()
{
    std::string prompt;
    if (!m_form.Exchange(Texts(), prompt)) return ShowPrompt(this, Texts(), prompt);
    accept();
}

} // namespace quillet::gui
