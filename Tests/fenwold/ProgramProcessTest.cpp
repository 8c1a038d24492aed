// The fenwold program as a process against the simulated PLC (or the outside
// PLC of TESSARO_TEST_PLC): headless start-up that goes online by itself, DDE
// clients that poke, advise and close it, one copy at a time across restarts,
// registration and activation by ProgID.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <sys/stat.h>

#include "fenwold/FenwoldApp.h"
#include "fenwold/PlcKinds.h"
#include "fenwold/PlcLink.h"
#include "kestrun/shell/app/OptionHost.h"
#include "platform/com/Bstr.h"
#include "platform/dde/Client.h"
#include "platform/opc/client/Activation.h"
#include "platform/opc/wire/SocketFolder.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"
#include "platform/win/VersionInfo.h"
#include "support/PlcsimProgram.h"
#include "support/ServerProcess.h"
#include "support/ScratchFolder.h"
#include "support/plcsim/TestPlc.h"
#include "support/shell/ShellHarness.h"

namespace {

namespace fs = std::filesystem;
using dde::Client;
using fenwoldtest::PlcLink;
using testsupport::ServerProcess;

constexpr WORD kCodeD = 0xA8;
constexpr WORD kCodeX = 0x9C;
constexpr const char* kWelcome = "Info : Tessaro for Melsec PLC Ethernet (by Zendry Software) ver4.5.1\n";
constexpr const char* kOnline = "Connected to server(";

std::string Program() { return testsupport::TestProgram("fenwold"); }

class FenwoldProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(Program().c_str(), X_OK) != 0)
            GTEST_SKIP() << "fenwold not built";
        if (!plc.ok())
            GTEST_SKIP() << "no PLC: " << plc.error();
        if (!plc.speaks(Kind().frame, Kind().ascii))
            GTEST_SKIP() << "the PLC does not speak " << Kind().name;
        ASSERT_TRUE(link.Open(plc.host(), plc.port(), Kind()));
        fs::create_directories(Runtime());
        fs::permissions(Runtime(), fs::perms::owner_all);
        config = WriteConfig("plant.csv", "PLC1");
        env = {{"TESSARO_REGISTRY", (scratch.path() / "reg").string()},
               {"TESSARO_DATA", (scratch.path() / "data").string()},
               {"XDG_RUNTIME_DIR", Runtime().string()},
               {"LANG", "C"}};
    }

    static const fenwoldtest::PlcKind& Kind() { return fenwoldtest::kPlcKinds[2]; }
    static DWORD At(DWORD number) { return PlcLink::Region(fenwoldtest::kProgramRegion) + number; }
    // The DDE item of a word or an input of the region.
    static std::string Word(DWORD number) { return PlcLink::Address(kCodeD, At(number)); }
    static std::string Input(DWORD number) { return PlcLink::Address(kCodeX, At(number)); }

    fs::path Runtime() const { return scratch.path() / "run"; }
    fs::path Endpoints() const { return Runtime() / "tessaro"; }

    // One device with eight words on a simulator of the test's own.
    fs::path OwnPlcConfig(int port) const
    {
        const fs::path path = scratch.path() / "hang.csv";
        std::ofstream(path) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                            << "PLC1," << Kind().protocol << "," << Kind().deviceType << ",,TCP1,127.0.0.1 " << port
                            << ",,\n"
                            << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                            << "PLC1,Words,Short,D100,8,3,rw,100,\n";
        return path;
    }

    // One device on the PLC: eight words that may be written, eight inputs that may not.
    std::string WriteConfig(const std::string& file, const std::string& device) const
    {
        const fs::path path = scratch.path() / file;
        std::ofstream(path) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                            << device << "," << Kind().protocol << "," << Kind().deviceType << ",,TCP1,"
                            << plc.host() << " " << plc.port() << ",,\n"
                            << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                            << device << ",Words,Short," << Word(0) << ",8,3,rw,100,\n"
                            << device << ",Inputs,Bit," << Input(0) << ",8,3,r,100,\n";
        return path.string();
    }

    void SetOption(const std::string& name, int value)
    {
        Profile().WriteProfileInt("Options", name, value);
    }
    void SetOption(const std::string& name, const std::string& value)
    {
        Profile().WriteProfileString("Options", name, value);
    }
    registry::Profile Profile()
    {
        return registry::Profile(reg, shell::FormRegistryKey(win::version::kMajor, win::version::kMinor), "Fenwold");
    }

    // Opens a conversation with the server's topic once the server serves DDE.
    bool Converse(Client& client, const std::string& topic, std::uint32_t& conversation)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (client.Open("Fenwold", Endpoints()) != Client::Status::Ok) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return client.Connect(topic, conversation) == Client::Status::Ok;
    }

    // Waits (bounded) until the PLC's word holds the value.
    bool PlcWordBecomes(DWORD number, WORD value)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (link.ReadWords(kCodeD, At(number), 1) != std::vector<WORD>{value}) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // Every file the server made under the runtime folder (sockets, locks, endpoints).
    std::vector<std::string> RuntimeFiles() const { return testsupport::FilesUnder(Runtime()); }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    plcsim::TestPlc plc;
    PlcLink link;
    std::string config;
    std::map<std::string, std::string> env;
};

TEST_F(FenwoldProcess, HeadlessItGoesOnlineByItselfAndDdeClientsPokeAndWatchThePlc)
{
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({config}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output(); // nobody asked it to

    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();
    // A poke is a queued write that reaches the PLC.
    ASSERT_EQ(client.Poke(conversation, Word(1), "4321"), Client::Status::Ok) << client.LastError();
    EXPECT_TRUE(PlcWordBecomes(1, 4321));
    // An input cannot be written.
    EXPECT_EQ(client.Poke(conversation, Input(0), "1"), Client::Status::Nack);
    EXPECT_EQ(client.LastError(), "There was an error in writing the data: block Inputs takes no writes (Write Allowed is off)");

    // The command-line client shows a value the PLC keeps changing.
    ServerProcess tool(testsupport::TestProgram("tessaro-dde"));
    ASSERT_TRUE(tool.Start({"advise", "--count", "3", "PLC1", Word(2)}, env));
    std::atomic<bool> done{false};
    std::thread mover([&] {
        for (WORD value = 1; !done && value < 400; ++value) {
            link.WriteWords(kCodeD, At(2), {value});
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    EXPECT_EQ(tool.Wait(), 0) << tool.Output();
    done = true;
    mover.join();
    std::istringstream lines(tool.Output());
    std::set<std::string> values;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.rfind(Word(2) + "\t192\t", 0), 0u) << line;
        values.insert(line);
    }
    EXPECT_EQ(values.size(), 3u) << tool.Output(); // three different values

    client.Close();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

// A string block is one text in its first item; an item has both its names.
TEST_F(FenwoldProcess, AStringIsOneTextInItsFirstItemAndAnItemAnswersToBothItsNames)
{
    const fs::path path = scratch.path() / "texts.csv";
    std::ofstream(path) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                        << "PLC1," << Kind().protocol << "," << Kind().deviceType << ",,TCP1," << plc.host() << " "
                        << plc.port() << ",,\n"
                        << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                        << "PLC1,Words,Short," << Word(0) << ",8,3,rw,100,\n"
                        << "PLC1,Names,String," << Word(100) << ",6,3,rw,100,\n";
    ASSERT_TRUE(link.WriteWords(kCodeD, At(3), {4321}));
    ASSERT_TRUE(link.WriteWords(kCodeD, At(103), {0x1234}));   // the word after the string
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({path.string()}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();

    ASSERT_EQ(client.Poke(conversation, Word(100), "ABCDE"), Client::Status::Ok) << client.LastError();
    EXPECT_TRUE(PlcWordBecomes(100, 0x4241) && PlcWordBecomes(102, 0x0045));
    const std::string tail = Word(101) + " is part of the 6-character string " + Word(100) + " (block Names): use " +
                             Word(100);
    // Refused with the reason, not after the wait for a first value.
    dde::ClientValue value;
    EXPECT_EQ(client.Request(conversation, Word(101), value), Client::Status::Nack);
    EXPECT_EQ(client.LastError(), tail);
    EXPECT_EQ(client.Poke(conversation, Word(101), "XY"), Client::Status::Nack);
    EXPECT_EQ(client.LastError(), tail);
    EXPECT_EQ(client.Poke(conversation, Word(100), "ABCDEFG"), Client::Status::Nack);
    EXPECT_EQ(client.LastError(), "There was an error in writing the data: a text of 7 characters does not fit the "
                                  "6-character string " + Word(100));
    EXPECT_EQ(link.ReadWords(kCodeD, At(103), 1), std::vector<WORD>{0x1234});   // nothing written past the string

    for (const std::string& name : {Word(0) + ":3", Word(3)}) {
        ASSERT_EQ(client.Request(conversation, name, value), Client::Status::Ok) << name << ": " << client.LastError();
        EXPECT_EQ(value.text, "4321") << name;
    }
    client.Close();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
}

// A PLC that keeps its connection open but stops answering (a hung CPU, a cable
// cut without a reset): its own simulator process, stopped and continued.
TEST_F(FenwoldProcess, ItemsOfAPlcThatStopsAnsweringLeaveGoodQualityAndComeBack)
{
    ServerProcess sim(testsupport::TestProgram("plcsim"), true);
    const int port = testsupport::StartPlcsim(sim, env);
    ASSERT_NE(port, 0) << sim.Output();
    const fs::path path = OwnPlcConfig(port);
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({path.string()}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();

    // The item's quality, asked until it is (or is no longer) good; bounded below
    // the time the error count alone would take to reach its maximum (about 50 s),
    // with room for a machine loaded by sanitizers and parallel tests.
    std::string seen;
    const auto qualityBecomes = [&](bool good) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(35);
        for (;;) {
            dde::ClientValue value;
            const Client::Status status = client.Request(conversation, "D100", value);
            seen = status == Client::Status::Ok ? "quality " + std::to_string(value.quality) : client.LastError();
            if (status == Client::Status::Ok && (value.quality == 192) == good)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    ASSERT_TRUE(qualityBecomes(true));
    ASSERT_EQ(::kill(sim.Pid(), SIGSTOP), 0);
    EXPECT_TRUE(qualityBecomes(false)) << seen << "\n" << server.Output();
    ASSERT_EQ(::kill(sim.Pid(), SIGCONT), 0);
    EXPECT_TRUE(qualityBecomes(true)) << seen << "\n" << server.Output() << sim.Output();

    client.Close();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
    sim.Stop(SIGTERM);
}

// The same PLC stopped while thousands of pokes wait for it: the write that gets no
// answer makes the items uncertain as a failed read would, and the writes behind
// it wait for the PLC instead of being sent one by one into it.
TEST_F(FenwoldProcess, ItemsOfAPlcThatStopsAnsweringWithWritesWaitingLeaveGoodQuality)
{
    ServerProcess sim(testsupport::TestProgram("plcsim"), true);
    const int port = testsupport::StartPlcsim(sim, env);
    ASSERT_NE(port, 0) << sim.Output();
    const fs::path path = OwnPlcConfig(port);
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({path.string()}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();
    // Every write is logged: the server's output is read all along, so a full pipe
    // never holds it up.
    const auto readOutput = [&] { server.WaitFor("\x01", 20); };
    std::string seen;
    // Bounded below the ten unanswered writes (about 50 s) that used to pass before
    // the line gave up, with room for a loaded machine.
    const auto qualityBecomes = [&](bool good) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(35);
        for (;;) {
            dde::ClientValue value;
            const Client::Status status = client.Request(conversation, "D100", value);
            seen = status == Client::Status::Ok ? "quality " + std::to_string(value.quality) : client.LastError();
            if (status == Client::Status::Ok && (value.quality == 192) == good)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            readOutput();
        }
    };
    ASSERT_TRUE(qualityBecomes(true));

    // Four clients poke 3,000 writes in all; the PLC stops while they are queued.
    constexpr int kPokers = 4;
    constexpr int kPokesEach = 750;
    std::atomic<int> acked{0};
    std::atomic<int> refused{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> pokers;
    for (int p = 0; p < kPokers; ++p) {
        pokers.emplace_back([&, p] {
            Client poker;
            std::uint32_t c = 0;
            if (!Converse(poker, "PLC1", c))
                return;
            const std::string item = "D10" + std::to_string(1 + p);
            for (int i = 0; i < kPokesEach; ++i) {
                if (poker.Poke(c, item, std::to_string(i)) == Client::Status::Ok)
                    ++acked;
                else
                    ++refused;
            }
            ++finished;
        });
    }
    const auto pokesDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (acked < 600 && std::chrono::steady_clock::now() < pokesDeadline)
        readOutput();
    ASSERT_EQ(::kill(sim.Pid(), SIGSTOP), 0);
    const auto stopped = std::chrono::steady_clock::now();
    const bool uncertain = qualityBecomes(false);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    RecordProperty("SecondsToLeaveGood", std::to_string(seconds));
    const auto pokersDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (finished < kPokers && std::chrono::steady_clock::now() < pokersDeadline)
        readOutput();
    for (std::thread& t : pokers)
        t.join();
    EXPECT_TRUE(uncertain) << seen << "\n" << server.Output();
    EXPECT_EQ(acked + refused, kPokers * kPokesEach);
    ASSERT_EQ(::kill(sim.Pid(), SIGCONT), 0);
    EXPECT_TRUE(qualityBecomes(true)) << seen << "\n" << server.Output() << sim.Output();
    // The waiting writes go out once the PLC answers again, the last one last.
    const auto lastWriteLands = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            dde::ClientValue value;
            if (client.Request(conversation, "D101", value) == Client::Status::Ok && value.quality == 192 &&
                value.text == std::to_string(kPokesEach - 1))
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            readOutput();
        }
    };
    EXPECT_TRUE(lastWriteLands()) << server.Output();

    client.Close();
    EXPECT_EQ(server.Stop(SIGINT), 0) << server.Output();
    sim.Stop(SIGTERM);
}

TEST_F(FenwoldProcess, DoExitIsAcknowledgedBeforeTheCloseNoticeAndTheServerEndsCleanly)
{
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({config}, env));
    ASSERT_TRUE(server.WaitFor(kWelcome)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "$System", conversation)) << client.LastError();
    ASSERT_EQ(client.Poke(conversation, "$DoExit", "1"), Client::Status::Ok) << client.LastError();
    dde::ClientValue value;
    EXPECT_EQ(client.NextData(value, 10000), Client::Status::Closed);
    EXPECT_EQ(server.Wait(), 0) << server.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

// Changes the first count words of the PLC to the value, each change a log line,
// and waits (bounded) until the server shows the last one over DDE.
bool ChangeWords(PlcLink& link, Client& client, std::uint32_t conversation, DWORD count, WORD value,
                 const std::function<std::string(DWORD)>& item)
{
    if (!link.WriteWords(kCodeD, PlcLink::Region(fenwoldtest::kProgramRegion), std::vector<WORD>(count, value)))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        dde::ClientValue shown;
        if (client.Request(conversation, item(count - 1), shown) == Client::Status::Ok &&
            shown.text == std::to_string(value))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST_F(FenwoldProcess, StandardOutputNobodyReadsNeverHoldsTheServerUp)
{
    constexpr DWORD kWords = 64;
    const fs::path path = scratch.path() / "busy.csv";
    std::ofstream(path) << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
                        << "PLC1," << Kind().protocol << "," << Kind().deviceType << ",,TCP1," << plc.host() << " "
                        << plc.port() << ",,\n"
                        << ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
                        << "PLC1,Words,Short," << Word(0) << "," << kWords << ",3,rw,50,\n";
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({path.string()}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();

    // A pager left unscrolled: a page of pipe, and 64 log lines a round, far more
    // than the pipe and the server's queue hold. DDE is answered all along.
    server.StopReading(4096);
    WORD value = 100;
    for (int round = 0; round < 60; ++round)
        ASSERT_TRUE(ChangeWords(link, client, conversation, kWords, ++value, Word)) << "round " << round;
    // How full the pipe gets depends on how the kernel fits each write into its page
    // (a write that does not fit waits whole): some of it is enough, the count below
    // shows that lines were dropped.
    EXPECT_GT(server.Unread(), 0);
    // Read again: it says how much the reader missed.
    server.ReadAgain();
    EXPECT_TRUE(server.WaitFor(" log lines were not written to standard output: it is not being read"))
        << server.Output();

    // Full again, SIGTERM ends it all the same, and nothing is left behind.
    server.StopReading(4096);
    for (int round = 0; round < 10; ++round)
        ASSERT_TRUE(ChangeWords(link, client, conversation, kWords, ++value, Word)) << "round " << round;
    EXPECT_GT(server.Unread(), 0);
    client.Close();
    EXPECT_EQ(server.Stop(SIGTERM, 10000), 0);
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

TEST_F(FenwoldProcess, AReaderOfStandardOutputThatWentNeitherEndsTheServerNorLeavesItsFiles)
{
    ServerProcess server(Program(), true);
    ASSERT_TRUE(server.Start({config}, env));
    ASSERT_TRUE(server.WaitFor(kOnline)) << server.Output();
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError();
    server.CloseOutput(); // `fenwold plant.csv | tee log`, tee ended first
    WORD value = 200;
    for (int round = 0; round < 5; ++round)
        ASSERT_TRUE(ChangeWords(link, client, conversation, 8, ++value, Word)) << "round " << round;
    ::kill(server.Pid(), SIGPIPE); // and from outside
    ASSERT_TRUE(ChangeWords(link, client, conversation, 8, ++value, Word));
    client.Close();
    EXPECT_EQ(server.Stop(SIGTERM, 10000), 0);
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

TEST_F(FenwoldProcess, StartedWithStandardOutputClosedItsLogLinesGoNowhereElse)
{
    ServerProcess server(Program(), true);
    server.StartWithoutOutput();
    ASSERT_TRUE(server.Start({config}, env));
    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "PLC1", conversation)) << client.LastError() << server.Output();
    // Else the first file or socket it opened would have taken the number, and the lines.
    std::error_code error;
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(server.Pid()) + "/fd/1", error), "/dev/null");
    ASSERT_TRUE(ChangeWords(link, client, conversation, 8, 300, Word));
    client.Close();
    EXPECT_EQ(server.Stop(SIGTERM, 10000), 0) << server.Output();
    EXPECT_EQ(server.Output().find("log lines were not written"), std::string::npos) << server.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

TEST_F(FenwoldProcess, AConfigurationThatIsNoRegularFileOrIsEmptyEndsItAtOnceWithWhy)
{
    const fs::path fifo = scratch.path() / "x.mme";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0); // nobody writes to it
    const fs::path empty = scratch.path() / "empty.mme";
    std::ofstream(empty).close();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {fifo.string(), "a named pipe, not a file"},
        {empty.string(), "empty"},
        {"/dev/zero", "a device, not a file"},
    };
    for (const auto& [path, why] : cases) {
        ServerProcess server(Program(), true);
        ASSERT_TRUE(server.Start({path}, env));
        EXPECT_EQ(server.Wait(10000), 1) << server.Output();
        EXPECT_NE(server.Output().find("Cannot open " + path + ": " + why), std::string::npos) << server.Output();
        EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{}) << path;
    }
}

TEST_F(FenwoldProcess, OneCopyRunsAndARestartKeepsItTheOneAndOpensTheFileAskedFor)
{
    // A reset opens the configured file again.
    SetOption("Load File On Startup", 1);
    SetOption("Load File PathName", config);
    ServerProcess first(Program(), true);
    ASSERT_TRUE(first.Start({}, env));
    ASSERT_TRUE(first.WaitFor(kWelcome)) << first.Output();
    const pid_t pid = first.Pid();
    const auto refused = [&] {
        ServerProcess other(Program(), true);
        if (!other.Start({}, env))
            return false;
        const int code = other.Wait();
        return code == 1 && other.Output().find("\"Tessaro for Melsec PLC Ethernet\" already running!") !=
                                std::string::npos;
    };
    EXPECT_TRUE(refused());

    Client client;
    std::uint32_t conversation = 0;
    ASSERT_TRUE(Converse(client, "$System", conversation)) << client.LastError();
    ASSERT_EQ(client.Poke(conversation, "$DoReset", "1"), Client::Status::Ok) << client.LastError();
    client.Close();
    // The same process runs the program again and holds the instance lock.
    ASSERT_TRUE(first.WaitFor(kWelcome, 20000, 2)) << first.Output();
    EXPECT_EQ(first.Pid(), pid);
    EXPECT_EQ(::kill(pid, 0), 0);
    EXPECT_TRUE(refused());

    const std::string other = WriteConfig("other.csv", "PLC2");
    ASSERT_TRUE(Converse(client, "$System", conversation)) << client.LastError();
    ASSERT_EQ(client.Poke(conversation, "$DoOpen", other), Client::Status::Ok) << client.LastError();
    client.Close();
    ASSERT_TRUE(first.WaitFor(kWelcome, 20000, 3)) << first.Output();
    Client after;
    ASSERT_TRUE(Converse(after, "PLC2", conversation)) << after.LastError();
    after.Close();

    EXPECT_EQ(first.Stop(SIGTERM), 0) << first.Output();
    EXPECT_EQ(RuntimeFiles(), std::vector<std::string>{});
}

TEST_F(FenwoldProcess, RegisteredItIsActivatedByProgIdServesThePlcAndUnregisteringRemovesItsKeys)
{
    ServerProcess registration(Program(), true);
    ASSERT_TRUE(registration.Start({"-regserver"}, env));
    EXPECT_EQ(registration.Wait(), 0) << registration.Output();
    EXPECT_NE(registration.Output().find("Register Tessaro for Melsec PLC Ethernet successful."), std::string::npos);
    std::string server;
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "CLSID\\{" + std::string(fenwold::kServerClsid) + "}\\LocalServer32",
                              "", server),
              registry::Status::Ok);
    EXPECT_EQ(fs::path(server), fs::canonical(Program()));

    // The activated server opens the configured file and closes once its last client has gone.
    SetOption("Load File On Startup", 1);
    SetOption("Load File PathName", config);
    SetOption("Auto Close On No Client", 1);
    ASSERT_TRUE(link.WriteWords(kCodeD, At(0), {1234}));
    {
        // What the started server finds in its environment.
        testsupport::EnvScope scope;
        for (const auto& [name, value] : env)
            scope.Set(name, value.c_str());
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            scope.Set(name, nullptr);
        CLSID clsid{};
        ASSERT_EQ(opc::CLSIDFromProgID(u"Tessaro.Fenwold.1", &clsid, &reg), S_OK);
        opc::ActivationOptions options;
        options.registry = &reg;
        options.socketDir = Endpoints() / "opc";
        opc::ComPtr<IUnknown> unk;
        ASSERT_EQ(opc::CoCreateInstanceEx(clsid, u"", IID_IOPCServer, unk.put(), options), S_OK);
        auto client = opc::ComPtr<IOPCServer>::attach(static_cast<IOPCServer*>(static_cast<void*>(unk.detach())));
        OPCHANDLE hGroup = 0;
        DWORD revised = 0;
        ASSERT_EQ(client->AddGroup(u"G", TRUE, 100, 1, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                                   unk.put()),
                  S_OK);
        auto group = opc::ComPtr<IOPCItemMgt>::attach(static_cast<IOPCItemMgt*>(static_cast<void*>(unk.detach())));
        OPCITEMDEF def;
        def.szItemID = com::toBstr("[PLC1]" + Word(0) + ":0");
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        ASSERT_EQ(group->AddItems(std::span(&def, 1), results, errors), S_OK);
        auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
        const OPCHANDLE item = results[0].hServer;
        std::vector<OPCITEMSTATE> states;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ASSERT_EQ(sync->Read(OPC_DS_CACHE, std::span(&item, 1), states, errors), S_OK);
        } while ((states[0].wQuality != OPC_QUALITY_GOOD || !(states[0].vDataValue == VARIANT::I2(1234))) &&
                 std::chrono::steady_clock::now() < deadline);
        EXPECT_EQ(states[0].wQuality, OPC_QUALITY_GOOD);
        EXPECT_EQ(states[0].vDataValue, VARIANT::I2(1234));
    }
    // The last client gone, the server closes; its socket goes with it.
    const fs::path socket = opc::socketPath(Endpoints() / "opc", *com::parseGuidLoose(fenwold::kServerClsid));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fs::exists(socket) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(socket));

    ServerProcess unregistration(Program(), true);
    ASSERT_TRUE(unregistration.Start({"-unregserver"}, env));
    EXPECT_EQ(unregistration.Wait(), 0) << unregistration.Output();
    for (const std::string& key : {std::string("Tessaro.Fenwold.1"), "CLSID\\{" + std::string(fenwold::kServerClsid) + "}",
                                   "AppID\\{" + std::string(fenwold::kServerClsid) + "}"})
        EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, key), registry::Status::NotFound) << key;
    EXPECT_EQ(reg.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ambersel Software\\Server Toolkit\\OPCServers\\Fenwold"),
              registry::Status::NotFound);
}

} // namespace
