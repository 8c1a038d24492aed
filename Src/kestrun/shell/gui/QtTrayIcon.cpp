#include "kestrun/shell/gui/QtTrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QStyle>
#include <QUrl>

#include "kestrun/shell/server/TaskbarIcon.h"
#include "kestrun/shell/gui/PopupMenu.h"

namespace shell::gui {

namespace {

QIcon ProgramIcon()
{
    const QIcon icon = QApplication::windowIcon();
    return icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_ComputerIcon) : icon;
}

} // namespace

QtTrayIcon::QtTrayIcon()
{
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger: NotifyMouse(WM_LBUTTONDOWN); break;
        case QSystemTrayIcon::DoubleClick: NotifyMouse(WM_LBUTTONDBLCLK); break;
        case QSystemTrayIcon::Context:
            NotifyMouse(WM_RBUTTONDOWN);
            NotifyMouse(WM_RBUTTONUP);
            break;
        default: break;
        }
    });
}

bool QtTrayIcon::IsAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool QtTrayIcon::Add(int nIcon, const std::string& strTooltip)
{
    if (!IsAvailable())
        return false;
    Modify(nIcon, strTooltip);
    m_icon.show();
    return m_icon.isVisible();
}

bool QtTrayIcon::Modify(int, const std::string& strTooltip)
{
    // The program has one icon; the id only names it.
    m_icon.setIcon(ProgramIcon());
    m_icon.setToolTip(QString::fromStdString(strTooltip));
    return true;
}

bool QtTrayIcon::Delete()
{
    m_icon.hide();
    return true;
}

UINT QtTrayIcon::TrackPopupMenu(const ShellMenu& menu) { return ExecPopupMenu(menu, QCursor::pos()); }

bool QtShellOpener::Open(const std::string& strPath)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(strPath)));
}

} // namespace shell::gui
