#include "kestrun/shell/DataView.h"

#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/ServerApp.h"
#include "kestrun/shell/ServerDoc.h"
#include "kestrun/shell/ServerFrame.h"
#include "kestrun/shell/ShellIds.h"

CdsDataView::CdsDataView() = default;

CdsDataView::~CdsDataView() { DestroyWindow(); }

CdsServerDoc* CdsDataView::GetServerDoc() const { return dynamic_cast<CdsServerDoc*>(GetDocument()); }

void CdsDataView::OnInitialUpdate()
{
    shell::View::OnInitialUpdate();
    StartClientUpdateTimer();
}

void CdsDataView::OnUpdate(shell::View*, int nCode, CdsHint* pHint)
{
    if (nCode == HINT_ONLINE || nCode == HINT_OFFLINE) {
        // Line threads ask for this; the device changes state here, on the application thread.
        auto* pDevice = pHint ? dynamic_cast<CdsDeviceObject*>(pHint->m_pObject) : nullptr;
        if (pDevice)
            pDevice->SetOnline(nCode == HINT_ONLINE, pDevice->GetParent());
    }
    if (m_pWindow)
        m_pWindow->Refresh();
}

void CdsDataView::StartClientUpdateTimer()
{
    SetTimer(ID_TIMER_CLIENT_UPDATE, static_cast<DWORD>(CdsServerFrame::g_dwClientUpdateTime.load()));
}

void CdsDataView::StopClientUpdateTimer() { KillTimer(ID_TIMER_CLIENT_UPDATE); }

void CdsDataView::OnTimer(UINT_PTR nId)
{
    if (nId != ID_TIMER_CLIENT_UPDATE || m_bBusy)
        return;
    m_bBusy = true;
    fsOnTimer();
    DoIdleProcessing();
    m_bBusy = false;
}

void CdsDataView::OnModeOnline()
{
    CdsServerDoc* pDoc = GetServerDoc();
    if (pDoc && pDoc->SetOnline(1, 0)) {
        CdsHint hint = CdsHint::ForObject(this);
        pDoc->UpdateAllViews(this, HINT_MODE_ONLINE, &hint);
        return;
    }
    OnModeOffline();
}

void CdsDataView::OnModeOffline()
{
    CdsServerDoc* pDoc = GetServerDoc();
    if (pDoc && pDoc->SetOnline(0, 0)) {
        CdsHint hint = CdsHint::ForObject(this);
        pDoc->UpdateAllViews(this, HINT_MODE_OFFLINE, &hint);
    }
}

void CdsDataView::OnDestroy()
{
    m_bBusy = true;
    StopClientUpdateTimer();
    m_pWindow.reset();
}
