#include "kestrun/shell/app/FileDialog.h"

#include <atomic>

namespace shell {

namespace {
std::atomic<FileDialogPresenter*> g_presenter{nullptr};
} // namespace

FileDialogPresenter* InstallFileDialogPresenter(FileDialogPresenter* presenter) { return g_presenter.exchange(presenter); }

bool ShowFileDialog(const FileDialogRequest& request, std::string& strPath)
{
    FileDialogPresenter* presenter = g_presenter.load();
    return presenter && presenter->Show(request, strPath) && !strPath.empty();
}

} // namespace shell
