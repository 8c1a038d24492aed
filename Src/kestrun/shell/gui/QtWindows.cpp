#include "kestrun/shell/gui/QtWindows.h"

#include <QListWidget>

#include "kestrun/shell/gui/DataViewWidget.h"
#include "kestrun/shell/gui/LogViewWidget.h"
#include "kestrun/shell/gui/QtTrayIcon.h"

namespace shell::gui {

namespace {

// The core holds the adapter; the widget lives in the splitter. Whichever goes
// first, the widget is deleted once.
template <class Widget>
class Owned {
public:
    explicit Owned(Widget* pWidget) : m_pWidget(pWidget) {}
    ~Owned() { delete m_pWidget.data(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Widget* Get() const { return m_pWidget.data(); }

private:
    QPointer<Widget> m_pWidget;
};

class LogWindowAdapter final : public LogWindow {
public:
    explicit LogWindowAdapter(LogViewWidget* pWidget) : m_widget(pWidget) {}
    void AppendText(const std::string& text) override
    {
        if (LogViewWidget* pWidget = m_widget.Get())
            pWidget->AppendText(text);
    }
    void RemoveFirstLines(int nLines) override
    {
        if (LogViewWidget* pWidget = m_widget.Get())
            pWidget->RemoveFirstLines(nLines);
    }

private:
    Owned<LogViewWidget> m_widget;
};

class DataWindowAdapter final : public DataWindow {
public:
    explicit DataWindowAdapter(DataViewWidget* pWidget) : m_widget(pWidget) {}
    void Refresh() override
    {
        if (DataViewWidget* pWidget = m_widget.Get())
            pWidget->Refresh();
    }
    void FocusList(bool bBlocks) override
    {
        if (DataViewWidget* pWidget = m_widget.Get())
            (bBlocks ? pWidget->Blocks() : pWidget->Devices())->setFocus();
    }

private:
    Owned<DataViewWidget> m_widget;
};

} // namespace

std::unique_ptr<FrameWindow> QtWindows::CreateFrameWindow(CdsServerFrame& frame)
{
    auto pWindow = std::make_unique<ServerMainWindow>(frame);
    m_pMain = pWindow.get();
    return pWindow;
}

std::unique_ptr<LogWindow> QtWindows::CreateLogWindow(CdsLogView&)
{
    auto* pWidget = new LogViewWidget;
    if (m_pMain)
        m_pMain->AddPane(pWidget);
    return std::make_unique<LogWindowAdapter>(pWidget);
}

std::unique_ptr<DataWindow> QtWindows::CreateDataWindow(CdsDataView& view)
{
    auto* pWidget = new DataViewWidget(view);
    if (m_pMain)
        m_pMain->AddPane(pWidget);
    return std::make_unique<DataWindowAdapter>(pWidget);
}

std::unique_ptr<TrayWindow> QtWindows::CreateTrayWindow() { return std::make_unique<QtTrayIcon>(); }

} // namespace shell::gui
