// The sample configuration that "make run" loads, read with the MELSEC program's classes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "fenwold/CsvFile.h"
#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/shell/server/CsvFile.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "support/ScratchFolder.h"
#include "support/SourceTree.h"

namespace {

class MelsecDoc : public CdsServerDoc {
public:
    CdsDeviceMap* NewDevices() override { return new CDeviceMap; }
    void CreateTmpObjects() override
    {
        if (!m_pTmpDevice)
            m_pTmpDevice = new CDeviceObject;
        if (!m_pTmpBlock)
            m_pTmpBlock = new CMemoryArray;
        if (!m_pTmpCsvFile)
            m_pTmpCsvFile = std::make_unique<CCsvFile>();
    }
};

TEST(SampleConfiguration, OneBinary3EPlcOnTheSimulatorWithWordAndBitBlocks)
{
    const auto sample = support::SourceTree() / "Tools/sample.csv";
    MelsecDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(sample.string()));
    auto* plc = dynamic_cast<CDeviceObject*>(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"));
    ASSERT_NE(plc, nullptr);
    EXPECT_EQ(plc->GetFrameKind(), McFrameKind::E3);
    EXPECT_FALSE(plc->m_bAsciiMode);
    auto* line = dynamic_cast<CdsTcpipConfig*>(plc->GetPrimaryMasterConfig());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->m_strRemoteAddress, "127.0.0.1");
    EXPECT_EQ(line->m_nRemotePort, 5010);
    const auto code = [plc](const char* name) {
        const auto* block = dynamic_cast<CMemoryArray*>(plc->GetMemoryArrayByName(name));
        return block ? block->GetDeviceCode() : 0;
    };
    EXPECT_EQ(code("WORDS"), 0xA8);  // D
    EXPECT_EQ(code("FLAGS"), 0x90);  // M
    EXPECT_EQ(code("INPUTS"), 0x9C); // X
    EXPECT_EQ(plc->GetMemoryArrayList().GetCount(), 4);
}

TEST(MelsecCsvFile, ABlockOfNoElementsThePlcHasIsRefusedWithItsReason)
{
    struct Case {
        const char* address;
        const char* type;
        const char* length;
        const char* reason; // empty: imported
        const char* rw = "rw";
    } cases[] = {
        {"D100", "Word", "8", ""},
        {"X1F0", "Bit", "16", ""},
        {"ZZ100", "Word", "1", "Address: 'ZZ100' is not Z followed by a decimal element number"},
        {"Q100", "Word", "1", "Address: 'Q100' starts with no device name"},
        {"XG0", "Bit", "1", "Address: 'XG0' is not X followed by a hexadecimal element number"},
        {"D99999999", "Word", "1", "Address: D99999999 is past the last element D999999"},
        {"D999990", "Word", "20", "Length: 20 items from D999990 run past the last element D999999"},
        {"D0", "DWord", "40000", "Length: 40000 items from D0 are more than one read request can carry"},
        {"D0", "Word", "960", ""},
        {"D0", "Word", "961", "Length: 961 items from D0 need 961 words; one read request carries at most 960"},
        {"D0", "Float", "481", "Length: 481 items from D0 need 962 words; one read request carries at most 960"},
        {"X0", "Bit", "8", "ReadWrite: 'w', but X cannot be written", "w"},
        {"D0", "Word", "8", "", "w"},
    };
    for (const Case& c : cases) {
        CdsCsvFile::Fields fields;
        CdsCsvFile::ParseCSV(std::string("PLC,B,") + c.type + "," + c.address + "," + c.length + ",3," + c.rw +
                                 ",100,",
                             fields);
        CCsvFile file;
        CDeviceObject device;
        CMemoryArray block;
        EXPECT_EQ(file.ImportMemoryArray(fields, &device, &block), *c.reason ? 0 : 1) << c.address;
        EXPECT_EQ(file.Reason().rfind(c.reason, 0), 0u) << file.Reason();
    }
}

// A block may be as long as one batch read in its own device's frames carries. The
// import's temporary device knows no more than the name: the device of that name decides.
TEST(MelsecCsvFile, TheLongestBlockIsWhatOneReadInTheDevicesFrameCarries)
{
    support::ScratchFolder scratch;
    const auto path = scratch.path() / "frames.csv";
    std::ofstream(path, std::ios::binary)
        << ":Device,Protocol,DeviceType,Address,Port,Setting,Options,Description\n"
           "FRAME1E,MC1,1,,TCP1,127.0.0.1 5010,,\n"
           "FRAME3E,MC3,3,,TCP1,127.0.0.1 5010,,\n"
           ":Block,Name,DataType,Address,Length,Priority,ReadWrite,ScanTime,Description\n"
           "FRAME1E,W256,Word,D0,256,3,rw,100,\n"
           "FRAME1E,W257,Word,D1000,257,3,rw,100,\n"
           "FRAME1E,M2048,Bool,M0,2048,3,rw,100,\n"
           "FRAME1E,M2049,Bool,M4096,2049,3,rw,100,\n"
           "FRAME3E,W960,Word,D0,960,3,rw,100,\n"
           "FRAME3E,W961,Word,D1000,961,3,rw,100,\n";
    MelsecDoc doc;
    ASSERT_TRUE(doc.ImportFromCsvFile(path.string(), 0));
    auto* oneE = dynamic_cast<CDeviceObject*>(CdsDeviceMap::GetDeviceObjectByTopic("FRAME1E"));
    auto* threeE = dynamic_cast<CDeviceObject*>(CdsDeviceMap::GetDeviceObjectByTopic("FRAME3E"));
    ASSERT_NE(oneE, nullptr);
    ASSERT_NE(threeE, nullptr);
    EXPECT_EQ(oneE->GetFrameKind(), McFrameKind::E1);
    EXPECT_EQ(threeE->GetFrameKind(), McFrameKind::E3);
    EXPECT_NE(oneE->GetMemoryArrayByName("W256"), nullptr);
    EXPECT_EQ(oneE->GetMemoryArrayByName("W257"), nullptr);
    EXPECT_NE(oneE->GetMemoryArrayByName("M2048"), nullptr);
    EXPECT_EQ(oneE->GetMemoryArrayByName("M2049"), nullptr);
    EXPECT_NE(threeE->GetMemoryArrayByName("W960"), nullptr);
    EXPECT_EQ(threeE->GetMemoryArrayByName("W961"), nullptr);

    // The reason the log gives, from the block line as the import reads it.
    struct Case {
        const char* line;
        const char* reason; // empty: imported
    } cases[] = {
        {"FRAME1E,B,Word,D0,256,3,rw,100,", ""},
        {"FRAME1E,B,Word,D1000,257,3,rw,100,",
         "Length: 257 items from D1000 need 257 words; one read request carries at most 256 in a 1E frame"},
        {"FRAME1E,B,Bool,M4096,2049,3,rw,100,",
         "Length: 2049 items from M4096 need 129 words; one read request carries at most 128 in a 1E frame"},
        {"FRAME3E,B,Word,D1000,960,3,rw,100,", ""},
        {"FRAME3E,B,Word,D1000,961,3,rw,100,",
         "Length: 961 items from D1000 need 961 words; one read request carries at most 960"},
    };
    for (const Case& c : cases) {
        CdsCsvFile::Fields fields;
        CdsCsvFile::ParseCSV(c.line, fields);
        CCsvFile file;
        CDeviceObject device;
        CMemoryArray block;
        EXPECT_EQ(file.ImportMemoryArray(fields, &device, &block), *c.reason ? 0 : 1) << c.line;
        EXPECT_EQ(file.Reason(), c.reason) << c.line;
    }
    doc.DeleteContents();
}

// The text of every ```csv block of a markdown file, in order.
std::vector<std::string> CsvExamples(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> examples;
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!inside && line == "```csv") {
            inside = true;
            examples.emplace_back();
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            examples.back() += line + "\n";
        }
    }
    return examples;
}

// Devices and blocks an example's lines describe.
std::pair<std::size_t, std::size_t> CountLines(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::set<std::string> devices;
    std::size_t blocks = 0;
    char section = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        const std::string first = line.substr(0, line.find(','));
        if (first[0] == ':')
            section = first[1];
        else if (section == 'D')
            devices.insert(first);
        else if (section == 'B' || section == 'M')
            ++blocks;
    }
    return {devices.size(), blocks};
}

TEST(ConfigurationDocument, EveryExampleImportsEveryLine)
{
    const auto examples = CsvExamples(support::SourceTree() / "docs/configuration.md");
    ASSERT_GE(examples.size(), 4u);
    support::ScratchFolder scratch;
    for (std::size_t i = 0; i < examples.size(); ++i) {
        const std::string text = i == 0 ? examples[0] : examples[0] + examples[i];
        const auto path = scratch.path() / ("example" + std::to_string(i) + ".csv");
        std::ofstream(path, std::ios::binary) << text;
        MelsecDoc doc;
        ASSERT_TRUE(doc.ImportFromCsvFile(path.string(), 0)) << text;
        const auto [devices, blocks] = CountLines(text);
        std::size_t gotDevices = 0, gotBlocks = 0;
        for (const auto& [key, device] : doc.GetDeviceMap(FALSE)->GetDevices()) {
            if (device->IsSystemDevice())
                continue;
            ++gotDevices;
            for (CdsMemoryArray* block : device->GetMemoryArrayList().GetBlocks())
                gotBlocks += block->IsSystemArray() ? 0 : 1;
        }
        EXPECT_EQ(gotDevices, devices) << text;
        EXPECT_EQ(gotBlocks, blocks) << text;
        doc.DeleteContents();
    }
}

} // namespace
