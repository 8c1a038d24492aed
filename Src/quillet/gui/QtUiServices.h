#pragma once
// The test client's windows as the cores see them: message boxes without a caption, a
// nesting wait cursor, the main window's parts disabled (nesting), file dialogs that read the "a|b||" filters, and the modal
// dialog of each form, chosen by the form's dialog id.
#include "quillet/text/UiServices.h"

#include <QPointer>
#include <QProgressDialog>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace quillet {
class StringTable;

namespace gui {

class QtUiServices final : public UiServices {
public:
    // parent gives the window the boxes and dialogs belong to; it may give null.
    QtUiServices(const StringTable& texts, std::function<QWidget*()> parent);
    ~QtUiServices() override;

    PromptAnswer MessageBox(std::string_view text, PromptButtons buttons, std::string_view caption) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void DisableMainWindow() override;
    void EnableMainWindow() override;
    std::optional<std::string> FileDialog(const FileDialogSpec& spec) override;
    bool RunDialog(DialogForm& form) override;
    bool CallWaiting(std::string_view text) override;
    void EndCallWait() override;

    // Qt's name filters of a "Text (*.x)|*.x|All Files (*.*)|*.*||" filter.
    static QStringList NameFilters(std::string_view filter);

private:
    const StringTable& m_texts;
    std::function<QWidget*()> m_parent;
    int m_waitDepth = 0;
    int m_disableDepth = 0;
    std::vector<QPointer<QWidget>> m_disabled;  // what the outermost holder disabled
    std::unique_ptr<QProgressDialog> m_callBox;  // shown while a call to a server waits
};

} // namespace gui
} // namespace quillet
