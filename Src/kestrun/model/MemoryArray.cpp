#include "kestrun/model/MemoryArray.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/DdeItemRecord.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/model/MemoryVariant.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"
#include "platform/com/Bstr.h"
#include "platform/dde/BrisantToolkit.h"

IMPLEMENT_SERIAL(CdsMemoryArray, CObject, 1)
IMPLEMENT_SERIAL(CdsMemoryArrayList, CObject, 1)

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string NameCase(const std::string& text) { return CdsServerOptions::CaseSensitive() ? text : Upper(text); }

} // namespace

CdsMemoryArray::CdsMemoryArray(int nMaxMemories) : m_nMaxMemories(nMaxMemories + 1) {}

CdsMemoryArray::~CdsMemoryArray()
{
    DeleteContents();
    delete m_pVariants.load();
}

CdsMemoryArray::Variants& CdsMemoryArray::MakeVariants()
{
    if (Variants* variants = FindVariants())
        return *variants;
    // Two clients may add a block's first variants at once: one set wins.
    auto made = std::make_unique<Variants>();
    Variants* expected = nullptr;
    if (m_pVariants.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel))
        return *made.release();
    return *expected;
}

void CdsMemoryArray::Serialize(CArchive& ar)
{
    if (m_bSystem)
        return;
    if (ar.IsStoring()) {
        afx::WriteObjects(ar, m_points);
        ar << std::string_view(m_strName) << std::string_view(m_strAddress) << std::string_view(m_strDescription);
        ar << static_cast<SHORT>(m_nTypeData);
        ar << static_cast<LONG>(m_nLength) << static_cast<LONG>(m_nScanTime) << static_cast<LONG>(m_nPriority)
           << static_cast<LONG>(m_bReadAllowed) << static_cast<LONG>(m_bWriteAllowed);
        ar << static_cast<LONG>(m_nDefaultDataType) << static_cast<LONG>(m_nMaxMemories);
        return;
    }
    DeleteContents();
    DWORD count = ar.ReadCount();
    // No block holds more points than an index can address.
    if (count > static_cast<DWORD>(kMaxMemoriesLimit))
        throw CArchiveException(CArchiveException::badIndex, ar.GetFileName());
    m_points.reserve(count);
    for (DWORD i = 0; i < count; ++i)
        m_points.push_back(ar.ReadNew<CdsMemoryObject>().release());
    NotePointChange();
    std::string address;
    ar >> m_strName >> address >> m_strDescription;
    SetAddr(address);
    SHORT typeData = 0;
    LONG length = 0, scanTime = 0, priority = 0, readAllowed = 0, writeAllowed = 0, defaultType = 0, maxMemories = 0;
    ar >> typeData >> length >> scanTime >> priority >> readAllowed >> writeAllowed >> defaultType >> maxMemories;
    m_nTypeData = typeData;
    m_nLength = length;
    m_nScanTime = scanTime;
    m_nPriority = priority;
    m_bReadAllowed = readAllowed;
    m_bWriteAllowed = writeAllowed;
    m_nDefaultDataType = defaultType;
    m_nMaxMemories = std::clamp<LONG>(maxMemories, 0, kMaxMemoriesLimit);
}

WORD CdsMemoryArray::GetTypeData() const { return static_cast<WORD>(m_nDefaultDataType & 0xFFFF); }

void CdsMemoryArray::SetAddr(const std::string& strAddress)
{
    // Normalised once here: line threads read the address while the block is online.
    m_strAddress = NameCase(strAddress);
}

std::string CdsMemoryArray::GetPath()
{
    std::string path = m_strName.empty() ? m_strAddress : "[" + m_strName + "]" + m_strAddress;
    return NameCase(path);
}

BOOL CdsMemoryArray::SetPriority(int n)
{
    if (n < 0 || n > 9)
        return FALSE;
    m_nPriority = n;
    return TRUE;
}

int CdsMemoryArray::GetScanTime() const { return m_nScanTime >= 100 && m_nScanTime <= 10000 ? m_nScanTime : 1000; }

BOOL CdsMemoryArray::SetScanTime(int n)
{
    if (n < 100 || n > 10000)
        return FALSE;
    m_nScanTime = n;
    return TRUE;
}

// --- points ---

std::string CdsMemoryArray::MapKey(const CdsMemoryObject& point) { return NameCase(point.GetName()); }

void CdsMemoryArray::UnmapPoint(CdsMemoryObject* pPoint, int nIndex)
{
    // Another point may hold the key (a duplicate in a loaded file): leave its entry.
    if (m_nameMap.Erase(MapKey(*pPoint), nIndex))
        return;
    // The point was renamed after it was mapped: no entry may keep leading to it.
    m_nameMap.EraseAll(nIndex);
}

CdsMemoryObject* CdsMemoryArray::GetMemoryObject(int nIndex) const
{
    if (nIndex < 0 || nIndex >= static_cast<int>(m_points.size()))
        return nullptr;
    return m_points[static_cast<std::size_t>(nIndex)];
}

CdsMemoryObject* CdsMemoryArray::FindMemoryObjectByKey(const std::string& strKey) const
{
    return GetMemoryObject(m_nameMap.Find(NameCase(strKey)));
}

BOOL CdsMemoryArray::HasAtLeastOneMemoryObject() const
{
    return std::any_of(m_points.begin(), m_points.end(), [](CdsMemoryObject* p) { return p != nullptr; });
}

BOOL CdsMemoryArray::RegisterMemoryObject(int nIndex, CdsMemoryObject* pPoint, BOOL bReplace)
{
    if (!pPoint || nIndex < 0)
        return FALSE;
    // The limit is checked before the array grows.
    if (nIndex > CdsMemoryObject::kMaxIndex)
        return FALSE;
    std::size_t slot = static_cast<std::size_t>(nIndex);
    if (m_points.size() <= slot)
        m_points.resize(slot + 1, nullptr);
    if (m_points[slot] == pPoint) {
        if (pPoint->GetIndex() < 0)
            pPoint->SetParent(nIndex, this);
        return TRUE;
    }
    if (m_points[slot]) {
        if (!bReplace)
            return FALSE;
        DestroyMemoryObject(nIndex);
    }
    if (!pPoint->SetParent(nIndex, this))
        return FALSE;
    std::string key = MapKey(*pPoint);
    if (!key.empty()) {
        if (!m_nameMap.Insert(key, nIndex))
            return FALSE;
    }
    m_points[slot] = pPoint;
    NotePointChange();
    return TRUE;
}

BOOL CdsMemoryArray::InitMemoryObject(int nIndex, CdsMemoryObject* pPoint)
{
    return RegisterMemoryObject(nIndex, pPoint, TRUE);
}

void CdsMemoryArray::ExitMemoryObject(int, CdsMemoryObject*) {}

CdsMemoryObject* CdsMemoryArray::NewMemoryObject(const CdsMemoryObject&) { return nullptr; }
CdsMemoryObject* CdsMemoryArray::NewMemoryObject() { return nullptr; }
CdsMemoryObject* CdsMemoryArray::NewMemoryVariant() { return new CdsMemoryVariant; }

CdsMemoryObject* CdsMemoryArray::CreateMemoryObject(int nIndex, const CdsMemoryObject* pTemplate, BOOL bRegister)
{
    CdsMemoryObject* point = NewMemoryObject();
    if (!point)
        return nullptr;
    point->m_pParent = this;
    if (pTemplate) {
        if (!pTemplate->GetOwnName().empty())
            point->SetName(pTemplate->GetOwnName());
        if (!pTemplate->GetOwnPseudoName().empty())
            point->SetPseudoNameText(pTemplate->GetOwnPseudoName());
    }
    if (bRegister && !InitMemoryObject(nIndex, point)) {
        point->Destroy();
        return nullptr;
    }
    return point;
}

CdsMemoryObject* CdsMemoryArray::AddMemoryObject(int nIndex, const CdsMemoryObject& templ, BOOL bRegister)
{
    if (nIndex < 0)
        nIndex = GetSize();
    CdsMemoryObject* point = CreateMemoryObject(nIndex, &templ, bRegister);
    if (point)
        *point = templ;
    return point;
}

CdsMemoryObject* CdsMemoryArray::AddMemoryObject(int nIndex, CdsMemoryObject* pPoint, BOOL bRegister)
{
    if (!pPoint)
        return nullptr;
    if (nIndex < 0)
        nIndex = GetSize();
    if (bRegister && !InitMemoryObject(nIndex, pPoint)) {
        pPoint->Destroy();
        return nullptr;
    }
    return pPoint;
}

BOOL CdsMemoryArray::DestroyMemoryObject(int nIndex)
{
    CdsMemoryObject* point = GetMemoryObject(nIndex);
    if (!point)
        return FALSE;
    UnmapPoint(point, nIndex);
    m_points[static_cast<std::size_t>(nIndex)] = nullptr;
    NotePointChange();
    point->Destroy();
    return TRUE;
}

BOOL CdsMemoryArray::DestroyMemoryObject(CdsMemoryObject* pPoint)
{
    if (!pPoint)
        return FALSE;
    auto it = std::find(m_points.begin(), m_points.end(), pPoint);
    if (it != m_points.end())
        return DestroyMemoryObject(static_cast<int>(it - m_points.begin()));
    pPoint->Destroy();
    return TRUE;
}

BOOL CdsMemoryArray::CreateSystemObjects()
{
    DestroySystemObjects();
    return TRUE;
}

void CdsMemoryArray::DestroySystemObjects()
{
    for (std::size_t i = 0; i < m_points.size(); ++i)
        if (m_points[i] && m_points[i]->IsSystemObject())
            DestroyMemoryObject(static_cast<int>(i));
}

void CdsMemoryArray::OnLoading()
{
    CreateSystemObjects();
    for (std::size_t i = 0; i < m_points.size(); ++i)
        if (m_points[i])
            m_points[i]->SetParent(static_cast<int>(i), this);
    NotePointChange();
    m_nameMap.Clear();
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        if (!m_points[i])
            continue;
        std::string key = MapKey(*m_points[i]);
        if (!key.empty())
            m_nameMap.Assign(key, static_cast<int>(i));
    }
}

void CdsMemoryArray::DeleteContents()
{
    std::map<std::string, CdsMemoryObject*> variants;
    if (Variants* held = FindVariants()) {
        std::lock_guard lock(held->mutex);
        variants.swap(held->map);
    }
    for (auto& [key, variant] : variants)
        variant->Destroy();
    std::vector<CdsMemoryObject*> points;
    points.swap(m_points);
    NotePointChange();
    m_nameMap.Clear();
    for (CdsMemoryObject* point : points)
        if (point)
            point->Destroy();
}

void CdsMemoryArray::DetachClients()
{
    std::vector<CdsMemoryObject*> variants;
    if (Variants* held = FindVariants()) {
        std::lock_guard lock(held->mutex);
        for (const auto& [key, variant] : held->map)
            variants.push_back(variant);
    }
    for (CdsMemoryObject* variant : variants)
        variant->DetachClients();
    for (CdsMemoryObject* point : m_points)
        if (point)
            point->DetachClients();
}

void CdsMemoryArray::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy)
        delete this;
}

// --- variants ---

CdsMemoryObject* CdsMemoryArray::CreateMemoryVariant(const std::string& strItem, const std::string& strType)
{
    std::string key = strItem + ' ' + strType;
    Variants& variants = MakeVariants();
    std::lock_guard lock(variants.mutex);
    auto it = variants.map.find(key);
    if (it != variants.map.end())
        return it->second;
    CdsMemoryObject* variant = NewMemoryVariant();
    if (!variant)
        return nullptr;
    variant->m_pParent = this;
    variants.map.emplace(key, variant);
    return variant;
}

CdsMemoryObject* CdsMemoryArray::GetMemoryVariant(const std::string& strItem, const std::string& strType) const
{
    Variants* variants = FindVariants();
    if (!variants)
        return nullptr;
    std::lock_guard lock(variants->mutex);
    auto it = variants->map.find(strItem + ' ' + strType);
    return it == variants->map.end() ? nullptr : it->second;
}

// --- online and values ---

BOOL CdsMemoryArray::SetOnline(BOOL bOnline, CdsDeviceObject* pDevice)
{
    {
        // Points may hold other values or types once the block was offline.
        std::lock_guard storing(m_storeMutex);
        m_held.clear();
        m_bClean = false;
    }
    // Client threads read the parent meanwhile: it is written only when it changes.
    if (m_pParent != pDevice)
        m_pParent = pDevice;
    // A run of failed reads belongs to one time online: a block that still fails
    // when it comes back is logged again.
    for (CdsFailureRun& failures : m_readFailures)
        failures.Recover();
    // Its first read after going online comes ahead of the scan order.
    m_bReadTried = false;
    if (bOnline && pDevice)
        pDevice->NoteUnreadBlocks();
    if (!bOnline && !m_bHold)
        for (CdsMemoryObject* point : m_points)
            if (point)
                point->SetTouched(FALSE);
    if (!HasAtLeastOneMemoryObject())
        return FALSE;
    for (std::size_t i = 0; i < m_points.size(); ++i)
        if (m_points[i])
            m_points[i]->SetOnline(bOnline, this, static_cast<int>(i));
    if (!m_bHold)
        m_bOnline = bOnline;
    return TRUE;
}

BOOL CdsMemoryArray::UpdateState(int nIndex, const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                                 const tagTHREADINFO* pLine, BOOL bCommand)
{
    CdsMemoryObject* point = GetMemoryObject(nIndex);
    return point ? point->UpdateState(value, bInitial, pHdlr, pLine, bCommand) : FALSE;
}

int CdsMemoryArray::UpdateStatus(int, const BYTE*, int, kestrun::HandlerLink*, const tagTHREADINFO*) { return 0; }
int CdsMemoryArray::UpdateMessage(int, const BYTE*, int, kestrun::HandlerLink*, const tagTHREADINFO*) { return 0; }

void CdsMemoryArray::BuildBrowseLeaves(DWORD dwServer, DWORD hBranch, BOOL bShortNames, const std::string& strTopic)
{
    int access = 3 - (m_bClientRead ? 0 : 1) - (m_bClientWrite ? 0 : 2);
    for (CdsMemoryObject* point : m_points) {
        if (!point)
            continue;
        std::string key = point->GetName();
        // A point that never holds a value is no item a client could use.
        if (key.empty() || !point->GetNoValueReason().empty())
            continue;
        std::string full = "[" + strTopic + "]" + key;
        BSTR wideLeaf = com::toBstr(bShortNames ? key : full);
        BSTR wideFull = com::toBstr(full);
        dde::BrisantAddBrowseLeaf(dwServer, hBranch, wideLeaf.c_str(), wideFull.c_str(),
                                  static_cast<BRISANT_DATATYPE>(point->GetDataType()), access);
        for (const kestrun::DdeItemRecord* item = point->GetDdeItem(); item; item = item->pNextOfPoint)
            if (item->hItem)
                dde::BrisantSetItemReady(dwServer, item->hItem, 1);
    }
}

int CdsMemoryArray::GetBitRefCount() const
{
    int count = 0;
    for (CdsMemoryObject* point : m_points)
        if (CdsMemoryArray* bits = point ? point->GetExistingBitArray() : nullptr)
            count += bits->GetUseCount();
    return count;
}

BOOL CdsMemoryArray::Initialize(CdsMemoryObject*)
{
    ++m_nUseCount;
    return TRUE;
}

BOOL CdsMemoryArray::Shutdown(CdsMemoryObject*)
{
    int count = m_nUseCount.load();
    while (count > 0 && !m_nUseCount.compare_exchange_weak(count, count - 1)) {
    }
    return TRUE;
}

// --- query buffers ---

namespace {

CdsMemoryArray::QueryText& Made(std::unique_ptr<CdsMemoryArray::QueryText>& buffer)
{
    if (!buffer)
        buffer = std::make_unique<CdsMemoryArray::QueryText>(); // zero-filled
    return *buffer;
}

void Clear(const std::unique_ptr<CdsMemoryArray::QueryText>& buffer)
{
    if (buffer)
        buffer->fill(0);
}

} // namespace

CdsMemoryArray::QueryText& CdsMemoryArray::CommandQuery(std::size_t slot) { return Made(m_commandQuery[slot]); }

CdsMemoryArray::QueryText& CdsMemoryArray::StatusQuery(std::size_t slot) { return Made(m_statusQuery[slot]); }

char* CdsMemoryArray::GetStatusQueryString(int nLine)
{
    return m_bReadAllowed && ValidLine(nLine) ? StatusQuery(static_cast<std::size_t>(nLine)).data() : nullptr;
}

char* CdsMemoryArray::FillStatusQueryString(int nLine) { return GetStatusQueryString(nLine); }

int CdsMemoryArray::GetStatusQueryStringLen(int nLine, const char* pszText)
{
    if (!m_bReadAllowed)
        return 0;
    if (pszText)
        return static_cast<int>(std::strlen(pszText));
    const char* buffer = GetStatusQueryString(nLine);
    return buffer ? static_cast<int>(strnlen(buffer, kQuerySize)) : 0;
}

int CdsMemoryArray::GetStatusResponseStringLen(int) { return kResponseSize; }

char* CdsMemoryArray::GetCommandQueryString(int nLine)
{
    return m_bWriteAllowed && ValidLine(nLine) ? CommandQuery(static_cast<std::size_t>(nLine)).data() : nullptr;
}

char* CdsMemoryArray::FillCommandQueryString(int nLine) { return GetCommandQueryString(nLine); }

int CdsMemoryArray::GetCommandQueryStringLen(int nLine, const char* pszText)
{
    if (!m_bWriteAllowed)
        return 0;
    if (pszText)
        return static_cast<int>(std::strlen(pszText));
    const char* buffer = GetCommandQueryString(nLine);
    return buffer ? static_cast<int>(strnlen(buffer, kQuerySize)) : 0;
}

int CdsMemoryArray::GetCommandResponseStringLen(int) { return m_bWriteAllowed ? kResponseSize : 0; }

void CdsMemoryArray::ClearStatusQueryString(int nLine)
{
    if (ValidLine(nLine))
        Clear(m_statusQuery[static_cast<std::size_t>(nLine)]);
}

void CdsMemoryArray::ClearCommandQueryString(int nLine)
{
    if (ValidLine(nLine))
        Clear(m_commandQuery[static_cast<std::size_t>(nLine)]);
    Clear(m_commandQuery[kLines]);
}

BOOL CdsMemoryArray::IsStatusQueryStringInitialized(int nLine) const
{
    return ValidLine(nLine) && m_statusInitialized[static_cast<std::size_t>(nLine)];
}

void CdsMemoryArray::SetStatusQueryStringInitialized(int nLine, BOOL b)
{
    if (ValidLine(nLine))
        m_statusInitialized[static_cast<std::size_t>(nLine)] = b ? 1 : 0;
}

BOOL CdsMemoryArray::IsCommandQueryStringInitialized(int nLine) const
{
    return ValidLine(nLine) && m_commandInitialized[static_cast<std::size_t>(nLine)];
}

void CdsMemoryArray::SetCommandQueryStringInitialized(int nLine, BOOL b)
{
    if (ValidLine(nLine))
        m_commandInitialized[static_cast<std::size_t>(nLine)] = b ? 1 : 0;
}

CdsMemoryArray& CdsMemoryArray::operator=(const CdsMemoryArray& src)
{
    if (this == &src)
        return *this;
    if (src.m_nTypeData != -1)
        m_nTypeData = src.m_nTypeData;
    if (src.m_nDefaultDataType != BRISANT_NOTYPE)
        m_nDefaultDataType = src.m_nDefaultDataType;
    m_bForceDouble = src.m_bForceDouble;
    m_strName = src.m_strName;
    m_strDescription = src.m_strDescription;
    m_strAddress = src.m_strAddress;
    m_nLength = src.m_nLength;
    m_bReadAllowed = src.m_bReadAllowed;
    m_bWriteAllowed = src.m_bWriteAllowed;
    m_bClientRead = src.m_bClientRead;
    m_bClientWrite = src.m_bClientWrite;
    m_nPriority = src.m_nPriority;
    m_nScanTime = src.m_nScanTime;
    m_nMaxMemories = src.m_nMaxMemories;
    return *this;
}

// --- list ---

CdsMemoryArrayList::CdsMemoryArrayList(int) {}

CdsMemoryArrayList::~CdsMemoryArrayList() { DeleteContents(); }

int CdsMemoryArrayList::GetCount() const
{
    return static_cast<int>(std::count_if(m_blocks.begin(), m_blocks.end(),
                                          [](CdsMemoryArray* b) { return !b->IsSystemArray(); }));
}

bool CdsMemoryArrayList::Remove(CdsMemoryArray* pArray)
{
    auto it = std::find(m_blocks.begin(), m_blocks.end(), pArray);
    if (it == m_blocks.end())
        return false;
    m_blocks.erase(it);
    return true;
}

void CdsMemoryArrayList::DeleteContents()
{
    std::vector<CdsMemoryArray*> blocks;
    blocks.swap(m_blocks);
    for (CdsMemoryArray* block : blocks)
        block->Destroy();
}

void CdsMemoryArrayList::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD>(GetCount()));
        for (CdsMemoryArray* block : m_blocks)
            if (!block->IsSystemArray())
                ar.WriteObject(block);
        return;
    }
    for (DWORD n = ar.ReadCount(); n > 0; --n)
        if (auto block = ar.ReadNew<CdsMemoryArray>())
            m_blocks.push_back(block.release());
}

void CdsMemoryArray::SetModified(BOOL b)
{
    m_bModified = b;
    if (b && m_pParent)
        m_pParent->NoteModifiedBlock();
}

void CdsMemoryArray::SetParent(CdsDeviceObject* pDevice)
{
    m_pParent = pDevice;
    if (m_bModified.load() && pDevice)
        pDevice->NoteModifiedBlock();
}
