#pragma once
// The bits of one integer data point: a bit array that belongs to the point and
// holds one bit object per bit (element i is bit i, bit 0 the least
// significant). The bits are never read from the device: every new value of
// the parent point is split into them.
#include <mutex>

#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryObject.h"

class CdsBitArray : public CdsMemoryArray {
    DECLARE_DYNCREATE(CdsBitArray)
public:
    CdsBitArray();

    using CdsMemoryArray::NewMemoryObject;
    using CdsMemoryArray::SetOnline;
    // The block's point factory makes bit objects.
    CdsMemoryObject* NewMemoryObject() override { return NewBitObject(); }

    // Bit object factory; the base array makes none (a server program's does).
    virtual CdsMemoryObject* NewBitObject() { return nullptr; }
    // Bits of the parent point's type: 8, 16 or 32; 0 for types without bits;
    // 32 while there is no parent point.
    virtual int GetMaxBits() const;
    // Parent point, and its block's device as the array's device.
    virtual BOOL SetParentMemoryObject(CdsMemoryObject* pPoint);
    virtual CdsMemoryObject* AddBitObject(CdsMemoryObject* pBit, int nIndex);

    // Names the array after the point's block and fills it with one bit object
    // per bit of the point's type.
    BOOL CreateBitObjects(CdsMemoryObject* pPoint);
    // Copies the block's permissions and registers every bit object.
    BOOL InitBitObjects(CdsMemoryObject* pPoint);
    void DestroyBitObjects(CdsMemoryObject* pPoint);
    BOOL SetOnline(BOOL bOnline, CdsMemoryArray* pArray);
    // Splits a new value of the parent point (of type nType) into the bits;
    // 0 when the type has no bits.
    int UpdateBitObjects(const _BRISANTDATAVALUE& value, int nType, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                         const tagTHREADINFO* pLine, BOOL bCommand);

    // One bit of a value as a Bool cell (the whole cell is written: 0 or 1, the
    // rest zero). 0, with the cell cleared, for a type without bits or a bit
    // outside 0 .. bits of the type - 1.
    static int GetBitValue(const _BRISANTDATAVALUE& value, int nType, int nBit, _BRISANTDATAVALUE& out);
    // Char, Byte, Short, Word, Long and DWord carry bits.
    static BOOL IsDataSupportBit(int nType);

    // Gives the bits the value the parent point holds now, when it holds one.
    void RefreshFromParent();
    // Passes the parent point's touched state to every bit.
    void SetTouched(BOOL bTouched);

    CdsMemoryObject* GetBitObject(int nIndex) const { return GetMemoryObject(nIndex); }
    CdsMemoryObject* GetParentMemoryObject() const { return m_pParentPoint; }

private:
    void UpdateBitsLocked(const _BRISANTDATAVALUE& value, int nType, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                          const tagTHREADINFO* pLine, BOOL bCommand);

    CdsMemoryObject* m_pParentPoint = nullptr;   // not owned: the point owns this array
    // One split at a time, so a late split never overwrites a newer one. Taken
    // with the parent point's value lock let go; then the parent's value lock (a
    // refresh copies it) and each bit's. Held while the bits send hints.
    std::mutex m_updateMutex;
};

class CdsBitObject : public CdsMemoryObject {
    DECLARE_DYNCREATE(CdsBitObject)
public:
    CdsBitObject();

    // nBit is the bit number; the block must be a bit array with a parent point,
    // and the bit must lie below the array's bit count.
    BOOL SetParent(int nBit, CdsMemoryArray* pArray) override;
    BOOL IsBitObject() const override { return TRUE; }
    // A bit is always a Bool.
    int GetDataType() const { return BRISANT_BOOL; }
};
