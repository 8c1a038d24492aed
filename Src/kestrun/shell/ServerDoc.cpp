#include "kestrun/shell/ServerDoc.h"

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/Hint.h"
#include "kestrun/shell/ServerApp.h"
#include "kestrun/shell/ServerFrame.h"
#include "platform/afx/Archive.h"

CdsServerDoc::CdsServerDoc() = default;

CdsServerDoc::~CdsServerDoc() { DestroyDeviceMap(); }

CdsServerFrame* CdsServerDoc::GetServerFrame() const
{
    const shell::Application* pApp = GetApplication();
    return pApp ? dynamic_cast<CdsServerFrame*>(pApp->GetMainFrame()) : nullptr;
}

int CdsServerDoc::InitDevices(CdsDeviceMap* pMap)
{
    if (m_pDevices)
        return 0;
    if (pMap) {
        m_pDevices = pMap;
        g_pDevices = pMap;
        if (CdsServerApp* pApp = CdsServerApp::GetApp())
            pApp->OnDeviceMapChanged(pMap);
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

int CdsServerDoc::SetOnline(int bOnline, int bForce)
{
    const BOOL online = bOnline ? TRUE : FALSE;
    if (!bForce && online == m_bOnline)
        return 0;
    m_bOnline = online;
    CdsServerFrame* pFrame = GetServerFrame();
    if (pFrame) {
        pFrame->PreSystemOnline(online);
        if (online)
            pFrame->LatchLineMode();
        else
            pFrame->StopDataUpdateTimer();
    }
    if (m_pDevices)
        m_pDevices->SetAllDevicesOnline(online);
    if (pFrame) {
        if (online)
            pFrame->StartDataUpdateTimer();
        else
            pFrame->UnlatchLineMode();
        pFrame->PostSystemOnline(online);
    }
    return 1;
}

void CdsServerDoc::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        if (m_pDevices)
            m_pDevices->Serialize(ar);
        ar << m_nOnlineOnLoad;
        return;
    }
    CdsDeviceMap* pMap = m_pDevices ? m_pDevices : NewDevices();
    if (!pMap)
        return;
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

bool CdsServerDoc::OnOpenDocument(const std::string& strPath)
{
    if (!shell::Document::OnOpenDocument(strPath))
        return false;
    if (m_pDevices)
        m_pDevices->BuildTopicListMap();
    UpdateAllViews(nullptr, HINT_DOCUMENT_LOADED);
    return true;
}

void CdsServerDoc::DeleteContents()
{
    UpdateAllViews(nullptr, HINT_DOCUMENT_CLEARED);
    SetOnline(0, 1);
    DestroyDeviceMap();
    shell::Document::DeleteContents();
}

void CdsServerDoc::DestroyDeviceMap()
{
    CdsDeviceMap* pMap = m_pDevices;
    if (!pMap)
        return;
    // The OPC bridge lets go of the map before it goes.
    if (CdsServerApp* pApp = CdsServerApp::GetApp())
        pApp->OnDeviceMapChanged(nullptr);
    CdsDeviceMap* expected = pMap;
    g_pDevices.compare_exchange_strong(expected, nullptr);
    m_pDevices = nullptr;
    pMap->Destroy();
}
