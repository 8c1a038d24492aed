#pragma once
// The application against the bundled OPC server program through the real transport,
// on a scratch registry and socket folder; sink calls run when the test pumps them.
#include "QuilletFixture.h"

#include "platform/com/Bstr.h"
#include "platform/opc/RpcClient.h"
#include "platform/opc/ServerEntries.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillettest {

inline const CLSID kServer = *com::parseGuid("{6E6F7453-0003-4E61-8000-000000000003}");
inline const FILETIME kServerTime{0x11223344, 0x01D00000};  // what the server stamps its start values with

inline std::string Program(const char* name)
{
    const char* bin = std::getenv("TESSARO_TEST_BIN");
    auto dir = bin ? std::filesystem::path(bin) : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (dir / name).string();
}

class RealServer : public quillettest::AppFixture {
protected:
    void SetUp() override
    {
        if (::access(Program("opcserver").c_str(), X_OK) != 0) GTEST_SKIP() << "opcserver not built";
        for (const char* name : {"TESSARO_REGISTRY", "XDG_RUNTIME_DIR"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
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
        child = ::fork();
        if (child == 0) {
            const std::string program = Program("opcserver");
            ::execl(program.c_str(), program.c_str(), "-Embedding", nullptr);
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
