#include "kestrun/shell/gui/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

#include "qtdispatch/ModalLoops.h"

namespace shell::gui {

namespace {

struct ButtonRow {
    QMessageBox::StandardButton button;
    int answer;
};

constexpr ButtonRow kButtons[] = {
    {QMessageBox::Ok, IDOK},
    {QMessageBox::Cancel, IDCANCEL},
    {QMessageBox::Yes, IDYES},
    {QMessageBox::No, IDNO},
};

QMessageBox::StandardButtons ButtonsOf(unsigned type)
{
    switch (type & MB_BUTTONS) {
    case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(unsigned type)
{
    switch (type & MB_ICONS) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

static int MessageBoxAnswer(int standardButton)
{
    for (const ButtonRow& row : kButtons)
        if (row.button == standardButton)
            return row.answer;
    return IDCANCEL; // closed without a button
}

int QtMessageBoxPresenter::Show(const std::string& text, const std::string& caption, unsigned type, int defaultAnswer)
{
    // A quit under way answers for the person, also for a box it closed.
    if (qtdispatch::IsQuitting())
        return defaultAnswer;
    QMessageBox box(IconOf(type), QString::fromStdString(caption), QString::fromStdString(text), ButtonsOf(type));
    for (const ButtonRow& row : kButtons)
        if (row.answer == defaultAnswer && (box.standardButtons() & row.button))
            box.setDefaultButton(row.button);
    const int answer = MessageBoxAnswer(qtdispatch::ExecModal(box));
    return qtdispatch::IsQuitting() ? defaultAnswer : answer;
}

} // namespace shell::gui
