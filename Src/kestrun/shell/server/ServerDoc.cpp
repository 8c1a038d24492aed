#include "kestrun/shell/server/ServerDoc.h"

#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/model/dde/DdeBridge.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/server/CsvFile.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/app/ServiceController.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/app/View.h"
#include "platform/afx/Archive.h"

CdsServerDoc::CdsServerDoc() = default;

CdsServerDoc::~CdsServerDoc()
{
    if (m_bOnline)
        SetOnline(0, 1);
    // Whatever document this was, a line left behind may still poll its map.
    ReleaseDeviceMap(CdsServerApp::GetApp() != nullptr);
    RemoveTmpObjects();
}

CdsServerFrame* CdsServerDoc::GetServerFrame() const
{
    const shell::Application* pApp = GetApplication();
    return pApp ? dynamic_cast<CdsServerFrame*>(pApp->GetMainFrame()) : nullptr;
}

// --- the map ---

int CdsServerDoc::InitDevices(CdsDeviceMap* pMap)
{
    if (m_pDevices)
        return 0;
    if (pMap) {
        m_pDevices = pMap;
        g_pDevices = pMap;
        OnDeviceMapEdited();
    }
    return 1;
}

CdsDeviceMap* CdsServerDoc::GetDeviceMap(BOOL bCreate)
{
    if (!m_pDevices && bCreate) {
        CdsDeviceMap* pMap = NewDevices();
        if (pMap && !InitDevices(pMap))
            pMap->Destroy();
    }
    return m_pDevices;
}

bool CdsServerDoc::IsServedDocument() const
{
    const CdsServerApp* pApp = CdsServerApp::GetApp();
    return pApp && pApp->GetDocument() == this;
}

void CdsServerDoc::OnDeviceMapEdited()
{
    // Only the application's document is served; another one (a file written
    // on the side) leaves the bridges alone.
    if (!IsServedDocument())
        return;
    // The OPC browse tree is made again from the map when next needed.
    CdsServerApp::GetApp()->OnDeviceMapChanged(m_pDevices);
    if (kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed()) {
        pBridge->SetDeviceMap(m_pDevices);
        pBridge->OnDeviceMapChanged();
    }
}

bool CdsServerDoc::HoldsDevice(const CObject* pObject) const
{
    if (!m_pDevices || !pObject)
        return false;
    for (const auto& [key, device] : m_pDevices->GetDevices())
        if (device == pObject)
            return true;
    return false;
}

void CdsServerDoc::ReleaseDeviceMap(bool bServed)
{
    CdsDeviceMap* pMap = m_pDevices;
    if (!pMap)
        return;
    m_pDevices = nullptr;
    CdsDeviceMap* expected = pMap;
    g_pDevices.compare_exchange_strong(expected, nullptr);
    if (IsServedDocument()) {
        CdsServerApp::GetApp()->OnDeviceMapChanged(nullptr);
        if (kestrun::DdeBridge* pBridge = kestrun::DdeBridge::Installed())
            pBridge->SetDeviceMap(nullptr);
    }
    Retire([pMap] { pMap->DetachClients(); }, [pMap] { pMap->Destroy(); }, bServed);
}

void CdsServerDoc::DeleteDevice(CdsDeviceObject* pDevice)
{
    if (!HoldsDevice(pDevice))
        return;
    m_pDevices->ExitDeviceObject(pDevice);
    m_pDevices->RemoveDeviceObject(pDevice);
    Retire([pDevice] { pDevice->DetachClients(); }, [pDevice] { pDevice->Destroy(); }, IsServedDocument());
    OnDeviceMapEdited();
}

void CdsServerDoc::DeleteBlock(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    if (!HoldsDevice(pDevice) || !pBlock || !pDevice->RemoveMemoryArray(pBlock, true))
        return;
    Retire([pBlock] { pBlock->DetachClients(); }, [pBlock] { pBlock->Destroy(); }, IsServedDocument());
    OnDeviceMapEdited();
}

void CdsServerDoc::Retire(const std::function<void()>& detach, std::function<void()> free, bool bServed)
{
    // No line and no client reaches what a document on the side holds.
    if (!bServed) {
        free();
        return;
    }
    CdsServerApp* pApp = CdsServerApp::GetApp();
    pApp->RunWithClientsHeld([&detach] {
        detach();
        // Hints queued before now that name objects are dropped unread.
        CdsHint::NewEpoch();
    });
    pApp->GetRetiredObjects().Retire(std::move(free));
}

void CdsServerDoc::StopLines(const std::function<void()>& stop)
{
    if (CdsServerApp* pApp = CdsServerApp::GetApp())
        pApp->StopLines(stop);
    else
        stop();
}

// --- online ---

void CdsServerDoc::GoOnline()
{
    // Going online maps every block of a device again: no client looks one up meanwhile.
    CdsServerApp* pApp = CdsServerApp::GetApp();
    // A stop asked for meanwhile ends it: the closing takes offline what went online.
    const auto stopped = [pApp] { return pApp && pApp->IsStopRequested(); };
    if (pApp && IsServedDocument())
        pApp->RunWithClientsHeld([this, &stopped] { m_pDevices->SetAllDevicesOnline(TRUE, stopped); });
    else
        m_pDevices->SetAllDevicesOnline(TRUE, stopped);
}

int CdsServerDoc::SetOnline(int bOnline, int bForce)
{
    const BOOL online = bOnline ? TRUE : FALSE;
    if (!bForce && online == m_bOnline)
        return 0;
    m_bOnline = online;
    if (CdsServerFrame::g_bUseServiceMode.load())
        return SetServiceOnline(online);
    CdsServerFrame* pFrame = GetServerFrame();
    if (pFrame) {
        pFrame->PreSystemOnline(online);
        if (online)
            pFrame->LatchLineMode();
        else
            pFrame->StopDataUpdateTimer();
    }
    if (m_pDevices) {
        if (online)
            GoOnline();
        else if (m_bClosing)
            StopLines([this] { m_pDevices->SetAllDevicesOfflineToClose(); });
        else
            StopLines([this] { m_pDevices->SetAllDevicesOnline(FALSE); });
    }
    if (pFrame) {
        if (online)
            pFrame->StartDataUpdateTimer();
        else
            pFrame->UnlatchLineMode();
        pFrame->PostSystemOnline(online);
    }
    return 1;
}

// --- the document's life ---

void CdsServerDoc::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        if (m_pDevices) {
            m_pDevices->Serialize(ar);
        } else {
            // An empty document still writes a map record, so that it loads.
            CdsDeviceMap empty;
            empty.Serialize(ar);
        }
        ar << m_nOnlineOnLoad;
        return;
    }
    CdsDeviceMap* pMap = m_pDevices ? m_pDevices : NewDevices();
    if (!pMap)
        throw CArchiveException(CArchiveException::badClass, ar.GetFileName());
    try {
        pMap->Serialize(ar);
        ar >> m_nOnlineOnLoad;
    } catch (...) {
        if (pMap != m_pDevices)
            pMap->Destroy();
        throw;
    }
    pMap->OnLoading();
    if (pMap != m_pDevices && !InitDevices(pMap))
        pMap->Destroy();
}

bool CdsServerDoc::OnNewDocument()
{
    if (!shell::Document::OnNewDocument())
        return false;
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (pApp && pApp->IsServiceHelperMode() && IsServiceOnline())
        m_bOnline = TRUE;
    return true;
}

bool CdsServerDoc::OnOpenDocument(const std::string& strPath)
{
    if (IsCsvPath(strPath)) {
        if (!ImportFromCsvFile(strPath, 0)) {
            ShowLogVaMessage(LOG_ERROR, "Cannot import from file %s!\r\n", strPath.c_str());
            svcMessageBox("Cannot import from file " + strPath + "!", shell::MB_OK | shell::MB_ICONERROR, shell::IDOK);
            return false;
        }
    } else if (!shell::Document::OnOpenDocument(strPath)) {
        return false;
    }
    if (m_pDevices)
        m_pDevices->BuildTopicListMap();
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (pApp && pApp->IsServiceHelperMode() && IsServiceOnline())
        m_bOnline = TRUE;
    SendUpdateMessage(HINT_DOCUMENT_LOADED, nullptr);
    return true;
}

bool CdsServerDoc::OnSaveDocument(const std::string& strPath)
{
    if (IsCsvPath(strPath)) {
        svcMessageBox("Cannot save the configuration as " + strPath +
                          ": a CSV file is written by Export, which keeps no time-outs or points.",
                      shell::MB_OK | shell::MB_ICONERROR, shell::IDOK);
        return false;
    }
    return shell::Document::OnSaveDocument(strPath);
}

void CdsServerDoc::DeleteContents()
{
    UpdateAllViews(nullptr, HINT_DOCUMENT_CLEARED);
    CdsServerApp* pApp = CdsServerApp::GetApp();
    if (pApp && pApp->IsServiceHelperMode()) {
        // The service keeps what it was handed; the options are ours again.
        RestoreDocumentAndStatus();
        CloseServiceHdlr();
        m_bOnline = FALSE;
    } else {
        // The service's switch is not asked: the configuration goes, its lines first.
        const int useService = CdsServerFrame::g_bUseServiceMode.exchange(0);
        m_bClosing = true;
        SetOnline(0, 1);
        m_bClosing = false;
        CdsServerFrame::g_bUseServiceMode = useService;
    }
    ReleaseDeviceMap(IsServedDocument());
    RemoveTmpObjects();
    shell::Document::DeleteContents();
}

// --- temporary objects ---

CdsDeviceObject* CdsServerDoc::GetTempDeviceObject()
{
    CreateTmpObjects();
    return m_pTmpDevice;
}

CdsMemoryArray* CdsServerDoc::GetTempMemoryArray()
{
    CreateTmpObjects();
    return m_pTmpBlock;
}

CdsCsvFile* CdsServerDoc::GetTempCsvFile()
{
    CreateTmpObjects();
    return m_pTmpCsvFile.get();
}

void CdsServerDoc::DestroyTempDeviceAndBlock()
{
    if (m_pTmpDevice) {
        m_pTmpDevice->Destroy();
        m_pTmpDevice = nullptr;
    }
    if (m_pTmpBlock) {
        m_pTmpBlock->Destroy();
        m_pTmpBlock = nullptr;
    }
}

void CdsServerDoc::RemoveTmpObjects()
{
    DestroyTempDeviceAndBlock();
    m_pTmpCsvFile.reset();
}

void CdsServerDoc::RenewTempObjects()
{
    DestroyTempDeviceAndBlock();
    CreateTmpObjects();
    if (m_pTmpDevice)
        for (int line = 0; line < CdsDeviceObject::kLines; ++line)
            if (CdsCommConfig* config = m_pTmpDevice->GetCommConfigAt(line))
                config->ResetPortId();
}
