#include "kestrun/model/MemoryObject.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>

#include "kestrun/model/BitArray.h"
#include "kestrun/model/DataType.h"
#include "kestrun/model/DdeItemRecord.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/EventQueue.h"
#include "kestrun/model/HandlerLink.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Archive.h"
#include "platform/dde/BrisantToolkit.h"

IMPLEMENT_SERIAL(CdsMemoryObject, CObject, 1)

namespace {

// Writes only the characters that change: client threads may read the name meanwhile.
void Upper(std::string& text)
{
    for (char& c : text)
        if (const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c))); upper != c)
            c = upper;
}

bool IsKeptArray(int type)
{
    return type == BRISANT_BOOLARRAY || type == BRISANT_SHORTARRAY || type == BRISANT_STRINGARRAY
        || type == BRISANT_FIXEDSTRINGARRAY;
}

// Characters of a counted text within its block, at most SHRT_MAX.
std::size_t CountedChars(const BYTE* block)
{
    if (dde::CountedEmpty(block))
        return 0;
    std::size_t length = static_cast<std::size_t>(dde::CountedLength(block));
    std::size_t known = dde::Toolkit::Process().FindHeap(GetBrisantHeap())->BlockSize(block);
    if (known != 0)
        length = std::min(length, known > 2 ? known - 2 : 0);
    return strnlen(dde::CountedChars(block), length);
}

} // namespace

CdsMemoryObject::CdsMemoryObject()
{
    m_pTag = new CfsMemoryTag(this);
    m_pTag->AddRef();
}

CdsMemoryObject::~CdsMemoryObject()
{
    // Also reached when a point is deleted without Destroy (a failed load).
    if (m_pTag) {
        m_pTag->ReleaseFromPoint();
        m_pTag = nullptr;
    }
    for (kestrun::DdeItemRecord* item = m_pDdeItem; item; item = std::exchange(item->pNextOfPoint, nullptr))
        item->pPoint = nullptr;
    std::lock_guard lock(m_valueMutex);
    ReleaseValueLocked();
    ReleaseDataValue(m_nCommandType, m_lastCommandValue);
}

void CdsMemoryObject::Serialize(CArchive& ar)
{
    if (m_bSystem)
        return;
    if (ar.IsStoring()) {
        ar << std::string_view(m_strName) << std::string_view(m_strPseudoName);
        ar << static_cast<LONG>(m_nUserWord) << static_cast<LONG>(m_nDataType);
    } else {
        LONG userWord = 0, dataType = 0;
        ar >> m_strName >> m_strPseudoName >> userWord >> dataType;
        m_nUserWord = userWord;
        m_nDataType = dataType;
    }
}

// --- names ---

std::string CdsMemoryObject::GetName() const { return m_strPseudoName.empty() ? m_strName : m_strPseudoName; }

void CdsMemoryObject::SetName(const std::string& strName)
{
    m_strName = strName;
    if (m_pParent && !CdsServerOptions::CaseSensitive())
        Upper(m_strName);
}

void CdsMemoryObject::SetPseudoNameText(const std::string& strPseudoName)
{
    m_strPseudoName = strPseudoName;
    if (m_pParent && !CdsServerOptions::CaseSensitive())
        Upper(m_strPseudoName);
}

void CdsMemoryObject::SetPseudoName(const std::string& strText, int nNumber, char chSeparator)
{
    m_strPseudoName = strText + chSeparator + std::to_string(nNumber);
}

void CdsMemoryObject::ApplyNameCase()
{
    if (CdsServerOptions::CaseSensitive())
        return;
    Upper(m_strName);
    Upper(m_strPseudoName);
}

std::string CdsMemoryObject::GetPath() const
{
    std::string blockPath = m_pParent ? m_pParent->GetPath() : std::string();
    std::string key = GetName();
    if (blockPath.empty() && key.empty())
        return {};
    std::string path = blockPath + "." + key;
    if (!CdsServerOptions::CaseSensitive())
        Upper(path);
    return path;
}

BOOL CdsMemoryObject::SetParent(int nIndex, CdsMemoryArray* pArray)
{
    if (nIndex > kMaxIndex)
        return FALSE;
    // Going online or offline sets the same values again while client threads read them.
    if (m_nIndex != nIndex)
        m_nIndex = nIndex;
    if (m_pParent != pArray)
        m_pParent = pArray;
    if (!pArray)
        return TRUE;
    if (m_strName.empty()) {
        m_strName = pArray->GetAddr() + ':' + std::to_string(nIndex);
        SetPseudoName(pArray->GetAddr(), nIndex, ':');
    }
    ApplyNameCase();
    return TRUE;
}

// --- state ---

int CdsMemoryObject::GetDataType() const
{
    if (m_nDataType != BRISANT_NOTYPE)
        return m_nDataType;
    int unknown = GetUnknownDataType();
    if (unknown != BRISANT_NOTYPE)
        return unknown;
    return m_pParent ? m_pParent->GetDefaultDataType() : BRISANT_NOTYPE;
}

_BRISANTDATAVALUE CdsMemoryObject::GetValue() const
{
    std::lock_guard lock(m_valueMutex);
    return m_value;
}

BOOL CdsMemoryObject::CopyValue(_BRISANTDATAVALUE& copy) const
{
    std::lock_guard lock(m_valueMutex);
    return CopyDataValue(m_nValueType, m_value, copy);
}

_BRISANTDATAVALUE CdsMemoryObject::GetLastCommandValue() const
{
    std::lock_guard lock(m_valueMutex);
    return m_lastCommandValue;
}

void CdsMemoryObject::NoteChange() const
{
    if (CdsMemoryArray* block = m_pParent)
        block->NotePointChange();
}

void CdsMemoryObject::SetStatus(int nStatus)
{
    m_nStatus = nStatus;
    NoteChange();
    if (m_pTag)
        m_pTag->SetQuality(static_cast<WORD>(nStatus & 0xFFFF));
    m_bStatusChanged = TRUE;
}

void CdsMemoryObject::SetTouched(BOOL bTouched)
{
    m_bTouched = bTouched;
    NoteChange();
    if (CdsBitArray* bits = GetExistingBitArray())
        bits->SetTouched(bTouched);
}

BOOL CdsMemoryObject::InUse() const
{
    if (m_pTag && m_pTag->GetUseCount() > 1)
        return TRUE;
    for (const kestrun::DdeItemRecord* item = m_pDdeItem; item; item = item->pNextOfPoint)
        if (item->nActive)
            return item->nActive;
    return FALSE;
}

BOOL CdsMemoryObject::IsReadValueReady() const
{
    return m_pParent && (m_pParent->IsSystemArray() || m_pParent->IsReadAllowed()) && m_pParent->IsOnline();
}

BOOL CdsMemoryObject::IsWriteValueReady() const { return m_pParent && m_pParent->IsWriteAllowed(); }

std::string CdsMemoryObject::GetWriteRefusal() const
{
    if (!m_pParent)
        return "the item belongs to no block";
    if (!m_pParent->IsWriteAllowed())
        return "block " + m_pParent->GetName() + " takes no writes (Write Allowed is off)";
    // A bit's array has the device of its point's block as its parent.
    const CdsDeviceObject* device = m_pParent->GetParent();
    return device ? device->GetWriteRefusal(*this) : std::string();
}

bool CdsMemoryObject::IsWritableByDevice() const
{
    const CdsDeviceObject* device = m_pParent ? m_pParent->GetParent() : nullptr;
    return !device || device->GetWriteRefusal(*this).empty();
}

BOOL CdsMemoryObject::UpdateCommand(const _BRISANTDATAVALUE& value, int, const BYTE*, int, kestrun::HandlerLink*,
                                    const tagTHREADINFO*)
{
    int type = GetDataType();
    _BRISANTDATAVALUE copy{};
    // The writer's texts go with its event: the point keeps its own copy.
    if (!CopyDataValue(type, value, copy))
        copy.ullVal = 0;
    std::lock_guard lock(m_valueMutex);
    ReleaseDataValue(m_nCommandType, m_lastCommandValue);
    m_lastCommandValue = copy;
    m_nCommandType = type;
    m_tLastCommand = static_cast<LONGLONG>(std::time(nullptr));
    return TRUE;
}

void CdsMemoryObject::GenerateRandomValue()
{
    int type = GetDataType();
    std::lock_guard lock(m_valueMutex);
    CountCellWriteLocked();
    if (m_nValueType != type)
        ReleaseValueLocked();
    GetNextNewValue(type, &m_value);
    m_nValueType = type;
}

// --- storing ---

void CdsMemoryObject::ReleaseValueLocked()
{
    ReleaseDataValue(m_nValueType, m_value);
    if (dde::IsTextType(m_nValueType) || dde::IsArrayType(m_nValueType))
        m_value.ullVal = 0;
}

bool CdsMemoryObject::StoreTextLocked(int nType, const _BRISANTDATAVALUE& value)
{
    // A text block of another type is not reused.
    if (m_nValueType != nType)
        ReleaseValueLocked();
    m_nValueType = nType;
    if (nType == BRISANT_STRING) {
        std::size_t length = value.pszVal ? std::strlen(value.pszVal) : 0;
        std::size_t stored = m_value.pszVal ? std::strlen(m_value.pszVal) : 0;
        if (length != stored || length == 0)
            ReleaseValueLocked();
        if (length == 0)
            return true;
        if (!m_value.pszVal) {
            m_value.pszVal = static_cast<char*>(AllocBrisantBlock(length + 1));
            if (!m_value.pszVal)
                return false;
        }
        std::memcpy(m_value.pszVal, value.pszVal, length);
        return true;
    }
    std::size_t length = std::min<std::size_t>(CountedChars(value.pcsVal), SHRT_MAX);
    std::size_t stored = m_value.pcsVal ? static_cast<std::size_t>(std::max<SHORT>(dde::CountedLength(m_value.pcsVal), 0)) : 0;
    if (length != stored || length == 0)
        ReleaseValueLocked();
    if (length == 0)
        return true;
    if (!m_value.pcsVal) {
        m_value.pcsVal = static_cast<BYTE*>(AllocBrisantBlock(length + 4));
        if (!m_value.pcsVal)
            return false;
        // The length word counts the characters.
        dde::SetCountedLength(m_value.pcsVal, static_cast<SHORT>(length));
    }
    std::memcpy(dde::CountedChars(m_value.pcsVal), dde::CountedChars(value.pcsVal), length);
    return true;
}

bool CdsMemoryObject::IsCommandMismatch(int nType, const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr,
                                        BOOL bCommand) const
{
    if (!bCommand || !pHdlr)
        return false;
    CdsDeviceObject* device = m_pParent ? m_pParent->GetParent() : nullptr;
    if (!device || !device->IsCommandDiagEnabled())
        return false;
    if (!IsNewDataValue(nType, value, m_lastCommandValue, true))
        return false;
    return pHdlr->IsTimeWithinCommandDiag(device, m_tLastCommand) != 0;
}

CdsMemoryObject::StoreResult CdsMemoryObject::StoreLocked(int nType, const _BRISANTDATAVALUE& value,
                                                          kestrun::HandlerLink* pHdlr, BOOL bCommand, bool& bFirst)
{
    bFirst = false;
    CountCellWriteLocked();
    if (dde::IsArrayType(nType)) {
        if (!IsKeptArray(nType))
            return StoreResult::Failed;
        _BRISANTDATAVALUE copy{};
        if (!CopyDataValue(nType, value, copy))
            return StoreResult::Failed;
        ReleaseValueLocked();
        m_value = copy;
        m_nValueType = nType;
    } else if (dde::IsTextType(nType)) {
        if (!StoreTextLocked(nType, value))
            return StoreResult::Failed;
    } else {
        if (m_nValueType != nType)
            ReleaseValueLocked();
        m_nValueType = nType;
        if (nType == BRISANT_BOOL) {
            m_value.ullVal = 0;
            m_value.boolVal = value.boolVal != 0 ? 1 : 0;
        } else {
            m_value = value;
        }
    }
    if (!dde::IsArrayType(nType))
        PushToTag(nType);
    if (!m_bTouched) {
        bFirst = true;
        return StoreResult::Stored;
    }
    return IsCommandMismatch(nType, value, pHdlr, bCommand) ? StoreResult::Mismatch : StoreResult::Stored;
}

BOOL CdsMemoryObject::SetNewValue(const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr, BOOL bCommand)
{
    int type = GetDataType();
    bool first = false;
    StoreResult result;
    {
        std::lock_guard lock(m_valueMutex);
        result = StoreLocked(type, value, pHdlr, bCommand, first);
    }
    return FinishStore(type, value, pHdlr, result, first);
}

BOOL CdsMemoryObject::FinishStore(int nType, const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr,
                                  StoreResult result, bool bFirst)
{
    if (result == StoreResult::Failed)
        return FALSE;
    bool isArray = dde::IsArrayType(nType);
    if (bFirst) {
        m_bTouched = TRUE;
        NoteChange();
        if (!isArray)
            SetStatus(QUALITY_GOOD);
        return TRUE;
    }
    if (result == StoreResult::Mismatch) {
        CdsHint hint(nType, value, this);
        pHdlr->SendUpdateMessageFromThread(HINT_COMMAND_MISMATCH, &hint);
        if (isArray) {
            SetOnline(FALSE, m_pParent, -1);
            m_nStatus = QUALITY_MISMATCH;
            NoteChange();
            m_bStatusChanged = TRUE;
        } else {
            SetStatus(QUALITY_MISMATCH);
        }
        return FALSE;
    }
    return TRUE;
}

void CdsMemoryObject::PushToTag(int nType)
{
    m_bTagHoldsCell = true;
    if (!m_pTag)
        return;
    if (nType == BRISANT_NOTYPE) {
        fsUpdateUnknownTypeValue();
        return;
    }
    // A read delivers its block's values with one time; a bit takes its point's.
    std::uint64_t delivered = m_pParent ? m_pParent->GetDeliveryTime() : 0;
    if (!delivered && m_pParent && IsBitObject()) {
        const CdsMemoryObject* owner = static_cast<const CdsBitArray*>(m_pParent)->GetParentMemoryObject();
        const CdsMemoryArray* block = owner ? owner->GetParent() : nullptr;
        delivered = block ? block->GetDeliveryTime() : 0;
    }
    FILETIME now;
    if (delivered)
        now = com::fileTimeFromTicks(delivered);
    else
        CoFileTimeNow(&now);
    m_pTag->UpdateValue(nType, m_value, now);
}

void CdsMemoryObject::SetTagType()
{
    if (!m_pTag)
        return;
    m_pTag->SetCanonicalType(GetCanonicalVarType(GetDataType()));
    WORD rights = 0;
    if (m_pParent && m_pParent->IsClientReadAccess())
        rights |= 1;
    if (m_pParent && m_pParent->IsClientWriteAccess() && IsWritableByDevice())
        rights |= 2;
    m_pTag->SetAccessRights(rights);
}

BOOL CdsMemoryObject::UpdateState(const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                                  const tagTHREADINFO* pLine, BOOL bCommand)
{
    return UpdateStateHeld(value, bInitial, pHdlr, pLine, bCommand, nullptr);
}

BOOL CdsMemoryObject::UpdateStateHeld(const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                                      const tagTHREADINFO* pLine, BOOL bCommand, CdsHeldCell* pHeld)
{
    int type = GetDataType();
    bool changed;
    // The initial-value hint belongs to the value that first touches the point.
    bool wasTouched;
    bool first = false;
    StoreResult stored;
    {
        // The comparison and the store under one hold of the lock.
        std::lock_guard lock(m_valueMutex);
        wasTouched = m_bTouched != 0;
        // A point reported not good (its PLC stopped answering) takes the value read
        // as news, so that the same value brings its good quality back.
        changed = IsNewDataValue(type, value, m_value, wasTouched) || !HasGoodQuality();
        const bool store = changed || CdsServerOptions::g_bUpdateSameValue.load();
        stored = store ? StoreLocked(type, value, pHdlr, bCommand, first) : StoreResult::Stored;
        if (pHeld) {
            pHeld->pPoint = this;
            pHeld->cell = m_value.ullVal;
            pHeld->writes = m_nCellWrites.load(std::memory_order_relaxed);
            pHeld->plain = stored == StoreResult::Stored && m_bTagHoldsCell && m_nValueType == type &&
                           IsPlainCell(type, m_value);
        }
        if (!store)
            return FALSE;
    }
    BOOL result = FinishStore(type, value, pHdlr, stored, first);
    // A value read from the PLC after it stopped answering: the point is good again.
    if (result && !bCommand && !dde::IsArrayType(type) && !HasGoodQuality())
        SetStatus(QUALITY_GOOD);
    if (pHdlr) {
        int code = 0;
        if (!result)
            code = bInitial ? HINT_STORE_FAILED_2 : HINT_STORE_FAILED;
        else if (!wasTouched)
            code = CdsServerOptions::g_bViewInitValues.load() ? (bInitial ? HINT_INITIAL_VALUE_2 : HINT_INITIAL_VALUE)
                                                              : 0;
        else if (CdsServerOptions::g_bViewEvents.load() && changed)
            code = bInitial ? HINT_VALUE_CHANGED_2 : HINT_VALUE_CHANGED;
        if (code) {
            CdsHint hint(type, value, this);
            pHdlr->SendUpdateMessageFromThread(code, &hint);
        }
    }
    if (CdsBitArray* bits = GetExistingBitArray())
        bits->UpdateBitObjects(value, type, bInitial, pHdlr, pLine, bCommand);
    return result;
}

// --- online, writes, reads ---

BOOL CdsMemoryObject::SetOnline(BOOL bOnline, CdsMemoryArray* pArray, int nIndex)
{
    if (nIndex >= 0) {
        SetParent(nIndex, pArray);
        if (m_pParent != pArray)
            return FALSE;
    }
    bool hold = m_pParent && m_pParent->IsHold();
    if (bOnline) {
        SetTagType();
        if (!GetEventQueue() && !BindEventQueue())
            return FALSE;
    } else {
        int type = GetDataType();
        {
            std::lock_guard lock(m_valueMutex);
            if (m_nCommandType != type) {
                ReleaseDataValue(m_nCommandType, m_lastCommandValue);
                m_nCommandType = type;
            }
            InvalidateDataValue(type, m_lastCommandValue);
            if (CdsServerOptions::g_bColdStart.load()) {
                CountCellWriteLocked();
                if (m_nValueType != type)
                    ReleaseValueLocked();
                m_nValueType = type;
                InvalidateDataValue(type, m_value);
            }
        }
        if (!hold)
            SetTouched(FALSE);
        if (GetStatus() != 0)
            SetStatus(QUALITY_OFFLINE);
    }
    if (CdsBitArray* bits = GetExistingBitArray())
        bits->SetOnline(bOnline, m_pParent);
    if (bOnline && m_pParent && !m_pParent->IsReadAllowed() && m_pParent->IsWriteAllowed()) {
        // Write-only points are good at once.
        if (!hold)
            SetTouched(TRUE);
        SetStatus(QUALITY_GOOD);
    }
    return TRUE;
}

std::shared_ptr<CdsEventQueue> CdsMemoryObject::GetEventQueue() const
{
    return m_pEventQueue.load().lock();
}

BOOL CdsMemoryObject::BindEventQueue()
{
    CdsDeviceObject* device = m_pParent ? m_pParent->GetParent() : nullptr;
    kestrun::HandlerLink* handler = device ? device->GetDeviceHdlr() : nullptr;
    std::shared_ptr<CdsEventQueue> queue = handler ? handler->GetEventQueue() : nullptr;
    if (!queue)
        return FALSE;
    m_pEventQueue.store(queue);
    return TRUE;
}

std::string CdsMemoryObject::GetValueRefusal(const _BRISANTDATAVALUE&) const { return GetNoValueReason(); }

BOOL CdsMemoryObject::WriteValue(const _BRISANTDATAVALUE& value, DWORD dwRequester)
{
    if (!IsWriteValueReady() || !GetValueRefusal(value).empty())
        return FALSE;
    std::shared_ptr<CdsEventQueue> queue = GetEventQueue();
    if (!queue) {
        if (!BindEventQueue())
            return FALSE;
        queue = GetEventQueue();
        if (!queue)
            return FALSE;
    }
    return queue->AddNewEvent(this, value, GetDataType(), static_cast<int>(dwRequester));
}

BOOL CdsMemoryObject::ReadValue(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction, const char* pszNullString)
{
    if (!pValue)
        return FALSE;
    if (m_bStatusChanged.exchange(FALSE)) {
        // A fresh status is always worth a read.
    } else if (!IsReadValueReady() || !m_bTouched) {
        return FALSE;
    }
    return CopyReadValue(pValue, pAction, pszNullString);
}

BOOL CdsMemoryObject::CopyReadValue(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction,
                                    const char* pszNullString)
{
    if (!pValue)
        return FALSE;
    int type = GetDataType();
    DWORD server = pAction ? pAction->dwServerId : 0;
    std::lock_guard lock(m_valueMutex);
    bool held = m_nValueType == type;
    if (dde::IsArrayType(type)) {
        if (type != BRISANT_BOOLARRAY || !held || !m_value.parrVal || !IsArrayBlockSound(type, m_value.parrVal))
            return FALSE;
        BYTE* copy = dde::BrisantCopyArray(server, BRISANT_BOOLARRAY, m_value.parrVal);
        if (!copy)
            return FALSE;
        pValue->ullVal = 0;
        pValue->parrVal = copy;
        return TRUE;
    }
    if (dde::IsTextType(type)) {
        std::string_view text;
        if (held && type == BRISANT_STRING && m_value.pszVal)
            text = m_value.pszVal;
        else if (held && type == BRISANT_FIXEDSTRING && !dde::CountedEmpty(m_value.pcsVal))
            text = std::string_view(dde::CountedChars(m_value.pcsVal), CountedChars(m_value.pcsVal));
        if (text.empty())
            text = pszNullString ? pszNullString : "";
        if (text.empty())
            return FALSE;
        std::size_t length = std::min<std::size_t>(text.size(), SHRT_MAX);
        pValue->ullVal = 0;
        if (type == BRISANT_STRING) {
            auto* block = static_cast<char*>(dde::BrisantHeapAlloc(server, GetBrisantHeap(), static_cast<DWORD>(length + 1)));
            if (!block)
                return FALSE;
            std::memcpy(block, text.data(), length);
            pValue->pszVal = block;
        } else {
            auto* block = static_cast<BYTE*>(dde::BrisantHeapAlloc(server, GetBrisantHeap(), static_cast<DWORD>(length + 3)));
            if (!block)
                return FALSE;
            dde::SetCountedLength(block, static_cast<SHORT>(length));
            std::memcpy(dde::CountedChars(block), text.data(), length);
            pValue->pcsVal = block;
        }
        return TRUE;
    }
    *pValue = m_value;
    return TRUE;
}

BOOL CdsMemoryObject::ReadValueNewDataType(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction,
                                           const char* pszNullString)
{
    return ReadValue(pValue, pAction, pszNullString);
}

// --- queries ---

char* CdsMemoryObject::GetCommandQueryString(int nLine)
{
    return m_pParent ? m_pParent->GetCommandQueryString(nLine) : nullptr;
}

char* CdsMemoryObject::FillCommandQueryString(int nLine)
{
    return m_pParent ? m_pParent->FillCommandQueryString(nLine) : nullptr;
}

int CdsMemoryObject::GetCommandQueryStringLen(int nLine, const char* pszText)
{
    return m_pParent ? m_pParent->GetCommandQueryStringLen(nLine, pszText) : 0;
}

int CdsMemoryObject::GetCommandResponseStringLen(int nLine)
{
    return m_pParent ? m_pParent->GetCommandResponseStringLen(nLine) : 0;
}

// --- copying and life ---

CdsMemoryObject& CdsMemoryObject::operator=(const CdsMemoryObject& src)
{
    if (this == &src)
        return *this;
    _BRISANTDATAVALUE copy{};
    int copyType;
    {
        std::lock_guard lock(src.m_valueMutex);
        copyType = src.m_nValueType;
        // A value that cannot be copied is not shared either: the copy starts empty.
        if (!CopyDataValue(copyType, src.m_value, copy)) {
            copy.ullVal = 0;
            copyType = BRISANT_NOTYPE;
        }
    }
    {
        std::lock_guard lock(m_valueMutex);
        CountCellWriteLocked();
        ReleaseValueLocked();
        m_value = copy;
        m_nValueType = copyType;
    }
    m_nDataType = src.m_nDataType;
    m_reserved = src.m_reserved;
    m_strName = src.m_strName;
    m_strPseudoName = src.m_strPseudoName;
    m_nUserWord = src.m_nUserWord;
    m_bSystem = src.m_bSystem;
    m_pEventQueue.store({});
    return *this;
}

void CdsMemoryObject::AddDdeItem(kestrun::DdeItemRecord* pItem)
{
    if (!pItem)
        return;
    pItem->pNextOfPoint = m_pDdeItem;
    m_pDdeItem = pItem;
}

void CdsMemoryObject::RemoveDdeItem(kestrun::DdeItemRecord* pItem)
{
    for (kestrun::DdeItemRecord** link = &m_pDdeItem; *link; link = &(*link)->pNextOfPoint) {
        if (*link == pItem) {
            *link = std::exchange(pItem->pNextOfPoint, nullptr);
            return;
        }
    }
}

void CdsMemoryObject::ReleaseDdeItems(bool bUnlink)
{
    for (kestrun::DdeItemRecord* item = m_pDdeItem; item;) {
        kestrun::DdeItemRecord* next = item->pNextOfPoint;
        item->hItem = 0;
        item->nActive = 0;
        if (bUnlink) {
            item->pPoint = nullptr;
            item->pNextOfPoint = nullptr;
        }
        item = next;
    }
    if (bUnlink)
        m_pDdeItem = nullptr;
}

void CdsMemoryObject::DeleteContents()
{
    ReleaseDdeItems(false);
    std::lock_guard lock(m_valueMutex);
    CountCellWriteLocked();
    ReleaseValueLocked();
    if (CdsMemoryArray* bits = m_pBitArray.load())
        bits->DeleteContents();
}

void CdsMemoryObject::DetachClients()
{
    // The tag stays the point's (its reference goes with Destroy): only the way
    // from clients to the point is cut, before the writes already queued go.
    if (m_pTag) {
        m_pTag->Unbind();
        m_pTag->SetQuality(QUALITY_NONE);
    }
    if (std::shared_ptr<CdsEventQueue> queue = GetEventQueue())
        queue->PurgeEvents(this);
    ReleaseDdeItems(true);
    if (CdsBitArray* bits = GetExistingBitArray())
        bits->DetachClients();
}

void CdsMemoryObject::Destroy()
{
    // A line thread must never take a queued write for a point that is gone.
    if (std::shared_ptr<CdsEventQueue> queue = GetEventQueue())
        queue->PurgeEvents(this);
    if (m_pTag) {
        m_pTag->ReleaseFromPoint();
        m_pTag = nullptr;
    }
    DeleteContents();
    ReleaseDdeItems(true);
    if (CdsMemoryArray* bits = m_pBitArray.exchange(nullptr))
        bits->Destroy();
    if (m_bDeleteOnDestroy)
        delete this;
}
