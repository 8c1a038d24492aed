#include "kestrun/shell/gui/DataViewWidget.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QSignalBlocker>

#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/gui/TabStopDelegate.h"

namespace shell::gui {

DataViewWidget::DataViewWidget(CdsDataView& view, QWidget* parent)
    : QWidget(parent), m_view(view), m_pDevices(new QListWidget), m_pBlocks(new QListWidget)
{
    m_pDevices->setObjectName("Topic Info");
    m_pBlocks->setObjectName("Item Info");
    m_pDevices->setItemDelegate(new TabStopDelegate(view.GetDeviceList().GetTabStop(), m_pDevices));
    m_pBlocks->setItemDelegate(new TabStopDelegate(view.GetBlockList().GetTabStop(), m_pBlocks));
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    // The device list takes a fifth of the width.
    pLayout->addWidget(m_pDevices, 1);
    pLayout->addWidget(m_pBlocks, 4);
    connect(m_pDevices, &QListWidget::currentRowChanged, this, [this](int row) { m_view.SelectDeviceRow(row); });
    connect(m_pBlocks, &QListWidget::currentRowChanged, this, [this](int row) { m_view.SelectBlockRow(row); });
    Refresh();
}

void DataViewWidget::Show(QListWidget& widget, const CdsDataViewList& list, int nCurrent)
{
    const QSignalBlocker blocker(widget);
    bool same = widget.count() == list.GetCount();
    for (int i = 0; same && i < list.GetCount(); ++i)
        same = widget.item(i)->text() == QString::fromStdString(list.Rows()[static_cast<std::size_t>(i)].text);
    if (!same) {
        widget.clear();
        for (const CdsDataViewList::Row& row : list.Rows())
            widget.addItem(QString::fromStdString(row.text));
    }
    widget.setCurrentRow(nCurrent);
}

void DataViewWidget::Refresh()
{
    Show(*m_pDevices, m_view.GetDeviceList(), m_view.GetDeviceSelection());
    Show(*m_pBlocks, m_view.GetBlockList(), m_view.GetBlockSelection());
}

void DataViewWidget::contextMenuEvent(QContextMenuEvent* pEvent)
{
    m_view.OnContextMenu(m_pDevices->hasFocus(), m_pBlocks->hasFocus());
    pEvent->accept();
}

} // namespace shell::gui
