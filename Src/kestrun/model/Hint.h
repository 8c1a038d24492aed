#pragma once
// The record that goes with a view hint code; the sender owns it for the
// duration of the synchronous delivery.
#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CdsHint : public CObject {
public:
    CdsHint() { m_value.ullVal = 0; }
    CdsHint(int nNumber, const _BRISANTDATAVALUE& value, CObject* pObject)
        : m_pObject(pObject), m_nNumber(nNumber), m_value(value)
    {
    }

    const void* m_pTopic = nullptr;  // topic text or DDE action record, by code
    const void* m_pItem = nullptr;   // item text or object, by code
    CObject* m_pObject = nullptr;    // point, device or block concerned
    int m_nNumber = 0;               // data type, action code or index, by code
    _BRISANTDATAVALUE m_value;
};

// View hint codes sent by the data model.
enum : int {
    HINT_VALUE_CHANGED = 101,
    HINT_VALUE_CHANGED_2 = 102,
    HINT_INITIAL_VALUE = 103,
    HINT_INITIAL_VALUE_2 = 104,
    HINT_STORE_FAILED = 403,
    HINT_STORE_FAILED_2 = 404,
    HINT_COMMAND_MISMATCH = 408,
};
