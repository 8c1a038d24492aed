#pragma once
// File pickers on the desktop: the standard Qt file dialog.
#include "kestrun/shell/app/FileDialog.h"

namespace shell::gui {

class QtFileDialogPresenter final : public FileDialogPresenter {
public:
    bool Show(const FileDialogRequest& request, std::string& strPath) override;
    // "Text (*.x)|*.x|All Files (*.*)|*.*||" as Qt writes it: "Text (*.x);;All Files (*.*)".
    static std::string QtFilter(const std::string& strFilter);
};

} // namespace shell::gui
