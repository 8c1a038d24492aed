#include "kestrun/comm/handler/SocketHdlr.h"

#include <algorithm>
#include <string>

#include "kestrun/comm/config/ReturnError.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/comm/sockets/UdpCommFile.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/afx/Exceptions.h"

namespace {

// The line's port as the engine sees it: the socket file behind the byte channel.
class SocketPort final : public kestrun::CommPort {
public:
    SocketPort(std::shared_ptr<COXSocketCommFile> pFile, CdsListenSocket* pSocket)
        : m_pFile(std::move(pFile)), m_pSocket(pSocket)
    {
    }

    int BytesWaiting() override
    {
        DWORD n = 0;
        if (!m_pSocket->IOCtlBytesWaiting(n))
            return CommErrorResult(RE_IOCTL_ERROR);
        return static_cast<int>(n) + m_pSocket->GetReadBytesSize();
    }

    int Read(BYTE* pBuffer, int nLength) override
    {
        const int n = m_pFile->Read(pBuffer, static_cast<UINT>(std::max(nLength, 0)));
        if (n == -1)
            return CommErrorResult(RE_SOCKET_ERROR);
        if (n == CommErrorResult(RE_SOCKET_TIMEOUT))
            return 0;
        return n;
    }

    int Write(const BYTE* pData, int nLength) override
    {
        const int n = m_pFile->Send(pData, static_cast<UINT>(std::max(nLength, 0)));
        return n < 0 ? n : nLength;
    }

    std::string DescribeFailure(int nStatus) const override { return m_pFile->DescribeFailure(nStatus); }

    bool IsOpen() const override { return m_pFile->IsOpen() != FALSE; }
    void Close() override { m_pFile->Close(); }

private:
    std::shared_ptr<COXSocketCommFile> m_pFile;
    CdsListenSocket* m_pSocket; // owned by the handler, outlives the port's use on the line
};

CdsTcpipConfig* AsTcpipConfig(CdsCommConfig* pConfig) { return dynamic_cast<CdsTcpipConfig*>(pConfig); }

} // namespace

CdsSocketHdlr::CdsSocketHdlr() { m_dwConnectTimeout = kConnectTimeoutMs; }

CdsSocketHdlr::~CdsSocketHdlr()
{
    StopListenDelivery();
    for (int i = 0; i < LINE_COUNT; ++i) {
        LineSockets& s = m_sockets[static_cast<size_t>(i)];
        s.pFile.reset();
        s.pThreadSocket.reset();
        s.pListenSocket.reset();
    }
}

// --- lines and sockets ---

int CdsSocketHdlr::GetThreadInfoIndex(const tagTHREADINFO* pLine) const
{
    if (!pLine)
        return THREADINFO_PRIMARY_MASTER;
    return IndexOfLine(pLine) < 0 ? -1 : pLine->LineIndex();
}

tagTHREADINFO* CdsSocketHdlr::GetThreadInfo(tagThreadInfoIndex nIndex) const { return GetLine(nIndex); }

tagTHREADINFO* CdsSocketHdlr::GetThreadInfo(const CdsListenSocket* pSocket) const
{
    if (!pSocket)
        return nullptr;
    std::lock_guard lock(m_socketsMutex);
    for (int i = 0; i < LINE_COUNT; ++i) {
        const LineSockets& s = m_sockets[static_cast<size_t>(i)];
        if (s.pThreadSocket.get() == pSocket || s.pListenSocket.get() == pSocket)
            return GetLine(i);
    }
    return nullptr;
}

CdsSocketHdlr::LineSockets& CdsSocketHdlr::SocketsOf(const tagTHREADINFO* pLine)
{
    return m_sockets[static_cast<size_t>(pLine ? pLine->LineIndex() : 0)];
}

const CdsSocketHdlr::LineSockets& CdsSocketHdlr::SocketsOf(const tagTHREADINFO* pLine) const
{
    return m_sockets[static_cast<size_t>(pLine ? pLine->LineIndex() : 0)];
}

CdsListenSocket* CdsSocketHdlr::GetThreadSocketAt(int nIndex) const
{
    if (nIndex < 0 || nIndex >= LINE_COUNT)
        return nullptr;
    std::lock_guard lock(m_socketsMutex);
    return m_sockets[static_cast<size_t>(nIndex)].pThreadSocket.get();
}

CdsListenSocket* CdsSocketHdlr::GetThreadSocket(const tagTHREADINFO* pLine) const
{
    std::lock_guard lock(m_socketsMutex);
    return SocketsOf(pLine).pThreadSocket.get();
}

CdsListenSocket* CdsSocketHdlr::GetListenSocket(const tagTHREADINFO* pLine) const
{
    std::lock_guard lock(m_socketsMutex);
    return SocketsOf(pLine).pListenSocket.get();
}

COXSocketCommFile* CdsSocketHdlr::GetSocketCommFile(const tagTHREADINFO* pLine) const
{
    std::lock_guard lock(m_socketsMutex);
    return SocketsOf(pLine).pFile.get();
}

WORD CdsSocketHdlr::GetLocalPort(const tagTHREADINFO* pLine) const
{
    std::lock_guard lock(m_socketsMutex);
    const LineSockets& s = SocketsOf(pLine);
    if (s.hSlot == CdsTimeoutSocket::kInvalidSocket)
        return 0;
    CdsTimeoutSocket probe;
    if (!probe.Attach(s.hSlot))
        return 0;
    std::string strAddress;
    UINT nPort = 0;
    const BOOL ok = probe.GetSockName(strAddress, nPort);
    probe.Detach();
    return ok ? static_cast<WORD>(nPort) : 0;
}

BOOL CdsSocketHdlr::IsUseIoctl() const { return CdsServerOptions::g_bUseIoctl.load() != 0 || m_bListenIoctl.load(); }

int CdsSocketHdlr::OnPreAccept(CdsListenSocket*) { return 1; }
int CdsSocketHdlr::OnPostAccept(CdsListenSocket*) { return 1; }
int CdsSocketHdlr::OnPreClose(CdsListenSocket*) { return 1; }
int CdsSocketHdlr::OnPostClose(CdsListenSocket*) { return 1; }
int CdsSocketHdlr::OnPreReceive(CdsListenSocket*) { return 1; }
int CdsSocketHdlr::OnPostReceive(CdsListenSocket*) { return 1; }

std::unique_ptr<CdsListenSocket> CdsSocketHdlr::NewLineSocket(CdsDeviceObject* pDevice, int nLine)
{
    return std::make_unique<CdsListenSocket>(pDevice, this, nLine, &GetClock());
}

// --- checks ---

BOOL CdsSocketHdlr::IsValidSocket(const CdsTimeoutSocket* pSocket)
{
    if (!pSocket || pSocket->GetHandle() == CdsTimeoutSocket::kInvalidSocket)
        return FALSE;
    return IsBackgroundThreadMode() || IsSocketAttached(pSocket->GetHandle());
}

BOOL CdsSocketHdlr::IsSocketAttached(CdsTimeoutSocket::SOCKET hSocket)
{
    return CdsTimeoutSocket::IsHandleOfThisThread(hSocket);
}

BOOL CdsSocketHdlr::IsValidSocketFile(const COXSocketCommFile* pFile)
{
    if (!pFile)
        return FALSE;
    if (const auto* pUdp = dynamic_cast<const CdsUdpCommFile*>(pFile))
        return IsValidSocket(pUdp->GetListenSocket());
    return IsValidSocket(pFile->GetSocket());
}

// --- lifetime ---

void CdsSocketHdlr::DeleteContents()
{
    const BOOL bDelete = IsDeleteOnDestroy();
    SetDeleteOnDestroy(FALSE);
    CdsCommHdlr::DeleteContents();
    StopListenDelivery();
    for (int i = 0; i < LINE_COUNT; ++i)
        DestroySocketFileAt(i);
    SetDeleteOnDestroy(bDelete);
}

void CdsSocketHdlr::Destroy()
{
    DeleteContents();
    CdsCommHdlr::Destroy();
}

// --- files ---

BOOL CdsSocketHdlr::CreateSocketFile(CdsListenSocket* pSocket, tagTHREADINFO* pLine)
{
    if (!IsValidSocket(pSocket))
        return FALSE;
    DestroySocketFile(pLine);
    auto pFile = std::make_shared<COXSocketCommFile>(pSocket, TRUE);
    if (!pFile->IsOpen())
        return FALSE;
    if (!pFile->SetDefaultTimeOut(kTcpFileTimeoutMs, kTcpFileTimeoutMs)) {
        ShowLogMessageFromThread(LOG_ERROR, "Cannot set read timeout!\r\n");
        return FALSE;
    }
    pFile->SetTimerFlag(!IsUseIoctl());
    {
        std::lock_guard lock(m_socketsMutex);
        SocketsOf(pLine).pFile = pFile;
    }
    SetCommFile(pLine, std::make_shared<SocketPort>(pFile, pSocket));
    return TRUE;
}

BOOL CdsSocketHdlr::CreateUdpFile(CdsListenSocket* pSocket, CdsTcpipConfig* pConfig, tagTHREADINFO* pLine)
{
    m_bUdp = TRUE;
    if (!IsValidSocket(pSocket))
        return FALSE;
    DestroySocketFile(pLine);
    auto pFile = std::make_shared<CdsUdpCommFile>(pSocket, pConfig);
    if (!IsValidUdpFile(pFile.get()) || !pFile->IsOpen())
        return FALSE;
    if (!pFile->SetDefaultTimeOut(kUdpFileTimeoutMs, kUdpFileTimeoutMs)) {
        ShowLogMessageFromThread(LOG_ERROR, "Cannot set read timeout!\r\n");
        return FALSE;
    }
    pSocket->SetBroadcast(TRUE);
    pSocket->AsyncSelect(CdsTimeoutSocket::FD_READ | CdsTimeoutSocket::FD_WRITE | CdsTimeoutSocket::FD_CLOSE);
    {
        std::lock_guard lock(m_socketsMutex);
        SocketsOf(pLine).pFile = pFile;
    }
    SetCommFile(pLine, std::make_shared<SocketPort>(pFile, pSocket));
    return TRUE;
}

void CdsSocketHdlr::DestroySocketFile(tagTHREADINFO* pLine) { DestroySocketFileAt(pLine ? pLine->LineIndex() : 0); }

void CdsSocketHdlr::DestroySocketFileAt(int nIndex)
{
    std::shared_ptr<COXSocketCommFile> pFile;
    {
        std::lock_guard lock(m_socketsMutex);
        pFile = std::move(m_sockets[static_cast<size_t>(nIndex)].pFile);
    }
    if (!pFile)
        return;
    if (pFile->IsOpen())
        pFile->Close();
    if (tagTHREADINFO* pLine = GetLine(nIndex)) {
        if (GetCommFile(pLine))
            SetCommFile(pLine, nullptr);
    } else if (nIndex == 0 && GetCommFile(nullptr)) {
        SetCommFile(nullptr, nullptr);
    }
}

void CdsSocketHdlr::StartListenDelivery()
{
    win::Dispatcher* pDispatcher = m_host.pDispatcher;
    if (!pDispatcher || !pDispatcher->isApplicationThread() || m_listenWindow != win::kNoWindow)
        return;
    m_listenWindow = pDispatcher->registerWindow([this](win::Message& msg) -> LRESULT {
        if (msg.id != win::WM_TIMER || msg.wParam != kListenTimerId)
            return 0;
        for (int i = 0; i < LINE_COUNT; ++i) {
            tagTHREADINFO* pLine = GetLine(i);
            if ((pLine || i == 0) && GetListenSocket(pLine))
                DispatchNotifications(pLine);
        }
        return 0;
    });
    if (m_listenWindow != win::kNoWindow)
        pDispatcher->startTimer(m_listenWindow, kListenTimerId, kListenTimerMs);
}

void CdsSocketHdlr::StopListenDelivery()
{
    win::Dispatcher* pDispatcher = m_host.pDispatcher;
    if (!pDispatcher || m_listenWindow == win::kNoWindow)
        return;
    pDispatcher->stopTimer(m_listenWindow, kListenTimerId);
    pDispatcher->unregisterWindow(m_listenWindow);
    m_listenWindow = win::kNoWindow;
}

// --- open, close, reset ---

BOOL CdsSocketHdlr::OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    if (!pDevice)
        return FALSE;
    CdsTcpipConfig* pConfig = AsTcpipConfig(pDevice->GetCommConfig(pLine));
    if (!pConfig)
        return FALSE;
    const int nIndex = pLine ? pLine->LineIndex() : 0;
    // The line's socket in that slot, made on first use.
    auto socketIn = [&](auto LineSockets::*slot) {
        std::lock_guard lock(m_socketsMutex);
        auto& pSocket = SocketsOf(pLine).*slot;
        if (!pSocket) {
            pSocket = NewLineSocket(pDevice, nIndex);
            pSocket->SetStopEvent(GetStopEvent()); // stopping the lines cuts a wait short
        }
        return pSocket.get();
    };
    if (!OpenThreadPort(pDevice, pConfig, socketIn(&LineSockets::pThreadSocket), pLine))
        return FALSE;
    if (!IsListenMode())
        return TRUE;
    return OpenListenPort(pDevice, pConfig, socketIn(&LineSockets::pListenSocket), pLine);
}

BOOL CdsSocketHdlr::OpenThreadPort(CdsDeviceObject* pDevice, CdsTcpipConfig* pConfig, CdsListenSocket* pSocket,
                                   tagTHREADINFO* pLine)
{
    if (IsPortOpen(pLine))
        return TRUE;
    const UINT nLocalPort = pConfig->GetLocalBindPort();
    const int nType = pConfig->m_nSocketType;
    const std::string strAddress = pConfig->IsTcpSocket() ? pConfig->m_strRemoteAddress
                                                          : CdsUdpCommFile::GetRemoteAddress(*pConfig);
    const int nPort = pConfig->m_nRemotePort;
    const bool bNeedsPeer = !IsListenMode() || !pConfig->IsTcpSocket();
    if (bNeedsPeer && !pConfig->HasValidRemotePort()) {
        LogLine(LOG_ERROR, pLine, "%s!\r\n", pConfig->RemotePortError().c_str());
        CloseCommPort(pDevice, pLine);
        return FALSE;
    }

    if (pConfig->IsTcpSocket()) {
        BOOL bCreated = FALSE;
        {
            std::lock_guard lock(g_sectionHdlr);
            try {
                bCreated = pSocket->Create(nLocalPort, nType);
            } catch (...) {
                bCreated = FALSE;
            }
        }
        if (!bCreated) {
            LogLine(LOG_ERROR, pLine, "Cannot create socket port %d (type = %d)!\r\n", static_cast<int>(nLocalPort),
                    nType);
            CloseCommPort(pDevice, pLine);
            return FALSE;
        }
        if (IsListenMode())
            return TRUE;

        std::string strDotted;
        int nError = 0;
        if (!CdsTimeoutSocket::ResolveIPv4(strAddress.c_str(), strDotted, nError)) {
            LogLine(LOG_ERROR, pLine, "Invalid URL address(%s)!\r\n", strAddress.c_str());
            CloseCommPort(pDevice, pLine);
            return FALSE;
        }
        LogLine(LOG_INFO, pLine, "Trying to connect to server(%s:%d)...\r\n", strAddress.c_str(), nPort);
        if (!pSocket->Connect(strDotted.c_str(), static_cast<UINT>(nPort), m_dwConnectTimeout)) {
            LogLine(LOG_ERROR, pLine, "Cannot connect to server(%s:%d) within %d(msecs)!\r\n", strAddress.c_str(),
                    nPort, static_cast<int>(m_dwConnectTimeout));
            // A socket whose connect failed cannot connect again: the next try makes a new one.
            CloseLineSockets(pLine);
            return FALSE;
        }
        if (!CreateSocketFile(pSocket, pLine)) {
            LogLine(LOG_ERROR, pLine, "Cannot create SocketFile for (%s:%d)!\r\n", strAddress.c_str(), nPort);
            return FALSE;
        }
        LogLine(LOG_INFO, pLine, "Connected to server(%s:%d).\r\n", strAddress.c_str(), nPort);
        return TRUE;
    }

    if (!pSocket->Create(nLocalPort, nType)) {
        LogLine(LOG_ERROR, pLine, "Cannot create socket port %d (type = %d)!\r\n", static_cast<int>(nLocalPort),
                nType);
        CloseCommPort(pDevice, pLine);
        return FALSE;
    }
    if (!CreateUdpFile(pSocket, pConfig, pLine)) {
        LogLine(LOG_ERROR, pLine, "Cannot create UDP port!\r\n");
        return FALSE;
    }
    LogLine(LOG_INFO, pLine, "UDP port created(%d).\r\n", static_cast<int>(nLocalPort));
    return TRUE;
}

BOOL CdsSocketHdlr::OpenListenPort(CdsDeviceObject* pDevice, CdsTcpipConfig* pConfig, CdsListenSocket* pSocket,
                                   tagTHREADINFO* pLine)
{
    if (!IsListenMode())
        return FALSE;
    if (IsPortOpen(pLine))
        return TRUE;
    // The first accepted client starts the line threads.
    SetNoThreads(TRUE);
    // Reads of a listening handler always ask how many bytes wait; other handlers keep the option.
    m_bListenIoctl = TRUE;
    const UINT nPort = CdsTcpipConfig::IsPortReserved(static_cast<WORD>(pConfig->m_nRemotePort))
                           ? 0
                           : static_cast<UINT>(static_cast<WORD>(pConfig->m_nRemotePort));
    const int nType = pConfig->m_nSocketType;
    if (!pSocket->Create(nPort, nType) || !pSocket->Listen(kListenBacklog)) {
        LogLine(LOG_ERROR, pLine, "Cannot create socket port %d (type = %d)!\r\n", static_cast<int>(nPort), nType);
        CloseCommPort(pDevice, pLine);
        return FALSE;
    }
    LogLine(LOG_INFO, pLine, "Socket opened as Listen mode.\r\n");
    StartListenDelivery();
    return TRUE;
}

void CdsSocketHdlr::RetireSocket(LineSockets& sockets, std::unique_ptr<CdsListenSocket> pSocket)
{
    if (!pSocket)
        return;
    pSocket->Close();
    if (sockets.nDispatching > 0) {
        std::lock_guard lock(m_socketsMutex);
        sockets.retired.push_back(std::move(pSocket));
    }
}

void CdsSocketHdlr::CloseLineSockets(tagTHREADINFO* pLine)
{
    LineSockets& s = SocketsOf(pLine);
    DestroySocketFile(pLine);
    std::unique_ptr<CdsListenSocket> pThread, pListen;
    {
        std::lock_guard lock(m_socketsMutex);
        pThread = std::move(s.pThreadSocket);
        pListen = std::move(s.pListenSocket);
    }
    RetireSocket(s, std::move(pThread));
    RetireSocket(s, std::move(pListen));
}

BOOL CdsSocketHdlr::CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    CdsCommHdlr::CloseCommPort(pDevice, pLine);
    CloseLineSockets(pLine);
    return TRUE;
}

BOOL CdsSocketHdlr::IsPortOpen(tagTHREADINFO* pLine)
{
    std::shared_ptr<COXSocketCommFile> pFile;
    {
        std::lock_guard lock(m_socketsMutex);
        pFile = SocketsOf(pLine).pFile;
    }
    if (!pFile || !IsValidSocketFile(pFile.get()) || !pFile->IsOpen())
        return FALSE;
    // A connection the peer has closed carries nothing more.
    const CdsTimeoutSocket* pSocket = pFile->GetSocket();
    return !(pSocket && pSocket->IsPeerClosed());
}

void CdsSocketHdlr::ResetCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    if (IsListenMode()) {
        DoOffline(pDevice);
        DoOnline(pDevice);
        return;
    }
    CdsCommHdlr::ResetCommPort(pDevice, pLine);
    CloseCommPort(pDevice, pLine);
    OnUpdateModeChange(pDevice, pLine, UPDATEMODE_STOPPED);

    auto fail = [&] {
        UpdateCommErrorState(pLine, TRUE);
        UpdateUpdateMode(pDevice, UPDATEMODE_STOPPED, pLine, FALSE);
    };
    // Without the wait only when the partner takes over at once; a line whose partner
    // is down too would reconnect in a tight loop.
    if (!IsPartnerTakingOver(pDevice, pLine)) {
        if (!IsInService()) {
            fail();
            return;
        }
        const LONG nDelay = pDevice ? pDevice->m_nResetDelay : 0;
        CdsTcpipConfig* pConfig = pDevice ? AsTcpipConfig(pDevice->GetCommConfig(pLine)) : nullptr;
        ShowLogVaMessageFromThread(LOG_INFO, "Wait %d msecs to initialize port(%s:%d) for [%s].\r\n",
                                   static_cast<int>(nDelay),
                                   pConfig ? CdsUdpCommFile::GetRemoteAddress(*pConfig).c_str() : "",
                                   pConfig ? static_cast<int>(pConfig->m_nRemotePort) : 0,
                                   pDevice ? pDevice->m_strName.c_str() : "");
        const std::uint64_t start = NowMs();
        while (!GetClock().isTimeOver(start, static_cast<std::uint64_t>(std::max<LONG>(nDelay, 0)))) {
            if (!IsInService()) {
                fail();
                return;
            }
            Sleep(1);
        }
        if (!IsInService()) {
            fail();
            return;
        }
    }
    if (OpenCommPort(pDevice, pLine)) {
        UpdateCommPortStatus(pDevice, TRUE, pLine);
        OnUpdateModeChange(pDevice, pLine, pDevice ? pDevice->GetUpdateMode(pLine) : SHORT{UPDATEMODE_STOPPED});
    } else {
        fail();
    }
}

// --- reads ---

int CdsSocketHdlr::GetNoOfBytesToRead(tagTHREADINFO* pLine)
{
    const LineSockets& s = SocketsOf(pLine);
    const int nChoice = s.nIoctl.load();
    const bool bIoctl = nChoice >= 0 ? nChoice != 0 : IsUseIoctl() != FALSE;
    if (!IsPortUDP() && !bIoctl)
        return CommErrorResult(RE_IOCTL_ERROR);
    CdsListenSocket* pSocket = GetThreadSocket(pLine);
    DWORD n = 0;
    if (!pSocket || !pSocket->IOCtlBytesWaiting(n))
        return CommErrorResult(RE_IOCTL_ERROR);
    // Bytes of a cut datagram held over from the last read wait too.
    const int nWaiting = static_cast<int>(n) + (IsPortUDP() ? pSocket->GetReadBytesSize() : 0);
    if (nWaiting == 0 && pSocket->CheckPeerClosed())
        return CommErrorResult(RE_SOCKET_ERROR);
    return nWaiting;
}

int CdsSocketHdlr::CommRead(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine)
{
    return CommReadWith(pDevice, pBuffer, nLength, pLine, IsUseIoctl());
}

int CdsSocketHdlr::CommReadWith(CdsDeviceObject* pDevice, BYTE* pBuffer, int nLength, tagTHREADINFO* pLine,
                                BOOL bUseIoctl)
{
    LineSockets& s = SocketsOf(pLine);
    struct Choice {
        std::atomic<int>& n;
        ~Choice() { n = -1; }
    } choice{s.nIoctl};
    s.nIoctl = bUseIoctl ? 1 : 0;
    const int nResult = CdsCommHdlr::CommRead(pDevice, pBuffer, nLength, pLine);
    if (bUseIoctl || nResult != CommErrorResult(RE_IOCTL_ERROR))
        return nResult;

    std::shared_ptr<COXSocketCommFile> pFile;
    {
        std::lock_guard lock(m_socketsMutex);
        pFile = s.pFile;
    }
    if (!pFile)
        return CommErrorResult(RE_COMMFILE_UNINITIALIZED);
    // The read waits as long as the device allows, not the file's own deadline;
    // only this line's thread uses the file, so the deadline is put back after.
    struct Deadline {
        COXSocketCommFile& file;
        UINT saved;
        ~Deadline() { file.SetDefaultTimeOut(saved, saved); }
    } deadline{*pFile, pFile->GetDefaultTimeOut()};
    const UINT nRxTimeout = static_cast<UINT>(GetRxTimeout(pDevice));
    pFile->SetDefaultTimeOut(nRxTimeout, nRxTimeout);
    // A TCP line takes in one receive whatever has come, up to a whole response: a
    // frame's rest, asked for next, is then here without another system call, and
    // bytes behind it show without asking the socket.
    const bool bReadAhead = !IsPortUDP() && nLength > 0 && nLength < kReceiveBufferSize;
    if (bReadAhead && !s.readAhead)
        s.readAhead = std::make_unique_for_overwrite<std::array<BYTE, kReceiveBufferSize>>();
    BYTE* pTarget = bReadAhead ? s.readAhead->data() : pBuffer;
    const int n = pFile->Read(pTarget, static_cast<UINT>(bReadAhead ? kReceiveBufferSize : std::max(nLength, 0)));
    if (n == -1)
        return CommErrorResult(RE_SOCKET_ERROR);
    if (n == CommErrorResult(RE_SOCKET_TIMEOUT))
        return 0;
    // A read of 0 that is no time-out is the peer closing the connection.
    if (n == 0 && pFile->GetSocket() && pFile->GetSocket()->IsPeerClosed())
        return CommErrorResult(RE_SOCKET_ERROR);
    if (!bReadAhead || n <= 0)
        return n;
    const int nMine = std::min(n, nLength);
    std::copy_n(pTarget, nMine, pBuffer);
    HoldOver(pLine, pTarget + nMine, n - nMine);
    return nMine;
}

// --- threads ---

BOOL CdsSocketHdlr::CreateThreads(CdsDeviceObject* pDevice)
{
    const BOOL bOk = CdsCommHdlr::CreateThreads(pDevice);
    if (!IsBackgroundThreadMode())
        return bOk;
    std::lock_guard lock(m_socketsMutex);
    for (LineSockets& s : m_sockets) {
        if (s.pThreadSocket && CdsTimeoutSocket::IsHandleOfThisThread(s.pThreadSocket->GetHandle()))
            s.hSlot = s.pThreadSocket->Detach();
    }
    return bOk;
}

int CdsSocketHdlr::InitThread(tagTHREADINFO* pLine)
{
    const int nBase = CdsCommHdlr::InitThread(pLine);
    if (nBase < 0)
        return nBase;
    if (pLine && pLine->m_bIsBackup)
        return 0;
    {
        std::lock_guard lock(m_socketsMutex);
        LineSockets& s = SocketsOf(pLine);
        if (s.hSlot != CdsTimeoutSocket::kInvalidSocket) {
            if (!s.pThreadSocket || !s.pThreadSocket->Attach(s.hSlot))
                return CommErrorResult(RE_SOCKET_ATTACH);
            s.hSlot = CdsTimeoutSocket::kInvalidSocket;
        }
    }
    if (GetPortsInThread() && !IsListenMode())
        return 0;
    if (!IsValidSocket(GetThreadSocket(pLine)))
        return CommErrorResult(RE_INVALID_SOCKET);
    if (!IsListenMode() && !IsValidSocketFile(GetSocketCommFile(pLine)))
        return CommErrorResult(RE_INVALID_SOCKET_FILE);
    return 0;
}

int CdsSocketHdlr::ExitThread(tagTHREADINFO* pLine)
{
    {
        std::lock_guard lock(m_socketsMutex);
        LineSockets& s = SocketsOf(pLine);
        if (s.pThreadSocket && CdsTimeoutSocket::IsHandleOfThisThread(s.pThreadSocket->GetHandle()) &&
            IsBackgroundThreadMode())
            s.hSlot = s.pThreadSocket->Detach();
    }
    return CdsCommHdlr::ExitThread(pLine);
}

void CdsSocketHdlr::DestroyThreads(CdsDeviceObject* pDevice)
{
    CdsCommHdlr::DestroyThreads(pDevice);
    std::lock_guard lock(m_socketsMutex);
    for (LineSockets& s : m_sockets) {
        if (s.hSlot == CdsTimeoutSocket::kInvalidSocket)
            continue;
        if (s.pThreadSocket)
            s.pThreadSocket->Attach(s.hSlot);
        s.hSlot = CdsTimeoutSocket::kInvalidSocket;
    }
}

void CdsSocketHdlr::UpdateNextDevice(tagTHREADINFO* pLine)
{
    DispatchNotifications(pLine);
    CdsCommHdlr::UpdateNextDevice(pLine);
}

void CdsSocketHdlr::MonitorNextDevice(tagTHREADINFO* pLine)
{
    DispatchNotifications(pLine);
    CdsCommHdlr::MonitorNextDevice(pLine);
}

// --- notifications ---

int CdsSocketHdlr::DispatchNotifications(tagTHREADINFO* pLine)
{
    LineSockets& s = SocketsOf(pLine);
    int nDelivered = 0;
    ++s.nDispatching;
    for (int which = 0; which < 2; ++which) {
        CdsListenSocket* pSocket;
        {
            std::lock_guard lock(m_socketsMutex);
            pSocket = which == 0 ? s.pListenSocket.get() : s.pThreadSocket.get();
        }
        if (pSocket && CdsTimeoutSocket::IsHandleOfThisThread(pSocket->GetHandle()))
            nDelivered += pSocket->DispatchNotifications();
    }
    if (--s.nDispatching != 0)
        return nDelivered;
    std::vector<std::unique_ptr<CdsListenSocket>> retired;
    {
        std::lock_guard lock(m_socketsMutex);
        retired.swap(s.retired);
    }
    retired.clear();
    if (s.bResetPending.exchange(false)) {
        CdsDeviceObject* pDevice = s.pResetDevice.exchange(nullptr);
        if (IsInService())
            ResetAfterPeerClose(pDevice, pLine);
    }
    return nDelivered;
}

void CdsSocketHdlr::ResetAfterPeerClose(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    if (IsListenMode() || !pDevice || !pLine || IsPortOpen(pLine)) {
        ResetCommPort(pDevice, pLine);
        return;
    }
    // The lost connection is booked like a failed request on a closed port: the
    // count reaches the maximum at once, so the over-maximum handling resets the
    // port, switches to the partner line or marks the points of a device that has
    // no other line. A reset on its own would leave those points good and stale.
    const bool bMonitor = pLine->m_nKind.load() == LINE_KIND_MONITOR;
    const int changed = bMonitor ? UpdateMonitorPortStatus(pDevice, FALSE, pLine)
                                 : UpdateCommPortStatus(pDevice, FALSE, pLine);
    if (changed)
        OnUpdateModeChange(pDevice, pLine, pDevice->GetUpdateMode(pLine));
}

void CdsSocketHdlr::RequestReset(CdsDeviceObject* pDevice, tagTHREADINFO* pLine)
{
    LineSockets& s = SocketsOf(pLine);
    s.pResetDevice = pDevice;
    s.bResetPending = true;
}

void CdsSocketHdlr::HandleAccept(CdsListenSocket* pListen)
{
    if (!OnPreAccept(pListen))
        return;
    tagTHREADINFO* pLine = GetThreadInfo(pListen);
    if (IsPortOpen(pLine)) {
        ShowLogMessageFromThread(LOG_ERROR, "Port is already used!\r\n");
        // Take the second client off the queue and close it, so it is not left waiting.
        CdsTimeoutSocket refused;
        if (pListen->Accept(refused))
            refused.Close();
        return;
    }
    CdsListenSocket* pThread;
    {
        std::lock_guard lock(m_socketsMutex);
        LineSockets& s = SocketsOf(pLine);
        if (!s.pThreadSocket) {
            s.pThreadSocket = NewLineSocket(pListen->GetDevice(), pLine ? pLine->LineIndex() : 0);
            s.pThreadSocket->SetStopEvent(GetStopEvent());
        }
        pThread = s.pThreadSocket.get();
    }
    pThread->Close();
    pListen->SetAccepted(pListen->Accept(*pThread));
    if (!CreateSocketFile(pThread, pLine)) {
        ShowLogMessageFromThread(LOG_ERROR, "Cannot create socketfile(Listen mode)!\r\n");
        CloseCommPort(nullptr, pLine);
        return;
    }
    if (pListen->IsAccepted()) {
        std::string strAddress;
        UINT nPort = 0;
        if (pThread->GetPeerName(strAddress, nPort)) {
            pListen->SetPeerInfo(strAddress, nPort);
            ShowLogVaMessageFromThread(LOG_INFO, "%s(%d) Login.\r\n", strAddress.c_str(), static_cast<int>(nPort));
        } else {
            ShowLogMessageFromThread(LOG_INFO, "Accepted.\r\n");
        }
    } else {
        ShowLogMessageFromThread(LOG_ERROR, "Cannot Accept Socket!\r\n");
    }
    pListen->SetAccepted(OnPostAccept(pThread));
    pThread->CopyPeerOf(*pListen);
    // Last: once the line threads run, the connection is theirs.
    CdsDeviceObject* pDevice = pListen->GetDevice();
    if (!CreateThreads(pDevice) || !OnCreateThreads(pDevice))
        ShowLogMessageFromThread(LOG_ERROR, "Cannot create thread!\r\n");
}

void CdsSocketHdlr::HandleClose(CdsListenSocket* pSocket)
{
    tagTHREADINFO* pLine = GetThreadInfo(pSocket);
    CdsListenSocket* pThread = GetThreadSocket(pLine);
    OnPreClose(pThread);
    if (IsListenMode()) {
        std::string strAddress;
        UINT nPort = 0;
        if (pThread && (pThread->GetPeerInfo(strAddress, nPort) || pThread->GetPeerName(strAddress, nPort)))
            ShowLogVaMessageFromThread(LOG_INFO, "%s Logout.\r\n", strAddress.c_str());
        else
            ShowLogMessageFromThread(LOG_INFO, "\r\n");
    } else {
        ShowLogMessageFromThread(LOG_INFO, "Socket closed.\r\n");
    }
}

void CdsSocketHdlr::HandleReceive(CdsListenSocket* pSocket)
{
    tagTHREADINFO* pLine = GetThreadInfo(pSocket);
    CdsListenSocket* pThread = pLine ? GetThreadSocket(pLine) : nullptr;
    if (!OnPreReceive(pThread))
        return;
    DWORD nWaiting = 0;
    if (!pSocket->IOCtlBytesWaiting(nWaiting) || nWaiting == 0)
        return; // never wait inside a notification
    BYTE buffer[CdsListenSocket::kHoldoverSize + 1] = {};
    const int n = pSocket->Receive(buffer, CdsListenSocket::kHoldoverSize);
    if (n != -1 && n != 0) {
        ParseUnboundMessage(buffer, n, pLine);
        if (IsPortUDP())
            pSocket->SaveToBuffer(buffer, n);
    }
}
