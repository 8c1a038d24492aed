#include "quillet/gui/QtUiServices.h"

#include "quillet/gui/EventDialogs.h"
#include "quillet/gui/GroupDialogs.h"
#include "quillet/gui/ItemDialogs.h"
#include "quillet/gui/ServerDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

#include "qtdispatch/ModalLoops.h"

#include <map>

namespace quillet::gui {

namespace {

struct ButtonAnswer {
    QMessageBox::StandardButton button;
    PromptAnswer answer;
};
constexpr ButtonAnswer kAnswers[] = {{QMessageBox::Ok, PromptAnswer::Ok},
                                     {QMessageBox::Cancel, PromptAnswer::Cancel},
                                     {QMessageBox::Yes, PromptAnswer::Yes},
                                     {QMessageBox::No, PromptAnswer::No},
                                     {QMessageBox::Retry, PromptAnswer::Retry}};

QMessageBox::StandardButtons ButtonsOf(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case PromptButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case PromptButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case PromptButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

// Runs the dialog window W over a form of type F.
template <typename W, typename F, typename... Extra>
bool Run(DialogForm& form, const StringTable& texts, QWidget* parent, Extra&... extra)
{
    W dialog(static_cast<F&>(form), extra..., texts, parent);
    return qtdispatch::ExecModal(dialog) == QDialog::Accepted;
}

} // namespace

QtUiServices::QtUiServices(const StringTable& texts, std::function<QWidget*()> parent)
    : m_texts(texts), m_parent(std::move(parent))
{
}

QtUiServices::~QtUiServices()
{
    while (m_waitDepth-- > 0) QApplication::restoreOverrideCursor();
}

PromptAnswer QtUiServices::MessageBox(std::string_view text, PromptButtons buttons, std::string_view caption)
{
    // A quit under way answers for the person with the first button, the box's
    // default, also for a box it closed.
    const auto firstButton = [buttons] {
        if (buttons == PromptButtons::RetryCancel) return PromptAnswer::Cancel;   // never wait on
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel ? PromptAnswer::Yes
                                                                                        : PromptAnswer::Ok;
    };
    if (qtdispatch::IsQuitting()) return firstButton();
    QMessageBox box(QMessageBox::NoIcon, Q(m_texts.Caption(caption)), Q(text), ButtonsOf(buttons), m_parent ? m_parent() : nullptr);
    // Waiting for ever is not the default: Enter cancels the call.
    if (buttons == PromptButtons::RetryCancel) box.setDefaultButton(QMessageBox::Cancel);
    const int chosen = qtdispatch::ExecModal(box);
    if (qtdispatch::IsQuitting()) return firstButton();
    for (const ButtonAnswer& a : kAnswers)
        if (a.button == chosen) return a.answer;
    return PromptAnswer::Cancel;
}

void QtUiServices::BeginWaitCursor()
{
    ++m_waitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::EndWaitCursor()
{
    if (m_waitDepth == 0) return;
    --m_waitDepth;
    QApplication::restoreOverrideCursor();
}

void QtUiServices::DisableMainWindow()
{
    if (m_disableDepth++ > 0) return;
    QWidget* parent = m_parent ? m_parent() : nullptr;
    QWidget* window = parent ? parent->window() : nullptr;
    if (!window) return;
    // The window's own parts go grey; its dialogs (windows of their own) keep their
    // input and their focus.
    for (QWidget* part : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (part->isWindow() || !part->isEnabled()) continue;
        part->setEnabled(false);
        m_disabled.emplace_back(part);
    }
}

void QtUiServices::EnableMainWindow()
{
    if (m_disableDepth == 0 || --m_disableDepth > 0) return;
    for (const QPointer<QWidget>& part : m_disabled)
        if (part) part->setEnabled(true);
    m_disabled.clear();
}

bool QtUiServices::CallWaiting(std::string_view text)
{
    if (!text.empty() && !m_callBox) {
        // Modal: the windows behind it take no input (nor a close) until the call is over.
        m_callBox = std::make_unique<QProgressDialog>(Q(text), QStringLiteral("Cancel"), 0, 0,
                                                      m_parent ? m_parent() : nullptr);
        m_callBox->setWindowTitle(Q(m_texts.Caption({})));
        m_callBox->setWindowModality(Qt::ApplicationModal);
        m_callBox->setAutoClose(false);
        m_callBox->setAutoReset(false);
        m_callBox->setMinimumDuration(0);
        m_callBox->show();
    }
    // Painting only until the box stands; then its input too.
    QCoreApplication::processEvents(m_callBox ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return !m_callBox || !m_callBox->wasCanceled();
}

void QtUiServices::EndCallWait() { m_callBox.reset(); }

QStringList QtUiServices::NameFilters(std::string_view filter)
{
    const QStringList parts = Q(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) continue;
        // Qt reads the patterns from the parentheses at the end of the label.
        const QString patterns = "(" + QString(parts[i + 1]).replace(';', ' ') + ")";
        filters << (parts[i].endsWith(patterns) ? parts[i] : parts[i] + " " + patterns);
    }
    return filters;
}

std::optional<std::string> QtUiServices::FileDialog(const FileDialogSpec& spec)
{
    QFileDialog dialog(m_parent ? m_parent() : nullptr);
    dialog.setAcceptMode(spec.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(spec.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Q(spec.defaultExt));
    dialog.setNameFilters(NameFilters(spec.filter));
    if (!spec.initialFile.empty()) dialog.selectFile(Q(spec.initialFile));
    if (qtdispatch::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return S(dialog.selectedFiles().front());
}

bool QtUiServices::RunDialog(DialogForm& form)
{
    using Runner = bool (*)(DialogForm&, const StringTable&, QWidget*, UiServices&);
    static const std::map<UINT, Runner> kDialogs = {
        {dlg::IDD_ABOUT, [](DialogForm&, const StringTable& t, QWidget* p, UiServices&) {
             AboutDialog dialog(t, p);
             return qtdispatch::ExecModal(dialog) == QDialog::Accepted;
         }},
        {dlg::IDD_SELECT_SERVER, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ServerSelectDialog, CServerSelectForm>(f, t, p);
         }},
        {dlg::IDD_ENUM_SERVERS, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ServerEnumDialog, CServerEnumForm>(f, t, p);
         }},
        {dlg::IDD_SERVER_STATUS, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ServerStatusDialog, CServerStatusForm>(f, t, p);
         }},
        {dlg::IDD_SELECT_COLUMNS, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<SelectColumnsDialog, CSelectColumnsDlg>(f, t, p);
         }},
        {dlg::IDD_UPDATE_TIMER, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<UpdateTimerDialog, CUpdateTimerDlg>(f, t, p);
         }},
        {dlg::IDD_LOG_CONFIG, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices& ui) {
             return Run<LogConfigDialog, CLogConfigDlg>(f, t, p, ui);
         }},
        {dlg::IDD_MMI_EMULATION, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<MMIEmulationDialog, CMMIEmulationDlg>(f, t, p);
         }},
        {dlg::IDD_EVENT_TRIGGERS, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<EventTriggersDialog, CEventTriggersDlg>(f, t, p);
         }},
        {dlg::IDD_EVENT_CONFIG, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<EventConfigDialog, CEventConfigDlg>(f, t, p);
         }},
        {dlg::IDD_ADD_GROUP, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<AddGroupDialog, CAddGroupDlg>(f, t, p);
         }},
        {dlg::IDD_GROUP_STATE, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<GroupStateDialog, CGroupStateDlg>(f, t, p);
         }},
        {dlg::IDD_GROUP_BY_NAME, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<GroupByNameDialog, CGroupByNameDlg>(f, t, p);
         }},
        {dlg::IDD_GROUP_ENUM, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<GroupEnumDialog, CGroupEnumDlg>(f, t, p);
         }},
        {dlg::IDD_ERROR_STRING, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ErrorStringDialog, CErrorStringDlg>(f, t, p);
         }},
        {dlg::IDD_ADD_ITEM, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<AddItemDialog, CAddItemDlg>(f, t, p);
         }},
        {dlg::IDD_WRITE_ITEM, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<WriteItemDialog, CWriteItemDlg>(f, t, p);
         }},
        {dlg::IDD_ITEM_STATE, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ItemStateDialog, CItemStateDlg>(f, t, p);
         }},
        {dlg::IDD_CLIENT_HANDLES, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ClientHandlesDialog, CClientHandlesDlg>(f, t, p);
         }},
        {dlg::IDD_DATA_TYPE, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<DataTypeDialog, CDataTypeDlg>(f, t, p);
         }},
        {dlg::IDD_ITEM_ENUM, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ItemEnumDialog, CItemEnumDlg>(f, t, p);
         }},
        {dlg::IDD_ITEM_PROPERTIES, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ItemPropertiesDialog, CItemPropertiesDlg>(f, t, p);
         }},
        {dlg::IDD_VALIDATION_RESULTS, [](DialogForm& f, const StringTable& t, QWidget* p, UiServices&) {
             return Run<ValidationResultsDialog, CValidationResultsDlg>(f, t, p);
         }},
    };
    auto it = kDialogs.find(form.DialogId());
    if (it == kDialogs.end()) return false;
    // The wait cursor does not stay over a dialog the user works in.
    const int waiting = m_waitDepth;
    for (int i = 0; i < waiting; ++i) QApplication::restoreOverrideCursor();
    const bool confirmed = it->second(form, m_texts, m_parent ? m_parent() : nullptr, *this);
    for (int i = 0; i < waiting; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
    return confirmed;
}

} // namespace quillet::gui
