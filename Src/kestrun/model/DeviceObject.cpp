#include "kestrun/model/DeviceObject.h"

#include <algorithm>
#include <cstring>

#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/comm/handler/ThreadInfo.h"
#include "kestrun/model/DdeTopicRecord.h"
#include "kestrun/model/DeviceHandler.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/ItemName.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsDeviceObject, CObject, 1)

namespace {

std::string NameCase(const std::string& text)
{
    return kestrun::ApplyNameCase(text, CdsServerOptions::CaseSensitive());
}

bool TypeMatches(const CdsMemoryArray* block, int nType)
{
    return block && (nType == -1 || block->GetTypeData() == static_cast<WORD>(nType));
}

CdsMemoryArray* Lookup(const std::unordered_map<std::string, CdsMemoryArray*>& map, const std::string& key,
                       int nType)
{
    if (key.empty())
        return nullptr;
    auto it = map.find(key);
    return it != map.end() && TypeMatches(it->second, nType) ? it->second : nullptr;
}

void EraseIfBlock(std::unordered_map<std::string, CdsMemoryArray*>& map, const std::string& key,
                  const CdsMemoryArray* block)
{
    auto it = map.find(key);
    if (it != map.end() && it->second == block)
        map.erase(it);
}

// Stored order of the line configurations: each pair's master, then its backup.
constexpr std::array<int, CdsDeviceObject::kLines> kStoredLineOrder{0, 2, 1, 3};

void SetPointValue(CdsMemoryObject* point, SHORT value)
{
    if (!point)
        return;
    _BRISANTDATAVALUE cell{};
    cell.iVal = value;
    point->UpdateState(cell, FALSE, nullptr, nullptr, FALSE);
}

SHORT PointValue(const CdsMemoryObject* point, SHORT fallback)
{
    return point ? point->GetValue().iVal : fallback;
}

} // namespace

CdsDeviceObject::CdsDeviceObject() = default;

CdsDeviceObject::~CdsDeviceObject() { DeleteContents(); }

// --- archive ---

void CdsDeviceObject::Serialize(CArchive& ar)
{
    if (m_bSystemDevice)
        return;
    // The program's device makes its primary master configuration; without it
    // the record cannot be framed.
    if (!m_configs[0])
        throw CFileException(CFileException::endOfFile, -1, ar.GetFileName());

    if (ar.IsStoring()) {
        m_blocks.Serialize(ar);
        ar << static_cast<LONG>(m_configs[0]->GetPortType());
        // Every line is written, so a loader always reads four records.
        CompleteLineConfigs();
        for (int line : kStoredLineOrder)
            m_configs[static_cast<std::size_t>(line)]->Serialize(ar);
        ar << std::string_view(m_strName) << std::string_view(m_strDescription);
        ar << m_nDeviceType << m_nWriteTimeout << m_nReadTimeout;
        ar << std::string_view(m_strAddress) << std::string_view(m_strProtocol) << std::string_view(m_strPort)
           << std::string_view(m_strSetting) << std::string_view(m_strOptions);
        ar << m_bAsciiMode << m_nWriteTimeout << m_nReadTimeout << m_nNakDelay << m_nAckDelay << m_nRetries
           << m_nRetryDelay << m_nResetDelay << m_nMaxErrors << m_bCommandDiag << m_nCommandDiagValidateTime;
        ar << m_bDuplicateUpdate << m_bAutoSwitching << m_bBackupCommLog << m_bSwitchOnCommError
           << m_bSwitchOnCpuError << m_bSwitchOnRedundancyChange << m_bSwitchOnRunChange << m_nCheckInterval
           << m_bFastSwitch;
        return;
    }

    m_blocks.Serialize(ar);
    ReindexHeldBlocks();
    LONG storedPortType = 0;
    ar >> storedPortType;
    for (int line : kStoredLineOrder) {
        auto& config = m_configs[static_cast<std::size_t>(line)];
        // A line this device lacks takes the kind of its stored record.
        if (config)
            config->Serialize(ar);
        else
            config = CdsCommConfig::LoadCommConfig(ar);
    }
    ar >> m_strName >> m_strDescription;
    ar >> m_nDeviceType >> m_nWriteTimeout >> m_nReadTimeout;
    ar >> m_strAddress >> m_strProtocol >> m_strPort >> m_strSetting >> m_strOptions;
    ar >> m_bAsciiMode >> m_nWriteTimeout >> m_nReadTimeout >> m_nNakDelay >> m_nAckDelay >> m_nRetries >>
        m_nRetryDelay >> m_nResetDelay >> m_nMaxErrors >> m_bCommandDiag >> m_nCommandDiagValidateTime;
    ar >> m_bDuplicateUpdate >> m_bAutoSwitching >> m_bBackupCommLog >> m_bSwitchOnCommError >>
        m_bSwitchOnCpuError >> m_bSwitchOnRedundancyChange >> m_bSwitchOnRunChange >> m_nCheckInterval >>
        m_bFastSwitch;
}

void CdsDeviceObject::CompleteLineConfigs()
{
    const CdsCommConfig* primary = m_configs[0].get();
    if (!primary)
        return;
    for (auto& config : m_configs) {
        if (config)
            continue;
        CObject* made = primary->GetRuntimeClass()->CreateObject();
        config.reset(dynamic_cast<CdsCommConfig*>(made));
        if (!config) {
            delete made;
            config = CdsCommConfig::NewCommConfig(primary->GetPortType());
        }
        if (config)
            config->ResetPortId();
    }
}

// --- blocks ---

bool CdsDeviceObject::HoldsMemoryArray(const CdsMemoryArray* pArray) const
{
    if (!pArray)
        return false;
    if (HeldEntryOf(pArray) != m_heldByName.end())
        return true;
    // A block of this device renamed behind the index's back is still held; a new
    // block has no parent yet, so an import never looks through the whole index.
    return pArray->GetParent() == this &&
           std::any_of(m_heldByName.begin(), m_heldByName.end(),
                       [pArray](const auto& entry) { return entry.second == pArray; });
}

std::unordered_multimap<std::string, CdsMemoryArray*>::const_iterator
CdsDeviceObject::HeldEntryOf(const CdsMemoryArray* pArray) const
{
    // A held block keeps its name while it is held (renames pass through
    // ChangeMemoryArray), so its entry is under its name's key.
    const auto [first, last] = m_heldByName.equal_range(kestrun::ApplyNameCase(pArray->GetName(), false));
    for (auto it = first; it != last; ++it)
        if (it->second == pArray)
            return it;
    return m_heldByName.end();
}

CdsMemoryArray* CdsDeviceObject::FindSameNameAndType(const CdsMemoryArray& block) const
{
    // The index is kept in any case; the option decides what counts as the same name.
    const std::string name = NameCase(block.GetName());
    const auto [first, last] = m_heldByName.equal_range(kestrun::ApplyNameCase(block.GetName(), false));
    for (auto it = first; it != last; ++it) {
        CdsMemoryArray* other = it->second;
        if (other != &block && other->GetTypeData() == block.GetTypeData() && NameCase(other->GetName()) == name)
            return other;
    }
    return nullptr;
}

void CdsDeviceObject::IndexHeldBlock(CdsMemoryArray* pArray)
{
    if (!pArray || HeldEntryOf(pArray) != m_heldByName.end())
        return;
    m_heldByName.emplace(kestrun::ApplyNameCase(pArray->GetName(), false), pArray);
}

void CdsDeviceObject::UnindexHeldBlock(const CdsMemoryArray* pArray)
{
    if (!pArray)
        return;
    auto held = HeldEntryOf(pArray);
    if (held == m_heldByName.end())
        held = std::find_if(m_heldByName.begin(), m_heldByName.end(),
                            [pArray](const auto& entry) { return entry.second == pArray; });
    if (held != m_heldByName.end())
        m_heldByName.erase(held);
}

void CdsDeviceObject::ReindexHeldBlocks()
{
    m_heldByName.clear();
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        IndexHeldBlock(block);
}

CdsMemoryArray* CdsDeviceObject::AddMemoryArray(CdsMemoryArray* pArray, bool bInit)
{
    if (!pArray)
        return nullptr;
    // Adding a block twice must not free the one the list still holds.
    if (HoldsMemoryArray(pArray))
        return nullptr;
    if (CdsMemoryArray* existing = FindSameNameAndType(*pArray)) {
        if (!pArray->IsSystemArray()) {
            pArray->Destroy();
            return nullptr;
        }
        DestroyMemoryArray(existing);
    }
    if (!OnCreateMemoryArray(pArray, TRUE)) {
        pArray->Destroy();
        return nullptr;
    }
    if (bInit && !InitMemoryArray(pArray)) {
        DestroyMemoryArray(pArray);
        return nullptr;
    }
    return pArray;
}

CdsMemoryArray* CdsDeviceObject::AddMemoryArray(const CdsMemoryArray& src, bool bInit)
{
    if (FindSameNameAndType(src))
        return nullptr;
    CdsMemoryArray* block = NewMemoryArray(src);
    if (!block)
        return nullptr;
    if (!OnCreateMemoryArray(block, bInit ? TRUE : FALSE)) {
        block->Destroy();
        return nullptr;
    }
    if (bInit && !InitMemoryArray(block)) {
        DestroyMemoryArray(block);
        return nullptr;
    }
    return block;
}

CdsMemoryArray* CdsDeviceObject::NewMemoryArray(const CdsMemoryArray& src)
{
    CdsMemoryArray* block = NewMemoryArray();
    if (block)
        *block = src;
    return block;
}

BOOL CdsDeviceObject::OnCreateMemoryArray(CdsMemoryArray* pArray, BOOL bCreateItems)
{
    if (!pArray || HoldsMemoryArray(pArray) || pArray->GetMaxMemories() < 0)
        return FALSE;
    pArray->SetParent(this);
    m_blocks.AddTail(pArray);
    IndexHeldBlock(pArray);
    const int count = std::min(pArray->GetMaxMemories(), CdsMemoryArray::kMaxMemoriesLimit);
    for (int i = 0; i < count; ++i) {
        if (pArray->GetMemoryObject(i))
            continue;
        CdsMemoryObject* point = pArray->CreateMemoryObject(i, nullptr, bCreateItems);
        // A point made without registration still needs its place in the block,
        // or nobody would own it.
        if (point && !bCreateItems && !pArray->RegisterMemoryObject(i, point, FALSE))
            point->Destroy();
    }
    return TRUE;
}

BOOL CdsDeviceObject::RegisterMemoryArray(CdsMemoryArray* pArray, BOOL bReplace)
{
    if (!pArray || !HoldsMemoryArray(pArray))
        return FALSE;
    pArray->SetParent(this);
    const std::string name = NameCase(pArray->GetName());
    const std::string address = NameCase(pArray->GetAddr());
    if (name.empty() && address.empty())
        return FALSE;
    if (!name.empty() && (bReplace || !m_blocksByName.count(name)))
        m_blocksByName[name] = pArray;
    if (!address.empty() && (bReplace || !m_blocksByAddr.count(address)))
        m_blocksByAddr[address] = pArray;
    return TRUE;
}

void CdsDeviceObject::UnmapMemoryArray(CdsMemoryArray* pArray)
{
    EraseIfBlock(m_blocksByName, NameCase(pArray->GetName()), pArray);
    EraseIfBlock(m_blocksByAddr, NameCase(pArray->GetAddr()), pArray);
}

BOOL CdsDeviceObject::InitMemoryArray(CdsMemoryArray* pArray)
{
    if (!RegisterMemoryArray(pArray, TRUE) || !pArray->OnInitMemoryArray())
        return FALSE;
    for (int i = 0; i < pArray->GetSize(); ++i)
        if (CdsMemoryObject* point = pArray->GetMemoryObject(i))
            pArray->InitMemoryObject(i, point);
    return TRUE;
}

void CdsDeviceObject::ExitMemoryArray(CdsMemoryArray* pArray)
{
    if (!pArray)
        return;
    UnmapMemoryArray(pArray);
    pArray->OnExitMemoryArray();
    for (int i = 0; i < pArray->GetSize(); ++i)
        if (CdsMemoryObject* point = pArray->GetMemoryObject(i))
            pArray->ExitMemoryObject(i, point);
}

CdsMemoryArray* CdsDeviceObject::RemoveMemoryArray(CdsMemoryArray* pArray, bool bExit)
{
    if (!pArray)
        return nullptr;
    UnmapMemoryArray(pArray);
    bool held = false;
    while (m_blocks.Remove(pArray))
        held = true;
    UnindexHeldBlock(pArray);
    if (bExit)
        ExitMemoryArray(pArray);
    return held ? pArray : nullptr;
}

void CdsDeviceObject::DestroyMemoryArray(CdsMemoryArray* pArray)
{
    if (!pArray)
        return;
    UnmapMemoryArray(pArray);
    while (m_blocks.Remove(pArray)) {
    }
    UnindexHeldBlock(pArray);
    pArray->Destroy();
}

BOOL CdsDeviceObject::ChangeMemoryArray(CdsMemoryArray* pArray, const std::function<void()>& change,
                                        const std::function<void()>& undo)
{
    if (!HoldsMemoryArray(pArray))
        return FALSE;
    UnmapMemoryArray(pArray);
    UnindexHeldBlock(pArray);
    change();
    const BOOL changed = FindSameNameAndType(*pArray) ? FALSE : TRUE;
    if (!changed)
        undo();
    IndexHeldBlock(pArray);
    RegisterMemoryArray(pArray, TRUE);
    return changed;
}

void CdsDeviceObject::DetachClients()
{
    CdsDeviceMap::m_TopicListByName.RemoveDevice(this);
    if (m_pDdeTopic) {
        m_pDdeTopic->pDevice = nullptr;
        m_pDdeTopic = nullptr;
    }
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->DetachClients();
}

CdsMemoryObject* CdsDeviceObject::CreateMemoryObject(const char*, bool) { return nullptr; }

BOOL CdsDeviceObject::IsEmpty() const { return m_blocks.GetTotalCount() == 0; }

CdsMemoryArray* CdsDeviceObject::GetMemoryArrayByName(const std::string& strName, int nType) const
{
    return Lookup(m_blocksByName, NameCase(strName), nType);
}

CdsMemoryArray* CdsDeviceObject::GetMemoryArrayByAddr(const std::string& strAddress, int nType) const
{
    std::string address = NameCase(strAddress);
    std::size_t colon = address.find(':');
    if (colon != std::string::npos && colon > 0)
        address.resize(colon);
    std::size_t slash = address.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        address.resize(slash);
    } else if (CdsServerOptions::g_bEnableDotSubset.load()) {
        std::size_t dot = address.rfind('.');
        if (dot != std::string::npos && dot > 0)
            address.resize(dot);
    }
    return Lookup(m_blocksByAddr, address, nType);
}

CdsMemoryArray* CdsDeviceObject::FindMemoryArray(const std::string& strName, int nType) const
{
    if (CdsMemoryArray* block = GetMemoryArrayByName(strName, nType))
        return block;
    return GetMemoryArrayByAddr(strName, nType);
}

CdsMemoryArray* CdsDeviceObject::FindMemoryArray(const std::string& strTopic, const std::string& strName,
                                                 int nType) const
{
    return FindMemoryArray("[" + strTopic + "]" + strName, nType);
}

CdsMemoryObject* CdsDeviceObject::GetMemoryObject(const std::string& strItem) const
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        if (CdsMemoryObject* point = block->FindMemoryObjectByKey(strItem))
            return point;
    return nullptr;
}

CdsMemoryObject* CdsDeviceObject::CreateDynamicMemoryObject(CdsMemoryArray* pArray, const char* pszItem)
{
    if (!pArray || !pszItem)
        return nullptr;
    CdsMemoryObject* point = CreateMemoryObject(pszItem, true);
    if (point && point->GetParent())
        point->GetParent()->SetParent(this);
    return point;
}

void CdsDeviceObject::BuildItemListMaps()
{
    ReindexHeldBlocks();
    m_blocksByAddr.clear();
    m_blocksByName.clear();
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        std::string address = NameCase(block->GetAddr());
        if (!address.empty())
            m_blocksByAddr[address] = block;
    }
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        std::string name = NameCase(block->GetName());
        if (!name.empty())
            m_blocksByName[name] = block;
    }
}

// --- lines ---

int CdsDeviceObject::GetLineIndex(const tagTHREADINFO* pLine)
{
    if (!pLine)
        return 0;
    return (pLine->m_bIsBackup ? 2 : 0) + (pLine->m_bIsSecondary ? 1 : 0);
}

CdsCommConfig* CdsDeviceObject::GetCommConfigAt(int nLine) const
{
    if (nLine < 0 || nLine >= kLines)
        return nullptr;
    return m_configs[static_cast<std::size_t>(nLine)].get();
}

CdsCommConfig* CdsDeviceObject::GetCommConfig(const tagTHREADINFO* pLine) const
{
    return GetCommConfigAt(GetLineIndex(pLine));
}

void CdsDeviceObject::SetCommConfig(int nLine, std::unique_ptr<CdsCommConfig> pConfig)
{
    if (nLine >= 0 && nLine < kLines)
        m_configs[static_cast<std::size_t>(nLine)] = std::move(pConfig);
}

bool CdsDeviceObject::IsValidConfigAt(int nLine) const
{
    const CdsCommConfig* config = GetCommConfigAt(nLine);
    return config && config->GetPortId() != COMM_NO_PORT_ID;
}

bool CdsDeviceObject::IsBackupDeviceReady(const tagTHREADINFO* pLine) const
{
    if (!pLine)
        return false;
    return pLine->m_bIsBackup ? IsValidSecondaryBackupConfig() : IsValidSecondaryMasterConfig();
}

DWORD CdsDeviceObject::GetPortHandle() const
{
    if (m_configs[0])
        return m_configs[0]->GetPortHandle();
    return m_bSystemDevice ? 0 : COMM_NO_PORT_HANDLE;
}

kestrun::HandlerLink* CdsDeviceObject::GetDeviceHdlr() const
{
    kestrun::HandlerTable* table = kestrun::HandlerTable::Installed();
    return table ? table->GetCommHdlrByHandle(GetPortHandle()) : nullptr;
}

kestrun::DeviceHandler* CdsDeviceObject::GetCommHdlr() const
{
    DWORD handle = GetPortHandle();
    kestrun::HandlerTable* table = kestrun::HandlerTable::Installed();
    if (handle == COMM_NO_PORT_HANDLE || !table)
        return nullptr;
    return table->GetCommHdlrByHandle(handle);
}

LONG CdsDeviceObject::GetErrorCount(const tagTHREADINFO* pLine) const
{
    return m_nErrorCount[static_cast<std::size_t>(GetLineIndex(pLine))].load();
}

LONG CdsDeviceObject::AddErrorCount(const tagTHREADINFO* pLine, LONG n)
{
    return m_nErrorCount[static_cast<std::size_t>(GetLineIndex(pLine))] += n;
}

LONG CdsDeviceObject::SubErrorCount(const tagTHREADINFO* pLine, LONG n)
{
    return m_nErrorCount[static_cast<std::size_t>(GetLineIndex(pLine))] -= n;
}

void CdsDeviceObject::ResetErrorCount(const tagTHREADINFO* pLine)
{
    m_nErrorCount[static_cast<std::size_t>(GetLineIndex(pLine))] = 0;
}

LONG CdsDeviceObject::SetErrorCountOverMaxAllowed(const tagTHREADINFO* pLine)
{
    return AddErrorCount(pLine, GetMaxErrorsAllowed(pLine));
}

LONG CdsDeviceObject::GetMaxErrorsAllowed(const tagTHREADINFO* pLine) const
{
    if (m_bFastSwitch && m_bAutoSwitching && pLine &&
        (pLine->m_nKind == LINE_KIND_UPDATE || pLine->m_nKind == LINE_KIND_MONITOR) && IsBackupDeviceReady(pLine))
        return 0;
    return m_nMaxErrors;
}

LONG CdsDeviceObject::GetRetryOnError(const tagTHREADINFO* pLine) const
{
    if (m_bFastSwitch && m_bAutoSwitching && pLine &&
        (pLine->m_nKind == LINE_KIND_UPDATE || pLine->m_nKind == LINE_KIND_MONITOR) && IsBackupDeviceReady(pLine))
        return 0;
    return m_nRetries;
}

LONGLONG CdsDeviceObject::GetLastUpdateTime(const tagTHREADINFO* pLine) const
{
    return m_tLastUpdate[static_cast<std::size_t>(GetLineIndex(pLine))].load();
}

void CdsDeviceObject::SetLastUpdateTime(const tagTHREADINFO* pLine, LONGLONG t)
{
    m_tLastUpdate[static_cast<std::size_t>(GetLineIndex(pLine))] = t;
}

LONGLONG CdsDeviceObject::GetLastMonitorTime(const tagTHREADINFO* pLine) const
{
    return m_tLastMonitor[static_cast<std::size_t>(GetLineIndex(pLine))].load();
}

void CdsDeviceObject::SetLastMonitorTime(const tagTHREADINFO* pLine, LONGLONG t)
{
    m_tLastMonitor[static_cast<std::size_t>(GetLineIndex(pLine))] = t;
}

char* CdsDeviceObject::GetMonitorQueryBuffer(const tagTHREADINFO* pLine)
{
    return m_monitorQuery[static_cast<std::size_t>(GetLineIndex(pLine))].data();
}

bool CdsDeviceObject::IsMonitorQueryStringInitialized(const tagTHREADINFO* pLine) const
{
    return m_bMonitorQueryInitialized[static_cast<std::size_t>(GetLineIndex(pLine))].load();
}

void CdsDeviceObject::SetMonitorQueryStringInitialized(const tagTHREADINFO* pLine, bool bInitialized)
{
    m_bMonitorQueryInitialized[static_cast<std::size_t>(GetLineIndex(pLine))] = bInitialized;
}

char* CdsDeviceObject::GetMonitorQueryString(const tagTHREADINFO* pLine, bool)
{
    return GetMonitorQueryBuffer(pLine);
}

char* CdsDeviceObject::FillMonitorQueryString(const tagTHREADINFO* pLine) { return GetMonitorQueryBuffer(pLine); }

int CdsDeviceObject::GetMonitorQueryStringLen(const tagTHREADINFO* pLine, const char* pszText)
{
    const char* text = pszText ? pszText : GetMonitorQueryBuffer(pLine);
    // The line's buffer is bounded; a foreign text is the caller's.
    if (!pszText)
        return static_cast<int>(strnlen(text, kMonitorQuerySize));
    return static_cast<int>(std::strlen(text));
}

int CdsDeviceObject::GetMonitorResponseStringLen(const tagTHREADINFO*) const { return 4096; }

int CdsDeviceObject::UpdateUnboundMessage(const BYTE*, int, const tagTHREADINFO*) { return 0; }
int CdsDeviceObject::UpdateStatus(const BYTE*, int, const tagTHREADINFO*) { return 0; }


// --- status points ---

// Without "$ModeSys" (system mode off) the device counts as online.
SHORT CdsDeviceObject::GetSysMode() const { return PointValue(m_pSysMode, kSysModeOnline); }

CdsMemoryObject* CdsDeviceObject::GetUpdateModeObject(const tagTHREADINFO* pLine) const
{
    return pLine ? m_pUpdateMode[static_cast<std::size_t>(GetLineIndex(pLine))] : nullptr;
}

SHORT CdsDeviceObject::GetUpdateMode(const tagTHREADINFO* pLine) const
{
    return PointValue(GetUpdateModeObject(pLine), -1);
}

CdsMemoryObject* CdsDeviceObject::GetTimeObject(const tagTHREADINFO* pLine) const
{
    return pLine ? m_pTime[static_cast<std::size_t>(GetLineIndex(pLine))] : nullptr;
}

SHORT CdsDeviceObject::GetMasterActiveLine() const { return PointValue(m_pActiveLine[0], -1); }

void CdsDeviceObject::SetStatusAllItems(WORD wQuality)
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        if (block->IsSystemArray())
            continue;
        for (int i = 0; i < block->GetSize(); ++i)
            if (CdsMemoryObject* point = block->GetMemoryObject(i))
                point->SetStatus(wQuality);
    }
    const bool good = CdsMemoryObject::IsGoodQuality(wQuality);
    SetPointValue(m_pCommGood, good ? 1 : 0);
    SetPointValue(m_pCommFail, good ? 0 : 1);
}

void CdsDeviceObject::SetStatusOfUnreadItems(WORD wQuality)
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        if (block->IsSystemArray())
            continue;
        for (int i = 0; i < block->GetSize(); ++i)
            if (CdsMemoryObject* point = block->GetMemoryObject(i); point && point->GetStatus() == 0)
                point->SetStatus(wQuality);
    }
}

void CdsDeviceObject::TouchAllItems(BOOL bTouched)
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks()) {
        if (block->IsSystemArray())
            continue;
        for (int i = 0; i < block->GetSize(); ++i)
            if (CdsMemoryObject* point = block->GetMemoryObject(i))
                point->SetTouched(bTouched);
    }
}

void CdsDeviceObject::SetModified(BOOL bModified)
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->SetModified(bModified);
}

void CdsDeviceObject::RemoveActiveDevices()
{
    if (kestrun::DeviceHandler* handler = GetCommHdlr())
        handler->RemoveActiveDevice(this);
}

// --- online ---

BOOL CdsDeviceObject::SetParent(CdsDeviceMap* pMap)
{
    m_pParent = pMap;
    return TRUE;
}

BOOL CdsDeviceObject::SetOnline(int bOnline, CdsDeviceMap* pMap)
{
    if (!SetParent(pMap) || pMap != m_pParent)
        return FALSE;
    if (m_bSystemDevice && m_nDeviceType != 0) {
        if (bOnline)
            SetAllMemoriesOnline();
        else
            SetAllMemoriesOffline();
        return TRUE;
    }
    return bOnline ? CreateDeviceHdlr() : DestroyDeviceHdlr();
}

void CdsDeviceObject::SetAllMemoriesOnline()
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->SetOnline(TRUE, this);
}

void CdsDeviceObject::SetAllMemoriesOffline()
{
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->SetOnline(FALSE, this);
}

BOOL CdsDeviceObject::CreateDeviceHdlr()
{
    kestrun::DeviceHandler* handler = nullptr;
    const DWORD handle = GetPortHandle();
    // A device without a port has no handler to serve it.
    if (kestrun::HandlerTable* table = kestrun::HandlerTable::Installed(); table && handle != COMM_NO_PORT_HANDLE) {
        handler = table->GetCommHdlrByHandle(handle);
        if (!handler)
            handler = table->CreateCommHdlr(handle);
    }
    // A standby still down when the device comes back online is logged again.
    for (CdsFailureRun& failures : m_monitorFailures)
        failures.Recover();
    // Blocks may be replaced by their own initialisation: walk a copy.
    const std::vector<CdsMemoryArray*> blocks = m_blocks.GetBlocks();
    for (CdsMemoryArray* block : blocks) {
        InitMemoryArray(block);
        block->SetOnline(TRUE, this);
    }
    OnOnline();
    return handler ? handler->DoOnline(this) : TRUE;
}

BOOL CdsDeviceObject::DestroyDeviceHdlr()
{
    // The handler stops the port's lines first: they poll these blocks.
    if (kestrun::DeviceHandler* handler = GetCommHdlr())
        handler->DoOffline(this);
    const std::vector<CdsMemoryArray*> blocks = m_blocks.GetBlocks();
    for (CdsMemoryArray* block : blocks) {
        block->SetOnline(FALSE, this);
        ExitMemoryArray(block);
    }
    OnOffline();
    return TRUE;
}

// --- loading, copying, destruction ---

void CdsDeviceObject::OnLoading()
{
    CreateSystemArrays();
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->SetParent(this);
    BuildItemListMaps();
    for (CdsMemoryArray* block : m_blocks.GetBlocks())
        block->OnLoading();
}

CdsDeviceObject& CdsDeviceObject::operator=(const CdsDeviceObject& src)
{
    if (this == &src)
        return *this;
    for (int line = 0; line < kLines; ++line) {
        const CdsCommConfig* from = src.GetCommConfigAt(line);
        if (!from)
            continue;
        auto& to = m_configs[static_cast<std::size_t>(line)];
        // A line of another kind takes the source's kind: a copy keeps every port.
        if (!to || to->GetPortType() != from->GetPortType())
            to = CdsCommConfig::NewCommConfig(from->GetPortType());
        if (to)
            *to = *from;
    }
    m_strName = src.m_strName;
    m_strOptions = src.m_strOptions;
    m_strDescription = src.m_strDescription;
    m_nWriteTimeout = src.m_nWriteTimeout;
    m_nReadTimeout = src.m_nReadTimeout;
    m_strAddress = src.m_strAddress;
    m_strProtocol = src.m_strProtocol;
    m_strPort = src.m_strPort;
    m_strSetting = src.m_strSetting;
    if (src.m_nDeviceType != -1)
        m_nDeviceType = src.m_nDeviceType;
    m_bAsciiMode = src.m_bAsciiMode;
    m_nNakDelay = src.m_nNakDelay;
    m_nAckDelay = src.m_nAckDelay;
    m_bCommandDiag = src.m_bCommandDiag;
    m_nCommandDiagValidateTime = src.m_nCommandDiagValidateTime;
    m_nRetries = src.m_nRetries;
    m_nRetryDelay = src.m_nRetryDelay;
    m_nResetDelay = src.m_nResetDelay;
    m_nMaxErrors = src.m_nMaxErrors;
    m_dwDdeBranch = src.m_dwDdeBranch;
    m_bSystemDevice = src.m_bSystemDevice;
    m_bDuplicateUpdate = src.m_bDuplicateUpdate;
    m_bAutoSwitching = src.m_bAutoSwitching;
    m_bBackupCommLog = src.m_bBackupCommLog;
    m_bSwitchOnCommError = src.m_bSwitchOnCommError;
    m_bSwitchOnCpuError = src.m_bSwitchOnCpuError;
    m_bSwitchOnRedundancyChange = src.m_bSwitchOnRedundancyChange;
    m_bSwitchOnRunChange = src.m_bSwitchOnRunChange;
    m_nCheckInterval = src.m_nCheckInterval;
    m_bFastSwitch = src.m_bFastSwitch;
    return *this;
}

void CdsDeviceObject::DeleteContents()
{
    // The handler is found through the primary configuration: ask it first.
    RemoveActiveDevices();
    if (m_pDdeTopic) {
        m_pDdeTopic->pDevice = nullptr;
        m_pDdeTopic = nullptr;
    }
    for (auto& config : m_configs)
        config.reset();
    ForgetStatusPoints();
    m_blocksByName.clear();
    m_blocksByAddr.clear();
    m_heldByName.clear();
    m_blocks.DeleteContents();
}

void CdsDeviceObject::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy)
        delete this;
}
