#include "kestrun/shell/gui/DataViewWidget.h"

#include <QHBoxLayout>
#include <QListWidget>

namespace shell::gui {

DataViewWidget::DataViewWidget(QWidget* parent)
    : QWidget(parent), m_pDevices(new QListWidget), m_pBlocks(new QListWidget)
{
    m_pDevices->setObjectName("Topic Info");
    m_pBlocks->setObjectName("Item Info");
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    // The device list takes a fifth of the width.
    pLayout->addWidget(m_pDevices, 1);
    pLayout->addWidget(m_pBlocks, 4);
}

} // namespace shell::gui
