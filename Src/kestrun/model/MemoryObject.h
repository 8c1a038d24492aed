#pragma once
// One data point of a memory block: a value cell with its type, quality and
// names, and the bindings to the OPC tag, the DDE item and the write queue.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CArchive;
class CdsBitArray;
class CdsBlockStore;
struct CdsHeldCell;
class CdsMemoryArray;
class CdsEventQueue;
class CfsMemoryTag;
struct tagTHREADINFO;
namespace kestrun {
class HandlerLink;
struct DdeItemRecord;
}

class CdsMemoryObject : public CObject {
    DECLARE_SERIAL(CdsMemoryObject)
public:
    // Highest index a point may have in its block.
    static constexpr int kMaxIndex = 65536;

    // Quality words.
    enum : WORD { QUALITY_NONE = 0, QUALITY_OFFLINE = 8, QUALITY_GOOD = 192, QUALITY_MISMATCH = 216 };

    CdsMemoryObject();
    ~CdsMemoryObject() override;
    CdsMemoryObject(const CdsMemoryObject&) = delete;

    void Serialize(CArchive& ar) override;

    virtual BOOL SetOnline(BOOL bOnline, CdsMemoryArray* pArray, int nIndex);
    // A value read from the device; result: that of the store, 0 when unchanged.
    virtual BOOL UpdateState(const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                             const tagTHREADINFO* pLine, BOOL bCommand);
    // A write was sent to the device (the frame and its response are for derived points).
    virtual BOOL UpdateCommand(const _BRISANTDATAVALUE& value, int nFrame = 0, const BYTE* pBuffer = nullptr,
                               int nReceived = 0, kestrun::HandlerLink* pHdlr = nullptr,
                               const tagTHREADINFO* pLine = nullptr);
    // 0 when the index is above kMaxIndex.
    virtual BOOL SetParent(int nIndex, CdsMemoryArray* pArray);
    // Pseudo name "%s%c%d" (text, separator, number).
    virtual void SetPseudoName(const std::string& strText, int nNumber, char chSeparator);
    virtual void GenerateRandomValue();
    // The parent block's command query of the line slot (0..3), or null.
    virtual char* GetCommandQueryString(int nLine);
    virtual char* FillCommandQueryString(int nLine);
    virtual int GetCommandQueryStringLen(int nLine, const char* pszText);
    virtual int GetCommandResponseStringLen(int nLine);
    // Copies type, reserved cell, value (texts and arrays deep), names, user word
    // and system flag; the write-queue binding is cleared.
    virtual CdsMemoryObject& operator=(const CdsMemoryObject& src);
    virtual BOOL IsBitObject() const { return FALSE; }
    virtual CdsMemoryArray* NewBitArray() { return nullptr; }
    virtual int GetUnknownDataType() const { return m_nDataType; }
    // Lets go of the tag, clears contents, and deletes the point when its flag is set.
    virtual void Destroy();
    virtual void DeleteContents();
    virtual void fsUpdateUnknownTypeValue() {}

    // Stores a value (step by step as the road of a read needs it); 1 = stored.
    BOOL SetNewValue(const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr, BOOL bCommand);
    // Queues a write through the handler's event queue; 0 when not possible.
    BOOL WriteValue(const _BRISANTDATAVALUE& value, DWORD dwRequester);
    // Why the point never holds a value of its own, so that no client waits for
    // one; empty when it does. The server program's point knows its blocks.
    virtual std::string GetNoValueReason() const { return {}; }
    // Why a write of the value would not write what the client meant, so that
    // it is refused; empty when it would. By default the no-value reason.
    virtual std::string GetValueRefusal(const _BRISANTDATAVALUE& value) const;
    // A DDE read: the value, with texts copied to the toolkit heap for the caller.
    // pszNullString stands in for a point without text (the "Null String Value" option).
    BOOL ReadValue(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction, const char* pszNullString = nullptr);
    BOOL ReadValueNewDataType(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction,
                              const char* pszNullString = nullptr);
    // ReadValue's copy without its checks: the value as it stands, for a client
    // that has to learn a new quality although the point is not readable now.
    BOOL CopyReadValue(_BRISANTDATAVALUE* pValue, const _BRISANT_DATAACTION* pAction,
                       const char* pszNullString = nullptr);

    // Names: the key name is the pseudo name, or the name when that is empty.
    std::string GetName() const;
    std::string GetPseudoName() const { return GetName(); }
    const std::string& GetOwnName() const { return m_strName; }
    const std::string& GetOwnPseudoName() const { return m_strPseudoName; }
    void SetName(const std::string& strName);
    void SetPseudoNameText(const std::string& strPseudoName);
    // "%s.%s" (block path, key name).
    std::string GetPath() const;

    int GetDataType() const;
    void SetDataType(int nType) { m_nDataType = nType; }
    int GetOwnDataType() const { return m_nDataType; }
    // The cell as it stands. Texts and arrays in it belong to the point: copy them
    // with CopyValue when another thread may store a new value meanwhile.
    _BRISANTDATAVALUE GetValue() const;
    BOOL CopyValue(_BRISANTDATAVALUE& copy) const;
    _BRISANTDATAVALUE GetLastCommandValue() const;
    LONGLONG GetLastCommandTime() const { return m_tLastCommand; }
    void SetLastCommandTime(LONGLONG t) { m_tLastCommand = t; }

    WORD GetStatus() const { return static_cast<WORD>(m_nStatus.load()); }
    // Good quality: both bits of 0xC0 set (192, and 216 for a mismatch).
    static bool IsGoodQuality(int nStatus) { return (nStatus & 0xC0) == 0xC0; }
    bool HasGoodQuality() const { return IsGoodQuality(m_nStatus.load(std::memory_order_relaxed)); }
    void SetStatus(int nStatus);
    BOOL IsStatusChanged() const { return m_bStatusChanged.load(); }
    BOOL IsTouched() const { return m_bTouched.load(); }
    void SetTouched(BOOL bTouched);
    BOOL IsAsyncUpdate() const { return m_bAsyncUpdate; }
    void SetAsyncUpdate(BOOL b) { m_bAsyncUpdate = b; }
    LONG GetUserWord() const { return m_nUserWord; }
    void SetUserWord(LONG n) { m_nUserWord = n; }
    BOOL IsSystemObject() const { return m_bSystem; }
    void SetSystemObject(BOOL b) { m_bSystem = b; }
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL b) { m_bDeleteOnDestroy = b; }

    int GetIndex() const { return m_nIndex; }
    CdsMemoryArray* GetParent() const { return m_pParent; }
    CfsMemoryTag* GetMemoryTag() const { return m_pTag; }
    // The DDE items bound to the point, one per name clients used for it: the
    // first, each leading to the next through its pNextOfPoint. Application thread.
    kestrun::DdeItemRecord* GetDdeItem() const { return m_pDdeItem; }
    void AddDdeItem(kestrun::DdeItemRecord* pItem);
    void RemoveDdeItem(kestrun::DdeItemRecord* pItem);

    // Clients let go of the point while it stays allocated (a line thread that
    // outlived its stop may still reach it): its tag no longer leads here and
    // reads bad quality, its DDE item is unlinked, its queued writes and those
    // of its bits are dropped. Application thread, with client calls shut out.
    virtual void DetachClients();

    // 1 while an OPC client holds the tag (use count above 1) or a DDE link is active.
    BOOL InUse() const;
    BOOL IsReadValueReady() const;
    BOOL IsWriteValueReady() const;
    // Why a client write of this point would never reach its device ("block Doubles:
    // Double values cannot be written to this PLC"); empty when it may be queued.
    std::string GetWriteRefusal() const;
    // Whether the device can write the point at all (the block's switches aside):
    // what the OPC tag's access rights tell clients.
    bool IsWritableByDevice() const;
    // Binds the handler's write queue; false without device, handler or queue.
    BOOL BindEventQueue();
    std::shared_ptr<CdsEventQueue> GetEventQueue() const;

    // The point's bit array, made by NewBitArray on first use and seeded from
    // the current value; null for bit objects and when no array is made.
    CdsBitArray* GetBitArray();
    // The bit object of that bit; null outside 0 .. bits of the type - 1.
    CdsMemoryObject* GetBitObject(int nBit);

protected:
    friend class CdsMemoryArray;
    friend class CdsBlockStore;
    // The bit array once it is made, or null; safe beside GetBitArray.
    CdsBitArray* GetExistingBitArray() const;
    enum class StoreResult { Failed, Stored, Mismatch };
    // UpdateState, telling the block's store what it keeps of the point (pHeld may be null).
    BOOL UpdateStateHeld(const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                         const tagTHREADINFO* pLine, BOOL bCommand, CdsHeldCell* pHeld);
    // A store's work once the value lock is let go: the quality, a mismatch's hint.
    BOOL FinishStore(int nType, const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr, StoreResult result,
                     bool bFirst);
    // Stores into the cell; the caller holds m_valueMutex.
    StoreResult StoreLocked(int nType, const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr, BOOL bCommand, bool& bFirst);
    bool StoreTextLocked(int nType, const _BRISANTDATAVALUE& value);
    // Every write of the cell counts itself; the caller holds m_valueMutex.
    void CountCellWriteLocked()
    {
        m_nCellWrites.store(m_nCellWrites.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        m_bTagHoldsCell = false;
        NoteChange();
    }
    // Tells the block that something its store checks of the point changed.
    void NoteChange() const;
    void ReleaseValueLocked();
    // Ends the binding of every DDE item (handle and activity); with bUnlink the
    // items no longer lead here and the point forgets them.
    void ReleaseDdeItems(bool bUnlink);
    // Pushes the current value to the OPC tag with the read's time (or the current one);
    // the caller holds m_valueMutex.
    void PushToTag(int nType);
    void SetTagType();
    void ApplyNameCase();
    // Command diagnostics after a store: true when the read-back contradicts the last write.
    bool IsCommandMismatch(int nType, const _BRISANTDATAVALUE& value, kestrun::HandlerLink* pHdlr, BOOL bCommand) const;

    // Guards the value cells and their blocks. Under it only the tag's lock and
    // the DDE heap's are taken, never another point's (a copy lets go of the
    // source's before taking its own); hints are sent after it is let go.
    mutable std::mutex m_valueMutex;
    // The fields below are in an order that leaves no padding, with flags of a byte:
    // a plant has a point per configured word, so every byte counts many times over.
    int m_nDataType = BRISANT_NOTYPE;
    LONG m_nUserWord = -1;
    _BRISANTDATAVALUE m_reserved{};
    _BRISANTDATAVALUE m_value{};
    std::string m_strName;
    std::string m_strPseudoName;
    // The write queue binding: read by clients' threads while the application
    // thread binds it; an atomic, not a lock of its own in every point.
    std::atomic<std::weak_ptr<CdsEventQueue>> m_pEventQueue;
    _BRISANTDATAVALUE m_lastCommandValue{};
    LONGLONG m_tLastCommand = 0;
    int m_nIndex = -1;
    int m_nValueType = BRISANT_NOTYPE;            // type the held value's blocks belong to
    CdsMemoryArray* m_pParent = nullptr;
    kestrun::DdeItemRecord* m_pDdeItem = nullptr;
    int m_nCommandType = BRISANT_NOTYPE;          // same for the last command value
    // What a block's store checks of every point, side by side.
    // Writes of the cell so far (each under m_valueMutex); read without the lock by a
    // block's store to learn that nothing else wrote the cell since its own store.
    std::atomic<std::uint32_t> m_nCellWrites{0};
    std::atomic<int> m_nStatus{0};
    std::atomic<bool> m_bTouched{false};
    std::atomic<bool> m_bStatusChanged{false};
    bool m_bTagHoldsCell = false;   // the tag was given the cell since its last write (m_valueMutex)
    bool m_bDeleteOnDestroy = true;
    CfsMemoryTag* m_pTag = nullptr;
    std::atomic<CdsMemoryArray*> m_pBitArray{nullptr};   // made on demand by bit-capable points; set once
    bool m_bSystem = false;
    bool m_bAsyncUpdate = true;
};
