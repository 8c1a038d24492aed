#pragma once
// Message boxes on the desktop: a modal QMessageBox with the buttons and icon
// of the type, the default answer as its default button.
#include "kestrun/shell/app/MessageBox.h"

namespace shell::gui {

class QtMessageBoxPresenter final : public MessageBoxPresenter {
public:
    int Show(const std::string& text, const std::string& caption, unsigned type, int defaultAnswer) override;
};

} // namespace shell::gui
