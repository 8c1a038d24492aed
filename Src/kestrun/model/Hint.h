#pragma once
// The record that goes with a view hint code.
//
// A hint built by its sender borrows: the value's text or array and the DDE
// action record stay the sender's, valid for a synchronous delivery on the
// sender's thread. A copy owns: it holds its own texts, its own copy of the
// value's blocks and its own snapshot of the action, so it may be posted to
// another thread and outlive whatever the sender pointed at.
#include <atomic>
#include <memory>
#include <string>

#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CdsHint : public CObject {
    DECLARE_DYNAMIC(CdsHint)
public:
    CdsHint();
    // A value hint: number = the value's data type.
    CdsHint(int nNumber, const _BRISANTDATAVALUE& value, CObject* pObject);
    CdsHint(const CdsHint& src);
    CdsHint& operator=(const CdsHint& src);
    CdsHint(CdsHint&& src) noexcept;
    CdsHint& operator=(CdsHint&& src) noexcept;
    ~CdsHint() override;

    // A data point, its data type and the value concerned (101-104, 305, 403, 404, 408, 413).
    static CdsHint ForValue(CObject* pPoint, int nDataType, const _BRISANTDATAVALUE& value);
    // A DDE action record with its action code (208, 209, 301, 401, 402).
    static CdsHint ForAction(const _BRISANT_DATAACTION* pAction, int nActionCode);
    // The device, view or block concerned (303, 304, 507-511).
    static CdsHint ForObject(CObject* pObject);
    // Texts: a path, a topic, a topic and an item (401, 501, 502, 505, 506).
    static CdsHint ForText(std::string strTopic, std::string strItem = {});

    // Sets the value and the data type it is read by; the hint borrows it.
    void SetValue(const _BRISANTDATAVALUE& value, int nValueType);
    const _BRISANTDATAVALUE& GetValue() const { return m_value; }
    int GetValueType() const { return m_nValueType; }
    // The DDE action; the hint borrows it.
    void SetAction(const _BRISANT_DATAACTION* pAction);
    const _BRISANT_DATAACTION* GetAction() const { return m_pAction; }
    // Whether a text or array block of the value, or the action, belongs to this hint.
    bool IsOwnedCopy() const { return m_nOwnedType != BRISANT_NOTYPE || m_pOwnedAction != nullptr; }

    // Every hint (and each copy of it) carries the model epoch it was made in.
    // Whoever lets model objects go starts a new epoch, so a hint still queued
    // that names an object of before can be told apart and dropped unread.
    static DWORD CurrentEpoch() { return s_dwEpoch.load(); }
    static void NewEpoch() { ++s_dwEpoch; }
    DWORD GetEpoch() const { return m_dwEpoch; }
    // Names an object and was made before the current epoch.
    bool IsStale() const { return m_pObject && m_dwEpoch != CurrentEpoch(); }

    std::string m_strTopic;          // device/topic text, or a path
    std::string m_strItem;           // item text
    std::string m_strReason;         // why a client's write was refused (413), if known
    CObject* m_pObject = nullptr;    // point, device, block or view concerned (not owned)
    int m_nNumber = 0;               // data type, action code or index, by code
    // On a refusal (400-499) logged again to sum up: how many more alike came after it.
    int m_nRepeats = 0;
    // The value concerned, read by GetValueType(). Set it with SetValue; what a
    // copy owns is kept apart, so a plain store here never frees or leaks a block.
    _BRISANTDATAVALUE m_value;

private:
    struct OwnedAction;
    void Release();
    void ReleaseValue();
    void CopyFrom(const CdsHint& src);
    void MoveFrom(CdsHint& src) noexcept;

    static inline std::atomic<DWORD> s_dwEpoch{0};

    DWORD m_dwEpoch = s_dwEpoch.load();
    int m_nValueType = BRISANT_NOTYPE;                 // how m_value is read
    _BRISANTDATAVALUE m_owned;                         // the block this hint must free
    int m_nOwnedType = BRISANT_NOTYPE;                 // its type; none when nothing is owned
    const _BRISANT_DATAACTION* m_pAction = nullptr;    // the sender's, or m_pOwnedAction's
    std::unique_ptr<OwnedAction> m_pOwnedAction;
};

// View hint codes.
enum : int {
    HINT_VALUE_CHANGED = 101,
    HINT_VALUE_CHANGED_2 = 102,
    HINT_INITIAL_VALUE = 103,
    HINT_INITIAL_VALUE_2 = 104,
    HINT_ACTION_BASE = 200,          // 200 + DDE action code
    HINT_ITEM_ACTIVE = 208,
    HINT_ITEM_INACTIVE = 209,
    HINT_COMMAND_DONE = 301,
    HINT_ONLINE = 303,
    HINT_OFFLINE = 304,
    HINT_WRITE_QUEUED = 305,
    HINT_ACTION_FAILED = 401,
    HINT_COMMAND_FAILED = 402,
    HINT_STORE_FAILED = 403,
    HINT_STORE_FAILED_2 = 404,
    HINT_INVALID_INDEX = 405,
    HINT_INVALID_STATUS_QUERY = 406,
    HINT_INVALID_COMMAND_QUERY = 407,
    HINT_COMMAND_MISMATCH = 408,
    HINT_INVALID_MONITOR_QUERY = 409,
    HINT_WRITE_REFUSED = 413,
    HINT_IMPORT = 501,
    HINT_EXPORT = 502,
    HINT_DOCUMENT_LOADED = 503,
    HINT_DOCUMENT_CLEARED = 504,
    HINT_TOPIC_ADDED = 505,
    HINT_ITEM_ADDED = 506,
    HINT_MODE_ONLINE = 507,
    HINT_MODE_OFFLINE = 508,
    HINT_TIMEOUTS_CHANGED = 509,
    HINT_COMMAND_DIAG_CHANGED = 510,
    HINT_REDUNDANCY_CHANGED = 511,
};

namespace kestrun {

// The views' grouping of hint codes.
enum class HintGroup { None, Event, Action, Command, Error, Info };
HintGroup GetHintGroup(int nCode);

// Which fields of the record a code carries.
enum HintField : unsigned {
    HINT_FIELD_NONE = 0,
    HINT_FIELD_TOPIC = 1u << 0,   // m_strTopic
    HINT_FIELD_ITEM = 1u << 1,    // m_strItem
    HINT_FIELD_ACTION = 1u << 2,  // GetAction()
    HINT_FIELD_OBJECT = 1u << 3,  // m_pObject
    HINT_FIELD_NUMBER = 1u << 4,  // m_nNumber
    HINT_FIELD_VALUE = 1u << 5,   // GetValue() read by GetValueType()
};

// What m_nNumber holds for a code.
enum class HintNumber { None, DataType, ActionCode, Index };

struct HintCodeInfo {
    int nCode;
    unsigned fields;
    HintNumber number;
};

// The entry of a code the system sends or the views accept, or null.
const HintCodeInfo* FindHintCode(int nCode);

} // namespace kestrun
