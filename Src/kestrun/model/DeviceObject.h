#pragma once
// One configured device (a PLC or station): identity, line configurations,
// time-outs, retries and redundancy settings, its blocks with two look-up maps,
// its status points and the per-line state the communication handler keeps.
//
// Lines are numbered in line order: 0 primary master, 1 secondary master,
// 2 primary backup, 3 secondary backup. A null line record means the primary
// master.
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "kestrun/model/FailureRun.h"
#include "kestrun/model/MemoryArray.h"
#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

class CArchive;
class CdsCommHdlr;
class CdsCommConfig;
class CdsDeviceMap;
class CdsMemoryObject;
struct tagTHREADINFO;
// The configuration dialogs, named here only: the shell defines them.
class CdsTimeoutDlg;
class CdsMemoryArrayDlg;
class CdsCommandDiagDlg;
class CdsRedundancyDlg;
namespace kestrun {
class HandlerLink;
class DeviceHandler;
struct DdeTopicRecord;
} // namespace kestrun

class CdsDeviceObject : public CObject {
    DECLARE_SERIAL(CdsDeviceObject)
public:
    static constexpr int kLines = 4;
    static constexpr int kMonitorQuerySize = 513;
    static constexpr SHORT kSysModeOnline = 11;

    CdsDeviceObject();
    ~CdsDeviceObject() override;
    CdsDeviceObject(const CdsDeviceObject&) = delete;

    // A system device stores nothing. Otherwise: blocks, the primary master's
    // port type, the four line configurations (primary master, primary backup,
    // secondary master, secondary backup), then the settings. Without a primary
    // master configuration it throws CFileException(endOfFile).
    void Serialize(CArchive& ar) override;

    // --- blocks ---
    // Takes the block. A block already in the list is refused (and kept); a
    // block of the same name and type data as another is destroyed, unless it is
    // a system block, which replaces the other. Failures destroy the block.
    virtual CdsMemoryArray* AddMemoryArray(CdsMemoryArray* pArray, bool bInit);
    // A new block copied from the source; none when one of that name and type exists.
    virtual CdsMemoryArray* AddMemoryArray(const CdsMemoryArray& src, bool bInit);
    // Takes the block out of the list and maps without freeing it; none when it
    // is not in the list.
    virtual CdsMemoryArray* RemoveMemoryArray(CdsMemoryArray* pArray, bool bExit);
    // A point for an item made on demand; the base makes none.
    virtual CdsMemoryObject* CreateMemoryObject(const char* pszItem, bool bRegister);
    virtual BOOL IsEmpty() const;

    // --- online ---
    virtual BOOL SetOnline(int bOnline, CdsDeviceMap* pMap);
    virtual BOOL SetParent(CdsDeviceMap* pMap);
    virtual int GetProtocol() const { return -1; }

    // Copies configurations and settings (not blocks, counters or state).
    virtual CdsDeviceObject& operator=(const CdsDeviceObject& src);

    // The dialogs the data view edits this device's settings and blocks with,
    // so a program's device shows its own. The base ones are the framework's
    // dialogs; the shell, which owns the dialog classes, makes them.
    virtual std::unique_ptr<CdsTimeoutDlg> NewTimeoutDlg() const;
    virtual std::unique_ptr<CdsMemoryArrayDlg> NewMemoryArrayDlg() const;
    virtual std::unique_ptr<CdsCommandDiagDlg> NewCommandDiagDlg() const;
    virtual std::unique_ptr<CdsRedundancyDlg> NewRedundancyDlg() const;

    // A client write to a status point of this device; result is set to 0 on
    // entry. Returns 1 when the command was carried out, 0 when the point is
    // not a status point or the command does nothing (a missing line, a value
    // outside the commands).
    virtual int HandleCommand(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int& nResult);
    // Why no write of the point can ever be sent to this device, whatever the value
    // (its data type, its kind of element); empty when the device can write it.
    // Client threads ask it before they queue a write.
    virtual std::string GetWriteRefusal(const CdsMemoryObject& /*point*/) const { return {}; }
    virtual bool IsErrorStatusAvailable() const { return false; }
    virtual bool IsRunStatusAvailable() const { return false; }
    virtual bool IsMasterStatusAvailable() const { return false; }
    // Called when the device is registered with its configuration; 0 refuses it.
    virtual BOOL OnInitDeviceObject() { return TRUE; }
    virtual void OnExitDeviceObject() {}
    // Block factories of the program; the base makes none.
    virtual CdsMemoryArray* NewMemoryArray() { return nullptr; }
    virtual CdsMemoryArray* NewMemoryArray(const CdsMemoryArray& src);
    virtual BOOL InitMemoryArray(CdsMemoryArray* pArray);
    virtual void ExitMemoryArray(CdsMemoryArray* pArray);
    virtual BOOL OnOnline() { return TRUE; }
    virtual void OnOffline() {}
    // System blocks and status points made after loading; the base makes none.
    // The status block "$Array" and its points, per the system mode and time
    // options and the lines the device may use; 0 when a point is refused.
    virtual BOOL CreateSystemArrays();
    // Forgets the status points and destroys every system block.
    virtual void DestroySystemArrays();
    // One visit of an update line: read-back, due and urgent blocks, or an idle probe.
    virtual BOOL UpdateDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine);
    // One probe of a monitor line.
    virtual BOOL MonitorDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine);
    // Reads every block once.
    virtual void RefreshDevice(CdsCommHdlr* pHdlr, tagTHREADINFO* pLine);
    virtual int UpdateUnboundMessage(const BYTE* pData, int nLength, const tagTHREADINFO* pLine);
    virtual int UpdateStatus(const BYTE* pData, int nLength, const tagTHREADINFO* pLine);
    // The line's monitor query buffer (kMonitorQuerySize bytes).
    virtual char* GetMonitorQueryString(const tagTHREADINFO* pLine, bool bRebuild);
    virtual char* FillMonitorQueryString(const tagTHREADINFO* pLine);
    // Length of the text up to its zero; the line's buffer when pszText is null.
    virtual int GetMonitorQueryStringLen(const tagTHREADINFO* pLine, const char* pszText);
    virtual int GetMonitorResponseStringLen(const tagTHREADINFO* pLine) const;
    virtual void Destroy();
    virtual void DeleteContents();

    // The handler of the port, or null (also the road for data points' writes).
    virtual kestrun::HandlerLink* GetDeviceHdlr() const;
    virtual BOOL IsCommandDiagEnabled() const { return m_bCommandDiag; }

    // Changes a block of this device through change, then maps it again under
    // its name and address. When another block already has the new name and
    // type, undo puts the old settings back and 0 is returned.
    BOOL ChangeMemoryArray(CdsMemoryArray* pArray, const std::function<void()>& change,
                           const std::function<void()>& undo);
    // Clients let go of the device while it stays allocated: its topic no
    // longer leads here, its DDE topic is unlinked and every block lets go
    // (CdsMemoryArray::DetachClients). Application thread, client calls shut out.
    void DetachClients();

    // --- block look-ups (names upper-cased unless case-sensitive; type -1 any) ---
    void DestroyMemoryArray(CdsMemoryArray* pArray);
    CdsMemoryArray* GetMemoryArrayByName(const std::string& strName, int nType = -1) const;
    // Accepts an item address: cut before a ':' and then before the last '/'
    // (or '.', with dot subsets), each only past the first character.
    CdsMemoryArray* GetMemoryArrayByAddr(const std::string& strAddress, int nType = -1) const;
    CdsMemoryArray* FindMemoryArray(const std::string& strName, int nType = -1) const;
    // Looks up "[topic]name".
    CdsMemoryArray* FindMemoryArray(const std::string& strTopic, const std::string& strName, int nType) const;
    // The first block (list order) holding a point of that key name.
    CdsMemoryObject* GetMemoryObject(const std::string& strItem) const;
    CdsMemoryObject* CreateDynamicMemoryObject(CdsMemoryArray* pArray, const char* pszItem);
    void BuildItemListMaps();
    const CdsMemoryArrayList& GetMemoryArrayList() const { return m_blocks; }
    CdsMemoryArrayList& GetMemoryArrayList() { return m_blocks; }

    // --- lines and handler ---
    // 0..3 in line order for a line record; 0 for none.
    static int GetLineIndex(const tagTHREADINFO* pLine);
    DWORD GetPortHandle() const;
    // The handler for the port handle; GetCommHdlr gives none for a device without a port.
    kestrun::DeviceHandler* GetCommHdlr() const;
    CdsCommConfig* GetCommConfig(const tagTHREADINFO* pLine) const;
    CdsCommConfig* GetCommConfigAt(int nLine) const;
    CdsCommConfig* GetPrimaryMasterConfig() const { return GetCommConfigAt(0); }
    CdsCommConfig* GetSecondaryMasterConfig() const { return GetCommConfigAt(1); }
    CdsCommConfig* GetPrimaryBackupConfig() const { return GetCommConfigAt(2); }
    CdsCommConfig* GetSecondaryBackupConfig() const { return GetCommConfigAt(3); }
    // Replaces the line's configuration (null removes it).
    void SetCommConfig(int nLine, std::unique_ptr<CdsCommConfig> pConfig);
    // A configuration with a port id (0xFFFF is none).
    bool IsValidConfigAt(int nLine) const;
    bool IsValidPrimaryMasterConfig() const { return IsValidConfigAt(0); }
    bool IsValidSecondaryMasterConfig() const { return IsValidConfigAt(1); }
    bool IsValidPrimaryBackupConfig() const { return IsValidConfigAt(2); }
    bool IsValidSecondaryBackupConfig() const { return IsValidConfigAt(3); }
    bool IsBackupDeviceReady(const tagTHREADINFO* pLine) const;
    // Lines besides the primary master are possible: a secondary master and automatic switching.
    bool HasRedundancyLines() const;
    // Backup lines are possible as well.
    bool HasBackupLines() const;

    LONG GetErrorCount(const tagTHREADINFO* pLine) const;
    LONG AddErrorCount(const tagTHREADINFO* pLine, LONG n);
    LONG SubErrorCount(const tagTHREADINFO* pLine, LONG n);
    void ResetErrorCount(const tagTHREADINFO* pLine);
    LONG SetErrorCountOverMaxAllowed(const tagTHREADINFO* pLine);
    // Writes to the device wait on a line while it does not answer there: held
    // when a write went unanswered, let go by the device's next answer.
    bool AreWritesHeld(const tagTHREADINFO* pLine) const
    {
        return m_bWritesHeld[static_cast<std::size_t>(GetLineIndex(pLine))].load();
    }
    void HoldWrites(const tagTHREADINFO* pLine, bool bHold)
    {
        m_bWritesHeld[static_cast<std::size_t>(GetLineIndex(pLine))].store(bHold);
    }
    // Failed probes in a row of the device on a line.
    CdsFailureRun& GetMonitorFailures(const tagTHREADINFO* pLine)
    {
        return m_monitorFailures[static_cast<std::size_t>(GetLineIndex(pLine))];
    }
    LONG GetMaxErrorsAllowed(const tagTHREADINFO* pLine) const;
    LONG GetRetryOnError(const tagTHREADINFO* pLine) const;
    LONG GetPollCount() const { return m_nPollCount.load(); }
    void IncreasePollCount() { ++m_nPollCount; }

    LONGLONG GetLastUpdateTime(const tagTHREADINFO* pLine) const;
    void SetLastUpdateTime(const tagTHREADINFO* pLine, LONGLONG t);
    LONGLONG GetLastMonitorTime(const tagTHREADINFO* pLine) const;
    void SetLastMonitorTime(const tagTHREADINFO* pLine, LONGLONG t);
    char* GetMonitorQueryBuffer(const tagTHREADINFO* pLine);
    bool IsMonitorQueryStringInitialized(const tagTHREADINFO* pLine) const;
    void SetMonitorQueryStringInitialized(const tagTHREADINFO* pLine, bool bInitialized);

    // --- status points ---
    CdsMemoryObject* GetSysModeObject() const { return m_pSysMode; }
    // The point's value; kSysModeOnline without the point.
    SHORT GetSysMode() const;
    // None without a line record.
    CdsMemoryObject* GetUpdateModeObject(const tagTHREADINFO* pLine) const;
    // -1 without point or line record.
    SHORT GetUpdateMode(const tagTHREADINFO* pLine) const;
    CdsMemoryObject* GetTimeObject(const tagTHREADINFO* pLine) const;
    CdsMemoryObject* GetMasterActiveLineObject() const { return m_pActiveLine[0]; }
    SHORT GetMasterActiveLine() const;
    CdsMemoryObject* GetBackupActiveLineObject() const { return m_pActiveLine[1]; }
    CdsMemoryObject* GetCommGoodObject() const { return m_pCommGood; }
    CdsMemoryObject* GetCommFailObject() const { return m_pCommFail; }
    // Quality of every point of every non-system block; "$CommGood" 1 when both
    // bits 0xC0 are set, else 0, and "$CommFail" the opposite.
    void SetStatusAllItems(WORD wQuality);
    // Only points that never had a quality (nothing read yet) take this one.
    void SetStatusOfUnreadItems(WORD wQuality);
    void TouchAllItems(BOOL bTouched);
    void SetModified(BOOL bModified);
    // Set by every block marked modified; taken by a search for marked blocks,
    // which sets it again when it finds one. Clear: no block is marked.
    void NoteModifiedBlock() { m_bModifiedHint.store(true); }
    bool TakeModifiedHint() { return m_bModifiedHint.load() && m_bModifiedHint.exchange(false); }
    bool HasModifiedHint() const { return m_bModifiedHint.load(); }
    // Set by every block going online: some block may not have been read since.
    // Cleared once a look finds every polled block read (or tried) at least once.
    void NoteUnreadBlocks() { m_bUnreadHint.store(true, std::memory_order_relaxed); }
    void ClearUnreadBlocks() { m_bUnreadHint.store(false, std::memory_order_relaxed); }
    bool HasUnreadHint() const { return m_bUnreadHint.load(std::memory_order_relaxed); }
    void RemoveActiveDevices();

    // After loading: system blocks, parents, maps, then each block's own.
    void OnLoading();

    CdsDeviceMap* GetParent() const { return m_pParent; }
    BOOL IsSystemDevice() const { return m_bSystemDevice; }
    // The DDE bridge's topic record linked to this device, or null. Clearing the
    // device's contents unlinks it (the record keeps its own copy of the name).
    kestrun::DdeTopicRecord* GetDdeTopic() const { return m_pDdeTopic; }
    void SetDdeTopic(kestrun::DdeTopicRecord* pTopic) { m_pDdeTopic = pTopic; }
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL b) { m_bDeleteOnDestroy = b; }

    // Settings, in stored order of meaning.
    std::string m_strName;        // the topic
    std::string m_strDescription;
    LONG m_nDeviceType = -1;
    std::string m_strProtocol;
    std::string m_strAddress;
    std::string m_strPort;
    std::string m_strSetting;
    std::string m_strOptions;
    BOOL m_bAsciiMode = FALSE;
    BOOL m_bScheduledScan = TRUE;
    LONG m_nWriteTimeout = 1000;  // ms
    LONG m_nReadTimeout = 2000;   // ms
    LONG m_nNakDelay = 0;         // ms
    LONG m_nAckDelay = 0;         // ms
    BOOL m_bCommandDiag = FALSE;
    LONG m_nCommandDiagValidateTime = 5000; // ms
    LONG m_nRetries = 1;
    LONG m_nRetryDelay = 500;     // ms
    LONG m_nResetDelay = 5000;    // ms
    LONG m_nMaxErrors = 10;
    BOOL m_bDuplicateUpdate = FALSE;
    BOOL m_bAutoSwitching = TRUE;
    BOOL m_bBackupCommLog = FALSE;
    BOOL m_bSwitchOnCommError = TRUE;
    BOOL m_bSwitchOnCpuError = TRUE;
    BOOL m_bSwitchOnRedundancyChange = TRUE;
    BOOL m_bSwitchOnRunChange = TRUE;
    LONG m_nCheckInterval = 100;  // ms
    BOOL m_bIdleMonitor = FALSE;
    BOOL m_bFastSwitch = FALSE;
    DWORD m_dwDdeBranch = 0;

protected:
    // Refuses a block already in the list or with a negative maximum item count;
    // otherwise appends it and fills the missing points up to the maximum.
    BOOL OnCreateMemoryArray(CdsMemoryArray* pArray, BOOL bCreateItems);
    BOOL RegisterMemoryArray(CdsMemoryArray* pArray, BOOL bReplace);
    // Removes the block's name and address entries where they lead to this block.
    void UnmapMemoryArray(CdsMemoryArray* pArray);
    bool HoldsMemoryArray(const CdsMemoryArray* pArray) const;
    CdsMemoryArray* FindSameNameAndType(const CdsMemoryArray& block) const;
    // The index of the held blocks by their names (any case), which keeps
    // adding a block from a scan over all the others; every change of the list
    // or of a held block's name passes through these.
    void IndexHeldBlock(CdsMemoryArray* pArray);
    void UnindexHeldBlock(const CdsMemoryArray* pArray);
    void ReindexHeldBlocks();
    // The block's entry in the index, found under its name's key.
    std::unordered_multimap<std::string, CdsMemoryArray*>::const_iterator HeldEntryOf(const CdsMemoryArray* pArray) const;
    void SetAllMemoriesOnline();
    void SetAllMemoriesOffline();
    BOOL CreateDeviceHdlr();
    BOOL DestroyDeviceHdlr();
    // Every line holds a configuration: missing ones are made of the primary
    // master's kind, without a port id.
    void CompleteLineConfigs();

    BOOL m_bSystemDevice = FALSE;
    BOOL m_bDeleteOnDestroy = TRUE;
    CdsMemoryArrayList m_blocks;
    std::unordered_map<std::string, CdsMemoryArray*> m_blocksByName;
    std::unordered_map<std::string, CdsMemoryArray*> m_blocksByAddr;
    std::unordered_multimap<std::string, CdsMemoryArray*> m_heldByName;   // upper-cased name
    std::array<std::unique_ptr<CdsCommConfig>, kLines> m_configs;
    CdsDeviceMap* m_pParent = nullptr;
    kestrun::DdeTopicRecord* m_pDdeTopic = nullptr;   // the bridge's; not copied

    // Status points (owned by their blocks).
    CdsMemoryObject* m_pSysMode = nullptr;
    std::array<CdsMemoryObject*, kLines> m_pTime{};
    std::array<CdsMemoryObject*, kLines> m_pUpdateMode{};
    std::array<CdsMemoryObject*, 2> m_pActiveLine{};
    CdsMemoryObject* m_pCommGood = nullptr;
    CdsMemoryObject* m_pCommFail = nullptr;

private:
    // Drops the pointers to the status points; the blocks holding them stay.
    void ForgetStatusPoints();

    std::atomic<LONG> m_nPollCount{0};
    std::array<std::atomic<LONG>, kLines> m_nErrorCount{};
    std::array<CdsFailureRun, kLines> m_monitorFailures;
    std::array<std::atomic<bool>, kLines> m_bWritesHeld{};
    std::array<std::array<char, kMonitorQuerySize>, kLines> m_monitorQuery{};
    std::array<std::atomic<LONGLONG>, kLines> m_tLastMonitor{};
    std::array<std::atomic<LONGLONG>, kLines> m_tLastUpdate{};
    std::array<std::atomic<bool>, kLines> m_bMonitorQueryInitialized{};
    std::atomic<bool> m_bModifiedHint{false};
    std::atomic<bool> m_bUnreadHint{false};
};
