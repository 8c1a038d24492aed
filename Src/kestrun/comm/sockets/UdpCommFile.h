#pragma once
// The file of a UDP line: writes go as one datagram to the configured peer;
// reads take whatever datagrams arrive, cut to the size asked for, and hold the
// rest of a cut datagram over for the next read. The sender of each datagram
// becomes the configured remote address, so replies go to whoever sent last
// (and a saved document keeps it).
#include <mutex>
#include <string>

#include "kestrun/comm/sockets/SocketCommFile.h"

class CdsListenSocket;
class CdsTcpipConfig;

class CdsUdpCommFile : public COXSocketCommFile {
public:
    static constexpr int kDatagramBufferSize = 4097;

    CdsUdpCommFile() = default;
    // Neither is owned; both must outlive the file.
    CdsUdpCommFile(CdsListenSocket* pSocket, CdsTcpipConfig* pConfig);

    BOOL IsOpen() const override;
    void Close() override;
    // The bytes placed in the buffer, or RE_SOCKET_TIMEOUT (as int) when the
    // socket's deadline passed. Never waits for a datagram that is not there.
    int Read(void* pBuffer, UINT nCount) override;
    // One datagram to the configured remote address and port; the status of a
    // failure like the socket file's.
    int Send(const void* pData, UINT nCount) override;

    CdsListenSocket* GetListenSocket() const { return m_pListenSocket; }
    CdsTcpipConfig* GetConfig() const { return m_pConfig; }

    // The lock under which UDP lines write a sender into a configuration's remote
    // address; whoever reads that address of a UDP configuration while lines run takes it too.
    // Leaf.
    static std::mutex& RemoteAddressLock();
    static std::string GetRemoteAddress(const CdsTcpipConfig& config);

private:
    CdsTcpipConfig* m_pConfig = nullptr;
    CdsListenSocket* m_pListenSocket = nullptr;
};
