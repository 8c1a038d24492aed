// The application object: the server list, connecting and the
// recent-file list, on a scratch registry.
#include "quillet/QuilletFixture.h"

#include "quillet/text/ErrorText.h"
#include "quillet/views/MainFrame.h"
#include "platform/win/RegularFile.h"
#include "platform/opc/ScriptedCallback.h"
#include "platform/opc/server/ServerEntries.h"
#include "platform/opc/server/Toolkit.h"
#include "quillet/forms/ServerForms.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

const CLSID kClass = *com::parseGuid("{6E6F7453-0009-4E61-8000-000000000009}");

using App = quillettest::AppFixture;

TEST_F(App, ServerListHoldsProgIDsWithAnOpcKeyAndAClassId)
{
    Register("Tessaro.Fenwold.1", true, &kClass);  // only "OPC\Vendor" below the key, no default value
    Register("No.ClassId", true, nullptr);
    Register("Not.Opc", false, &kClass);
    CQuilletApp app(host);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(app.GetServerList().size(), 1u);
    EXPECT_EQ(app.GetServerList()[0].progId, "Tessaro.Fenwold.1");
    EXPECT_EQ(app.GetServerList()[0].clsid, kClass);
    EXPECT_EQ(app.GetServerList()[0].hidden, 0u);
}

TEST_F(App, UnknownProgIDIsReportedWithTheLookupsErrorText)
{
    CQuilletApp app(host);
    EXPECT_EQ(app.ConnectToServer("No.Such.Server", "", CLSID_NULL), nullptr);
    EXPECT_EQ(app.ConnectToServer("No.Such.Server", "plant-node", CLSID_NULL), nullptr);
    // Not known here, and the node's list has no server to answer for it.
    EXPECT_EQ(ui.shown, (std::vector<std::string>{quillet::ErrorText(texts, CO_E_CLASSSTRING),
                                                        quillet::ErrorText(texts, RPC_S_SERVER_UNAVAILABLE)}));
    EXPECT_TRUE(app.Connections().empty());
}

TEST_F(App, ANodesServersAreListedAndItsProgIDsLookedUpThere)
{
    // The node: a server with a registry of its own that takes remote clients from here.
    support::ScratchFolder nodeFolder;
    registry::Registry nodeReg{nodeFolder.path()};
    ASSERT_EQ(opc::registerClass(nodeReg, kClass, "/node/only/server"), S_OK);
    nodeReg.SetString(HKEY_CLASSES_ROOT, "Node.Server\\CLSID", "", com::formatGuid(kClass));
    nodeReg.SetString(HKEY_CLASSES_ROOT, "CLSID\\" + com::formatGuid(kClass) + "\\ProgID", "", "Node.Server");
    const std::string appId = "AppID\\" + com::formatGuid(kClass);
    nodeReg.SetDword(HKEY_CLASSES_ROOT, appId, "RemoteEnabled", 1);
    nodeReg.SetString(HKEY_CLASSES_ROOT, appId, "RemoteHosts", "127.0.0.1");
    opc::ToolkitOptions serving;
    serving.registry = &nodeReg;
    serving.runScheduler = false;
    serving.socketDir = host.socketDir;
    opctest::ScriptedCallback cb;  // outlives the toolkit, whose threads call it until it stops
    opc::Toolkit node(serving);
    ASSERT_TRUE(node.start(kClass, false)) << node.startError();
    node.setCallback(&cb);
    ASSERT_GT(node.remotePort(), 0);
    const std::string nodeName = "127.0.0.1:" + std::to_string(node.remotePort());

    reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Ole", "EnableDCOM", "Y");
    CQuilletApp app(host);
    ASSERT_TRUE(app.InitInstance());
    CServerEnumForm browse(ui, texts, app.Activation());
    browse.node = nodeName;
    browse.Open();
    ASSERT_EQ(browse.servers.size(), 1u);
    EXPECT_EQ(browse.servers[0].progId, "Node.Server");
    EXPECT_EQ(browse.servers[0].clsid, kClass);

    CQuilletDoc* doc = app.ConnectToServer("Node.Server", nodeName, CLSID_NULL);
    ASSERT_NE(doc, nullptr);
    EXPECT_NE(doc->GetServer(), nullptr);
    EXPECT_EQ(doc->GetTitle(), nodeName + "~Node.Server");
    EXPECT_TRUE(ui.shown.empty()) << ui.shown.front();
    app.CloseDocument(doc);
}

TEST_F(App, ASetUpFileThatIsNoRegularFileOfASaneSizeIsRefusedAtOnceWithWhy)
{
    const std::string fifo = (scratch.path() / "fifo.csv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0); // no writer: reading it would wait for ever
    const std::string big = (scratch.path() / "big.csv").string();
    std::ofstream(big).close();
    ASSERT_EQ(::truncate(big.c_str(), off_t(win::kMaxDocumentBytes + 1)), 0); // sparse: no disk taken
    const std::string missing = (scratch.path() / "missing.csv").string();
    CQuilletApp app(host);
    for (const std::string& path : {fifo, std::string("/dev/zero"), big, scratch.path().string(), missing})
        EXPECT_EQ(app.OpenDocumentFile(path), nullptr) << path;
    const auto failed = [&](const std::string& path, const std::string& why) {
        return "The file " + path + " could not be opened.\n" + why;
    };
    EXPECT_EQ(ui.shown, (std::vector<std::string>{
                            failed(fifo, "a named pipe, not a file"),
                            failed("/dev/zero", "a device, not a file"),
                            failed(big, "too large (67108865 bytes, at most 67108864)"),
                            failed(scratch.path().string(), "a folder, not a file"),
                            failed(missing, "No such file or directory"),
                        }));
    EXPECT_TRUE(app.Connections().empty());
}

TEST_F(App, FailedActivationLeavesNoDocument)
{
    Register("Tessaro.Gone", true, &kClass);  // no program behind the class
    {
        CQuilletApp app(host);
        EXPECT_EQ(app.ConnectToServer("Tessaro.Gone", "node", CLSID_NULL), nullptr);
        EXPECT_TRUE(app.Connections().empty());
    }
    reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Ole", "EnableDCOM", "Y");
    CQuilletApp app(host);
    EXPECT_EQ(app.ConnectToServer("Tessaro.Gone", "", CLSID_NULL), nullptr);
    EXPECT_EQ(ui.shown, (std::vector<std::string>{quillet::ErrorText(texts, REGDB_E_CLASSNOTREG),
                                                        "Connection to Server Failed.~Tessaro.Gone"}));
}

TEST_F(App, AServerObjectWithoutIOPCServerLeavesTheDocumentOpenWithoutAServer)
{
    // The server list object answers the activation but is no OPC server.
    CQuilletApp app(host);
    ASSERT_TRUE(app.InitInstance());
    CQuilletDoc* doc = app.ConnectToServer("OPC.ServerList", "", CLSID_OPCServerList);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(app.Connections(), std::vector<CQuilletDoc*>{doc});
    EXPECT_NE(app.FrameOf(doc), nullptr);
    EXPECT_EQ(doc->GetServer(), nullptr);
    EXPECT_EQ(ui.shown, std::vector<std::string>{"Unable to connect to the specified server"});
    std::vector<std::string> lines;
    for (const auto& e : doc->TakeLogEntries()) lines.push_back(quillet::DisplayText(texts, e));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("~OPC.ServerListCoCreateInstanceExFailed" + std::to_string(LONG(E_NOINTERFACE))),
              std::string::npos)
        << lines.back();
    // The commands that call the server do nothing on it.
    EXPECT_EQ(doc->AddServerGroup(std::make_unique<CGroup>(*doc), FALSE), nullptr);
    app.CloseDocument(doc);
    EXPECT_TRUE(app.Connections().empty());
}

TEST_F(App, RecentFilesKeepFiveAndAPlaceholderIsNeverStored)
{
    CQuilletApp app(host);
    app.InitInstance();
    EXPECT_TRUE(app.RecentFiles().HoldsPlaceholder());
    app.ExitInstance();
    EXPECT_EQ(reg.OpenKey(HKEY_CURRENT_USER, "Software\\Tessaro\\Quillet\\Quillet"), registry::Status::NotFound);
    app.RecentFiles().RemovePlaceholder();
    for (const char* p : {"a.csv", "b.csv", "c.csv", "d.csv", "e.csv", "f.csv", "c.csv"}) app.RecentFiles().Add(p);
    app.ExitInstance();
    CQuilletApp again(host);
    again.InitInstance();
    const char* want[] = {"c.csv", "f.csv", "e.csv", "d.csv", "b.csv"};
    for (std::size_t i = 0; i < CRecentFileList::kSize; ++i) EXPECT_EQ(again.RecentFiles()[i], want[i]);
}

TEST(RecentFileNames, MenuEntriesShowAtMostThirtyCharactersOfAPath)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/home/op/plant.csv", "/home/op/plant.csv"},
        {"/abcdefghijklmnopqrstuvwxyz.cs", "/abcdefghijklmnopqrstuvwxyz.cs"},  // exactly 30
        {"/home/operator/projects/line4/plant.csv", "/.../projects/line4/plant.csv"},
        {"/home/operator/projects/line4-and-5/plant.csv", "/.../line4-and-5/plant.csv"},
        {"/home/operator/a-very-long-folder-name/plant.csv", "/.../plant.csv"},
        {"/home/operator/a-set-up-file-with-a-long-name.csv", "a-set-up-file-with-a-long-name.csv"},
        {"/home/op/a-set-up-file-named-long.csv", "a-set-up-file-named-long.csv"},  // no room for "/.../"
        {"relative/folders/deep/below/here/plant.csv", ".../deep/below/here/plant.csv"},
        // Characters, not bytes: 30 characters in 31 bytes fit.
        {"/srv/Überwachung/Anlage7/a.csv", "/srv/Überwachung/Anlage7/a.csv"},
        {"/srv/xÜberwachung/Anlage7/a.csv", "/.../Anlage7/a.csv"},
    };
    for (auto [path, shown] : cases) {
        const std::string got = CRecentFileList::DisplayName(path);
        EXPECT_EQ(got, shown) << path;
    }
}

TEST(StatusPanes, LockPanesNameTheirKeyOnlyWhileItIsKnownToBeOn)
{
    EXPECT_EQ(CMainFrame::IndicatorText(1, true), "CAP");
    EXPECT_EQ(CMainFrame::IndicatorText(2, true), "NUM");
    EXPECT_EQ(CMainFrame::IndicatorText(3, true), "SCRL");
    for (std::optional<bool> state : {std::optional<bool>(false), std::optional<bool>()})
        for (std::size_t pane = 0; pane < 5; ++pane) EXPECT_EQ(CMainFrame::IndicatorText(pane, state), "") << pane;
}

} // namespace
