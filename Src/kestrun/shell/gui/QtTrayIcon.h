#pragma once
// The notification area on the desktop: a QSystemTrayIcon whose clicks become
// the icon's mouse messages (click, double click, right button) and whose
// menu is a QMenu at the cursor.
#include <QSystemTrayIcon>

#include "kestrun/shell/desktop/ShellNamespace.h"
#include "kestrun/shell/app/Windows.h"

namespace shell::gui {

class QtTrayIcon final : public TrayWindow {
public:
    QtTrayIcon();

    bool IsAvailable() const override;
    bool Add(int nIcon, const std::string& strTooltip) override;
    bool Modify(int nIcon, const std::string& strTooltip) override;
    bool Delete() override;
    UINT TrackPopupMenu(const ShellMenu& menu) override;

    QSystemTrayIcon& Icon() { return m_icon; }

private:
    QSystemTrayIcon m_icon;
};

// Opens files and folders with the desktop's programs.
class QtShellOpener final : public ShellOpener {
public:
    bool Open(const std::string& strPath) override;
};

} // namespace shell::gui
