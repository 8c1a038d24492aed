#include "quillet/gui/GroupDialogs.h"

#include "quillet/text/ResourceIds.h"

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

// ---- add group ----

AddGroupDialog::AddGroupDialog(CAddGroupDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ADD_GROUP, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_GROUP_NAME, m_name = Edit(IDC_GROUP_NAME));
    Field(grid, IDC_GROUP_RATE, m_rate = Edit(IDC_GROUP_RATE));
    Field(grid, IDC_GROUP_TIME_BIAS, m_bias = Edit(IDC_GROUP_TIME_BIAS));
    Field(grid, IDC_GROUP_DEADBAND, m_deadband = Edit(IDC_GROUP_DEADBAND));
    Field(grid, IDC_GROUP_ADVISE, m_advise = Combo(IDC_GROUP_ADVISE));
    for (const char* mode : CAddGroupDlg::kAdviseModes) m_advise->addItem(Q(mode));
    auto* checks = new QHBoxLayout;
    for (auto* check : {m_active = Check(IDC_GROUP_ACTIVE), m_timeOut = Check(IDC_GROUP_ALLOW_TIMEOUT),
                        m_measure = Check(IDC_GROUP_MEASURE_RATE), m_timeStamps = Check(IDC_GROUP_TIMESTAMPS)})
        checks->addWidget(check);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(checks);
    layout->addLayout(Buttons({IDOK, IDCANCEL}));

    auto& s = m_form.settings;
    connect(m_name, &QLineEdit::textEdited, this, Act([&s](const QString& t) { s.name = S(t); }));
    connect(m_rate, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.updateRateText = S(t); }));
    connect(m_bias, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.timeBiasText = S(t); }));
    connect(m_deadband, &QLineEdit::textEdited, this, Act([this](const QString& t) { m_form.deadbandText = S(t); }));
    connect(m_advise, &QComboBox::activated, this, Act([this](int i) { m_form.ChooseAdviseMode(i); }));
    connect(m_active, &QCheckBox::clicked, this, Act([&s](bool on) { s.active = on; }));
    connect(m_timeOut, &QCheckBox::clicked, this, Act([&s](bool on) { s.allowTimeOut = on; }));
    connect(m_measure, &QCheckBox::clicked, this, Act([&s](bool on) { s.measureRate = on; }));
    connect(m_timeStamps, &QCheckBox::clicked, this, Act([&s](bool on) { s.timeStamps = on; }));
    Sync();
}

void AddGroupDialog::Refresh()
{
    const auto& s = m_form.settings;
    Show(m_name, s.name);
    Show(m_rate, m_form.updateRateText);
    Show(m_bias, m_form.timeBiasText);
    Show(m_deadband, m_form.deadbandText);
    m_advise->setCurrentIndex(int(s.adviseMode));
    m_active->setChecked(s.active);
    m_timeOut->setChecked(s.allowTimeOut);
    m_measure->setChecked(s.measureRate);
    m_timeStamps->setChecked(s.timeStamps);
    m_timeStamps->setEnabled(m_form.TimeStampsEnabled());
}

void AddGroupDialog::OnOk()
{
    std::string prompt;
    if (!m_form.Exchange(Texts(), prompt)) return ShowPrompt(this, Texts(), prompt);
    accept();
}

// ---- group state ----

GroupStateDialog::GroupStateDialog(CGroupStateDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_GROUP_STATE, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_STATE_NAME, m_name = Edit(IDC_STATE_NAME));
    Field(grid, IDC_STATE_RATE, m_rate = Edit(IDC_STATE_RATE));
    Field(grid, IDC_STATE_TIME_BIAS, m_bias = Edit(IDC_STATE_TIME_BIAS));
    Field(grid, IDC_STATE_DEADBAND, m_deadband = Edit(IDC_STATE_DEADBAND));
    Field(grid, IDC_STATE_LCID, m_lcid = Edit(IDC_STATE_LCID));
    Field(grid, IDC_STATE_CLIENT_HANDLE, m_client = Edit(IDC_STATE_CLIENT_HANDLE, true));
    Field(grid, IDC_STATE_SERVER_HANDLE, m_server = Edit(IDC_STATE_SERVER_HANDLE, true));
    grid->addWidget(m_active = Check(IDC_STATE_IS_ACTIVE), grid->rowCount(), 1);
    m_message = Label(IDC_MESSAGE);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_message);
    QHBoxLayout* buttons = Buttons({IDOK, IDCANCEL, IDC_APPLY, IDC_EDIT_GROUP, IDC_CHANGE});
    m_apply = findChild<QPushButton*>(IdName(IDC_APPLY));
    m_edit = findChild<QPushButton*>(IdName(IDC_EDIT_GROUP));
    m_change = findChild<QPushButton*>(IdName(IDC_CHANGE));
    layout->addLayout(buttons);

    auto edited = [this](std::string CGroupStateDlg::*field) {
        return Act([this, field](const QString& t) {
            m_form.*field = S(t);
            m_form.Changed();
        });
    };
    connect(m_name, &QLineEdit::textEdited, this, edited(&CGroupStateDlg::name));
    connect(m_rate, &QLineEdit::textEdited, this, edited(&CGroupStateDlg::updateRate));
    connect(m_bias, &QLineEdit::textEdited, this, edited(&CGroupStateDlg::timeBias));
    connect(m_deadband, &QLineEdit::textEdited, this, edited(&CGroupStateDlg::deadband));
    connect(m_lcid, &QLineEdit::textEdited, this, edited(&CGroupStateDlg::lcid));
    connect(m_active, &QCheckBox::clicked, this, Act([this](bool on) {
                m_form.active = on;
                m_form.Changed();
            }));
    connect(m_change, &QPushButton::clicked, this, Act([this] { m_form.Changed(); }));
    connect(m_edit, &QPushButton::clicked, this, Act([this] { m_form.Edit(); }));
    connect(m_apply, &QPushButton::clicked, this, Act([this] { m_form.Apply(); }));
    Sync();
}

void GroupStateDialog::Refresh()
{
    Show(m_name, m_form.name);
    Show(m_rate, m_form.updateRate);
    Show(m_bias, m_form.timeBias);
    Show(m_deadband, m_form.deadband);
    Show(m_lcid, m_form.lcid);
    Show(m_client, m_form.clientHandle);
    Show(m_server, m_form.serverHandle);
    for (QLineEdit* box : {m_name, m_rate, m_bias, m_deadband, m_lcid}) box->setReadOnly(!m_form.editing);
    m_active->setChecked(m_form.active);
    m_active->setEnabled(m_form.editing);
    m_message->setText(Q(m_form.message));
    m_apply->setEnabled(m_form.applyEnabled);
    m_edit->setEnabled(m_form.editEnabled);
    m_change->setEnabled(false);
}

void GroupStateDialog::OnOk()
{
    m_form.Confirm();
    accept();
}

// ---- group by name ----

GroupByNameDialog::GroupByNameDialog(CGroupByNameDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_GROUP_BY_NAME, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text(IDC_GROUP_NAMES), this));
    layout->addWidget(m_names = List(IDC_GROUP_NAMES));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Text(IDC_RETURNED), this));
    row->addWidget(m_returned = Edit(IDC_RETURNED, true));
    layout->addLayout(row);
    layout->addLayout(Buttons({IDC_TEST, IDOK}));
    connect(findChild<QPushButton*>(IdName(IDC_TEST)), &QPushButton::clicked, this, Act([this] { m_form.Test(); }));
    connect(m_names, &QListWidget::currentRowChanged, this, Act([this](int r) { m_form.Select(r); }));
    connect(m_names, &QListWidget::itemDoubleClicked, this, Act([this](QListWidgetItem*) { m_form.Test(); }));
    Sync();
}

void GroupByNameDialog::Refresh()
{
    Show(m_names, m_form.names, m_form.selected);
    Show(m_returned, m_form.returned);
}

// ---- group enumeration ----

GroupEnumDialog::GroupEnumDialog(CGroupEnumDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_GROUP_ENUM, texts, parent), m_form(form)
{
    auto* grid = new QGridLayout;
    Field(grid, IDC_ENUM_SCOPE, m_scope = Combo(IDC_ENUM_SCOPE));
    Field(grid, IDC_ENUM_KIND, m_kind = Combo(IDC_ENUM_KIND));
    for (const std::string& scope : m_form.scopes) m_scope->addItem(Q(scope));
    for (const char* kind : CGroupEnumDlg::kKinds) m_kind->addItem(Q(kind));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_lines = List(IDC_ENUM_LINES));
    layout->addWidget(m_message = Label(IDC_MESSAGE));
    layout->addLayout(Buttons({IDC_BUILD_LIST, IDC_CLEAR_LIST, IDOK}));
    m_build = findChild<QPushButton*>(IdName(IDC_BUILD_LIST));
    m_clear = findChild<QPushButton*>(IdName(IDC_CLEAR_LIST));
    connect(m_scope, &QComboBox::activated, this, Act([this](int i) { m_form.scope = i; }));
    connect(m_kind, &QComboBox::activated, this, Act([this](int i) { m_form.kind = i; }));
    connect(m_build, &QPushButton::clicked, this, Act([this] { m_form.BuildList(); }));
    connect(m_clear, &QPushButton::clicked, this, Act([this] { m_form.ClearList(); }));
    connect(m_lines, &QListWidget::itemDoubleClicked, this,
            Act([this](QListWidgetItem* item) { m_form.OpenLine(m_lines->row(item)); }));
    Sync();
}

void GroupEnumDialog::Refresh()
{
    m_scope->setCurrentIndex(m_form.scope);
    m_kind->setCurrentIndex(m_form.kind);
    Show(m_lines, m_form.lines, -1);
    m_message->setText(Q(m_form.message));
    const bool open = m_form.HasEnumerator();
    m_build->setEnabled(!open);
    m_scope->setEnabled(!open);
    m_kind->setEnabled(!open);
    m_clear->setEnabled(open);
}

void GroupEnumDialog::done(int result)
{
    // Closing releases the enumerator as "Clear List" does.
    m_form.ClearList();
    FormDialog::done(result);
}

// ---- error strings ----

ErrorStringDialog::ErrorStringDialog(CErrorStringDlg& form, const StringTable& texts, QWidget* parent)
    : FormDialog(dlg::IDD_ERROR_STRING, texts, parent), m_form(form)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_rows = Table(IDC_LIST, {{Q(texts.Text(IDS_ERROR_ID)), 90},
                                                {Q(texts.Text(IDS_ERROR_SERVER_TEXT)), 380}}));
    layout->addLayout(Buttons({IDOK}));
    resize(520, 420);
    Sync();
}

void ErrorStringDialog::Refresh()
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : m_form.rows) rows.push_back({r.code, r.text});
    Show(m_rows, rows);
}

} // namespace quillet::gui
