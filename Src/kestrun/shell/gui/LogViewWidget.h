#pragma once
// The log view's window: a read-only, word-wrapping text pane, white on navy,
// that mirrors the text the core log view holds.
#include <QPlainTextEdit>

#include "kestrun/shell/app/Windows.h"

namespace shell::gui {

class LogViewWidget final : public QPlainTextEdit {
public:
    explicit LogViewWidget(QWidget* parent = nullptr);

    void AppendText(const std::string& text);
    void RemoveFirstLines(int nLines);
};

} // namespace shell::gui
