#include "kestrun/shell/server/DataView.h"

#include <cstdio>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ShellIds.h"

CdsDataView::CdsDataView() = default;

CdsDataView::~CdsDataView() { DestroyWindow(); }

CdsServerDoc* CdsDataView::GetServerDoc() const { return dynamic_cast<CdsServerDoc*>(GetDocument()); }

std::uint64_t CdsDataView::NowMs() const
{
    const shell::Document* pDoc = GetDocument();
    const shell::Application* pApp = pDoc ? pDoc->GetApplication() : nullptr;
    return pApp ? pApp->GetClock().monotonicMs() : win::SystemClock::instance().monotonicMs();
}

void CdsDataView::Repaint()
{
    if (m_pWindow)
        m_pWindow->Refresh();
}

// --- lists ---

const char* CdsDataView::AccessText(const CdsMemoryArray& block)
{
    if (block.IsReadAllowed())
        return block.IsWriteAllowed() ? "r/w" : "read";
    return block.IsWriteAllowed() ? "write" : "n/a";
}

std::string CdsDataView::DeviceLine(const CdsDeviceObject& device)
{
    return device.m_strName + "\t" + device.m_strDescription;
}

std::string CdsDataView::BlockLine(const CdsMemoryArray& block)
{
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\t%d\t%s\t%d\t%d\t", block.GetMaxMemories(), AccessText(block),
                  block.GetPriority(), block.GetScanTime());
    return block.GetName() + "\t" + block.GetAddr() + numbers + block.GetDescription();
}

void CdsDataView::FillDeviceList()
{
    std::vector<CdsDataViewList::Row> rows;
    CdsServerDoc* pDoc = GetServerDoc();
    if (CdsDeviceMap* pMap = pDoc ? pDoc->GetDeviceMap(FALSE) : nullptr)
        for (const auto& [key, device] : pMap->GetDevices())
            if (!device->IsSystemDevice())
                rows.push_back({DeviceLine(*device), device});
    m_devices.Assign(std::move(rows));
    // What was active stays active while the map still holds it.
    if (GetDeviceSelection() < 0) {
        m_pActiveDevice = nullptr;
        m_pActiveBlock = nullptr;
    }
    FillBlockList();
}

void CdsDataView::FillBlockList()
{
    std::vector<CdsDataViewList::Row> rows;
    if (m_pActiveDevice)
        for (CdsMemoryArray* block : m_pActiveDevice->GetMemoryArrayList().GetBlocks())
            if (!block->IsSystemArray())
                rows.push_back({BlockLine(*block), block});
    m_blocks.Assign(std::move(rows));
    if (GetBlockSelection() < 0)
        m_pActiveBlock = nullptr;
    Repaint();
}

int CdsDataView::GetDeviceSelection() const { return m_devices.Find(m_pActiveDevice); }

int CdsDataView::GetBlockSelection() const { return m_blocks.Find(m_pActiveBlock); }

void CdsDataView::SelectDeviceRow(int nRow)
{
    // Rows show the document's own devices only; the list was filled from the map.
    SetActiveDevice(static_cast<CdsDeviceObject*>(m_devices.At(nRow)));
}

void CdsDataView::SelectBlockRow(int nRow) { SetActiveBlock(static_cast<CdsMemoryArray*>(m_blocks.At(nRow))); }

void CdsDataView::SetActiveDevice(CdsDeviceObject* pDevice)
{
    if (!pDevice || pDevice->IsSystemDevice() || m_devices.Find(pDevice) < 0)
        return;
    if (pDevice != m_pActiveDevice) {
        m_pActiveDevice = pDevice;
        m_pActiveBlock = nullptr;
    }
    FillBlockList();
}

void CdsDataView::SetActiveBlock(CdsMemoryArray* pBlock)
{
    if (!pBlock || pBlock->IsSystemArray() || m_blocks.Find(pBlock) < 0)
        return;
    m_pActiveBlock = pBlock;
    Repaint();
}

void CdsDataView::FocusList(bool bBlocks)
{
    if (m_pWindow)
        m_pWindow->FocusList(bBlocks);
}

void CdsDataView::OnContextMenu(bool bDeviceListFocused, bool bBlockListFocused)
{
    if (bDeviceListFocused || bBlockListFocused)
        return;
    if (shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs())
        pDialogs->Beep();
}

// --- hints ---

void CdsDataView::OnInitialUpdate()
{
    FillDeviceList();
    SetActiveDevice(static_cast<CdsDeviceObject*>(m_devices.At(0)));
    StartClientUpdateTimer();
}

void CdsDataView::OnUpdate(shell::View*, int nCode, CdsHint* pHint)
{
    CdsServerDoc* pDoc = GetServerDoc();
    switch (nCode) {
    case 0:
        Repaint();
        return;
    case HINT_ONLINE:
    case HINT_OFFLINE: {
        // A line asked for this; the hint may have waited while the document
        // changed, so only a device of the map in use is switched (found by
        // address before anything of it is read).
        CObject* pObject = pHint ? pHint->m_pObject : nullptr;
        if (pDoc && pDoc->HoldsDevice(pObject)) {
            auto* pDevice = static_cast<CdsDeviceObject*>(pObject);
            if (nCode == HINT_ONLINE) {
                pDevice->SetOnline(TRUE, pDevice->GetParent());
            } else if (CdsServerApp* pApp = CdsServerApp::GetApp()) {
                pApp->StopLines([pDevice] { pDevice->SetOnline(FALSE, pDevice->GetParent()); });
            } else {
                pDevice->SetOnline(FALSE, pDevice->GetParent());
            }
        }
        Repaint();
        return;
    }
    case HINT_IMPORT:
        FillDeviceList();
        return;
    case HINT_DOCUMENT_LOADED:
        FillDeviceList();
        SetActiveDevice(static_cast<CdsDeviceObject*>(m_devices.At(0)));
        if (pDoc && CdsServerFrame::g_bOnlineOnLoad.load() && pDoc->GetOnlineOnLoad())
            RequestOnline(1, 0);
        Repaint();
        return;
    case HINT_DOCUMENT_CLEARED:
        m_pActiveBlock = nullptr;
        m_pActiveDevice = nullptr;
        m_blocks.Clear();
        m_devices.Clear();
        Repaint();
        return;
    case HINT_TOPIC_ADDED:
        if (!m_pActiveDevice && pHint) {
            CdsDeviceObject* pDevice = CdsDeviceMap::GetDeviceObjectByTopic(pHint->m_strTopic);
            if (pDoc && pDoc->HoldsDevice(pDevice))
                SetActiveDevice(pDevice);
        }
        Repaint();
        return;
    default:
        if (nCode >= 300 && nCode <= 399)
            Repaint();
        return;
    }
}

// --- online request and timer ---

void CdsDataView::RequestOnline(int nState, int nArgument)
{
    m_bOnlineRequested = true;
    m_nRequestedState = nState;
    m_nRequestedArgument = nArgument;
    m_nRequestedAtMs = NowMs();
    if (IsDebugOutputWanted())
        TraceDebug("DEBUG:CdsDataView::Online request flag set.\n");
}

void CdsDataView::ProcessOnlineRequest()
{
    if (!m_bOnlineRequested)
        return;
    CdsServerApp* pApp = CdsServerApp::GetApp();
    const std::uint64_t delay = pApp && pApp->IsServiceMode() ? kServiceOnlineDelayMs : kOnlineDelayMs;
    if (NowMs() - m_nRequestedAtMs < delay)
        return;
    if (IsDebugOutputWanted())
        TraceDebug("DEBUG:CdsDataView::Online request processing ...\n");
    m_bOnlineRequested = false;
    if (CdsServerDoc* pDoc = GetServerDoc())
        pDoc->SetOnline(m_nRequestedState, m_nRequestedArgument);
    if (IsDebugOutputWanted())
        TraceDebug("DEBUG:CdsDataView::Online request process done.\n");
}

void CdsDataView::StartClientUpdateTimer()
{
    StopClientUpdateTimer();
    SetTimer(ID_TIMER_CLIENT_UPDATE, static_cast<DWORD>(CdsServerFrame::g_dwClientUpdateTime.load()));
}

void CdsDataView::StopClientUpdateTimer() { KillTimer(ID_TIMER_CLIENT_UPDATE); }

void CdsDataView::OnTimer(UINT_PTR nId)
{
    if (nId != ID_TIMER_CLIENT_UPDATE || m_bBusy)
        return;
    m_bBusy = true;
    ProcessOnlineRequest();
    fsOnTimer();
    DoIdleProcessing();
    // What the document let go of goes once no line can reach it any more.
    if (CdsServerApp* pApp = CdsServerApp::GetApp())
        pApp->GetRetiredObjects().Collect();
    m_bBusy = false;
}

// --- online and offline ---

void CdsDataView::OnModeOnline()
{
    CdsServerDoc* pDoc = GetServerDoc();
    if (!pDoc || pDoc->IsOnline())
        return; // an online document stays online
    if (pDoc->SetOnline(1, 0)) {
        CdsHint hint = CdsHint::ForObject(this);
        pDoc->UpdateAllViews(this, HINT_MODE_ONLINE, &hint);
        FillDeviceList();
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
