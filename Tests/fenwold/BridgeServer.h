#pragma once
// A MELSEC server in a process of its own for end-to-end runs: two devices polling a
// PLC (by default a 3E binary and a 1E ASCII device on 127.0.0.1), served through the
// OPC toolkit on a class socket, until its owner lets it go. Built once the program's
// communication handler is part of the build (TESSARO_BRIDGE_SERVER is defined then).
#if __has_include("fenwold/CommHdlr.h")
#define TESSARO_BRIDGE_SERVER 1

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "fenwold/CommHdlr.h"
#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/PlcKinds.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/opc/Callback.h"
#include "kestrun/options/EngineCounters.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "kestrun/shell/server/ServerFrameCore.h"
#include "platform/com/Guid.h"
#include "platform/opc/server/Toolkit.h"
#include "platform/registry/Registry.h"
#include "platform/win/HeadlessDispatcher.h"

namespace bridgeserver {

inline const CLSID kClsid = *com::parseGuid("{6E6F7453-0006-4E61-8000-0000000E2E01}");
inline constexpr const char* kProgId = "Tessaro.BridgeEndToEnd";
inline constexpr WORD kCodeD = 0xA8;
inline constexpr WORD kCodeM = 0x90;
inline constexpr unsigned long kDataUpdateMs = 50;

// The program's frame: every port gets a MELSEC handler.
class ServerFrame : public CdsServerFrameCore {
public:
    std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD) override { return std::make_shared<CCommHdlr>(); }
};

// The PLC the server polls and its two devices: their frame kinds (kPlcKinds), names,
// and the element number every block address starts from.
struct BridgePlc {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    int kindA = 2;   // 3E binary
    int kindB = 1;   // 1E ASCII
    std::string nameA = "PLC3E";
    std::string nameB = "PLC1E";
    DWORD base = 0;

    std::string Text() const
    {
        std::ostringstream out;
        out << host << ' ' << port << ' ' << kindA << ' ' << kindB << ' ' << nameA << ' ' << nameB << ' ' << base;
        return out.str();
    }
    static BridgePlc FromText(const std::string& text)
    {
        BridgePlc plc;
        std::istringstream in(text);
        in >> plc.host >> plc.port >> plc.kindA >> plc.kindB >> plc.nameA >> plc.nameB >> plc.base;
        return plc;
    }
};

inline CDeviceObject* AddDevice(CDeviceMap& map, const std::string& name, const fenwoldtest::PlcKind& kind,
                                WORD portId, const BridgePlc& plc)
{
    auto* device = new CDeviceObject;
    device->m_strName = name;
    device->m_nDeviceType = kind.deviceType;
    device->m_strProtocol = kind.protocol;
    device->m_strAddress = kind.address;
    device->m_strPort = "TCP" + std::to_string(portId);
    device->m_nReadTimeout = 300;
    device->m_nRetries = 0;
    device->m_nRetryDelay = 1;
    device->m_nResetDelay = 200;  // a dropped connection is tried again soon
    auto config = std::make_unique<CdsTcpipConfig>();
    config->SetPortId(portId);
    config->m_strRemoteAddress = plc.host;
    config->m_nRemotePort = plc.port;
    device->SetCommConfig(0, std::move(config));
    return static_cast<CDeviceObject*>(map.AddDeviceObject(device, TRUE));
}

// "D100" from the base on: the block's address in the PLC's memory.
inline std::string BlockAddress(const char* device, DWORD number, const BridgePlc& plc)
{
    return device + std::to_string(plc.base + number);
}

inline void AddBlock(CdsDeviceObject* device, const std::string& address, WORD code, int type, int points)
{
    auto* block = new CMemoryArray;
    block->SetAddr(address);
    block->SetTypeDataWord(static_cast<SHORT>(code));
    block->SetDefaultDataType(type);
    block->SetMaxMemories(points);
    block->SetWriteAllowed(TRUE);
    device->AddMemoryArray(block, true);
}

// Device A: D100-D103 (Short), M0-M7 (Bool). Device B: D200-D201 (Word), D300 (Float),
// each number from the base on. Returns the process's exit code.
inline int RunServer(const std::filesystem::path& root, const BridgePlc& plc, int readyFd, int controlFd)
{
    CdsDeviceMap::m_TopicListByName.RemoveAll();
    CdsServerFrame::g_dwDataUpdateTime = kDataUpdateMs;
    CdsServerFrame::g_bBackgroundThread = 1;
    CdsServerFrame::g_bUseSystemMode = 1;  // status points with the lines' update modes

    win::HeadlessDispatcher dispatcher;
    ServerFrame frame;
    CommHost host;
    host.pDispatcher = &dispatcher;
    frame.SetHost(host);
    kestrun::HandlerTable* previous = kestrun::HandlerTable::Install(&frame);

    auto map = std::make_unique<CDeviceMap>();
    CDeviceObject* a = AddDevice(*map, plc.nameA, fenwoldtest::kPlcKinds[plc.kindA], 1, plc);
    CDeviceObject* b = AddDevice(*map, plc.nameB, fenwoldtest::kPlcKinds[plc.kindB], 2, plc);
    if (!a || !b)
        return 11;
    AddBlock(a, BlockAddress("D", 100, plc), kCodeD, BRISANT_SHORT, 4);
    AddBlock(a, BlockAddress("M", 0, plc), kCodeM, BRISANT_BOOL, 8);
    AddBlock(b, BlockAddress("D", 200, plc), kCodeD, BRISANT_WORD, 2);
    AddBlock(b, BlockAddress("D", 300, plc), kCodeD, BRISANT_FLOAT, 2);
    // As after loading a document: system devices and each device's status points.
    map->OnLoading();

    CfsCallback callback;
    callback.SetDeviceMap(map.get());
    registry::Registry reg(root / "reg");
    opc::ToolkitOptions options;
    options.socketDir = root / "run";
    options.registry = &reg;
    int rc = 0;
    {
        opc::Toolkit toolkit(options);
        map->SetAllDevicesOnline(TRUE);
        // The data timer of thread mode: every tick goes to the idle lines.
        const win::WindowKey ticker = dispatcher.registerWindow([&frame](win::Message&) -> LRESULT {
            frame.SendTimerMsgToThreads(++CdsEngineCounters::m_nLoopCount);
            return 0;
        });
        dispatcher.startTimer(ticker, 1, kDataUpdateMs);
        if (!toolkit.start(kClsid, false)) {
            rc = 12;
        } else {
            toolkit.setCallback(&callback);
            (void)!::write(readyFd, "r", 1);
            std::thread watch([&] {
                pollfd control{controlFd, POLLIN, 0};
                ::poll(&control, 1, 120000);
                dispatcher.post([&dispatcher] { dispatcher.quit(0); });
            });
            dispatcher.run();
            watch.join();
            toolkit.stop();
        }
        dispatcher.unregisterWindow(ticker);
        map->SetAllDevicesOnline(FALSE);
        frame.ExitPorts();
    }
    callback.SetDeviceMap(nullptr);
    map.reset();
    kestrun::HandlerTable::Install(previous);
    return rc;
}

// The server process. Forked at construction, before the caller starts threads of
// its own; Start hands it the PLC and waits until its class socket is open.
class ServerProcess {
public:
    explicit ServerProcess(std::filesystem::path root) : m_root(std::move(root))
    {
        if (::pipe(m_port) || ::pipe(m_ready) || ::pipe(m_control))
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(m_control[1]);
            std::string text;
            char c = 0;
            while (::read(m_port[0], &c, 1) == 1 && c != '\n')
                text += c;
            if (c != '\n')
                _exit(10);
            _exit(RunServer(m_root, BridgePlc::FromText(text), m_ready[1], m_control[0]));
        }
        ::close(m_port[0]);
        ::close(m_ready[1]);
        ::close(m_control[0]);
    }

    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool Start(std::uint16_t plcPort)
    {
        BridgePlc plc;
        plc.port = plcPort;
        return Start(plc);
    }

    bool Start(const BridgePlc& plc)
    {
        const std::string line = plc.Text() + "\n";
        if (m_child <= 0 || ::write(m_port[1], line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            return false;
        pollfd ready{m_ready[0], POLLIN, 0};
        char byte = 0;
        return ::poll(&ready, 1, 10000) == 1 && ::read(m_ready[0], &byte, 1) == 1;
    }

    // Lets the server end; its exit code (-1 when it did not end normally).
    int Stop()
    {
        if (m_child <= 0)
            return m_exit;
        ::close(m_control[1]);
        ::close(m_port[1]);
        ::close(m_ready[0]);
        // Bounded: a server that does not end is killed (and reported as not ending normally).
        int status = 0;
        for (int waited = 0; ::waitpid(m_child, &status, WNOHANG) == 0; waited += 10) {
            if (waited >= 20000) {
                ::kill(m_child, SIGKILL);
                ::waitpid(m_child, &status, 0);
                break;
            }
            ::poll(nullptr, 0, 10);
        }
        m_child = -1;
        m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_exit;
    }

private:
    std::filesystem::path m_root;
    int m_port[2]{-1, -1};
    int m_ready[2]{-1, -1};
    int m_control[2]{-1, -1};
    pid_t m_child = -1;
    int m_exit = -1;
};

} // namespace bridgeserver

#endif
