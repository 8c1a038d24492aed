#include "quillet/gui/ServerDialogs.h"

#include "quillet/text/ResourceIds.h"

#include "platform/win/VersionInfo.h"

#include <algorithm>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillet::gui {

using namespace quillet::ctl;

// ---- select a server ----

ServerSelectDialog::ServerSelectDialog(CServerSelectForm& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_SELECT_SERVER, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    // Labels with their controls as buddies: "&" marks the mnemonic instead of showing.
    auto* locatedLabel = new QLabel(Text(IDC_LOCATED_SERVERS), this);
    layout->addWidget(locatedLabel);
    layout->addWidget(m_located = List(IDC_LOCATED_SERVERS));
    locatedLabel->setBuddy(m_located);
    auto* grid = new QGridLayout;
    Field(grid, IDC_PROGID, m_progId = Edit(IDC_PROGID));
    const int nodeRow = grid->rowCount();
    grid->addWidget(m_nodeLabel = Label(IDC_NODE_LABEL), nodeRow, 0);
    grid->addWidget(m_node = Edit(IDC_NODE), nodeRow, 1);
    m_nodeLabel->setWordWrap(false);
    m_nodeLabel->setBuddy(m_node);
    layout->addLayout(grid);
    layout->addLayout(Buttons({IDC_BROWSE, IDOK, IDCANCEL}));
    connect(m_located, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.Choose(row); }));
    connect(m_located, &QListWidget::itemDoubleClicked, this, [this] { OnOk(); });
    connect(m_progId, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.progId = S(t); }));
    connect(m_node, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.node = S(t); }));
    connect(findChild<QPushButton*>(IdName(IDC_BROWSE)), &QPushButton::clicked, this, Act([this] { m_form.Browse(); }));
    Sync();
}

void ServerSelectDialog::Refresh()
{
    Show(m_located, m_form.located, m_form.selected);
    Show(m_progId, m_form.progId);
    Show(m_node, m_form.node);
    m_node->setEnabled(m_form.nodeEnabled);
    m_nodeLabel->setEnabled(m_form.nodeEnabled);
}

// ---- enumerate servers ----

ServerEnumDialog::ServerEnumDialog(CServerEnumForm& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ENUM_SERVERS, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    auto* nodeRow = new QHBoxLayout;
    nodeRow->addWidget(new QLabel(Text(IDC_ENUM_NODE), this));
    nodeRow->addWidget(m_node = Edit(IDC_ENUM_NODE));
    QPushButton* connectButton = Button(IDC_CONNECT);
    nodeRow->addWidget(connectButton);
    layout->addLayout(nodeRow);
    auto* radios = new QHBoxLayout;
    radios->addWidget(m_servers10 = Radio(IDC_SERVERS_10));
    radios->addWidget(m_servers20 = Radio(IDC_SERVERS_20));
    layout->addLayout(radios);
    layout->addWidget(m_servers = List(IDC_SERVER_LIST));
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    m_select = findChild<QPushButton*>(IdName(IDOK));
    connect(m_node, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.node = S(t); }));
    connect(connectButton, &QPushButton::clicked, this, Act([this] { m_form.Connect(); }));
    connect(m_servers10, &QRadioButton::clicked, this,
            Act([this] { m_form.SelectCategory(CServerEnumForm::kServers10); }));
    connect(m_servers20, &QRadioButton::clicked, this,
            Act([this] { m_form.SelectCategory(CServerEnumForm::kServers20); }));
    connect(m_servers, &QListWidget::currentRowChanged, this, Act([this](int row) { m_form.selected = row; }));
    m_form.Open();
    Sync();
}

void ServerEnumDialog::Refresh()
{
    Show(m_node, m_form.node);
    m_servers10->setChecked(m_form.category == CServerEnumForm::kServers10);
    m_servers20->setChecked(m_form.category == CServerEnumForm::kServers20);
    std::vector<std::string> names;
    for (const auto& e : m_form.servers) names.push_back(e.progId);
    Show(m_servers, names, m_form.selected);
    m_select->setEnabled(m_form.CanSelect());
}

// ---- status ----

ServerStatusDialog::ServerStatusDialog(CServerStatusForm& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_SERVER_STATUS, texts, parent)
{
    auto* grid = new QGridLayout;
    const std::string* values[] = {&form.vendor,    &form.version,   &form.state,       &form.groups,
                                   &form.bandwidth, &form.startTime, &form.currentTime, &form.lastUpdate};
    for (UINT i = 0; i < 8; ++i) {
        const UINT id = IDC_STATUS_VENDOR + i;
        grid->addWidget(Label(id + kStatusLabelOffset), int(i), 0);
        QLineEdit* value = Edit(id, true);
        value->setText(Q(*values[i]));
        // Wide enough for the whole text (a server's long vendor text within reason),
        // shown from its start.
        constexpr int kWidest = 480;
        value->setMinimumWidth(std::min(value->fontMetrics().horizontalAdvance(value->text()) + 16, kWidest));
        value->setCursorPosition(0);
        grid->addWidget(value, int(i), 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(Buttons({IDOK}));
}

// ---- about ----

AboutDialog::AboutDialog(const StringTable& texts, QWidget* parent) : FormDialog(dlg::IDD_ABOUT, texts, parent)
{
    auto* layout = new QVBoxLayout(this);
    QLabel* version = Label(IDC_ABOUT_VERSION);
    version->setText(Q(FormatText(texts.ControlText(dlg::IDD_ABOUT, IDC_ABOUT_VERSION), win::version::kText)));
    layout->addWidget(version);
    layout->addLayout(Buttons({IDOK}));
}

// ---- columns ----

SelectColumnsDialog::SelectColumnsDialog(CSelectColumnsDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_SELECT_COLUMNS, texts, parent), m_form(form)
{
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(Text(IDC_DISABLED_COLUMNS), this), 0, 0);
    lists->addWidget(new QLabel(Text(IDC_ENABLED_COLUMNS), this), 0, 1);
    lists->addWidget(m_disabled = List(IDC_DISABLED_COLUMNS), 1, 0);
    lists->addWidget(m_enabled = List(IDC_ENABLED_COLUMNS), 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    connect(m_disabled, &QListWidget::itemDoubleClicked, this, Act([this](QListWidgetItem* item) {
                m_form.Move(IDC_DISABLED_COLUMNS, m_disabled->row(item));
            }));
    connect(m_enabled, &QListWidget::itemDoubleClicked, this, Act([this](QListWidgetItem* item) {
                m_form.Move(IDC_ENABLED_COLUMNS, m_enabled->row(item));
            }));
    Sync();
}

void SelectColumnsDialog::Refresh()
{
    auto titles = [this](const std::vector<int>& ids) {
        std::vector<std::string> out;
        for (int id : ids) out.push_back(m_form.Title(id));
        return out;
    };
    Show(m_disabled, titles(m_form.disabled), -1);
    Show(m_enabled, titles(m_form.enabled), -1);
}

// ---- view update timer ----

UpdateTimerDialog::UpdateTimerDialog(CUpdateTimerDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_UPDATE_TIMER, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_period = Edit(IDC_PERIOD));
    layout->addWidget(m_message = Label(IDC_PERIOD_TEXT));
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    connect(m_period, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.periodText = S(t); }));
    Sync();
}

void UpdateTimerDialog::Refresh()
{
    Show(m_period, m_form.periodText);
    m_message->setText(Q(m_form.message));
}

void UpdateTimerDialog::OnOk()
{
    const bool valid = m_form.Validate();
    Sync();
    if (valid) accept();
}

// ---- log ----

LogConfigDialog::LogConfigDialog(CLogConfigDlg& form, UiServices& ui, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_LOG_CONFIG, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < m_form.checks.size(); ++i) {
        const UINT control = m_form.checks[i].control;
        QCheckBox* check = Check(control);
        grid->addWidget(check, int(i / 2), int(i % 2));
        m_checks.push_back(check);
        connect(check, &QCheckBox::clicked, this, Act([this, control](bool on) { m_form.SetChecked(control, on); }));
    }
    layout->addLayout(grid);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path = Edit(IDC_LOG_PATH, true));
    QPushButton* browse = Button(IDC_LOG_BROWSE);
    pathRow->addWidget(browse);
    layout->addLayout(pathRow);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));
    connect(browse, &QPushButton::clicked, this, Act([this, &ui] { m_form.Browse(ui); }));
    Sync();
}

void LogConfigDialog::Refresh()
{
    for (std::size_t i = 0; i < m_checks.size(); ++i) m_checks[i]->setChecked(m_form.checks[i].checked);
    Show(m_path, m_form.path);
}

} // namespace quillet::gui
