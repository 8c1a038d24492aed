#pragma once
// The communication handler of socket lines. TCP lines connect to the PLC as a
// client, UDP lines exchange datagrams with the configured peer, and in listen
// mode (turned on by a derived handler) each line accepts one client instead.
// Whether a line speaks TCP or UDP follows from its configuration's port type.
//
// A line's sockets belong to the thread that opened them: their notifications
// (peer close, accepted client, unsolicited data) are delivered by
// DispatchNotifications on that thread, which the line loop calls before each
// step. A reset asked for by a close notification runs after the delivery, so
// no socket is ever freed while it is delivering.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "kestrun/comm/handler/CommHdlr.h"
#include "kestrun/comm/sockets/ListenSocket.h"
#include "kestrun/comm/sockets/SocketCommFile.h"

class CdsTcpipConfig;

// Index of a line among the handler's four, in line order.
enum tagThreadInfoIndex : int {
    THREADINFO_PRIMARY_MASTER = 0,
    THREADINFO_SECONDARY_MASTER = 1,
    THREADINFO_PRIMARY_BACKUP = 2,
    THREADINFO_SECONDARY_BACKUP = 3,
};

class CdsSocketHdlr : public CdsCommHdlr {
public:
    static constexpr DWORD kConnectTimeoutMs = 5000;
    static constexpr UINT kTcpFileTimeoutMs = 2000;
    static constexpr UINT kUdpFileTimeoutMs = 1000;
    static constexpr int kListenBacklog = 5;
    static constexpr UINT_PTR kListenTimerId = 0x4C53;
    static constexpr DWORD kListenTimerMs = 50;

    CdsSocketHdlr();
    ~CdsSocketHdlr() override;

    // --- lines and their sockets ---
    // 0..3 for a line of this handler (a null line is the primary master), else -1.
    int GetThreadInfoIndex(const tagTHREADINFO* pLine) const;
    tagTHREADINFO* GetThreadInfo(tagThreadInfoIndex nIndex) const;
    // The line whose thread socket or listen socket this is; null when none.
    tagTHREADINFO* GetThreadInfo(const CdsListenSocket* pSocket) const;
    CdsListenSocket* GetThreadSocket(const tagTHREADINFO* pLine) const;
    CdsListenSocket* GetListenSocket(const tagTHREADINFO* pLine) const;
    CdsListenSocket* GetPrimaryMasterSocket() const { return GetThreadSocketAt(0); }
    CdsListenSocket* GetSecondaryMasterSocket() const { return GetThreadSocketAt(1); }
    CdsListenSocket* GetPrimaryBackupSocket() const { return GetThreadSocketAt(2); }
    CdsListenSocket* GetSecondaryBackupSocket() const { return GetThreadSocketAt(3); }
    // The line's socket file (TCP or UDP), or null.
    COXSocketCommFile* GetSocketCommFile(const tagTHREADINFO* pLine) const;
    // The local port of the line's detached socket, else 0.
    WORD GetLocalPort(const tagTHREADINFO* pLine) const;

    BOOL IsListenMode() const { return m_bListenMode.load(); }
    BOOL IsPortUDP() const { return m_bUdp.load(); }
    DWORD GetConnectTimeout() const { return m_dwConnectTimeout; }

    // Whether reads ask the socket how many bytes wait: the "Use IOCTL" option,
    // or always for a handler in listen mode.
    BOOL IsUseIoctl() const;

    // --- hooks of derived handlers; the base versions give 1 ---
    virtual int OnPreAccept(CdsListenSocket* pSocket);
    virtual int OnPostAccept(CdsListenSocket* pSocket);
    virtual int OnPreClose(CdsListenSocket* pSocket);
    virtual int OnPostClose(CdsListenSocket* pSocket);
    virtual int OnPreReceive(CdsListenSocket* pSocket);
    virtual int OnPostReceive(CdsListenSocket* pSocket);

    // --- CdsCommHdlr ---
    void DeleteContents() override;
    void Destroy() override;
    BOOL OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    void ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL IsPortOpen(tagTHREADINFO* pLine) override;
    int CommRead(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine) override;
    int GetNoOfBytesToRead(tagTHREADINFO* pLine) override;
    BOOL CreateThreads(CdsDeviceObject* pDevice) override;
    int InitThread(tagTHREADINFO* pLine) override;
    int ExitThread(tagTHREADINFO* pLine) override;
    void DestroyThreads(CdsDeviceObject* pDevice) override;
    void UpdateNextDevice(tagTHREADINFO* pLine) override;
    void MonitorNextDevice(tagTHREADINFO* pLine) override;

    // A read with the IOCTL choice given for this call alone; the process-wide
    // option is left as it is.
    int CommReadWith(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine, BOOL bUseIoctl);

    // Delivers the notifications of the line's sockets held by the calling
    // thread, then runs a reset that a peer close asked for. The number delivered.
    int DispatchNotifications(tagTHREADINFO* pLine);
    // Asks for the line's reset after the current delivery (close notifications).
    void RequestReset(CdsDeviceObject* pDevice, tagTHREADINFO* pLine);
    // The reset a peer close asked for: booked as a failure of the line on a closed
    // port (error count at the maximum, over-maximum handling, port reset).
    void ResetAfterPeerClose(CdsDeviceObject* pDevice, tagTHREADINFO* pLine);

    // --- socket checks ---
    // Non-null with a handle, and either lines run on threads or the handle is the caller's.
    static BOOL IsValidSocket(const CdsTimeoutSocket* pSocket);
    static BOOL IsSocketAttached(CdsTimeoutSocket::SOCKET hSocket);
    static BOOL IsValidSocketFile(const COXSocketCommFile* pFile);
    static BOOL IsValidUdpFile(const COXSocketCommFile* pFile) { return pFile != nullptr; }

protected:
    void SetListenMode(BOOL b) { m_bListenMode = b; }
    BOOL CreateSocketFile(CdsListenSocket* pSocket, tagTHREADINFO* pLine);
    BOOL CreateUdpFile(CdsListenSocket* pSocket, CdsTcpipConfig* pConfig, tagTHREADINFO* pLine);
    void DestroySocketFile(tagTHREADINFO* pLine);
    // Makes a socket for a line (0..3); tests give sockets that wait on their clock.
    virtual std::unique_ptr<CdsListenSocket> NewLineSocket(CdsDeviceObject* pDevice, int nLine);

private:
    friend class CdsListenSocket;

    struct LineSockets {
        CdsTimeoutSocket::SOCKET hSlot = CdsTimeoutSocket::kInvalidSocket; // detached handle
        std::unique_ptr<CdsListenSocket> pThreadSocket;
        std::unique_ptr<CdsListenSocket> pListenSocket;
        std::shared_ptr<COXSocketCommFile> pFile;
        // A reset asked for by a notification. The application thread (listen
        // socket) and the line thread (connection) may deliver at the same time.
        std::atomic<CdsDeviceObject*> pResetDevice{nullptr};
        std::atomic<bool> bResetPending{false};
        std::atomic<int> nDispatching{0}; // deliveries in progress on this line
        std::vector<std::unique_ptr<CdsListenSocket>> retired; // closed during a delivery
        std::atomic<int> nIoctl{-1}; // the current read's IOCTL choice, -1 none
        // What one receive of a TCP line takes in; the part past the read's count is
        // held over for the next read. The line's own thread only; made by its first
        // read, as a handler has four lines and most plants use one.
        std::unique_ptr<std::array<BYTE, kReceiveBufferSize>> readAhead;
    };

    BOOL OpenThreadPort(CdsDeviceObject* pDevice, CdsTcpipConfig* pConfig, CdsListenSocket* pSocket,
                        tagTHREADINFO* pLine);
    BOOL OpenListenPort(CdsDeviceObject* pDevice, CdsTcpipConfig* pConfig, CdsListenSocket* pSocket,
                        tagTHREADINFO* pLine);
    CdsListenSocket* GetThreadSocketAt(int nIndex) const;
    LineSockets& SocketsOf(const tagTHREADINFO* pLine);
    const LineSockets& SocketsOf(const tagTHREADINFO* pLine) const;
    // Closes and frees a socket; one that is delivering a notification is freed after it.
    void RetireSocket(LineSockets& sockets, std::unique_ptr<CdsListenSocket> pSocket);
    void CloseLineSockets(tagTHREADINFO* pLine);
    void DestroySocketFileAt(int nIndex);
    // Listen sockets live on the application thread until a client comes: its
    // dispatcher delivers their notifications on a timer.
    void StartListenDelivery();
    void StopListenDelivery();
    // Notification work of the line sockets.
    void HandleAccept(CdsListenSocket* pListen);
    void HandleClose(CdsListenSocket* pSocket);
    void HandleReceive(CdsListenSocket* pSocket);

    std::array<LineSockets, LINE_COUNT> m_sockets;
    mutable std::mutex m_socketsMutex; // leaf: the socket pointers, for look-ups from other threads
    std::atomic<BOOL> m_bListenMode{FALSE};
    std::atomic<BOOL> m_bUdp{FALSE};
    std::atomic<BOOL> m_bListenIoctl{FALSE};
    win::WindowKey m_listenWindow = win::kNoWindow;
};

// The same handler under the names the program's handlers derive from.
class CdsTcpipHdlr : public CdsSocketHdlr {};
class CdsUdpipHdlr : public CdsSocketHdlr {};
