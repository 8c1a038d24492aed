// The server document: its archive, its CSV import and export, online and offline.
#include "kestrun/shell/ServerDoc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kestrun/comm/EmulConfig.h"
#include "kestrun/comm/TcpipConfig.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/MemoryObject.h"
#include "support/model/ArchiveBytes.h"
#include "support/model/DeviceFakes.h"
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

// --- archive ---

// A program's document: its map makes TestDevice objects (a TCP/IP primary line).
class ArchiveDoc : public CdsServerDoc {
public:
    CdsDeviceMap* NewDevices() override { return new testsupport::TestDeviceMap; }
};

// Two devices: PLC1 on all four lines with a word and a bit block, PLC2 on its
// primary line with a text block.
std::vector<BYTE> GoldenDocument()
{
    ArchiveBytes b;
    auto tcp = [&b](WORD id, const std::string& remote, LONG port) {
        b.I32(2).U16(id).I32(-1);
        for (int i = 0; i < 6; ++i)
            b.Str("");
        b.Str("").Str(remote).I32(port).I32(1).I32(10000);
    };
    auto settings = [&b](const std::string& name, const std::string& address, const std::string& port) {
        b.Str(name).Str("").I32(3).I32(1000).I32(2000);
        b.Str(address).Str("MC3E").Str(port).Str("").Str("");
        b.I32(0).I32(1000).I32(2000).I32(0).I32(0).I32(1).I32(500).I32(5000).I32(10).I32(0).I32(5000);
        b.I32(0).I32(1).I32(0).I32(1).I32(1).I32(1).I32(1).I32(100).I32(0);
    };
    b.U16(2).Str("[TCP1]:10.0.0.5/3");
    b.NewClass("TestDevice");                                      // 1, device 2
    b.U16(2).NewClass("CdsMemoryArray");                           // 3, block 4
    b.U16(2).NewClass("CdsMemoryObject");                          // 5, point 6
    b.Str("D100:0").Str("D100:0").I32(-1).I32(-1);
    b.OldClass(5).Str("D100:1").Str("D100:1").I32(-1).I32(5);     // point 7
    b.Str("Words").Str("D100").Str("").U16(0xFFFF).I32(2).I32(100).I32(3).I32(1).I32(1).I32(4).I32(2);
    b.OldClass(3).U16(1).OldClass(5);                              // block 8, point 9
    b.Str("M0:0").Str("M0:0").I32(-1).I32(-1);
    b.Str("Flags").Str("M0").Str("").U16(0xFFFF).I32(1).I32(200).I32(0).I32(1).I32(0).I32(0).I32(1);
    b.I32(2);
    tcp(1, "10.0.0.5", 5000); // primary master
    tcp(3, "10.0.0.7", 5000); // primary backup
    tcp(2, "10.0.0.6", 5000); // secondary master
    tcp(4, "10.0.0.8", 5000); // secondary backup
    settings("PLC1", "10.0.0.5", "TCP1");
    b.Str("[TCP5]:10.0.0.9/3").OldClass(1);                        // device 10
    b.U16(1).OldClass(3).U16(1).OldClass(5);                       // block 11, point 12
    b.Str("D200:0").Str("D200:0").I32(-1).I32(-1);
    b.Str("Text").Str("D200").Str("").U16(0xFFFF).I32(1).I32(1000).I32(3).I32(1).I32(1).I32(10).I32(1);
    b.I32(2);
    tcp(5, "10.0.0.9", 5000);
    for (int i = 0; i < 3; ++i)
        tcp(0xFFFF, "", -1);
    settings("PLC2", "10.0.0.9", "TCP5");
    b.I32(1); // online on load
    return b.Bytes();
}

CdsMemoryArray* AddBlock(CdsDeviceObject* device, const char* name, const char* address, int type, int points)
{
    auto* block = new testsupport::PointBlock(-1);
    block->SetName(name);
    block->SetAddr(address);
    block->SetDefaultDataType(type);
    block->SetLength(points);
    block->SetMaxMemories(points);
    return device->AddMemoryArray(block, true);
}

CdsDeviceObject* AddTcpDevice(CdsDeviceMap& map, const char* name, const char* address, const char* port,
                              std::initializer_list<std::pair<int, WORD>> lines)
{
    auto* device = new testsupport::TestDevice;
    device->m_strName = name;
    device->m_strAddress = address;
    device->m_strPort = port;
    device->m_strProtocol = "MC3E";
    device->m_nDeviceType = 3;
    for (auto [line, id] : lines)
        device->SetCommConfig(line, testsupport::TcpLine(id, "10.0.0." + std::to_string(4 + id), 5000));
    return map.AddDeviceObject(device, TRUE);
}

TEST(ServerDocArchive, ADocumentStoresItsGoldenBytesAndLoadsBackTheSame)
{
    support::ScratchFolder scratch;
    const auto path = scratch.path() / "plant.mme";
    {
        ArchiveDoc doc;
        auto* map = new testsupport::TestDeviceMap;
        CdsDeviceObject* plc1 = AddTcpDevice(*map, "PLC1", "10.0.0.5", "TCP1", {{0, 1}, {1, 2}, {2, 3}, {3, 4}});
        ASSERT_NE(plc1, nullptr);
        AddBlock(plc1, "Words", "D100", BRISANT_WORD, 2)->GetMemoryObject(1)->SetDataType(BRISANT_LONG);
        CdsMemoryArray* flags = AddBlock(plc1, "Flags", "M0", BRISANT_BOOL, 1);
        flags->SetPriority(0);
        flags->SetScanTime(200);
        flags->SetWriteAllowed(FALSE);
        CdsDeviceObject* plc2 = AddTcpDevice(*map, "PLC2", "10.0.0.9", "TCP5", {{0, 5}});
        AddBlock(plc2, "Text", "D200", BRISANT_STRING, 1)->SetScanTime(1000);
        map->OnLoading();
        ASSERT_TRUE(doc.InitDevices(map));
        ASSERT_TRUE(doc.OnSaveDocument(path.string()));
    }
    const std::vector<BYTE> bytes = GoldenDocument();
    const std::string golden(bytes.begin(), bytes.end());
    EXPECT_EQ(ReadFile(path), golden);

    ArchiveDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(path.string()));
    CdsDeviceObject* plc1 = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    ASSERT_NE(plc1, nullptr);
    EXPECT_TRUE(plc1->IsValidSecondaryBackupConfig());
    EXPECT_EQ(plc1->GetMemoryArrayByName("FLAGS")->GetScanTime(), 200);
    EXPECT_EQ(loaded.GetOnlineOnLoad(), 1);
    const auto again = scratch.path() / "again.mme";
    ASSERT_TRUE(loaded.OnSaveDocument(again.string()));
    EXPECT_EQ(ReadFile(again), golden);
}

TEST(ServerDocArchive, AnEmptyDocumentIsSavedAsAnEmptyMapAndGoesOnlineWithoutOne)
{
    support::ScratchFolder scratch;
    const auto path = scratch.path() / "empty.mme";
    ArchiveDoc doc;
    EXPECT_EQ(doc.SetOnline(1, 0), 1);
    EXPECT_EQ(doc.SetOnline(1, 0), 0); // no change
    ASSERT_TRUE(doc.OnSaveDocument(path.string()));
    EXPECT_EQ(ReadFile(path), std::string("\0\0\1\0\0\0", 6));
    ArchiveDoc loaded;
    ASSERT_TRUE(loaded.OnOpenDocument(path.string()));
    ASSERT_NE(loaded.GetDeviceMap(FALSE), nullptr);
}

// --- CSV ---

class ServerDocCsvTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell.OpenDocument());
        doc = shell.Doc();
    }
    std::filesystem::path Path(const char* name) const { return shell.scratch.path() / name; }
    CdsDeviceMap& Map() const { return *doc->GetDeviceMap(FALSE); }
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

    testsupport::ShellHarness shell;
    ScriptedAnswers boxes;
    testsupport::TestServerDoc* doc = nullptr;
};

TEST_F(ServerDocCsvTest, AHandWrittenFileImportsDevicesTheirLinesAndBlocksOfBothLayouts)
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
    EXPECT_EQ(press->GetParent(), &Map());
    EXPECT_EQ(press->m_nDeviceType, 3);
    EXPECT_EQ(press->GetSecondaryMasterConfig()->GetPortId(), 2);
    CdsMemoryArray* speed = press->GetMemoryArrayByName("SPEED");
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->GetMaxMemories(), 4);
    EXPECT_EQ(speed->GetPriority(), 0);
    EXPECT_FALSE(speed->IsWriteAllowed());
    CdsDeviceObject* oven = CdsDeviceMap::GetDeviceObjectByTopic("OVEN");
    ASSERT_NE(oven, nullptr);
    EXPECT_EQ(oven->GetPrimaryMasterConfig()->GetPortId(), 2);
    CdsMemoryArray* temps = oven->GetMemoryArrayByAddr("D10");
    ASSERT_NE(temps, nullptr);
    EXPECT_EQ(temps->GetName(), "");
    EXPECT_EQ(temps->GetDefaultDataType(), BRISANT_FLOAT);
    EXPECT_TRUE(temps->IsWriteAllowed());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), "");
}

TEST_F(ServerDocCsvTest, TheExportWritesItsGoldenTextAndNamesEachFurtherLine)
{
    doc->DeleteContents();
    auto* map = doc->NewDevices();
    auto* plc = new testsupport::TestServerDevice;
    plc->m_strName = "PLC9";
    plc->m_strProtocol = "MC3E";
    plc->m_nDeviceType = 3;
    plc->m_strPort = "EMUL1";
    plc->m_strAddress = "1";
    plc->m_strDescription = "Hall 1, north\r\nwall";
    auto backup = std::make_unique<CdsEmulConfig>();
    backup->SetPortId(3);
    backup->m_strPort = "EMUL3";
    plc->SetCommConfig(2, std::move(backup)); // a primary backup, no secondary master
    ASSERT_TRUE(map->AddDeviceObject(plc, TRUE));
    auto* block = new testsupport::TestServerBlock;
    block->SetName("Words");
    block->SetAddr("D0");
    block->SetDefaultDataType(BRISANT_WORD);
    block->SetDescription("a,b");
    ASSERT_TRUE(plc->AddMemoryArray(block, true));
    ASSERT_TRUE(doc->InitDevices(map));

    Export(Path("out.csv"));
    EXPECT_EQ(ReadFile(Path("out.csv")), ";\r\n;Tessaro test server (ver4.5.1)\r\n;\r\n"
                                         ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\r\n"
                                         "PLC9,MC3E,3,1,EMUL1,,,Hall 1  north  wall\r\n"
                                         "PLC9,,-1,,EMUL3,,,,=\r\n"
                                         ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\r\n"
                                         "PLC9,Words,Word,D0,5,3,rw,100,a b\r\n"
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

TEST_F(ServerDocCsvTest, ExportImportExportIsByteIdenticalForEveryTypeAndEveryLine)
{
    doc->DeleteContents();
    auto* map = doc->NewDevices();
    auto* plc = new testsupport::TestServerDevice;
    plc->m_strName = "PLC1";
    plc->m_strPort = "TCP1";
    plc->m_strAddress = "10.0.0.5";
    plc->SetCommConfig(0, testsupport::TcpLine(1, "10.0.0.5", 5000));
    for (int line = 1; line < 4; ++line) {
        auto config = testsupport::TcpLine(static_cast<WORD>(line + 1), "10.0.0." + std::to_string(5 + line), 5000);
        config->m_strPort = "TCP" + std::to_string(line + 1);
        config->m_strSetting = "10.0.0." + std::to_string(5 + line) + " 5000";
        plc->SetCommConfig(line, std::move(config));
    }
    plc->GetPrimaryMasterConfig()->m_strSetting = "10.0.0.5 5000";
    plc->m_strSetting = "10.0.0.5 5000";
    ASSERT_TRUE(map->AddDeviceObject(plc, TRUE));
    for (int type = -1; type <= 22; ++type) {
        auto* block = new testsupport::TestServerBlock(1);
        block->SetName("T" + std::to_string(type + 1));
        block->SetAddr("D" + std::to_string(100 + type));
        block->SetDefaultDataType(type);
        block->SetDescription(type == 0 ? "on, off" : "");
        ASSERT_TRUE(plc->AddMemoryArray(block, true)) << type;
    }
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

TEST_F(ServerDocCsvTest, ABadLineIsReportedAndSkippedAndLaterLinesKeepTheirOwnSettings)
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

TEST_F(ServerDocCsvTest, CancelAnUnreadableFileOrAFailedWriteChangeNothing)
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

    Export(shell.scratch.path() / "no" / "such" / "folder.csv");
    EXPECT_EQ(shell.CountLog("Error : Cannot export to file"), 1);
    EXPECT_EQ(shell.CountLog("Exporting to file"), 0);
    EXPECT_EQ(shell.CountLog("Importing from file"), 0);
    EXPECT_EQ(boxes.asked.size(), 2u);

    // An edited configuration asks first; Cancel keeps it.
    doc->SetModifiedFlag(true);
    WriteFile(Path("other.csv"), ":Device\nX,P,1,A,TCP1,10.0.0.1 1,,\n");
    boxes.asked.clear();
    ScriptedAnswers cancel({shell::IDCANCEL});
    Import(Path("other.csv"));
    EXPECT_EQ(doc->GetDeviceMap(FALSE), before);
    EXPECT_EQ(cancel.asked.size(), 1u);
}

TEST_F(ServerDocCsvTest, ADocumentOpenedFromCsvIsNeverSavedAsAnArchiveOverIt)
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

} // namespace
