#pragma once
// A memory block: one contiguous range of a device's data, read and written as
// a unit. It owns its data points (indexed from 0), its variants, the lookup
// maps and one query buffer per line.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "kestrun/model/FailureRun.h"
#include "kestrun/model/PointNameMap.h"
#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CArchive;
class CdsDeviceObject;
class CdsMemoryObject;
class CfsMemoryTag;
struct tagTHREADINFO;
namespace kestrun {
class HandlerLink;
}

// What a block's store keeps of a point it stored a read's value into: the cell as
// the point then held it and the count of the point's cell writes up to then. `plain`
// when the cell held a number of the point's type (no NaN) that its tag was given.
struct CdsHeldCell {
    const CdsMemoryObject* pPoint = nullptr;
    ULONGLONG cell = 0;
    std::uint32_t writes = 0;
    bool plain = false;
    bool bits = false;              // the point had a bit array when the store last checked it
    CfsMemoryTag* pTag = nullptr;   // and this tag
};

class CdsMemoryArray : public CObject {
    DECLARE_SERIAL(CdsMemoryArray)
    friend class CdsBlockStore;
public:
    static constexpr int kQuerySize = 513;
    static constexpr int kLines = 4;
    using QueryText = std::array<char, kQuerySize>;
    static constexpr int kResponseSize = 4096;
    // Largest item count a block accepts (the highest point index + 1).
    static constexpr int kMaxMemoriesLimit = 65537;

    explicit CdsMemoryArray(int nMaxMemories = 0);
    ~CdsMemoryArray() override;
    CdsMemoryArray(const CdsMemoryArray&) = delete;

    void Serialize(CArchive& ar) override;

    // Low 16 bits of the default data type field.
    virtual WORD GetTypeData() const;
    virtual const std::string& GetName() const { return m_strName; }
    // The address as stored (normalised when it was set).
    virtual const std::string& GetAddr() const { return m_strAddress; }
    // "[%s]%s" (name, address), or the address alone; an empty text when empty.
    virtual std::string GetPath();
    virtual void SetParent(CdsDeviceObject* pDevice);
    virtual CdsMemoryObject* CreateMemoryObject(int nIndex, const CdsMemoryObject* pTemplate, BOOL bRegister);
    virtual CdsMemoryObject* AddMemoryObject(int nIndex, const CdsMemoryObject& templ, BOOL bRegister);
    virtual CdsMemoryObject* AddMemoryObject(int nIndex, CdsMemoryObject* pPoint, BOOL bRegister);
    virtual BOOL DestroyMemoryObject(int nIndex);
    virtual BOOL DestroyMemoryObject(CdsMemoryObject* pPoint);
    virtual BOOL SetOnline(BOOL bOnline, CdsDeviceObject* pDevice);
    virtual BOOL UpdateState(int nIndex, const _BRISANTDATAVALUE& value, BOOL bInitial, kestrun::HandlerLink* pHdlr,
                             const tagTHREADINFO* pLine, BOOL bCommand);
    // Parses a read's response into the points; nonzero when taken. The line then
    // hands the device's UpdateStatus and UpdateVariants this same buffer: a block
    // that reads a later response into a buffer of its own parses that one, but
    // the device and the variants still see the first.
    virtual int UpdateStatus(int nFrame, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                             const tagTHREADINFO* pLine);
    virtual int UpdateMessage(int nFrame, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                              const tagTHREADINFO* pLine);
    // Query buffers by line slot (0 primary master, 1 primary backup, 2 secondary
    // master, 3 secondary backup). Status queries need Read Allowed, command
    // queries Write Allowed; otherwise null and 0.
    virtual char* GetStatusQueryString(int nLine);
    virtual char* FillStatusQueryString(int nLine);
    virtual int GetStatusQueryStringLen(int nLine, const char* pszText);
    virtual int GetStatusResponseStringLen(int nLine);
    virtual char* GetCommandQueryString(int nLine);
    virtual char* FillCommandQueryString(int nLine);
    virtual int GetCommandQueryStringLen(int nLine, const char* pszText);
    virtual int GetCommandResponseStringLen(int nLine);
    // Copies the settings (not the points); type words only when the source has one.
    virtual CdsMemoryArray& operator=(const CdsMemoryArray& src);
    virtual BOOL CreateSystemObjects();
    virtual void DestroySystemObjects();
    virtual BOOL OnInitMemoryArray() { return TRUE; }
    virtual void OnExitMemoryArray() {}
    // Point factories; the base block makes none.
    virtual CdsMemoryObject* NewMemoryObject(const CdsMemoryObject& src);
    virtual CdsMemoryObject* NewMemoryObject();
    virtual BOOL InitMemoryObject(int nIndex, CdsMemoryObject* pPoint);
    virtual void ExitMemoryObject(int nIndex, CdsMemoryObject* pPoint);
    virtual CdsMemoryObject* NewMemoryVariant();
    virtual void Destroy();
    virtual void DeleteContents();

    // Registers a point at an index (growing the block); 0 on a null point, a bad
    // index, an occupied slot without replace, or a duplicate key.
    BOOL RegisterMemoryObject(int nIndex, CdsMemoryObject* pPoint, BOOL bReplace);
    // Points by index (null outside the block) and by key name.
    CdsMemoryObject* GetMemoryObject(int nIndex) const;
    CdsMemoryObject* FindMemoryObjectByKey(const std::string& strKey) const;
    // A point by a client's name: a key name, a key name with a bit, or the
    // address form "address:index" with an optional bit; null when none.
    CdsMemoryObject* GetMemoryObject(const std::string& strName) const;
    // The bit object of the point at nIndex; null when either is missing.
    CdsMemoryObject* GetMemoryObject(int nIndex, int nBit) const;
    // Linear search by name, only with "Wild Search On Tag Create".
    CdsMemoryObject* FindMemoryObject(const std::string& strName) const;
    // Refreshes every variant after a read of the block.
    void UpdateVariants(const BYTE* pData, int nSize, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine);
    int GetSize() const { return static_cast<int>(m_points.size()); }
    BOOL HasAtLeastOneMemoryObject() const;
    // After loading: system points, parents, and the name map rebuilt.
    void OnLoading();

    // Variants, keyed "%s%c%s" (base item, a blank, type code).
    CdsMemoryObject* CreateMemoryVariant(const std::string& strItem, const std::string& strType);
    CdsMemoryObject* GetMemoryVariant(const std::string& strItem, const std::string& strType) const;

    // DDE browse leaves of the points under a branch of the server: "[topic]key",
    // or the key alone with short names; points bound to a DDE item are marked ready.
    void BuildBrowseLeaves(DWORD dwServer, DWORD hBranch, BOOL bShortNames, const std::string& strTopic);
    // Use counts of the points' bit arrays, summed.
    int GetBitRefCount() const;

    // Every point and variant lets go of its clients (CdsMemoryObject::DetachClients).
    void DetachClients();

    // Client items active on the block.
    BOOL Initialize(CdsMemoryObject* pPoint);
    BOOL Shutdown(CdsMemoryObject* pPoint);
    int GetUseCount() const { return m_nUseCount.load(); }

    // Settings.
    void SetName(const std::string& strName) { m_strName = strName; }
    void SetAddr(const std::string& strAddress);
    const std::string& GetDescription() const { return m_strDescription; }
    void SetDescription(const std::string& str) { m_strDescription = str; }
    SHORT GetTypeDataWord() const { return m_nTypeData; }
    void SetTypeDataWord(SHORT n) { m_nTypeData = n; }
    int GetDefaultDataType() const { return m_bForceDouble ? BRISANT_DOUBLE : m_nDefaultDataType; }
    void SetDefaultDataType(int nType) { m_nDefaultDataType = nType; }
    BOOL IsForceDouble() const { return m_bForceDouble; }
    void SetForceDouble(BOOL b) { m_bForceDouble = b; }
    LONG GetLength() const { return m_nLength; }
    void SetLength(LONG n) { m_nLength = n; }
    int GetPriority() const { return m_nPriority; }
    BOOL SetPriority(int n);
    int GetScanTime() const;
    BOOL SetScanTime(int n);
    BOOL IsReadAllowed() const { return m_bReadAllowed; }
    void SetReadAllowed(BOOL b) { m_bReadAllowed = b; }
    BOOL IsWriteAllowed() const { return m_bWriteAllowed; }
    void SetWriteAllowed(BOOL b) { m_bWriteAllowed = b; }
    BOOL IsClientReadAccess() const { return m_bClientRead; }
    void SetClientReadAccess(BOOL b) { m_bClientRead = b; }
    BOOL IsClientWriteAccess() const { return m_bClientWrite; }
    void SetClientWriteAccess(BOOL b) { m_bClientWrite = b; }
    BOOL IsModified() const { return m_bModified.load(); }
    // A mark tells the block's device too, so a search for marked blocks skips devices without one.
    void SetModified(BOOL b);
    BOOL IsSystemArray() const { return m_bSystem; }
    void SetSystemArray(BOOL b) { m_bSystem = b; }
    BOOL IsOnline() const { return m_bOnline.load(); }
    BOOL IsHold() const { return m_bHold; }
    void SetHold(BOOL b) { m_bHold = b; }
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL b) { m_bDeleteOnDestroy = b; }
    int GetMaxMemories() const { return m_nMaxMemories; }
    void SetMaxMemories(int n) { m_nMaxMemories = n; }
    CdsDeviceObject* GetParent() const { return m_pParent; }

    // Scheduler counters. Two lines may count one block at once, so they are
    // atomics; the update cycle keeps them from running past the int limits.
    int GetIdleTime() const { return m_nIdleTime.load(); }
    void IncreaseIdleTime() { m_nIdleTime += m_nPriority; }
    void ResetIdleTime() { m_nIdleTime = -9; }
    int GetDueTime() const { return m_nDueTime.load(); }
    void IncreaseDueTime(int n) { m_nDueTime += n; }
    void ResetDueTime() { m_nDueTime = -GetScanTime(); }
    int GetErrorCount() const { return m_nErrorCount.load(); }
    void IncreaseErrorCount() { ++m_nErrorCount; }
    // No read was tried since the block went online, successful or not.
    bool IsUnread() const { return !m_bReadTried.load(std::memory_order_relaxed); }
    void NoteReadTried()
    {
        if (!m_bReadTried.load(std::memory_order_relaxed))
            m_bReadTried.store(true, std::memory_order_relaxed);
    }
    // Wall time (100 ns units since 1601) of the read whose values are being delivered,
    // so that the points of a block share one timestamp; 0 outside a delivery, when
    // points take the time of their own store. Set by the line around a delivery.
    void SetDeliveryTime(std::uint64_t ft) { m_ftDelivery.store(ft, std::memory_order_relaxed); }
    std::uint64_t GetDeliveryTime() const { return m_ftDelivery.load(std::memory_order_relaxed); }
    // Last transfer time of a line slot (secondary slots share one).
    LONGLONG GetLastUpdateTime(int nLine) const { return nLine >= 2 ? m_tLastUpdate2.load() : m_tLastUpdate.load(); }
    void SetLastUpdateTime(int nLine, LONGLONG t) { (nLine >= 2 ? m_tLastUpdate2 : m_tLastUpdate) = t; }
    // Failed reads in a row of a line slot; a slot out of range has none.
    CdsFailureRun* GetReadFailures(int nLine)
    {
        return ValidLine(nLine) ? &m_readFailures[static_cast<std::size_t>(nLine)] : nullptr;
    }
    bool IsReadFailing(int nLine) const
    {
        return ValidLine(nLine) && m_readFailures[static_cast<std::size_t>(nLine)].IsFailing();
    }

    void ClearStatusQueryString(int nLine);
    void ClearCommandQueryString(int nLine);
    BOOL IsStatusQueryStringInitialized(int nLine) const;
    void SetStatusQueryStringInitialized(int nLine, BOOL b);
    BOOL IsCommandQueryStringInitialized(int nLine) const;
    void SetCommandQueryStringInitialized(int nLine, BOOL b);

    // The name map's key of a point: its key name, upper-cased unless names are case-sensitive.
    static std::string MapKey(const CdsMemoryObject& point);

protected:
    // Removes the point's key from the name map when the entry is this point (at its index).
    void UnmapPoint(CdsMemoryObject* pPoint, int nIndex);
    static bool ValidLine(int nLine) { return nLine >= 0 && nLine < kLines; }

    SHORT m_nTypeData = -1;
    int m_nDefaultDataType = BRISANT_NOTYPE;
    BOOL m_bForceDouble = FALSE;
    std::string m_strName;
    std::string m_strDescription;
    std::string m_strAddress;
    std::atomic<LONGLONG> m_tLastUpdate{0};
    std::atomic<LONGLONG> m_tLastUpdate2{0};
    std::atomic<std::uint64_t> m_ftDelivery{0};
    std::atomic<BOOL> m_bOnline{FALSE};
    BOOL m_bHold = FALSE;
    LONG m_nLength = 0;
    BOOL m_bReadAllowed = TRUE;
    BOOL m_bWriteAllowed = TRUE;
    BOOL m_bClientRead = TRUE;
    BOOL m_bClientWrite = TRUE;
    std::atomic<BOOL> m_bModified{FALSE};
    BOOL m_bSystem = FALSE;
    std::atomic<int> m_nUseCount{0};
    // A request buffer of one line: made by that line's thread on first use (most
    // blocks are read by one line and never written), freed with the block.
    QueryText& CommandQuery(std::size_t slot);
    QueryText& StatusQuery(std::size_t slot);
    std::array<std::unique_ptr<QueryText>, kLines + 1> m_commandQuery;
    std::array<BYTE, kLines> m_commandInitialized{};
    BOOL m_bDeleteOnDestroy = TRUE;
    int m_nMaxMemories;
    std::array<std::unique_ptr<QueryText>, kLines> m_statusQuery;
    std::array<BYTE, kLines> m_statusInitialized{};
    int m_nPriority = 3;
    int m_nScanTime = 100;
    std::atomic<int> m_nErrorCount{0};
    std::atomic<bool> m_bReadTried{false};
    std::array<CdsFailureRun, kLines> m_readFailures;
    CdsDeviceObject* m_pParent = nullptr;
    CdsPointNameMap m_nameMap;
    // The variants, made with the block's first variant (few blocks ever have one)
    // and kept until the block goes.
    struct Variants {
        std::map<std::string, CdsMemoryObject*> map;
        // Clients add variants while a line refreshes them: the map is only held
        // while the refresh takes its list, never while variants send hints. Leaf.
        std::mutex mutex;
        // One refresh at a time; guards the list. Taken first: then `mutex`,
        // then each variant's text and value locks. Held while hints go to the
        // application thread, which never waits for it.
        std::mutex refreshMutex;
        std::vector<CdsMemoryObject*> refresh;   // kept to spare allocations
    };
    // The variants, or null before the first.
    Variants* FindVariants() const { return m_pVariants.load(std::memory_order_acquire); }
    Variants& MakeVariants();
    std::atomic<Variants*> m_pVariants{nullptr};
    std::atomic<int> m_nIdleTime{0};
    std::atomic<int> m_nDueTime{0};
    std::vector<CdsMemoryObject*> m_points;   // owned; destroyed with Destroy
    // One read's store at a time (CdsBlockStore); guards m_held. Taken first: then a
    // point's bit array's update lock, a point's value lock, the tag's lock. Held
    // while the points send hints to the application thread, which takes it only
    // while the block goes online or offline, when its lines are stopped.
    std::mutex m_storeMutex;
    std::vector<CdsHeldCell> m_held;          // by point index
    // Grows with every change of what a store checks of the block's points (their
    // cell writes, quality, touch and bits, and the points themselves). A store
    // that found every point of the block unchanged keeps the count: while it
    // stands, the next store compares the values alone.
    std::atomic<std::uint64_t> m_nPointChanges{0};
    std::uint64_t m_nCleanAt = 0;   // m_storeMutex
    bool m_bClean = false;          // m_storeMutex

public:
    void NotePointChange() { m_nPointChanges.fetch_add(1, std::memory_order_acq_rel); }
};

// The blocks of a device, in order; owns them.
class CdsMemoryArrayList : public CObject {
    DECLARE_SERIAL(CdsMemoryArrayList)
public:
    explicit CdsMemoryArrayList(int nBlockSize = 10);
    ~CdsMemoryArrayList() override;
    CdsMemoryArrayList(const CdsMemoryArrayList&) = delete;
    CdsMemoryArrayList& operator=(const CdsMemoryArrayList&) = delete;

    // Count of stored blocks (system blocks excluded), then each as an object.
    void Serialize(CArchive& ar) override;

    // Takes ownership.
    void AddTail(CdsMemoryArray* pArray) { m_blocks.push_back(pArray); }
    // Gives the block up without destroying it; false when it is not in the list.
    bool Remove(CdsMemoryArray* pArray);
    // Blocks without the system flag.
    int GetCount() const;
    int GetTotalCount() const { return static_cast<int>(m_blocks.size()); }
    const std::vector<CdsMemoryArray*>& GetBlocks() const { return m_blocks; }
    // Destroys every block.
    void DeleteContents();

private:
    std::vector<CdsMemoryArray*> m_blocks;
};
