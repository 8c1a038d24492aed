#pragma once
// The data view's window: the "Topic Info" device list beside the "Item Info"
// block list of the active device.
#include <QWidget>

class QListWidget;

namespace shell::gui {

class DataViewWidget final : public QWidget {
public:
    explicit DataViewWidget(QWidget* parent = nullptr);

    QListWidget* Devices() const { return m_pDevices; }
    QListWidget* Blocks() const { return m_pBlocks; }

private:
    QListWidget* m_pDevices;
    QListWidget* m_pBlocks;
};

} // namespace shell::gui
