// The sample configuration that "make run" loads, read with the MELSEC program's classes.
#include <gtest/gtest.h>

#include <filesystem>

#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "kestrun/comm/TcpipConfig.h"
#include "kestrun/shell/CsvFile.h"
#include "kestrun/shell/ServerDoc.h"
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
            m_pTmpCsvFile = std::make_unique<CdsCsvFile>();
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

} // namespace
