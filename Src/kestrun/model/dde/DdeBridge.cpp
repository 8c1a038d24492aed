// The bridge's action table and the actions that touch no records.
#include "kestrun/model/dde/DdeBridge.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/dde/BrisantToolkit.h"

namespace kestrun {

namespace {

std::atomic<DdeBridge*> g_pInstalled{nullptr};

// The text cut to the buffer, always terminated.
void CopyText(char* pBuffer, int nSize, std::string_view text)
{
    if (!pBuffer || nSize <= 0)
        return;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(nSize) - 1);
    std::memcpy(pBuffer, text.data(), length);
    pBuffer[length] = '\0';
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

DdeBridgeOptions DdeBridgeOptions::Current()
{
    DdeBridgeOptions options;
    options.clientUpdateMs = static_cast<DWORD>(CdsServerOptions::g_dwClientUpdateTime.load());
    options.initialDataWaitMs = static_cast<DWORD>(CdsServerOptions::g_dwWaitTimeInitialData.load());
    options.updateSameValue = CdsServerOptions::g_bUpdateSameValue.load() != 0;
    options.viewActions = CdsServerOptions::g_bViewActions.load() != 0;
    options.autoCloseOnNoClient = CdsServerOptions::g_bAutoCloseOnNoClient.load() != 0;
    return options;
}

int MapDataTypeFormat(int nType)
{
    if ((nType >= BRISANT_DWORD && nType <= BRISANT_WORDARRAY) || (nType >= BRISANT_DWORDARRAY && nType <= BRISANT_FIXEDSTRINGARRAY))
        return nType + 1;
    return nType;
}

DdeBridge::DdeBridge(DdeBridgeHost& host, const win::Clock& clock)
    : m_host(host), m_refusals(clock, [&host](int nCode, const CdsHint& hint) { host.UpdateViews(nCode, hint); })
{
}

DdeBridge::~DdeBridge()
{
    DdeBridge* self = this;
    g_pInstalled.compare_exchange_strong(self, nullptr);
    FreeAll();
}

DdeBridge* DdeBridge::Install(DdeBridge* pBridge) { return g_pInstalled.exchange(pBridge); }
DdeBridge* DdeBridge::Installed() { return g_pInstalled.load(); }

long DdeBridge::SystemAction(int nAction, _BRISANT_DATAACTION* pAction)
{
    DdeBridge* bridge = g_pInstalled.load();
    return bridge ? bridge->Action(nAction, pAction) : 0;
}

struct DdeBridge::ActionEntry {
    int code;
    long (DdeBridge::*handler)(_BRISANT_DATAACTION&);
    bool reportsZero;   // a result of 0 sends hint 401 with the code
};

const DdeBridge::ActionEntry* DdeBridge::FindAction(int nAction)
{
    static const ActionEntry kActions[] = {
        {0, &DdeBridge::OnServerInfo, false},       {1, &DdeBridge::OnStart, false},
        {2, &DdeBridge::OnStop, false},             {3, &DdeBridge::OnExecute, false},
        {5, &DdeBridge::OnTopicDestroyed, true},    {7, &DdeBridge::OnTimer, false},
        {8, &DdeBridge::OnItemActivated, true},     {9, &DdeBridge::OnItemDeactivated, false},
        {10, &DdeBridge::OnItemDestroyed, true},    {11, &DdeBridge::OnItemGenerate, false},
        {12, &DdeBridge::OnPoke, false},            {13, &DdeBridge::OnTopicGenerate, false},
        {15, &DdeBridge::OnAccepted, false},        {16, &DdeBridge::OnReadNow, false},
        {17, &DdeBridge::OnFirstTopic, false},
        {18, &DdeBridge::OnNextTopic, false},       {19, &DdeBridge::OnUserError, false},
        {20, &DdeBridge::OnToolkitError, false},        {21, &DdeBridge::OnSystemRequest, false},
        {22, &DdeBridge::OnAccepted, false},        {23, &DdeBridge::OnVendorInfo, false},
        {24, &DdeBridge::OnDataTypeQuery, false},   {25, &DdeBridge::OnClientConnected, false},
        {26, &DdeBridge::OnClientDisconnected, false}, {27, &DdeBridge::OnAccepted, false},
        {28, &DdeBridge::OnAccepted, false},        {29, &DdeBridge::OnAccepted, false},
        {30, &DdeBridge::OnAccepted, false},        {31, &DdeBridge::OnBrowseInfo, false},
        {106, &DdeBridge::OnAccepted, false},
    };
    for (const ActionEntry& entry : kActions)
        if (entry.code == nAction)
            return &entry;
    return nullptr;
}

long DdeBridge::Action(int nAction, _BRISANT_DATAACTION* pAction)
{
    const ActionEntry* entry = pAction ? FindAction(nAction) : nullptr;
    if (!entry)
        return 0;
    const long result = (this->*entry->handler)(*pAction);
    if (result == 0 && entry->reportsZero)
        SendActionHint(HINT_ACTION_FAILED, *pAction, nAction);
    return result;
}

void DdeBridge::SetDeviceMap(CdsDeviceMap* pMap)
{
    if (pMap != m_pMap)
        m_bBrowseBuilt = false;
    m_pMap = pMap;
}

void DdeBridge::SendHint(int nCode, const CdsHint& hint)
{
    // A client asking again and again for what it cannot have must not flood the log.
    if (nCode >= 400 && nCode < 500)
        m_refusals.Log(nCode, hint);
    else
        m_host.UpdateViews(nCode, hint);
}

void DdeBridge::SendActionHint(int nCode, const _BRISANT_DATAACTION& a, int nNumber, const std::string& strItem)
{
    CdsHint hint = CdsHint::ForAction(&a, nNumber);
    // The names travel as texts: a view that keeps the hint must not reach into records.
    if (DdeTopicRecord* topic = AsTopic(a.pTopic))
        hint.m_strTopic = topic->strName;
    if (DdeItemRecord* item = AsItem(a.pItem)) {
        hint.m_strItem = item->strItem;
        hint.m_pObject = item->pPoint;
    }
    if (!strItem.empty())
        hint.m_strItem = strItem;
    SendHint(nCode, hint);
}

// --- actions without records ---

long DdeBridge::OnServerInfo(_BRISANT_DATAACTION& a)
{
    std::string name, company;
    if (!m_host.GetServerIdentity(name, company))
        return 0;
    CopyText(a.pszServerName, a.nServerNameSize, name);
    CopyText(a.pszCompany, a.nCompanySize, company);
    static constexpr const char* kInfo[4] = {"System", "", "System is operational", "Non Available"};
    for (int i = 0; i < 4; ++i)
        CopyText(a.pszInfo[i], a.nInfoSize[i], kInfo[i]);
    return 1;
}

long DdeBridge::OnStart(_BRISANT_DATAACTION& a)
{
    const DdeBridgeOptions options = DdeBridgeOptions::Current();
    if (!dde::BrisantStartServer(a.dwServerId, options.clientUpdateMs, options.initialDataWaitMs))
        return 0;
    const HBRISANTHEAP heap = dde::BrisantCreateHeap(a.dwServerId, 1);
    if (!heap)
        return 0;
    m_hHeap = heap;
    m_dwServerId = a.dwServerId;
    return 1;
}

long DdeBridge::OnStop(_BRISANT_DATAACTION& a)
{
    if (dde::BrisantReleaseHeap(a.dwServerId, m_hHeap))
        m_hHeap = 0;
    return 1;
}

long DdeBridge::OnExecute(_BRISANT_DATAACTION& a)
{
    if (!a.pszText || !SameTextIgnoringCase(a.pszText, "CLOSE SERVER"))
        return 0;
    DoCloseServer();
    return 1;
}

long DdeBridge::OnTimer(_BRISANT_DATAACTION& a)
{
    m_refusals.Flush(false);
    DoTimerFired(a);
    return 1;
}

// Every device is a topic a client may ask for, whether or not a conversation
// has made its topic record yet.
long DdeBridge::OnFirstTopic(_BRISANT_DATAACTION& a)
{
    a.nListPos = 0;
    m_topicNames.clear();
    if (m_pMap) {
        for (const auto& [key, device] : m_pMap->GetDevices())
            if (device && !device->m_strName.empty())
                m_topicNames.push_back(device->m_strName);
    } else {
        for (DdeTopicRecord* topic = m_pTopics; topic; topic = topic->pNext)
            m_topicNames.push_back(topic->strName);
    }
    std::sort(m_topicNames.begin(), m_topicNames.end());
    if (m_topicNames.empty())
        return 0;
    a.pszText = m_topicNames.front().c_str();
    return 1;
}

long DdeBridge::OnNextTopic(_BRISANT_DATAACTION& a)
{
    ++a.nListPos;
    if (a.nListPos < 0 || static_cast<std::size_t>(a.nListPos) >= m_topicNames.size())
        return 0;
    a.pszText = m_topicNames[static_cast<std::size_t>(a.nListPos)].c_str();
    return 1;
}

long DdeBridge::OnUserError(_BRISANT_DATAACTION& a)
{
    switch (a.nUserErrorKind) {
    case 1:
        a.pszText = "CF_TEXT User Error !";
        a.nReturnLength = 21;
        return 1;
    case 2:
        a.nQuality = 7;
        return 1;
    case 4:
        a.pszText = "AdvancedDDE User Error !";
        a.nReturnLength = 25;
        a.nQuality = 64206;
        return 1;
    default:
        return 0;
    }
}

long DdeBridge::OnSystemRequest(_BRISANT_DATAACTION& a)
{
    static constexpr std::string_view kText = "This is the system request string in strdata2";
    auto* block = static_cast<char*>(dde::BrisantHeapAlloc(a.dwServerId, m_hHeap, 50));
    if (!block)
        return 1;
    std::memcpy(block, kText.data(), kText.size());
    a.pszReturn = block;
    a.nReturnLength = static_cast<LONG>(kText.size());
    return 1;
}

long DdeBridge::OnVendorInfo(_BRISANT_DATAACTION& a) { return m_host.FillServerVendorInfo(a); }

long DdeBridge::OnAccepted(_BRISANT_DATAACTION&) { return 1; }

long DdeBridge::OnClientConnected(_BRISANT_DATAACTION&)
{
    ++m_nClientCount;
    return 1;
}

long DdeBridge::OnClientDisconnected(_BRISANT_DATAACTION&)
{
    if (m_nClientCount > 0 && --m_nClientCount == 0 && DdeBridgeOptions::Current().autoCloseOnNoClient)
        DoCloseServer();
    return 1;
}

long DdeBridge::OnBrowseInfo(_BRISANT_DATAACTION& a)
{
    m_bBrowseAsked = true;
    DoUpdateBrowseInfo(a.dwServerId);
    return 1;
}

} // namespace kestrun
