// What an event does at its tick: the item view's operations on its items.
#include "quillet/doc/GroupEvent.h"

#include "quillet/doc/Group.h"
#include "quillet/views/ItemView.h"
#include "quillet/doc/QuilletDoc.h"

BOOL CGroupEvent::OnTimer(UINT_PTR timerId)
{
    if (timerId != m_timerId) return FALSE;
    // A tick that comes while the last action still runs (a box is open) is dropped;
    // without a server there is nothing to act on.
    CQuilletDoc& doc = m_group.GetDocument();
    if (m_bActing || !doc.IsConnected() || !doc.GetServer() || !CItemView::Of(doc)) return TRUE;
    if (m_bOnlyIfActive && !m_group.IsActive()) return TRUE;
    m_bActing = true;
    Act();
    m_bActing = false;
    return TRUE;
}

void CGroupEvent::Act()
{
    CQuilletDoc& doc = m_group.GetDocument();
    CItemView& view = *CItemView::Of(doc);
    std::vector<CItem*> items;
    for (OPCHANDLE h : m_items)
        if (CItem* item = doc.Handles().Find<CItem>(h); m_group.IsServerItem(item)) items.push_back(item);
    // No item left (all removed): nothing to ask, and no box about it every period.
    if (items.empty()) return;
    switch (m_dwType) {
    case EVENT_ASYNC_READ_CACHE: view.AsyncRead(items, m_group, OPC_DS_CACHE); break;
    case EVENT_SYNC_READ_CACHE: view.SyncRead(items, m_group, OPC_DS_CACHE); break;
    case EVENT_ASYNC_READ_DEVICE: view.AsyncRead(items, m_group, OPC_DS_DEVICE); break;
    case EVENT_SYNC_READ_DEVICE: view.SyncRead(items, m_group, OPC_DS_DEVICE); break;
    case EVENT_ASYNC_WRITE:
    case EVENT_SYNC_WRITE: {
        std::vector<OPCHANDLE> handles;
        std::vector<VARIANT> values;
        if (!BuildWriteValues(items, handles, values)) return;
        if (m_dwType == EVENT_ASYNC_WRITE) view.AsyncWrite(handles, m_group, values);
        else view.SyncWrite(handles, m_group, values);
        break;
    }
    case EVENT_TOGGLE_ACTIVE:
        view.SetItemsActive(items, &m_group, m_bToggleState);
        m_bToggleState = !m_bToggleState;
        break;
    default: break;
    }
}
