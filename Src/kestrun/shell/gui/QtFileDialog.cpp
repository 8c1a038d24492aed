#include "kestrun/shell/gui/QtFileDialog.h"

#include <QApplication>
#include <QFileDialog>

#include "qtdispatch/ModalLoops.h"

namespace shell::gui {

std::string QtFileDialogPresenter::QtFilter(const std::string& strFilter)
{
    // Pairs of a description (which names its patterns) and the patterns.
    std::string filter;
    std::size_t start = 0;
    for (bool description = true; start < strFilter.size(); description = !description) {
        std::size_t bar = strFilter.find('|', start);
        if (bar == std::string::npos)
            bar = strFilter.size();
        const std::string part = strFilter.substr(start, bar - start);
        if (description && !part.empty())
            filter += (filter.empty() ? "" : ";;") + part;
        start = bar + 1;
    }
    return filter;
}

bool QtFileDialogPresenter::Show(const FileDialogRequest& request, std::string& strPath)
{
    QFileDialog dialog(QApplication::activeWindow(), QString(), QString::fromStdString(request.strFolder),
                       QString::fromStdString(QtFilter(request.strFilter)));
    if (!request.strTitle.empty())
        dialog.setWindowTitle(QString::fromStdString(request.strTitle));
    dialog.setAcceptMode(request.bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromStdString(request.strDefaultExt));
    if (!request.bOverwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.strFileName.empty())
        dialog.selectFile(QString::fromStdString(request.strFileName));
    if (qtdispatch::ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    strPath = dialog.selectedFiles().front().toStdString();
    return true;
}

} // namespace shell::gui
