#pragma once
// A communication handler: one per port, shared by every device on that port.
// It owns up to four lines (primary master, secondary master, primary backup,
// secondary backup), the port of each line, the write queue of its devices and
// the stop event of its line threads. Protocols derive from it and supply the
// port and the message checks.
//
// Ownership: hold a handler in a std::shared_ptr (the handler table does); a
// line thread keeps the handler, its line record and its port alive, so a
// thread that outlives its stop wait never reaches freed memory.
#include <array>
#include <atomic>
#include <cstdarg>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "kestrun/comm/config/CommPort.h"
#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/comm/handler/ThreadInfo.h"
#include "kestrun/model/DeviceHandler.h"
#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/win/Clock.h"
#include "platform/win/Dispatcher.h"
#include "platform/win/Event.h"

class CdsDeviceObject;
class CdsEventData;
class CdsEventQueue;
class CdsHint;
class CdsMemoryArray;
class CdsMemoryObject;
class CdsMessageThread;

// Where a handler reports and how it tells time: the application's dispatcher
// with the log and data windows, and the clock. Null dispatcher: the calling
// thread counts as the application thread and reports are dropped.
struct CommHost {
    win::Dispatcher* pDispatcher = nullptr;
    win::WindowKey logWindow = win::kNoWindow;
    win::WindowKey dataWindow = win::kNoWindow;
    win::WindowKey mainWindow = win::kNoWindow;
    const win::Clock* pClock = nullptr;
};

class CdsCommHdlr : public CObject,
                    public kestrun::DeviceHandler,
                    public std::enable_shared_from_this<CdsCommHdlr> {
public:
    static constexpr int kReceiveBufferSize = 4096;
    static constexpr DWORD kInvalidPortHandle = 0xFFFFFFFFu;

    CdsCommHdlr();
    ~CdsCommHdlr() override;
    CdsCommHdlr(const CdsCommHdlr&) = delete;
    CdsCommHdlr& operator=(const CdsCommHdlr&) = delete;

    // --- set-up ---
    void SetHost(const CommHost& host);
    const CommHost& GetHost() const { return m_host; }
    const win::Clock& GetClock() const;
    // Whether the caller runs on the application thread.
    bool IsApplicationThread() const;

    // --- lifetime ---
    virtual void DeleteContents();
    virtual void Destroy();

    // --- hooks a protocol or port handler overrides ---
    virtual int HandleEvent(CdsEventData* pEvent, tagTHREADINFO* pLine);
    virtual int DoDataRead(CdsMemoryArray* pArray, tagTHREADINFO* pLine);
    virtual int DoDataWrite(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, tagTHREADINFO* pLine);
    virtual int DoDeviceMonitor(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, int nRetry);
    virtual std::shared_ptr<CdsEventQueue> CreateEventQueue();
    // -1 no framing known, 0 frame complete, n > 0 bytes still due.
    virtual int GetCharsToRead(CdsDeviceObject* pDevice, const BYTE* pData, int nCount, BYTE byLast, int nChunk);
    // Whether reads ask GetCharsToRead after every byte; a protocol whose frames carry
    // their own lengths (and answers -1 there) says no, and its reads skip the call.
    virtual bool UsesFramingCallback() const { return true; }
    virtual int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                                       const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine);
    virtual int SendQueryMessage(CdsMemoryArray* pArray, const char* pszQuery, int nLength, BOOL bRead,
                                 tagTHREADINFO* pLine);
    virtual int ReceiveMonitorMessage(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, int& nReceived,
                                      const char* pszQuery, tagTHREADINFO* pLine);
    virtual int SendMonitorMessage(CdsDeviceObject* pDevice, const char* pszQuery, int nLength, tagTHREADINFO* pLine);
    virtual BOOL IsValidQueryMessage(CdsMemoryArray* pArray, const char* pszData, int nLength, BOOL bRead);
    virtual BOOL IsValidResponseMessage(CdsMemoryArray* pArray, const BYTE* pData, int nLength, const char* pszQuery,
                                        BOOL bRead);
    virtual BOOL IsValidMonitorQuery(CdsDeviceObject* pDevice, const char* pszData, int nLength);
    virtual BOOL IsValidMonitorResponse(CdsDeviceObject* pDevice, const BYTE* pData, int nLength,
                                        const char* pszQuery);
    // Offers an unsolicited frame to the devices; nonzero when one took it.
    virtual int UpdateUnboundMessage(const BYTE* pData, int nLength, tagTHREADINFO* pLine);
    // Splits unsolicited input into frames and offers each; the last offer's answer.
    int ParseUnboundMessage(const BYTE* pData, int nLength, tagTHREADINFO* pLine);
    virtual void UpdateNextDevice(tagTHREADINFO* pLine);
    virtual void MonitorNextDevice(tagTHREADINFO* pLine);
    virtual void UpdateDevices(tagTHREADINFO* pLine);
    virtual void RefreshDevices(tagTHREADINFO* pLine);
    virtual void OpenDevices(tagTHREADINFO* pLine);
    virtual void CloseDevices(tagTHREADINFO* pLine);
    // The port handler opens the line's port and installs it with SetCommFile; nonzero = open.
    virtual BOOL OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) = 0;
    virtual BOOL CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine);
    virtual void ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine);
    virtual BOOL IsPortOpen(tagTHREADINFO* pLine);
    virtual int UpdateCommPortStatus(CdsDeviceObject* pDevice, BOOL bOk, tagTHREADINFO* pLine);
    virtual int UpdateMonitorPortStatus(CdsDeviceObject* pDevice, BOOL bOk, tagTHREADINFO* pLine);
    virtual void OnSysModeChange(CdsDeviceObject* pDevice, int nMode);
    virtual void OnUpdateModeChange(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, int nMode);
    virtual int CommRead(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine);
    virtual int GetNoOfBytesToRead(tagTHREADINFO* pLine);
    virtual BOOL CreateThreads(CdsDeviceObject* pDevice);
    virtual BOOL OnCreateThreads(CdsDeviceObject* pDevice);
    // 0 = success; a negative status aborts the line's start.
    virtual int InitThread(tagTHREADINFO* pLine);
    virtual int ExitThread(tagTHREADINFO* pLine);
    virtual void OnDestroyThreads(CdsDeviceObject* pDevice);
    virtual void DestroyThreads(CdsDeviceObject* pDevice);
    virtual void OnPreSingleStep() {}
    virtual void OnPostSingleStep() {}
    virtual void OnUpdateDevice(CdsDeviceObject*) {}
    virtual LRESULT OnMessageFromMain(WPARAM, LPARAM) { return -1; }
    BOOL DoOnline(CdsDeviceObject* pDevice) override;
    BOOL DoOffline(CdsDeviceObject* pDevice) override;
    virtual int ReadBytes(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, BOOL bTrace, tagTHREADINFO* pLine);
    virtual int ReadByte(CdsDeviceObject* pDevice, BYTE& byData, BOOL bTrace, tagTHREADINFO* pLine);
    virtual int WriteBytes(CdsDeviceObject* pDevice, const BYTE* pData, int nLength, BOOL bTrace,
                           tagTHREADINFO* pLine);
    virtual int WriteByte(CdsDeviceObject* pDevice, BYTE byData, BOOL bTrace, tagTHREADINFO* pLine);
    // Why the line's last write failed, as the port said it; empty when it went out.
    const std::string& GetWriteFailure(const tagTHREADINFO* pLine) const;
    // Waits; tests replace it to move a fake clock instead.
    virtual void Sleep(DWORD dwMs);

    // --- what data points and devices need (HandlerLink, DeviceHandler) ---
    std::shared_ptr<CdsEventQueue> GetEventQueue() override;
    BOOL IsTimeWithinCommandDiag(CdsDeviceObject* pDevice, LONGLONG tLastCommand) override;
    void SendUpdateMessageFromThread(int nCode, CdsHint* pHint) override;
    void RemoveActiveDevice(CdsDeviceObject* pDevice) override;
    // Kept for the line's write cycle, which logs it with the item and value.
    bool SetWriteRefusal(const tagTHREADINFO* pLine, const std::string& reason) override;

    // --- devices ---
    BOOL AddActiveDevice(CdsDeviceObject* pDevice);
    bool HasActiveDevice(const CdsDeviceObject* pDevice) const;
    const std::list<CdsDeviceObject*>& GetActiveDevices() const { return m_devices; }
    BOOL UpdateDevice(CdsDeviceObject* pDevice, tagTHREADINFO* pLine);

    // --- lines ---
    tagTHREADINFO* NewThreadInfo(CdsDeviceObject* pDevice, BOOL bBackup, BOOL bSecondary);
    // Whether the device's configurations as they stand allow the line (an index).
    bool IsLineAllowed(const CdsDeviceObject* pDevice, int nLine) const;
    // Forgets the records of stopped lines the device's configurations no longer
    // allow, so that a device whose redundancy was switched off acts as one line.
    void DropDisallowedLines(const CdsDeviceObject* pDevice);
    tagTHREADINFO* GetLine(int nLine) const;
    tagTHREADINFO* GetPrimaryMasterInfo() const { return GetLine(LINE_PRIMARY_MASTER); }
    tagTHREADINFO* GetSecondaryMasterInfo() const { return GetLine(LINE_SECONDARY_MASTER); }
    tagTHREADINFO* GetPrimaryBackupInfo() const { return GetLine(LINE_PRIMARY_BACKUP); }
    tagTHREADINFO* GetSecondaryBackupInfo() const { return GetLine(LINE_SECONDARY_BACKUP); }
    tagTHREADINFO* GetOtherInfo(const tagTHREADINFO* pLine) const;
    // Index of a line of this handler, or -1.
    int IndexOfLine(const tagTHREADINFO* pLine) const;
    BOOL IsBackupAvailable() const;
    BOOL IsDeviceSupportRedundancy(const CdsDeviceObject* pDevice) const;
    BOOL HasValidBackupDevices(const CdsDeviceObject* pDevice) const;
    BOOL HasValidRedundancyDevices(const CdsDeviceObject* pDevice) const;

    static BOOL IsThisInCommError(const tagTHREADINFO* pLine) { return pLine && pLine->m_bCommError.load(); }
    static BOOL IsThisInCPUError(const tagTHREADINFO* pLine) { return pLine && pLine->m_bCpuError.load(); }
    static BOOL IsThisInMaster(const tagTHREADINFO* pLine) { return pLine && pLine->m_bMaster.load(); }
    static BOOL IsThisInRunning(const tagTHREADINFO* pLine) { return pLine && pLine->m_bRunning.load(); }
    static BOOL UpdateCommErrorState(tagTHREADINFO* pLine, BOOL b);
    static BOOL UpdateCPUErrorState(tagTHREADINFO* pLine, BOOL b);
    static BOOL UpdateMasterState(tagTHREADINFO* pLine, BOOL b);
    static BOOL UpdateRunningState(tagTHREADINFO* pLine, BOOL b);
    BOOL IsOtherInCommError(const tagTHREADINFO* pLine) const;
    BOOL IsOtherInCPUError(const tagTHREADINFO* pLine) const;
    BOOL IsOtherInMaster(const tagTHREADINFO* pLine) const;
    BOOL IsOtherInRunning(const tagTHREADINFO* pLine) const;
    // Whether the failing update line's partner takes over its updating: the device
    // switches on communication errors and the partner is not in comm error itself.
    bool IsPartnerTakingOver(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine) const;
    // Whether another line of the device can still take over from the failing one:
    // the partner it switches to, or a line that reads the device already, either
    // without a failure of its own since its last answer.
    bool CanOtherLineTakeOver(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine) const;

    // The line's port; a null line means the primary master's.
    std::shared_ptr<kestrun::CommPort> GetCommFile(const tagTHREADINFO* pLine) const;
    void SetCommFile(const tagTHREADINFO* pLine, std::shared_ptr<kestrun::CommPort> pFile);

    // --- modes ---
    SHORT GetSysMode() const { return m_nSysMode.load(); }
    BOOL IsSysModeChanged(const CdsDeviceObject* pDevice, int nMode) const;
    BOOL IsUpdateModeChanged(const CdsDeviceObject* pDevice, const tagTHREADINFO* pLine, int nMode) const;
    void UpdateSysMode(CdsDeviceObject* pDevice, int nMode, BOOL bAll);
    void UpdateUpdateMode(CdsDeviceObject* pDevice, int nMode, tagTHREADINFO* pLine, BOOL bAll);
    void UpdateSysTime(CdsDeviceObject* pDevice, LONGLONG tTime, tagTHREADINFO* pLine, BOOL bAll);
    void UpdateActiveLine(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, BOOL bAll);
    BOOL SwitchMaster(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, const char* pszReason, BOOL bFlag);
    BOOL SuspendUpdate(CdsDeviceObject* pDevice);
    BOOL ResumeUpdate(CdsDeviceObject* pDevice);

    // --- threads and steps ---
    int SingleStep(tagTHREADINFO* pLine);
    // The writes of a step alone, under the step's gates: what a line does when
    // a write wakes it before its next step is due.
    void ServiceWrites(tagTHREADINFO* pLine);
    // False in the system modes where a step does no work.
    bool IsSteppingMode() const;
    void DoServiceCommands(tagTHREADINFO* pLine);
    int MasterThread(tagTHREADINFO* pLine);
    int BackupThread(tagTHREADINFO* pLine);
    // The line's thread, or null.
    std::shared_ptr<CdsMessageThread> GetLineThread(int nLine) const;
    void ClearThreadPointer(int nLine);
    BOOL PostMessageToThread(tagTHREADINFO* pLine, UINT nMsg, WPARAM wParam, LPARAM lParam);
    // Marks the line busy unless it already is; false when it was busy.
    static bool TryEnterStep(tagTHREADINFO* pLine);
    static void LeaveStep(tagTHREADINFO* pLine);
    bool IsStopSignalled() const { return m_stopEvent->isSet(); }
    // Set when a write is queued, so that a sleeping line takes it at once.
    win::Event& GetWriteWake(int nLine) { return m_writeWake[static_cast<std::size_t>(nLine)]; }
    const std::shared_ptr<win::Event>& GetStopEvent() const { return m_stopEvent; }

    // --- write queue ---
    void SetEventQueue(std::shared_ptr<CdsEventQueue> pQueue);
    void RemoveAllEvents();
    // Drops the queued writes of the device's points.
    void PurgeDeviceEvents(const CdsDeviceObject* pDevice);

    // --- cursors ---
    CdsDeviceObject* GetNextDeviceToUpdate(const tagTHREADINFO* pLine);
    CdsDeviceObject* GetNextDeviceToMonitor(const tagTHREADINFO* pLine);
    CdsDeviceObject* GetNextDeviceModified(const tagTHREADINFO* pLine);

    // --- reporting ---
    void ShowLogMessageFromThread(int nKind, const char* pszText);
    void ShowLogVaMessageFromThread(int nKind, const char* pszFormat, ...) __attribute__((format(printf, 3, 4)));
    void FilterLogMessageFromThread(int nKind, BOOL bShow);
    // How long a message to the log window may wait; 0 when it is not sent at all (no
    // dispatcher or log window, or a zero send time-out off the application thread).
    DWORD GetLogWindowTimeout() const;
    // Logs, on the application thread, what lines said while they stopped.
    void LogStopLines();
    // Kept for LogStopLines (bounded): a line said it once the stop was asked for.
    void KeepStopLine(int nKind, const char* pszText);
    // To the main window; false when there is none or the message was not taken.
    BOOL PostMessageToMainWnd(UINT nMsg, WPARAM wParam, LPARAM lParam);
    BOOL SendMessageToMainWnd(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult = nullptr);
    int GetThreadTraceLevel(const tagTHREADINFO* pLine) const;
    std::string GetTraceLinePrefix(BOOL bIn, const tagTHREADINFO* pLine) const;
    BOOL IsThreadUpdate(const tagTHREADINFO* pLine) const;
    static std::string RemoveStxEtx(const std::string& strText);
    // "Wed Dec  9 05:17:47 2026" form of a time in seconds, without a line end.
    static std::string FormatTime(LONGLONG tSeconds);

    // --- time ---
    // Wall time in whole seconds.
    LONGLONG NowSeconds() const;
    // Monotonic milliseconds.
    std::uint64_t NowMs() const;
    // More than the span has passed since the monotonic start (elapsed > span).
    bool IsTimeOverInMillisecs(std::uint64_t startMs, DWORD dwMs) const;
    bool IsTimeOverInSecs(std::uint64_t startMs, DWORD dwSeconds) const;

    // --- settings ---
    DWORD GetPortHandle() const { return m_dwPortHandle; }
    void SetPortHandle(DWORD dw) { m_dwPortHandle = dw; }
    BOOL IsInService() const { return m_bInService.load(); }
    // Taken offline: no line runs and every device it served was shown offline.
    bool IsOffline() const;
    // A line thread outlived its stop wait. Such a handler serves no device
    // again: the stuck thread may still wake up in the line's record and port
    // socket, so its devices come back on a new handler (see the handler table).
    bool HasAbandonedLine() const { return m_bLineAbandoned.load(); }
    // Idle and with a line left behind: the handler table replaces it.
    bool IsSpent() const;
    void SetInService(BOOL b) { m_bInService = b; }
    DWORD GetSendTimeout() const { return m_dwSendTimeout.load(); }
    void SetSendTimeout(DWORD dw) { m_dwSendTimeout = dw; }
    DWORD GetThreadStopWait() const { return m_dwThreadStopWait; }
    void SetThreadStopWait(DWORD dw) { m_dwThreadStopWait = dw; }
    LONG GetDefaultRxTimeout() const { return m_nDefaultRxTimeout; }
    LONG GetDefaultTxTimeout() const { return m_nDefaultTxTimeout; }
    void SetRxTimeout(CdsDeviceObject* pDevice, LONG nMs);
    void SetTxTimeout(CdsDeviceObject* pDevice, LONG nMs);
    LONG GetRxTimeout(const CdsDeviceObject* pDevice) const;
    static bool IsValidTimeout(LONG nMs) { return nMs >= 100 && nMs <= 10000; }
    BOOL IsAsciiMode() const { return m_bAsciiMode.load(std::memory_order_relaxed); }
    void SetAsciiMode(BOOL b) { m_bAsciiMode.store(b, std::memory_order_relaxed); }
    BOOL GetNeedStatusQuery() const { return m_bNeedStatusQuery; }
    void SetNeedStatusQuery(BOOL b) { m_bNeedStatusQuery = b; }
    BOOL GetNeedStatusResponse() const { return m_bNeedStatusResponse; }
    void SetNeedStatusResponse(BOOL b) { m_bNeedStatusResponse = b; }
    BOOL GetNeedCommandQuery() const { return m_bNeedCommandQuery; }
    void SetNeedCommandQuery(BOOL b) { m_bNeedCommandQuery = b; }
    BOOL GetNeedCommandResponse() const { return m_bNeedCommandResponse; }
    void SetNeedCommandResponse(BOOL b) { m_bNeedCommandResponse = b; }
    BOOL GetNeedMonitorQuery() const { return m_bNeedMonitorQuery; }
    void SetNeedMonitorQuery(BOOL b) { m_bNeedMonitorQuery = b; }
    BOOL GetNeedMonitorResponse() const { return m_bNeedMonitorResponse; }
    void SetNeedMonitorResponse(BOOL b) { m_bNeedMonitorResponse = b; }
    BOOL GetPauseSkip() const { return m_bPauseSkip.load(); }
    void SetPauseSkip(BOOL b) { m_bPauseSkip = b; }
    BOOL GetNoThreads() const { return m_bNoThreads; }
    void SetNoThreads(BOOL b) { m_bNoThreads = b; }
    BOOL GetPortsInThread() const { return m_bPortsInThread; }
    void SetPortsInThread(BOOL b) { m_bPortsInThread = b; }
    BOOL GetRefreshAtStart() const { return m_bRefreshAtStart; }
    void SetRefreshAtStart(BOOL b) { m_bRefreshAtStart = b; }
    DWORD GetCommandDiagWindow() const { return m_dwCommandDiag; }
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL b) { m_bDeleteOnDestroy = b; }

    // Guards the creation of sockets across all handlers; then only the new
    // socket's own lock is taken.
    static inline std::mutex g_sectionHdlr;

    // Whether the process runs its lines on threads (the "Enable Background Thread" option).
    static bool IsBackgroundThreadMode();

protected:
    // Bytes a port read gave beyond what was asked: the line's next reads take them
    // first, as if they still waited on the port. The line's own thread only.
    void HoldOver(const tagTHREADINFO* pLine, const BYTE* pData, int nLength);
    int GetHeldOverCount(const tagTHREADINFO* pLine) const;

    enum CursorKind { CURSOR_UPDATE = 0, CURSOR_MONITOR = 1, CURSOR_MODIFIED = 2 };
    CdsDeviceObject* GetNextDevice(int nLine, CursorKind kind, bool bModifiedOnly);
    void ClearAllCursors();
    // A copy of the active list for walks that may change it.
    std::list<CdsDeviceObject*> ActiveDevicesSnapshot() const;
    // Applies fn to pDevice and, with bAll, to every other active device.
    template <typename Fn>
    void ForDeviceAndOthers(CdsDeviceObject* pDevice, BOOL bAll, Fn&& fn)
    {
        if (pDevice)
            fn(pDevice);
        if (bAll) {
            for (CdsDeviceObject* p : ActiveDevicesSnapshot()) {
                if (p != pDevice)
                    fn(p);
            }
        }
    }
    BOOL DestroyThread(int nLine);
    // How a line's last write ended, and why, in words for the log.
    enum class WriteEnd { Done, Refused, NotBuilt, NotSent, NotConfirmed };
    struct WriteOutcome {
        WriteEnd end = WriteEnd::Done;
        std::string cause;
    };
    WriteOutcome& WriteOutcomeOf(const tagTHREADINFO* pLine);
    // The PLC did not answer the line: unless another line can still take over, the
    // points of the whole station keep their values as uncertain, and the next value
    // read makes them good again.
    void MarkDeviceUnanswered(CdsDeviceObject& device, const tagTHREADINFO* pLine);
    // Books a queued write that did not land: logged with its item, value and cause.
    void OnWriteFailed(const CdsEventData& event, tagTHREADINFO* pLine);
    // Points of a block the PLC refused to read: bad quality until a value is read.
    static void MarkPointsUnread(CdsMemoryArray& block);
    // The block's points keep their values under the quality given (64 when the
    // PLC did not answer); the next value read makes them good again, changed or not.
    static void SetPointsQuality(CdsMemoryArray& block, WORD wQuality);
    // Ends the block's run of failed reads on the line, logging it once if there was one.
    void EndReadFailures(CdsMemoryArray& block, int nSlot, const tagTHREADINFO* pLine);
    // The block whose read shows a point's value: its own, or for a bit, its point's.
    static CdsMemoryArray* ReadBackBlockOf(CdsMemoryObject* pPoint);
    void WriteShortPoint(CdsMemoryObject* pPoint, SHORT nValue);
    void WriteLongPoint(CdsMemoryObject* pPoint, LONG nValue);
    // Logs "%c  <text>" for the line.
    void LogLine(int nKind, const tagTHREADINFO* pLine, const char* pszFormat, ...) __attribute__((format(printf, 4, 5)));
    void AppendTraceByte(std::string& strTrace, BYTE by, BOOL bAscii) const;
    bool IsDeviceAscii(const CdsDeviceObject* pDevice) const;
    int StartLine(tagTHREADINFO* pLine, bool bBackup);
    // Shared steps of the port status updates after a request.
    int MarkLineOk(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, int nMode);
    // Counts one failed request; true once the line reaches its error maximum.
    bool CountLineError(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, LONG& count);
    void StopLineInError(CdsDeviceObject* pDevice, tagTHREADINFO* pLine, LONG count);

    friend class CdsMessageThread;
    friend class CdsServerFrameCore;

    BOOL m_bDeleteOnDestroy = TRUE;
    CommHost m_host;
    std::array<std::shared_ptr<kestrun::CommPort>, LINE_COUNT> m_commFiles;
    // Bytes a line read past the end of a frame, served first by its next read.
    // Only the line's own thread touches its entry.
    std::array<std::vector<BYTE>, LINE_COUNT> m_carry;
    mutable std::mutex m_commFilesMutex; // leaf: ports are swapped by resets while others look
    std::shared_ptr<win::Event> m_stopEvent;
    // Per line, auto reset: set by the write queue's adds, taken by the line's sleep.
    std::array<win::Event, LINE_COUNT> m_writeWake;
    std::array<std::shared_ptr<CdsMessageThread>, LINE_COUNT> m_threads;
    std::shared_ptr<CdsEventQueue> m_pEventQueue;
    mutable std::mutex m_queueMutex; // leaf: the queue pointer is read by lines and client threads
    std::array<std::shared_ptr<tagTHREADINFO>, LINE_COUNT> m_lines;
    std::atomic<DWORD> m_dwSendTimeout{1000};
    DWORD m_dwSetting1 = 1000;
    DWORD m_dwConnectTimeout = 5000;
    DWORD m_dwSetting3 = 0;
    DWORD m_dwCommandDiag = 5000;
    std::atomic<SHORT> m_nSysMode{SYSMODE_STOPPED};
    DWORD m_dwThreadStopWait = 10000;
    LONG m_nDefaultRxTimeout = 1000;
    LONG m_nDefaultTxTimeout = 1000;
    LONG m_nDefaultNakDelay = 0;
    LONG m_nDefaultAckDelay = 0;
    BOOL m_bRefreshAtStart = FALSE;
    DWORD m_dwPortHandle = kInvalidPortHandle;
    std::atomic<BOOL> m_bAsciiMode{FALSE}; // protocols set it from any line while others read it
    BOOL m_bNeedStatusQuery = TRUE;
    BOOL m_bNeedStatusResponse = TRUE;
    BOOL m_bNeedCommandQuery = TRUE;
    BOOL m_bNeedCommandResponse = TRUE;
    BOOL m_bNeedMonitorQuery = TRUE;
    BOOL m_bNeedMonitorResponse = TRUE;
    std::atomic<BOOL> m_bPauseSkip{TRUE};
    BOOL m_bNoThreads = FALSE;
    BOOL m_bPortsInThread = TRUE;
    std::list<CdsDeviceObject*> m_devices;
    // Each active device's place in m_devices: joining and leaving stay O(1) at
    // thousands of devices on one port.
    std::unordered_map<const CdsDeviceObject*, std::list<CdsDeviceObject*>::iterator> m_placeOf;
    mutable std::mutex m_devicesMutex; // leaf: guards the list, its index and the cursors
    std::atomic<BOOL> m_bInService{FALSE};
    std::atomic<bool> m_bLineAbandoned{false};
    // Log lines of lines that end while the application thread waits for them
    // (it cannot take them then); that thread logs them once the lines are gone.
    std::vector<std::pair<int, std::string>> m_stopLog;
    std::mutex m_stopLogMutex; // leaf
    // Per line: next device to update, to monitor, with a modified block. A
    // cursor is the device's place in m_devices, so a visit finds it without a
    // search; end() means the head of the list.
    std::array<std::array<std::list<CdsDeviceObject*>::iterator, 3>, LINE_COUNT> m_cursors;
    // Per line, touched only by the line's own thread: why its last write failed,
    // in the port's words; empty after a write that went out.
    std::array<std::string, LINE_COUNT> m_writeFailures;
    // Per line, touched only by the line's own thread: how its last write ended.
    std::array<WriteOutcome, LINE_COUNT> m_writeOutcomes;

private:
    // The steps of DoDataRead, in the order it takes them.
    struct ReadCycle;
    enum class ReadAnswer { None, Accepted, Refused };
    // The line's status frame, built on its first use; false when there is none.
    bool GetReadQuery(ReadCycle& read);
    // Sends the frame, retrying; false once the retries are used up.
    bool SendReadQuery(const ReadCycle& read);
    // A read that expects no answer is done once its frame went out.
    int EndReadWithoutResponse(const ReadCycle& read);
    // Waits for a valid response, retrying, and hands the first to DeliverReadResponse.
    ReadAnswer ReceiveReadResponse(const ReadCycle& read, int nExpected);
    ReadAnswer DeliverReadResponse(const ReadCycle& read, const BYTE* pResponse, int nReceived);
    void StampRead(const ReadCycle& read, LONGLONG tNow);
    void LogReadFailure(const ReadCycle& read);
    void MarkReadFailure(const ReadCycle& read, bool bRefused);
    // What the failed read returns, after the counting the caller leaves to it.
    int CountReadFailure(const ReadCycle& read, bool bRefused);
};
