// The server document: its archive, its CSV import and export, online and offline.
#include "kestrun/shell/server/ServerDoc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "kestrun/comm/config/EmulConfig.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/win/RegularFile.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "support/model/ArchiveBytes.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using testsupport::ArchiveBytes;
using testsupport::ScriptedAnswers;
using testsupport::ScriptedFileDialogs;

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class ServerDocTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell.OpenDocument());
        doc = shell.Doc();
    }
    std::filesystem::path Path(const char* name) const { return shell.scratch.path() / name; }
    void Export(const std::filesystem::path& path)
    {
        ScriptedFileDialogs files({path.string()});
        doc->OnFileExport();
    }
    void Import(const std::filesystem::path& path)
    {
        ScriptedFileDialogs files({path.string()});
        doc->OnFileImport();
    }
    // An empty new map for the document, which lets its own go.
    CdsDeviceMap* NewMap()
    {
        doc->DeleteContents();
        return doc->NewDevices();
    }
    static CdsDeviceObject* AddDevice(CdsDeviceMap& map, const char* name, const char* port, const char* address)
    {
        auto* device = new testsupport::TestServerDevice;
        device->m_strName = name;
        device->m_strProtocol = "MC3E";
        device->m_nDeviceType = 3;
        device->m_strPort = port;
        device->m_strAddress = address;
        return map.AddDeviceObject(device, TRUE);
    }
    static CdsMemoryArray* AddBlock(CdsDeviceObject* device, const char* name, const char* address, int type)
    {
        auto* block = new testsupport::TestServerBlock(1);
        block->SetName(name);
        block->SetAddr(address);
        block->SetDefaultDataType(type);
        return device->AddMemoryArray(block, true);
    }
    static void AddEmulLine(CdsDeviceObject* device, int line, WORD id)
    {
        auto config = std::make_unique<CdsEmulConfig>();
        config->SetPortId(id);
        config->m_strPort = "EMUL" + std::to_string(id);
        device->SetCommConfig(line, std::move(config));
    }

    testsupport::ShellHarness shell;
    ScriptedAnswers boxes;
    testsupport::TestServerDoc* doc = nullptr;
};

// --- archive ---

// Two devices: PLC1 on all four lines with a word and a bit block, PLC2 on its
// primary line with a text block.
std::vector<BYTE> GoldenDocument()
{
    ArchiveBytes b;
    // A line made by AddEmulLine names its port; the device's own first line does not.
    auto emul = [&b](WORD id, bool named) {
        b.I32(5).U16(id).I32(-1);
        for (int i = 0; i < 6; ++i)
            b.Str(named && i == 2 ? "EMUL" + std::to_string(id) : "");
        b.I32(10000);
    };
    auto settings = [&b](const std::string& name, const std::string& address, const std::string& port) {
        b.Str(name).Str("").I32(3).I32(1000).I32(2000);
        b.Str(address).Str("MC3E").Str(port).Str("").Str("");
        b.I32(0).I32(1000).I32(2000).I32(0).I32(0).I32(1).I32(500).I32(5000).I32(10).I32(0).I32(5000);
        b.I32(0).I32(1).I32(0).I32(1).I32(1).I32(1).I32(1).I32(100).I32(0);
    };
    auto block = [&b](const std::string& name, const std::string& address, int type, int scan, int priority) {
        b.Str(name).Str(address).Str("").U16(0xFFFF).I32(0).I32(scan).I32(priority).I32(1).I32(1).I32(type).I32(2);
    };
    b.U16(2).Str("[EMUL1]:1/3").NewClass("TestServerDevice");    // 1, device 2
    b.U16(2).NewClass("TestServerBlock");                        // 3, block 4
    b.U16(2).NewClass("CdsMemoryObject").Str("D100:0").Str("D100:0").I32(-1).I32(3); // 5, point 6
    b.OldClass(5).Str("D100:1").Str("D100:1").I32(-1).I32(5);   // point 7
    block("Words", "D100", BRISANT_WORD, 100, 3);
    b.OldClass(3).U16(2);                                        // block 8
    for (const char* point : {"M0:0", "M0:1"})
        b.OldClass(5).Str(point).Str(point).I32(-1).I32(3);     // points 9, 10
    block("Flags", "M0", BRISANT_BOOL, 200, 0);
    b.I32(5);
    for (WORD id : {1, 3, 2, 4}) // primary master, primary backup, secondary master, secondary backup
        emul(id, id != 1);
    settings("PLC1", "1", "EMUL1");
    b.Str("[EMUL2]:2/3").OldClass(1).U16(1).OldClass(3).U16(2); // device 11, block 12
    for (const char* point : {"D200:0", "D200:1"})
        b.OldClass(5).Str(point).Str(point).I32(-1).I32(3);     // points 13, 14
    block("Text", "D200", BRISANT_STRING, 1000, 3);
    b.I32(5);
    for (WORD id : {2, 0xFFFF, 0xFFFF, 0xFFFF})
        emul(id, id == 2);
    settings("PLC2", "2", "EMUL2");
    b.I32(1); // online on load
    return b.Bytes();
}

TEST_F(ServerDocTest, ADocumentStoresItsGoldenBytesAndLoadsBackTheSame)
{
    CdsDeviceMap* map = NewMap();
    CdsDeviceObject* plc1 = AddDevice(*map, "PLC1", "EMUL1", "1");
    for (auto [line, id] : {std::pair{1, 2}, {2, 3}, {3, 4}})
        AddEmulLine(plc1, line, static_cast<WORD>(id));
    AddBlock(plc1, "Words", "D100", BRISANT_WORD)->GetMemoryObject(1)->SetDataType(BRISANT_LONG);
    CdsMemoryArray* flags = AddBlock(plc1, "Flags", "M0", BRISANT_BOOL);
    flags->SetPriority(0);
    flags->SetScanTime(200);
    CdsDeviceObject* plc2 = AddDevice(*map, "PLC2", "EMUL2", "2");
    AddEmulLine(plc2, 0, 2);
    AddBlock(plc2, "Text", "D200", BRISANT_STRING)->SetScanTime(1000);
    ASSERT_TRUE(doc->InitDevices(map));
    ASSERT_TRUE(doc->OnSaveDocument(Path("plant.mme").string()));
    const std::vector<BYTE> bytes = GoldenDocument();
    const std::string golden(bytes.begin(), bytes.end());
    EXPECT_EQ(ReadFile(Path("plant.mme")), golden);

    ASSERT_TRUE(doc->OnOpenDocument(Path("plant.mme").string()));
    CdsDeviceObject* loaded = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(loaded, plc1);
    EXPECT_EQ(loaded->GetSecondaryBackupConfig()->GetPortId(), 4);
    EXPECT_EQ(loaded->GetMemoryArrayByName("FLAGS")->GetScanTime(), 200);
    ASSERT_TRUE(doc->OnSaveDocument(Path("again.mme").string()));
    EXPECT_EQ(ReadFile(Path("again.mme")), golden);
}

TEST_F(ServerDocTest, AnEmptyDocumentIsSavedAsAnEmptyMapAndGoesOnlineWithoutOne)
{
    doc->DeleteContents();
    EXPECT_EQ(doc->SetOnline(1, 0), 1);
    EXPECT_EQ(doc->SetOnline(1, 0), 0); // no change
    ASSERT_TRUE(doc->OnSaveDocument(Path("empty.mme").string()));
    EXPECT_EQ(ReadFile(Path("empty.mme")), std::string("\0\0\1\0\0\0", 6));
    ASSERT_TRUE(doc->OnOpenDocument(Path("empty.mme").string()));
    EXPECT_NE(doc->GetDeviceMap(FALSE), nullptr);
}

TEST_F(ServerDocTest, ADocumentThatIsNoRegularFileOrIsEmptyIsRefusedAtOnceWithWhy)
{
    ASSERT_EQ(::mkfifo(Path("fifo.mme").c_str(), 0600), 0); // no writer: opening it would wait for ever
    WriteFile(Path("zero.mme"), "");
    const std::string big = Path("big.mme").string();
    WriteFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), off_t(win::kMaxDocumentBytes + 1)), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Path("fifo.mme").string(), "a named pipe, not a file"},
        {Path("zero.mme").string(), "empty"},
        {"/dev/zero", "a device, not a file"},
        {big, "too large (67108865 bytes, at most 67108864)"},
    };
    for (const auto& [path, why] : cases) {
        boxes.asked.clear();
        EXPECT_FALSE(doc->OnOpenDocument(path)) << path;
        EXPECT_EQ(boxes.asked, std::vector<std::string>{"Cannot open " + path + ": " + why});
    }
    // A CSV file of that size is no configuration either.
    ::rename(big.c_str(), Path("big.csv").c_str());
    EXPECT_FALSE(doc->ImportFromCsvFile(Path("big.csv").string(), 0));
    EXPECT_EQ(shell.CountLog("Cannot read " + Path("big.csv").string() + ": too large (67108865 bytes, at most 67108864)."), 1);
}

// Going offline, a document that stays registers its devices again; one that
// closes does not: its map goes right after.
TEST_F(ServerDocTest, AClosingDocumentTakesItsDevicesOfflineWithoutRegisteringThemAgain)
{
    struct CountingDevice : testsupport::TestServerDevice {
        BOOL OnInitDeviceObject() override
        {
            ++inits;
            return TRUE;
        }
        void OnOffline() override { ++offline; }
        int& inits;
        int& offline;
        CountingDevice(int& i, int& o) : inits(i), offline(o) {}
    };
    int inits = 0;
    int offline = 0;
    CdsDeviceMap* map = NewMap();
    auto* device = new CountingDevice(inits, offline);
    device->m_strName = "PLC1";
    device->m_nDeviceType = 3;
    device->m_strPort = "EMUL1";
    device->m_strAddress = "1";
    ASSERT_NE(map->AddDeviceObject(device, TRUE), nullptr);
    ASSERT_TRUE(doc->InitDevices(map));
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    ASSERT_EQ(doc->SetOnline(0, 0), 1);
    EXPECT_EQ(offline, 1);
    ASSERT_EQ(doc->SetOnline(1, 0), 1);
    inits = 0;
    doc->DeleteContents();
    EXPECT_EQ(offline, 2);
    EXPECT_EQ(inits, 0);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
}

// --- CSV ---

TEST_F(ServerDocTest, AnImportStoppedByASignalLeavesNoHalfConfiguration)
{
    std::string text = ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\r\n";
    for (int i = 0; i < 3000; ++i)
        text += "S" + std::to_string(i) + ",MC3E,3," + std::to_string(i) + ",TCP1,10.0.0.5 5000,,\r\n";
    WriteFile(Path("big.csv"), text);
    shell.app.RequestStop();
    EXPECT_FALSE(doc->ImportFromCsvFile(Path("big.csv").string(), 0));
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("S0"), nullptr);
    EXPECT_EQ(shell.CountLog("stopped: the server is closing."), 1);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(ServerDocTest, AHandWrittenFileImportsDevicesTheirLinesAndBlocksOfBothLayouts)
{
    WriteFile(Path("plant.csv"), ";\r\n; by hand\r\n"
                                 ":DEVICE,Protocol,DeviceType,Address,Port,Setting,Options,Description\r\n"
                                 "Press,MC3E,H3,0,TCP1,10.0.0.5 5000,,Press line\r\n"
                                 "Press,MC3E,3,0,TCP2,10.0.0.6 5000,,Press backup\r\n"
                                 "Oven,MC1E,&1,FF,EMUL2,,,Oven\r\n"
                                 ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\r\n"
                                 "Press,Speed,Word,D100,4,0,r,250,Speeds\r\n"
                                 ":memory\r\n"
                                 "Oven,D10,Float,2,3,W,100,Temperatures\r\n");
    Import(Path("plant.csv"));
    EXPECT_EQ(shell.CountLog("Importing from file"), 1);
    EXPECT_EQ(shell.CountLog("Converting old style memory info"), 1);
    EXPECT_EQ(shell.CountLog("Cannot import"), 0);
    CdsDeviceObject* press = CdsDeviceMap::GetDeviceObjectByTopic("PRESS");
    ASSERT_NE(press, nullptr);
    EXPECT_EQ(press->m_nDeviceType, 3);
    EXPECT_EQ(press->GetSecondaryMasterConfig()->GetPortId(), 2);
    CdsMemoryArray* speed = press->GetMemoryArrayByName("SPEED");
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->GetMaxMemories(), 4);
    EXPECT_FALSE(speed->IsWriteAllowed());
    CdsMemoryArray* temps = CdsDeviceMap::GetDeviceObjectByTopic("OVEN")->GetMemoryArrayByAddr("D10");
    ASSERT_NE(temps, nullptr);
    EXPECT_EQ(temps->GetDefaultDataType(), BRISANT_FLOAT);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(ServerDocTest, TheExportWritesItsGoldenTextAndNamesEachFurtherLine)
{
    CdsDeviceMap* map = NewMap();
    CdsDeviceObject* plc = AddDevice(*map, "PLC9", "EMUL1", "1");
    plc->m_strDescription = "Hall 1, north\r\nwall";
    AddEmulLine(plc, 2, 3); // a primary backup, no secondary master
    AddBlock(plc, "Words", "D0", BRISANT_WORD)->SetDescription("a,b");
    ASSERT_TRUE(doc->InitDevices(map));

    Export(Path("out.csv"));
    EXPECT_EQ(ReadFile(Path("out.csv")), ";\r\n;Tessaro test server (ver4.5.1)\r\n;\r\n"
                                         ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\r\n"
                                         "PLC9,MC3E,3,1,EMUL1,,,Hall 1  north  wall\r\n"
                                         "PLC9,,-1,,EMUL3,,,,=\r\n"
                                         ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\r\n"
                                         "PLC9,Words,Word,D0,2,3,rw,100,a b\r\n"
                                         ";\r\n");
    EXPECT_EQ(shell.CountLog("commas and line breaks in the texts of topic [PLC9]"), 1);
    EXPECT_EQ(shell.CountLog("commas and line breaks in the texts of item [PLC9]Words"), 1);
    EXPECT_EQ(shell.CountLog("Exporting to file"), 1);
    Import(Path("out.csv"));
    CdsDeviceObject* again = CdsDeviceMap::GetDeviceObjectByTopic("PLC9");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->IsValidSecondaryMasterConfig());
    EXPECT_EQ(again->GetPrimaryBackupConfig()->GetPortId(), 3);
}

TEST_F(ServerDocTest, ExportImportExportIsByteIdenticalForEveryTypeAndEveryLine)
{
    CdsDeviceMap* map = NewMap();
    CdsDeviceObject* plc = AddDevice(*map, "PLC1", "EMUL1", "1");
    for (int line = 0; line < 4; ++line)
        AddEmulLine(plc, line, static_cast<WORD>(line + 1));
    for (int type = -1; type <= 22; ++type)
        AddBlock(plc, ("T" + std::to_string(type + 1)).c_str(), ("D" + std::to_string(100 + type)).c_str(), type)
            ->SetDescription(type == 0 ? "on, off" : "");
    ASSERT_TRUE(doc->InitDevices(map));

    Export(Path("first.csv"));
    Import(Path("first.csv"));
    EXPECT_EQ(shell.CountLog("Cannot import"), 0);
    Export(Path("second.csv"));
    EXPECT_EQ(ReadFile(Path("second.csv")), ReadFile(Path("first.csv")));
    CdsDeviceObject* again = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetSecondaryBackupConfig()->GetPortId(), 4);
    EXPECT_EQ(again->GetMemoryArrayByName("T10")->GetDefaultDataType(), 9); // "String(Handle)"
}

TEST_F(ServerDocTest, ABadLineIsReportedAndSkippedAndLaterLinesKeepTheirOwnSettings)
{
    WriteFile(Path("bad.csv"), ":Device\n"
                               "A,P,1,10.0.0.1,TCP1 192.168.0.1,10.0.0.1 5001,,\n"
                               "B,P,1,COM1,COM1,9600 E 7,,\n"
                               "C,P,1,10.0.0.3,TCP3,10.0.0.3 5003,,\n"
                               "$Mine,P,1,X,TCP4,10.0.0.4 5004,,\n"
                               ":Block\n"
                               "NOBODY,W,Word,D0,2,3,rw,100,\n"
                               "C,W,Word,D0,2,3,rw,100,\n"
                               "C,W,Word,D0,2,3,rw,100,\n");
    Import(Path("bad.csv"));
    EXPECT_EQ(shell.CountLog("Cannot import Line 3 = B(P,1,COM1,COM1,9600 E 7)!"), 1);
    EXPECT_EQ(shell.CountLog("Cannot import Line 5 = $Mine("), 1);
    EXPECT_EQ(shell.CountLog("Cannot import Line 7 = NOBODY("), 1);
    EXPECT_EQ(shell.CountLog("Cannot import Line 9 = C(W,"), 1); // the same block again
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("B"), nullptr);
    CdsDeviceObject* c = CdsDeviceMap::GetDeviceObjectByTopic("C");
    ASSERT_NE(c, nullptr);
    auto* config = dynamic_cast<CdsTcpipConfig*>(c->GetPrimaryMasterConfig());
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->GetPortId(), 3);
    EXPECT_EQ(config->m_strLocalAddress, ""); // not A's
    EXPECT_EQ(config->m_nRemotePort, 5003);
    EXPECT_EQ(c->GetMemoryArrayList().GetCount(), 1);
}

// Every message names the file and the line as an editor counts it, comments and
// blank lines included; a line that can never work is refused with its true reason,
// one whose Priority or ScanTime cannot be used says which value it took.
TEST_F(ServerDocTest, EveryLineIsNamedByFileAndEditorLineWithItsTrueReason)
{
    struct Case {
        const char* lines; // from line 7, after a comment header and PLC on line 6
        const char* logged; // after "<path>:"
        bool refused;
    } cases[] = {
        {"A,P,1,,TCP1\n", "7: device line has 5 fields, 8 expected.", true},
        {"A,P,1,,XYZ1,10.0.0.1 5000,,\n", "7: Port: 'XYZ1' names no port kind (COM, TCP, UDP, EMUL, ...).", true},
        {"A,P,1,,COM1,9600 E 7,,\n", "7: Setting: '9600 E 7' is not four words", true},
        {"A,P,1,,TCP1,10.0.0.1,,\n", "7: Setting: '10.0.0.1' is not two words", true},
        {"A,P,1,,EMUL1,,,\n", "7: Port 'EMUL1', Address '' and DeviceType 1 are those of device PLC already", true},
        {"$MINE,P,1,X,TCP4,10.0.0.4 5004,,\n", "7: the name $MINE begins with '$'", true},
        {"PLC,Words,Short,D100,8,3,rw,100,Data\n",
         "7: Port: '8' names no port kind (COM, TCP, UDP, EMUL, ...); it has the 9 fields of a block line: "
         "is a \":Block\" line missing above it?",
         true},
        {":Block\nPLC,W,Word,D0,2,3,rw,100\n",
         "8: block line has 8 fields, 9 expected; it has the 8 fields of a device line: is a \":Device\" line "
         "missing above it?",
         true},
        {":Block\nPLC,W,Word,D0,70000,3,rw,100,\n", "8: Length: 70000 is more than a block holds (65536).", true},
        {":Block\nPLC,W,Word,D0,abc,3,rw,100,\n", "8: Length: 'abc' is not a number of items.", true},
        {":Block\nPLC,W,Word,D0,-5,3,rw,100,\n", "8: Length: -5 items; a block holds 1 to 65536.", true},
        {":Block\nPLC,W,Word,D0,2,3,zz,100,\n", "8: ReadWrite: 'zz' is not r, w or rw.", true},
        {":Block\nNOBODY,W,Word,D0,2,3,rw,100,\n", "8: no device NOBODY above this line.", true},
        {":Block\nPLC,W,Shrot,D0,2,3,rw,100,\n", "8: DataType: 'Shrot' is no type word", true},
        {":Block\nPLC,W,Word,D0,2,3,rw,100,\nPLC,w,Short,D10,2,3,rw,100,\n",
         "9: Name: device PLC has a block W (D0) already.", true},
        {":Block\nPLC,W,Word,D0,2,12,rw,50,\n", "8: Priority: '12' is not 0 to 9; 3 is taken.", false},
        {":Block\nPLC,W,Word,D0,2,,rw,50,\n", "8: ScanTime: '50' is not 100 to 10000 ms; 100 is taken.", false},
    };
    for (const Case& c : cases) {
        const std::string logged = Path("why.csv").string() + ":" + c.logged;
        const std::string refused = "Cannot import Line " + std::string(c.logged).substr(0, 1) + " = ";
        const int loggedBefore = shell.CountLog(logged), refusedBefore = shell.CountLog(refused);
        WriteFile(Path("why.csv"), std::string(";\n; plant\n;\n\n:Device\nPLC,P,1,,EMUL1,,,\n") + c.lines);
        Import(Path("why.csv"));
        EXPECT_EQ(shell.CountLog(logged) - loggedBefore, 1) << c.lines;
        EXPECT_EQ(shell.CountLog(refused) - refusedBefore, c.refused ? 1 : 0) << c.lines;
    }
    EXPECT_EQ(shell.CountLog("?."), 0); // a question ends its sentence
    // The line that took defaults is loaded with them.
    CdsDeviceObject* plc = CdsDeviceMap::GetDeviceObjectByTopic("PLC");
    ASSERT_NE(plc, nullptr);
    ASSERT_EQ(plc->GetMemoryArrayList().GetCount(), 1);
    EXPECT_EQ(plc->GetMemoryArrayByName("W")->GetPriority(), 0); // an empty Priority reads as 0
    EXPECT_EQ(plc->GetMemoryArrayByName("W")->GetScanTime(), 100);
}

TEST_F(ServerDocTest, AFileBeginningWithAUtf8ByteOrderMarkImportsEveryLine)
{
    WriteFile(Path("bom.csv"), "\xEF\xBB\xBF:Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\r\n"
                               "PLC,P,1,,EMUL1,,,\r\n"
                               ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\r\n"
                               "PLC,W,Word,D0,2,3,rw,100,\r\n");
    Import(Path("bom.csv"));
    EXPECT_EQ(shell.CountLog("Cannot import"), 0);
    CdsDeviceObject* plc = CdsDeviceMap::GetDeviceObjectByTopic("PLC");
    ASSERT_NE(plc, nullptr);
    EXPECT_NE(plc->GetMemoryArrayByName("W"), nullptr);
}

TEST_F(ServerDocTest, AFileWithoutDevicesOrNotARegularFileIsNamedInTheLog)
{
    WriteFile(Path("empty.csv"), "");
    WriteFile(Path("junk.csv"), std::string("\x01\xff\x00\x7f,,\x1b[2J\n", 11));
    WriteFile(Path("blocks.csv"), ":Block\nPLC,W,Word,D0,2,3,rw,100,\n");
    for (const char* name : {"empty.csv", "junk.csv", "blocks.csv"}) {
        Import(Path(name));
        EXPECT_EQ(shell.CountLog(Path(name).string() + " gives no device"), 1) << name;
    }
    // A FIFO would block the reader for ever: it is refused before it is opened.
    ASSERT_EQ(::mkfifo(Path("fifo.csv").c_str(), 0600), 0);
    EXPECT_FALSE(doc->ImportFromCsvFile(Path("fifo.csv").string(), 0));
    EXPECT_EQ(shell.CountLog("Cannot read " + Path("fifo.csv").string() + ": not a regular file."), 1);
    EXPECT_FALSE(doc->ImportFromCsvFile(shell.scratch.path().string(), 0));
    EXPECT_EQ(shell.CountLog(": not a regular file."), 2);
}

TEST_F(ServerDocTest, EveryBlockTypeComesBackFromExportAndImport)
{
    CdsDeviceMap* map = NewMap();
    CdsDeviceObject* plc = AddDevice(*map, "PLC1", "EMUL1", "1");
    for (int type = -1; type <= 300; ++type)
        AddBlock(plc, ("T" + std::to_string(type + 1)).c_str(), ("D" + std::to_string(1000 + type)).c_str(), type);
    ASSERT_TRUE(doc->InitDevices(map));
    Export(Path("types.csv"));
    Import(Path("types.csv"));
    CdsDeviceObject* again = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    ASSERT_NE(again, nullptr);
    for (int type = -1; type <= 300; ++type) {
        CdsMemoryArray* block = again->GetMemoryArrayByName("T" + std::to_string(type + 1));
        ASSERT_NE(block, nullptr) << type;
        EXPECT_EQ(block->GetDefaultDataType(), type);
    }
    EXPECT_EQ(shell.CountLog("no such type word"), 0);
}

TEST_F(ServerDocTest, CancelAnUnreadableFileOrAFailedWriteChangeNothing)
{
    CdsDeviceMap* before = doc->GetDeviceMap(FALSE);
    {
        ScriptedFileDialogs files; // Cancel
        doc->OnFileImport();
        doc->OnFileExport();
    }
    Import(Path("missing.csv"));
    EXPECT_EQ(doc->GetDeviceMap(FALSE), before);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
    EXPECT_EQ(shell.CountLog("Error : Cannot import from file " + Path("missing.csv").string() + "!"), 1);

    Export(shell.scratch.path() / "no" / "such" / "folder.csv"); // cannot be opened
    Export("/dev/full");                                         // cannot be written
    EXPECT_EQ(shell.CountLog("Error : Cannot export to file"), 2);
    EXPECT_EQ(shell.CountLog("Exporting to file"), 0);
    EXPECT_EQ(shell.CountLog("Importing from file"), 0);
    EXPECT_EQ(boxes.asked.size(), 3u);

    // An edited configuration asks first; Cancel keeps it.
    doc->SetModifiedFlag(true);
    WriteFile(Path("other.csv"), ":Device\nX,P,1,A,TCP1,10.0.0.1 1,,\n");
    boxes.asked.clear();
    ScriptedAnswers cancel({shell::IDCANCEL});
    Import(Path("other.csv"));
    EXPECT_EQ(doc->GetDeviceMap(FALSE), before);
    EXPECT_EQ(cancel.asked.size(), 1u);
}

TEST_F(ServerDocTest, ADocumentOpenedFromCsvIsNeverSavedAsAnArchiveOverIt)
{
    WriteFile(Path("plant.CSV"), ":Device\nX,P,1,A,TCP1,10.0.0.1 1,,\n");
    const std::string text = ReadFile(Path("plant.CSV"));
    ASSERT_NE(shell.app.OpenDocumentFile(Path("plant.CSV").string()), nullptr);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("X"), nullptr);
    EXPECT_FALSE(doc->DoFileSave()); // no name given for the archive
    EXPECT_FALSE(doc->OnSaveDocument(Path("plant.CSV").string()));
    EXPECT_EQ(ReadFile(Path("plant.CSV")), text);
    EXPECT_TRUE(CdsServerDoc::IsCsvPath("/a/b.Csv"));
    EXPECT_FALSE(CdsServerDoc::IsCsvPath("/data.csv/plant.mme"));
    EXPECT_FALSE(CdsServerDoc::IsCsvPath(".csv"));
}

// A signal ends the server while a configuration read from CSV is edited:
// nobody is asked, no file dialog opens, the user's file stays as it was and
// the edit goes to a new CSV file under the data folder, named in the log.
TEST_F(ServerDocTest, AnEditUnsavedWhenASignalComesGoesToARecoveryCopy)
{
    WriteFile(Path("mine.csv"), ":Device\nX,P,1,A,TCP1,10.0.0.1 1,,\n");
    const std::string text = ReadFile(Path("mine.csv"));
    ASSERT_NE(shell.app.OpenDocumentFile(Path("mine.csv").string()), nullptr);
    CdsDeviceObject* device = CdsDeviceMap::GetDeviceObjectByTopic("X");
    ASSERT_NE(device, nullptr);
    device->m_strDescription = "edited";
    doc->SetModifiedFlag(true);
    ScriptedFileDialogs files({Path("chosen.mme").string()});
    shell.app.RequestStop();
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_TRUE(boxes.asked.empty());
    EXPECT_TRUE(files.requests.empty());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), Path("mine.csv").string());
    EXPECT_EQ(ReadFile(Path("mine.csv")), text);
    EXPECT_FALSE(std::filesystem::exists(Path("chosen.mme")));

    const std::filesystem::path folder = std::filesystem::path(GetDataFolder(0)) / "recovery";
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].filename().string().rfind("mine-", 0), 0u);
    EXPECT_EQ(copies[0].extension(), ".csv");
    EXPECT_NE(ReadFile(copies[0]).find("edited"), std::string::npos);
    EXPECT_EQ(shell.CountLog("were saved to " + copies[0].string()), 1);
}

} // namespace
