#include "kestrun/model/Hint.h"

#include <iterator>
#include <utility>

#include "kestrun/model/DataType.h"
#include "platform/dde/BrisantBlocks.h"

IMPLEMENT_DYNAMIC(CdsHint, CObject)

// A copy of the action record that holds only what can be read safely on another
// thread: its own text and value; buffers and the bridge's records are left out.
struct CdsHint::OwnedAction {
    _BRISANT_DATAACTION action;
    std::string strText;
    _BRISANTDATAVALUE owned{};  // what the snapshot frees, whatever a reader does to action.value

    explicit OwnedAction(const _BRISANT_DATAACTION& src)
    {
        if (src.pszText) {
            strText = src.pszText;
            action.pszText = strText.c_str();
        }
        action.hItem = src.hItem;
        action.hTopic = src.hTopic;
        action.nDataType = src.nDataType;
        action.nQuality = src.nQuality;
        action.nUserErrorKind = src.nUserErrorKind;
        action.dwServerId = src.dwServerId;
        action.nListPos = src.nListPos;
        action.nReturnLength = src.nReturnLength;
        if (!CopyDataValue(src.nDataType, src.value, action.value))
            action.value.ullVal = 0;
        owned = action.value;
    }
    ~OwnedAction()
    {
        ReleaseDataValue(action.nDataType, owned);
    }
    OwnedAction(const OwnedAction&) = delete;
    OwnedAction& operator=(const OwnedAction&) = delete;
};

namespace {

bool HoldsBlock(int nType, const _BRISANTDATAVALUE& value)
{
    return (dde::IsTextType(nType) || dde::IsArrayType(nType)) && value.parrVal != nullptr;
}

} // namespace

CdsHint::CdsHint()
{
    m_value.ullVal = 0;
    m_owned.ullVal = 0;
}

CdsHint::CdsHint(int nNumber, const _BRISANTDATAVALUE& value, CObject* pObject)
    : m_pObject(pObject), m_nNumber(nNumber), m_value(value), m_nValueType(nNumber)
{
    m_owned.ullVal = 0;
}

CdsHint::CdsHint(const CdsHint& src) : CObject(src)
{
    m_owned.ullVal = 0;
    CopyFrom(src);
}

CdsHint& CdsHint::operator=(const CdsHint& src)
{
    if (this != &src) {
        Release();
        CopyFrom(src);
    }
    return *this;
}

CdsHint::CdsHint(CdsHint&& src) noexcept : CObject(src)
{
    m_owned.ullVal = 0;
    MoveFrom(src);
}

CdsHint& CdsHint::operator=(CdsHint&& src) noexcept
{
    if (this != &src) {
        Release();
        MoveFrom(src);
    }
    return *this;
}

CdsHint::~CdsHint() { Release(); }

CdsHint CdsHint::ForValue(CObject* pPoint, int nDataType, const _BRISANTDATAVALUE& value)
{
    return CdsHint(nDataType, value, pPoint);
}

CdsHint CdsHint::ForAction(const _BRISANT_DATAACTION* pAction, int nActionCode)
{
    CdsHint hint;
    hint.m_pAction = pAction;
    hint.m_nNumber = nActionCode;
    return hint;
}

CdsHint CdsHint::ForObject(CObject* pObject)
{
    CdsHint hint;
    hint.m_pObject = pObject;
    return hint;
}

CdsHint CdsHint::ForText(std::string strTopic, std::string strItem)
{
    CdsHint hint;
    hint.m_strTopic = std::move(strTopic);
    hint.m_strItem = std::move(strItem);
    return hint;
}

void CdsHint::SetValue(const _BRISANTDATAVALUE& value, int nValueType)
{
    ReleaseValue();
    m_value = value;
    m_nValueType = nValueType;
}

void CdsHint::SetAction(const _BRISANT_DATAACTION* pAction)
{
    m_pOwnedAction.reset();
    m_pAction = pAction;
}

void CdsHint::ReleaseValue()
{
    if (m_nOwnedType != BRISANT_NOTYPE)
        ReleaseDataValue(m_nOwnedType, m_owned);
    m_owned.ullVal = 0;
    m_nOwnedType = BRISANT_NOTYPE;
}

void CdsHint::Release()
{
    ReleaseValue();
    m_value.ullVal = 0;
    m_pOwnedAction.reset();
    m_pAction = nullptr;
}

void CdsHint::CopyFrom(const CdsHint& src)
{
    m_strTopic = src.m_strTopic;
    m_strItem = src.m_strItem;
    m_strReason = src.m_strReason;
    m_pObject = src.m_pObject;
    m_nNumber = src.m_nNumber;
    m_nRepeats = src.m_nRepeats;
    m_dwEpoch = src.m_dwEpoch;
    m_nValueType = src.m_nValueType;
    // A value that cannot be copied whole (malformed block, no memory) is not carried.
    if (!CopyDataValue(src.m_nValueType, src.m_value, m_value))
        m_value.ullVal = 0;
    if (HoldsBlock(m_nValueType, m_value)) {
        m_owned = m_value;
        m_nOwnedType = m_nValueType;
    }
    if (src.m_pAction) {
        m_pOwnedAction = std::make_unique<OwnedAction>(*src.m_pAction);
        m_pAction = &m_pOwnedAction->action;
    }
}

void CdsHint::MoveFrom(CdsHint& src) noexcept
{
    m_strTopic = std::move(src.m_strTopic);
    m_strItem = std::move(src.m_strItem);
    m_strReason = std::move(src.m_strReason);
    m_pObject = src.m_pObject;
    m_nNumber = src.m_nNumber;
    m_nRepeats = src.m_nRepeats;
    m_dwEpoch = src.m_dwEpoch;
    m_value = src.m_value;
    m_nValueType = src.m_nValueType;
    m_owned = src.m_owned;
    m_nOwnedType = src.m_nOwnedType;
    m_pAction = src.m_pAction;
    m_pOwnedAction = std::move(src.m_pOwnedAction);
    src.m_owned.ullVal = 0;
    src.m_nOwnedType = BRISANT_NOTYPE;
    src.m_value.ullVal = 0;
    src.m_pAction = nullptr;
}

namespace kestrun {

HintGroup GetHintGroup(int nCode)
{
    switch (nCode / 100) {
    case 1: return HintGroup::Event;
    case 2: return HintGroup::Action;
    case 3: return HintGroup::Command;
    case 4: return HintGroup::Error;
    case 5: return HintGroup::Info;
    default: return HintGroup::None;
    }
}

namespace {

constexpr unsigned kValue = HINT_FIELD_OBJECT | HINT_FIELD_NUMBER | HINT_FIELD_VALUE;
constexpr unsigned kAction = HINT_FIELD_TOPIC | HINT_FIELD_ITEM | HINT_FIELD_ACTION | HINT_FIELD_NUMBER;

constexpr HintCodeInfo kHintCodes[] = {
    {HINT_VALUE_CHANGED, kValue, HintNumber::DataType},
    {HINT_VALUE_CHANGED_2, kValue, HintNumber::DataType},
    {HINT_INITIAL_VALUE, kValue, HintNumber::DataType},
    {HINT_INITIAL_VALUE_2, kValue, HintNumber::DataType},
    {HINT_ITEM_ACTIVE, kAction, HintNumber::ActionCode},
    {HINT_ITEM_INACTIVE, kAction, HintNumber::ActionCode},
    {HINT_COMMAND_DONE, kAction, HintNumber::ActionCode},
    {HINT_ONLINE, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_OFFLINE, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_WRITE_QUEUED, kValue, HintNumber::DataType},
    {HINT_ACTION_FAILED, kAction, HintNumber::ActionCode},
    {HINT_COMMAND_FAILED, kAction, HintNumber::ActionCode},
    {HINT_STORE_FAILED, kValue, HintNumber::DataType},
    {HINT_STORE_FAILED_2, kValue, HintNumber::DataType},
    {HINT_INVALID_INDEX, HINT_FIELD_NUMBER, HintNumber::Index},
    {HINT_INVALID_STATUS_QUERY, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_INVALID_COMMAND_QUERY, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_COMMAND_MISMATCH, kValue, HintNumber::DataType},
    {HINT_INVALID_MONITOR_QUERY, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_WRITE_REFUSED, kValue, HintNumber::DataType},
    {HINT_IMPORT, HINT_FIELD_TOPIC, HintNumber::None},
    {HINT_EXPORT, HINT_FIELD_TOPIC, HintNumber::None},
    {HINT_DOCUMENT_LOADED, HINT_FIELD_NONE, HintNumber::None},
    {HINT_DOCUMENT_CLEARED, HINT_FIELD_NONE, HintNumber::None},
    {HINT_TOPIC_ADDED, HINT_FIELD_TOPIC, HintNumber::None},
    {HINT_ITEM_ADDED, HINT_FIELD_TOPIC | HINT_FIELD_ITEM, HintNumber::None},
    {HINT_MODE_ONLINE, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_MODE_OFFLINE, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_TIMEOUTS_CHANGED, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_COMMAND_DIAG_CHANGED, HINT_FIELD_OBJECT, HintNumber::None},
    {HINT_REDUNDANCY_CHANGED, HINT_FIELD_OBJECT, HintNumber::None},
};

} // namespace

const HintCodeInfo* FindHintCode(int nCode)
{
    for (const HintCodeInfo& info : kHintCodes)
        if (info.nCode == nCode)
            return &info;
    return nullptr;
}

} // namespace kestrun
