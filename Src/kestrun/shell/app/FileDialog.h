#pragma once
// File pickers through one interface, like message boxes: a desktop installs
// one that shows a dialog; without one every picker is cancelled.
#include <string>

namespace shell {

struct FileDialogRequest {
    bool bSave = false;               // a save dialog (else an open dialog)
    std::string strDefaultExt;        // without the dot, added to a name without one
    std::string strFilter;            // "Text (*.x)|*.x|All Files (*.*)|*.*||"
    std::string strFolder;            // where the dialog starts
    std::string strFileName;          // the name proposed
    bool bOverwritePrompt = false;    // a save asks before replacing a file
    std::string strTitle;             // the caption; empty: the dialog's own
};

class FileDialogPresenter {
public:
    virtual ~FileDialogPresenter() = default;
    // Application thread; false for Cancel, else the chosen path.
    virtual bool Show(const FileDialogRequest& request, std::string& strPath) = 0;
};

// The presenter in use (null: none, every picker is cancelled). Returns the
// previous one; the caller keeps the new one alive.
FileDialogPresenter* InstallFileDialogPresenter(FileDialogPresenter* presenter);
// False for Cancel and without a presenter.
bool ShowFileDialog(const FileDialogRequest& request, std::string& strPath);

} // namespace shell
