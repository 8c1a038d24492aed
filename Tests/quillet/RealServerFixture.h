#pragma once
// The application against the bundled OPC server program through the real transport,
// on a scratch registry and socket folder; sink calls run when the test pumps them.
#include "QuilletFixture.h"

#include "platform/com/Bstr.h"
#include "platform/opc/client/RpcClient.h"
#include "platform/opc/server/ServerEntries.h"
#include "platform/registry/Profile.h"
#include "support/ServerProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillettest {

inline const CLSID kServer = *com::parseGuid("{6E6F7453-0003-4E61-8000-000000000003}");
inline const FILETIME kServerTime{0x11223344, 0x01D00000};  // what the server stamps its start values with

inline std::string Program(const char* name) { return testsupport::TestProgram(name); }

// The simulator program on a free port, ended with its owner.
class SimulatorProgram {
public:
    explicit SimulatorProgram(const std::vector<std::string>& args) : m_process(Program("plcsim"))
    {
        // "plcsim listening on 127.0.0.1:<port>"
        if (!m_process.Start(args, {}) || !m_process.WaitFor("\n", 5000)) return;
        const std::string& out = m_process.Output();
        const auto colon = out.rfind(':', out.find('\n'));
        if (colon != std::string::npos) m_port = std::atoi(out.c_str() + colon + 1);
    }
    int port() const { return m_port; }

private:
    testsupport::ServerProcess m_process;
    int m_port = 0;
};

class RealServer : public quillettest::AppFixture {
protected:
    void SetUp() override
    {
        if (::access(Program("opcserver").c_str(), X_OK) != 0) GTEST_SKIP() << "opcserver not built";
        for (const char* name : {"TESSARO_REGISTRY", "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        // A server the application activates inherits the test's environment: no display,
        // or it would open a window (and wait on its message boxes).
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
        // The server program finds the registry and its socket folder through these.
        ::setenv("TESSARO_REGISTRY", (scratch.path() / "reg").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (scratch.path() / "run").c_str(), 1);
        ASSERT_EQ(opc::registerClass(reg, kServer, Program("opcserver")), S_OK);
        Register("Tessaro.TestServer", true, &kServer);
        app = std::make_unique<CQuilletApp>(host);
        ASSERT_TRUE(app->InitInstance());
        ASSERT_EQ(app->GetServerList().size(), 1u);
    }
    void TearDown() override
    {
        app.reset();
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        for (auto& [name, value] : saved)
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
    }
    // Runs the sink calls the transport posts until done() holds (bounded).
    template <typename Done>
    bool Pump(Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            dispatcher.runPending();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            dispatcher.waitForWork(50);
        }
    }
    CQuilletDoc& Connect()
    {
        CQuilletDoc* doc = app->ConnectToServer("Tessaro.TestServer", "", CLSID_NULL);
        EXPECT_TRUE(doc && doc->GetServer());
        doc->SetLogMask(~0u);
        return *doc;
    }
    CGroup& AddGroup(CQuilletDoc& doc, DWORD mode, BOOL timeStamps = FALSE)
    {
        CGroupSettings s;
        s.name = "G" + std::to_string(mode) + std::to_string(timeStamps);
        s.updateRate = 100;
        s.adviseMode = mode;
        s.timeStamps = timeStamps;
        s.measureRate = TRUE;
        CGroup* group = doc.OnAddGroup(s);
        EXPECT_TRUE(group && group->GetAdviseMode() == mode);
        return *group;
    }
    // Adds items as the item view does; their server handles in order.
    std::vector<OPCHANDLE> AddItems(CQuilletDoc& doc, CGroup& group, std::vector<std::string> ids)
    {
        std::vector<OPCITEMDEF> defs(ids.size());
        std::vector<std::unique_ptr<CItem>> items;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            items.push_back(std::make_unique<CItem>(doc));
            items[i]->SetItemID(ids[i]);
            defs[i].szItemID = com::toBstr(ids[i]);
            defs[i].hClient = items[i]->GetClientHandle();
        }
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        EXPECT_EQ(group.m_itemMgt->AddItems(defs, results, errors), S_OK);
        std::vector<OPCHANDLE> handles;
        for (std::size_t i = 0; i < results.size(); ++i) {
            items[i]->SetServerHandle(results[i].hServer);
            handles.push_back(results[i].hServer);
            group.Items().push_back(std::move(items[i]));
        }
        return handles;
    }
    static CItem& Item(CGroup& group, const std::string& id)
    {
        for (auto& item : group.Items())
            if (item->GetItemID() == id) return *item;
        throw std::out_of_range(id);
    }
    static bool AllHave(CGroup& group, ValueRoad road)
    {
        for (auto& item : group.Items())
            if (item.get() != group.GetUpdatesItem() && !item->Values(road).value) return false;
        return true;
    }
    // The connection window's log shows the line.
    bool Logged(CQuilletDoc& doc, const std::string& line)
    {
        doc.UpdateAllViews();
        const auto& rows = app->FrameOf(&doc)->Log().Rows();
        return std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return row.event == line; });
    }
    // Starts the server program as a child of the test, so the test may kill it.
    void StartOwnServer()
    {
        std::string program = Program("opcserver"), embedding = "-Embedding";
        std::vector<std::string> env = testsupport::ChildEnvironment();
        std::vector<char*> argv{program.data(), embedding.data(), nullptr}, envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        child = ::fork();
        if (child == 0) {
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        const auto socket = opc::socketPath(opc::socketFolder(), kServer);
        for (int i = 0; i < 500; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (int fd = opc::RpcClient::connectUnix(socket); fd >= 0) {
                ::close(fd);
                return;
            }
        FAIL() << "the server program did not open its socket";
    }

    // Registers fenwold to load a one-device configuration on the simulator at plcPort
    // and close when its last client leaves; the server's data folder is the test's.
    void ServeFenwold(int plcPort)
    {
        const char* data = std::getenv("TESSARO_DATA");
        saved.emplace_back("TESSARO_DATA", data ? std::optional<std::string>(data) : std::nullopt);
        ::setenv("TESSARO_DATA", (scratch.path() / "data").c_str(), 1);
        const auto config = scratch.path() / "plant.csv";
        std::ofstream(config) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                              << "PLC1,MC3,4,,TCP1,127.0.0.1 " << plcPort << ",,\n"
                              << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                              << "PLC1,Words,Short,D100,4,3,rw,100,\n";
        registry::Profile options(reg, "Tessaro v4.5", "Fenwold");
        options.WriteProfileInt("Options", "Load File On Startup", 1);
        options.WriteProfileString("Options", "Load File PathName", config.string());
        options.WriteProfileInt("Options", "Auto Close On No Client", 1);
        // Bounded and without a display: on a desktop it would wait on a message box.
        testsupport::ServerProcess registration(Program("fenwold"));
        ASSERT_TRUE(registration.Start({"-Regserver"}, {}));
        ASSERT_EQ(registration.Wait(), 0) << registration.Output();
    }
    // Its last client gone, fenwold has closed its socket (and so ended).
    bool FenwoldClosed()
    {
        const auto socket = opc::socketPath(opc::socketFolder(), *com::parseGuid("{0320CD13-524B-4085-BBBF-8D2C332BCE9F}"));
        return Pump([&] { return !std::filesystem::exists(socket); });
    }

    std::unique_ptr<CQuilletApp> app;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    pid_t child = -1;
};

// A connection to the bundled server with its connection window.
class ServerWindow : public RealServer {
protected:
    void SetUp() override
    {
        RealServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        doc = &Connect();
        frame = app->FrameOf(doc);
    }
    CQuilletDoc* doc = nullptr;
    CSplitterFrame* frame = nullptr;
};

} // namespace quillettest
