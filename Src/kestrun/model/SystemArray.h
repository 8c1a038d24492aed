#pragma once
// Built-in blocks and points: the status block "$Array" of every device and
// the command points of "$System". They are never polled, written on the wire
// or stored; a client write to one goes to its device's HandleCommand.
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"

class CdsSystemArray : public CdsMemoryArray {
    DECLARE_SERIAL(CdsSystemArray)
public:
    explicit CdsSystemArray(int nMaxMemories = 0);

    // Stores and loads nothing.
    void Serialize(CArchive& ar) override;
    BOOL CreateSystemObjects() override { return TRUE; }
    // Marks the block online without a device (its points are always served).
    void SetOnlineFlag(BOOL b) { m_bOnline = b; }
    virtual void OnTimer() {}
};

class CdsSystemObject : public CdsMemoryObject {
    DECLARE_SERIAL(CdsSystemObject)
public:
    CdsSystemObject();

    // Stores and loads nothing.
    void Serialize(CArchive& ar) override;
    // No command goes on the wire.
    char* GetCommandQueryString(int) override { return nullptr; }
    char* FillCommandQueryString(int) override { return nullptr; }
    virtual void OnTimer(void*) {}

    // A new point of the type with its starting value, touched and of good quality.
    static CdsSystemObject* Make(const char* pszName, int nType, const _BRISANTDATAVALUE& initial);
};
