#pragma once
// The data view's window: the "Topic Info" device list beside the "Item Info"
// block list of the active device. It shows what the core view holds and
// hands the user's choice of a line back to it.
#include <QWidget>

class CdsDataView;
class CdsDataViewList;
class QListWidget;

namespace shell::gui {

class DataViewWidget final : public QWidget {
public:
    explicit DataViewWidget(CdsDataView& view, QWidget* parent = nullptr);

    QListWidget* Devices() const { return m_pDevices; }
    QListWidget* Blocks() const { return m_pBlocks; }
    // Lines and current lines as the core view holds them.
    void Refresh();

protected:
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    static void Show(QListWidget& widget, const CdsDataViewList& list, int nCurrent);

    CdsDataView& m_view;
    QListWidget* m_pDevices;
    QListWidget* m_pBlocks;
};

} // namespace shell::gui
