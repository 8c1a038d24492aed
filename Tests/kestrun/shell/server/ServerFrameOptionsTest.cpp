#include "kestrun/shell/server/ServerFrame.h"

#include "platform/registry/Profile.h"
#include "platform/win/VersionInfo.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using registry::Hive;
using registry::Registry;
using registry::Status;

namespace {

using F = CdsServerFrame;

// One row per integer or time option: its registry value, default, accessors and static.
struct IntOption {
    const char* key;
    long defaultValue;
    long (*get)(const F&);
    bool (*set)(F&, long);
    long (*readStatic)();
    void (*writeStatic)(long);
    bool loadedIntoStatic;  // LoadOptions fills the static from the registry
    bool zeroCountsAsOne;
    bool isTime;
};

#define INT_OPTION(key, def, Name, staticName, loaded)                                                   \
    IntOption{key, def, [](const F& f) -> long { return f.Get##Name(); },                                \
              [](F& f, long v) { return f.Set##Name(static_cast<int>(v)); },                             \
              []() -> long { return F::staticName.load(); },                                             \
              [](long v) { F::staticName.store(static_cast<int>(v)); }, loaded, false, false}
#define TIME_OPTION(key, def, Name, staticName, zeroRule)                                                \
    IntOption{key, def, [](const F& f) -> long { return static_cast<long>(f.Get##Name()); },             \
              [](F& f, long v) { return f.Set##Name(static_cast<unsigned long>(v)); },                   \
              []() -> long { return static_cast<long>(F::staticName.load()); },                          \
              [](long v) { F::staticName.store(static_cast<unsigned long>(v)); }, true, zeroRule, true}

const std::vector<IntOption>& Options()
{
    static const std::vector<IntOption> table = {
        INT_OPTION("Auto Close On No Client", 0, AutoCloseOnNoClient, g_bAutoCloseOnNoClient, true),
        INT_OPTION("Enable Background Thread", 1, BackgroundThread, g_bBackgroundThread, true),
        INT_OPTION("Case Sensitive", 0, CaseSensitive, g_bCaseSensitive, true),
        TIME_OPTION("Check Monitor Interval", 10000, CheckMonitorInterval, g_dwCheckMonitorInterval, true),
        TIME_OPTION("Client Update Time", 250, ClientUpdateTime, g_dwClientUpdateTime, true),
        INT_OPTION("Cold Start On Online", 0, ColdStart, g_bColdStart, true),
        INT_OPTION("Confirm On Quit", 1, ConfirmOnQuit, g_bConfirmOnQuit, true),
        INT_OPTION("DataType Format", 2, DataTypeFormat, g_nDataTypeFormat, true),
        TIME_OPTION("Data Update Time", 10, DataUpdateTime, g_dwDataUpdateTime, true),
        INT_OPTION("Enable Dot Subset Address", 1, EnableDotSubset, g_bEnableDotSubset, true),
        INT_OPTION("Event Queue Size", 0, EventQueueSize, g_nEventQueueSize, true),
        INT_OPTION("Extended DataType As Float", 0, ExtendedDataTypeAsFloat, g_bExtendedDataTypeAsFloat, true),
        INT_OPTION("Fix Socket Memory Leakage on XP", 1, FixSocketLeakage, g_bFixSocketLeakage, true),
        INT_OPTION("Load File On Startup", 0, LoadFileOnStartup, g_bLoadFileOnStartup, true),
        TIME_OPTION("Logfile Autosave Period", 60000, LogAutoSavePeriod, g_dwLogAutoSavePeriod, false),
        INT_OPTION("Log To File", 0, LogToFile, g_bLogToFile, true),
        INT_OPTION("Minimize On Startup", 1, MinimizeOnStartup, g_bMinimizeOnStartup, true),
        INT_OPTION("Restore Online Status On Loading", 1, OnlineOnLoad, g_bOnlineOnLoad, true),
        INT_OPTION("Readback Modified Block", 1, ReadbackModifiedBlock, g_bReadbackModifiedBlock, true),
        IntOption{"Single Instance", 1, [](const F&) -> long { return F::GetSingleInstance(); },
                  [](F&, long v) { return F::SetSingleInstance(static_cast<int>(v)); },
                  []() -> long { return F::g_bSingleInstance.load(); },
                  [](long v) { F::g_bSingleInstance.store(static_cast<int>(v)); }, false, false, false},
        INT_OPTION("String BigEndian", 1, StringBigEndian, g_bStringBigEndian, true),
        INT_OPTION("Trace Level", 0, TraceLevel, g_nTraceLevel, true),
        INT_OPTION("Update Same Value", 1, UpdateSameValue, g_bUpdateSameValue, true),
        INT_OPTION("Enable Dynamic Scan", 0, UseDynamicScan, g_bUseDynamicScan, true),
        INT_OPTION("Use IOCTL", 0, UseIoctl, g_bUseIoctl, true),
        INT_OPTION("Use Service Mode", 0, UseServiceMode, g_bUseServiceMode, false),
        INT_OPTION("Enable System Mode", 1, UseSystemMode, g_bUseSystemMode, true),
        INT_OPTION("Enable System Time", 1, UseSystemTime, g_bUseSystemTime, true),
        INT_OPTION("View Actions", 0, ViewActions, g_bViewActions, true),
        INT_OPTION("View Commands", 1, ViewCommands, g_bViewCommands, true),
        INT_OPTION("View Errrs", 1, ViewErrors, g_bViewErrors, true),
        INT_OPTION("View Events", 1, ViewEvents, g_bViewEvents, true),
        INT_OPTION("View Initial Values", 0, ViewInitValues, g_bViewInitValues, true),
        TIME_OPTION("Waiting Time for Initial Data", 5000, WaitTimeInitialData, g_dwWaitTimeInitialData, false),
        INT_OPTION("Wild Search On Tag Create", 0, WildSearchOnTagCreate, g_bWildSearchOnTagCreate, true),
    };
    return table;
}

#undef INT_OPTION
#undef TIME_OPTION

// The statics as the program starts, taken before any test runs.
const std::vector<long> g_initialStatics = [] {
    std::vector<long> values;
    for (const IntOption& o : Options())
        values.push_back(o.readStatic());
    return values;
}();

// A value of the same kind that differs from the default.
long Sample(const IntOption& o)
{
    if (o.isTime)
        return o.defaultValue + 1234;
    return o.defaultValue == 0 ? 1 : (o.defaultValue == 1 ? 0 : o.defaultValue + 5);
}

constexpr const char* kOptionsPath = "Software\\Tessaro v4.5\\Fenwold\\Options";

class FakeHost : public shell::OptionHost {
public:
    std::vector<std::string> calls;
    bool answer = false;
    bool createWorks = true;
    std::vector<std::string> existing;

    void StartDataUpdateTimer(unsigned long ms) override { calls.push_back("data " + std::to_string(ms)); }
    void StartClientUpdateTimer(unsigned long ms) override { calls.push_back("client " + std::to_string(ms)); }
    void StartLogUpdateTimer(unsigned long ms) override { calls.push_back("log " + std::to_string(ms)); }
    void StopLogUpdateTimer() override { calls.push_back("log stop"); }
    bool AskYesNo(const std::string& text) override
    {
        calls.push_back("ask " + text);
        return answer;
    }
    void ShowMessage(const std::string& text) override { calls.push_back("show " + text); }
    std::string DefaultLogFolder() override { return "/data/Tessaro ver4.5/log"; }
    bool FolderExists(const std::string& path) override
    {
        return std::find(existing.begin(), existing.end(), path) != existing.end();
    }
    bool CreateFolder(const std::string& path) override
    {
        calls.push_back("create " + path);
        return createWorks;
    }
};

class ServerFrameOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const IntOption& o : Options())
            savedStatics.push_back(o.readStatic());
        shell::SetCurrentProfile(&profile);
        frame.SetOptionHost(&host);
    }
    void TearDown() override
    {
        shell::SetCurrentProfile(nullptr);
        for (std::size_t i = 0; i < Options().size(); ++i)
            Options()[i].writeStatic(savedStatics[i]);
    }

    void ScrambleStatics()
    {
        for (const IntOption& o : Options())
            o.writeStatic(777);
    }

    support::ScratchFolder folder;
    Registry reg{folder.path()};
    registry::Profile profile{reg, shell::FormRegistryKey(win::version::kMajor, win::version::kMinor), "Fenwold"};
    FakeHost host;
    CdsServerFrame frame;
    std::vector<long> savedStatics;
};

} // namespace

TEST(ServerOptions, RegistryKeyIsFormedFromTheVersion)
{
    struct Case {
        unsigned major, minor;
        const char* key;
    };
    const Case cases[] = {{4, 51, "Tessaro v4.5"}, {3, 12, "Tessaro v3.1"}, {4, 9, "Tessaro v4.0"}, {10, 0, "Tessaro v10.0"}};
    for (const Case& c : cases)
        EXPECT_EQ(shell::FormRegistryKey(c.major, c.minor), c.key);
    EXPECT_EQ(shell::FormRegistryKey(win::version::kMajor, win::version::kMinor), "Tessaro v4.5");
    EXPECT_STREQ(CdsServerFrame::GetProfileOption(), "Options");
}

TEST(ServerOptions, StaticsStartAtTheDefaults)
{
    for (std::size_t i = 0; i < Options().size(); ++i)
        EXPECT_EQ(g_initialStatics[i], Options()[i].defaultValue) << Options()[i].key;
    EXPECT_EQ(CdsServerFrame::g_bEnableStatusBarUpdating.load(), 1);
}

TEST_F(ServerFrameOptionsTest, EmptyRegistryGivesEveryDefault)
{
    ScrambleStatics();
    frame.LoadOptions(false);
    for (const IntOption& o : Options()) {
        EXPECT_EQ(o.get(frame), o.defaultValue) << o.key;
        if (o.loadedIntoStatic) {
            EXPECT_EQ(o.readStatic(), o.defaultValue) << o.key;
        }
    }
    EXPECT_EQ(frame.GetLoadFilePathName(), "");
    EXPECT_EQ(frame.GetNullStringValue(), "");
    EXPECT_EQ(frame.GetLogFolder(), "/data/Tessaro ver4.5/log");
    EXPECT_EQ(frame.LogFolder(), "/data/Tessaro ver4.5/log");
    EXPECT_EQ(frame.LoadFilePathName(), "");
    // Reading stores nothing.
    EXPECT_FALSE(std::filesystem::exists(reg.HiveFile(HKEY_CURRENT_USER)));
}

TEST_F(ServerFrameOptionsTest, SettersStoreUnderTheOptionsKeyAndSetTheStatic)
{
    for (const IntOption& o : Options()) {
        const long v = Sample(o);
        ASSERT_TRUE(o.set(frame, v)) << o.key;
        DWORD stored = 0;
        ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, kOptionsPath, o.key, stored), Status::Ok) << o.key;
        EXPECT_EQ(static_cast<long>(stored), v) << o.key;
        EXPECT_EQ(o.get(frame), v) << o.key;
        EXPECT_EQ(o.readStatic(), v) << o.key;
    }
}

TEST_F(ServerFrameOptionsTest, LoadFillsTheStaticsFromStoredValues)
{
    for (const IntOption& o : Options())
        ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, kOptionsPath, o.key, static_cast<DWORD>(Sample(o))), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, kOptionsPath, "Load File PathName", "/cfg/plant.mme"), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, kOptionsPath, "Log Folder", "/var/log/fenwold"), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, kOptionsPath, "Null String Value", "(null)"), Status::Ok);

    for (const IntOption& o : Options())
        o.writeStatic(o.defaultValue);
    frame.LoadOptions(false);
    for (const IntOption& o : Options()) {
        if (o.loadedIntoStatic)
            EXPECT_EQ(o.readStatic(), Sample(o)) << o.key;
        else
            EXPECT_EQ(o.readStatic(), o.defaultValue) << o.key << " is not loaded";
    }
    EXPECT_EQ(frame.LoadFilePathName(), "/cfg/plant.mme");
    EXPECT_EQ(frame.LogFolder(), "/var/log/fenwold");
    EXPECT_EQ(frame.NullStringValue(), "(null)");
    EXPECT_TRUE(host.calls.empty());  // loading restarts no timer
}

TEST_F(ServerFrameOptionsTest, ZeroTimesFollowTheirRules)
{
    for (const IntOption& o : Options()) {
        if (!o.isTime)
            continue;
        const long expected = o.zeroCountsAsOne ? 1 : 0;
        // Given to the setter.
        o.set(frame, 0);
        DWORD stored = 99;
        ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, kOptionsPath, o.key, stored), Status::Ok);
        EXPECT_EQ(static_cast<long>(stored), expected) << o.key;
        EXPECT_EQ(o.readStatic(), expected) << o.key;
        // Stored by hand.
        ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, kOptionsPath, o.key, 0), Status::Ok);
        EXPECT_EQ(o.get(frame), expected) << o.key;
        o.writeStatic(555);
        frame.LoadOptions(false);
        EXPECT_EQ(o.readStatic(), expected) << o.key;
    }
}

TEST_F(ServerFrameOptionsTest, TimeSettersRestartTheirTimers)
{
    struct Case {
        const char* name;
        bool (*set)(F&, unsigned long);
        unsigned long value;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"data", [](F& f, unsigned long v) { return f.SetDataUpdateTime(v); }, 50, {"data 50"}},
        {"data zero", [](F& f, unsigned long v) { return f.SetDataUpdateTime(v); }, 0, {"data 1"}},
        {"client", [](F& f, unsigned long v) { return f.SetClientUpdateTime(v); }, 300, {"client 300"}},
        {"client zero", [](F& f, unsigned long v) { return f.SetClientUpdateTime(v); }, 0, {"client 1"}},
        {"log", [](F& f, unsigned long v) { return f.SetLogAutoSavePeriod(v); }, 30000, {"log 30000"}},
        // 0 means no auto-save, not a timer firing without pause.
        {"log zero", [](F& f, unsigned long v) { return f.SetLogAutoSavePeriod(v); }, 0, {"log stop"}},
        {"monitor", [](F& f, unsigned long v) { return f.SetCheckMonitorInterval(v); }, 0, {}},
        {"initial data", [](F& f, unsigned long v) { return f.SetWaitTimeInitialData(v); }, 0, {}},
    };
    for (const Case& c : cases) {
        host.calls.clear();
        EXPECT_TRUE(c.set(frame, c.value)) << c.name;
        EXPECT_EQ(host.calls, c.calls) << c.name;
    }
}

TEST_F(ServerFrameOptionsTest, ServiceModeStaticComesFromTheApplicationMode)
{
    ASSERT_TRUE(frame.SetUseServiceMode(1));
    EXPECT_EQ(CdsServerFrame::g_bUseServiceMode.load(), 1);
    frame.LoadOptions(false);
    EXPECT_EQ(CdsServerFrame::g_bUseServiceMode.load(), 0);
    EXPECT_EQ(frame.GetUseServiceMode(), 1);
    ASSERT_TRUE(frame.SetUseServiceMode(0));
    frame.LoadOptions(true);
    EXPECT_EQ(CdsServerFrame::g_bUseServiceMode.load(), 1);
}

TEST_F(ServerFrameOptionsTest, SingleInstanceIsReadWithoutAFrame)
{
    EXPECT_EQ(CdsServerFrame::GetSingleInstance(), 1);
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, kOptionsPath, "Single Instance", 0), Status::Ok);
    EXPECT_EQ(CdsServerFrame::GetSingleInstance(), 0);
    frame.LoadOptions(false);
    EXPECT_EQ(CdsServerFrame::g_bSingleInstance.load(), 1);
}

TEST_F(ServerFrameOptionsTest, DeletingTheSectionRestoresTheDefaults)
{
    for (const IntOption& o : Options())
        o.set(frame, Sample(o));
    frame.SetNullStringValue("n/a");
    ASSERT_EQ(reg.DeleteKey(HKEY_CURRENT_USER, kOptionsPath), Status::Ok);
    frame.LoadOptions(false);
    for (const IntOption& o : Options()) {
        EXPECT_EQ(o.get(frame), o.defaultValue) << o.key;
        if (o.loadedIntoStatic) {
            EXPECT_EQ(o.readStatic(), o.defaultValue) << o.key;
        }
    }
    EXPECT_EQ(frame.NullStringValue(), "");
}

TEST_F(ServerFrameOptionsTest, StringSettersStoreAndKeepACopy)
{
    ASSERT_TRUE(frame.SetLoadFilePathName("C:\\Data\\config\\plant \"A\".mme"));
    ASSERT_TRUE(frame.SetNullStringValue("line\nbreak"));
    ASSERT_TRUE(frame.SetLogFolder("/var/log/fenwold", 0, 0));
    EXPECT_EQ(frame.GetLoadFilePathName(), "C:\\Data\\config\\plant \"A\".mme");
    EXPECT_EQ(frame.LoadFilePathName(), "C:\\Data\\config\\plant \"A\".mme");
    EXPECT_EQ(frame.GetNullStringValue(), "line\nbreak");
    EXPECT_EQ(frame.NullStringValue(), "line\nbreak");
    EXPECT_EQ(frame.GetLogFolder(), "/var/log/fenwold");
    EXPECT_EQ(frame.LogFolder(), "/var/log/fenwold");
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ServerFrameOptionsTest, LogFolderCreation)
{
    struct Case {
        const char* name;
        std::string folder;
        int create, quiet;
        bool exists, answer, createWorks;
        std::vector<std::string> calls;
        bool result;
    };
    const std::string f = "/logs/new";
    const Case cases[] = {
        {"store only", f, 0, 0, false, true, true, {}, true},
        {"empty text", "", 1, 0, false, true, true, {}, true},
        {"exists", f, 1, 0, true, true, true, {}, true},
        {"asked yes", f, 1, 0, false, true, true, {"ask Create folder (/logs/new)?", "create /logs/new"}, true},
        {"asked no", f, 1, 0, false, false, true, {"ask Create folder (/logs/new)?"}, true},
        {"quiet", f, 1, 1, false, false, true, {"create /logs/new"}, true},
        {"create fails", f, 1, 1, false, false, false, {"create /logs/new", "show Cannot create folder!"}, false},
    };
    for (const Case& c : cases) {
        host.calls.clear();
        host.answer = c.answer;
        host.createWorks = c.createWorks;
        host.existing = c.exists ? std::vector<std::string>{c.folder} : std::vector<std::string>{};
        EXPECT_EQ(frame.SetLogFolder(c.folder, c.create, c.quiet), c.result) << c.name;
        EXPECT_EQ(host.calls, c.calls) << c.name;
        EXPECT_EQ(frame.GetLogFolder(), c.folder) << c.name;  // stored whatever the answer
    }
}

TEST_F(ServerFrameOptionsTest, StoredOptionsFileText)
{
    frame.SetDataUpdateTime(0);
    frame.SetLogFolder("C:\\Tessaro\\log", 0, 0);
    frame.SetEventQueueSize(-1);
    std::ifstream in(reg.HiveFile(HKEY_CURRENT_USER), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "Windows Registry Editor Version 5.00\n"
              "\n[HKEY_CURRENT_USER\\Software]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Tessaro v4.5]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold]\n"
              "\n[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold\\Options]\n"
              "\"Data Update Time\"=dword:00000001\n"
              "\"Log Folder\"=\"C:\\\\Tessaro\\\\log\"\n"
              "\"Event Queue Size\"=dword:ffffffff\n");
    EXPECT_EQ(frame.GetEventQueueSize(), -1);
}

TEST_F(ServerFrameOptionsTest, UnreadableHiveGivesDefaultsAndFailedStores)
{
    std::filesystem::create_directories(reg.Root());
    {
        std::ofstream out(reg.HiveFile(HKEY_CURRENT_USER), std::ios::trunc);
        out << "this is not a hive\n";
    }
    for (const IntOption& o : Options()) {
        EXPECT_EQ(o.get(frame), o.defaultValue) << o.key;
        EXPECT_FALSE(o.set(frame, Sample(o))) << o.key;
        EXPECT_EQ(o.readStatic(), Sample(o)) << o.key << ": the running program still takes the value";
    }
    EXPECT_FALSE(frame.SetLoadFilePathName("/x"));
    EXPECT_EQ(frame.LoadFilePathName(), "/x");
}
