// The CSV configuration's column syntax and line reading.
#include "kestrun/shell/server/CsvFile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "kestrun/comm/config/LinkConfig.h"
#include "kestrun/comm/serial/SerialCommConfig.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "support/ScratchFolder.h"

namespace {

CdsCsvFile::Fields Line(const std::string& text)
{
    CdsCsvFile::Fields fields;
    CdsCsvFile::ParseCSV(text, fields);
    return fields;
}

TEST(CsvColumns, NumbersAreDecimalOrHexAfterTheirPrefix)
{
    struct Case {
        const char* text;
        long value;
    } cases[] = {{"31", 31}, {"H1F", 31}, {"h1f", 31}, {"&1F", 31}, {"&H1F", 31}, {"H", 0}, {"&", 0}, {"x", 0},
                 {"12ab", 12}, {"", 0}};
    for (const Case& c : cases)
        EXPECT_EQ(CdsCsvFile::ParseNumber(c.text), c.value) << c.text;
}

TEST(CsvColumns, DataTypeWordsAndEveryWrittenNameReadBackAsTheirType)
{
    struct Case {
        const char* text;
        int type;
        bool forceDouble;
        int count; // -1: the Length column counts
    } cases[] = {
        {"word", 4, false, -1},      {"UInt16", 4, false, -1},  {"Int16", 3, false, -1}, {"Bit", 0, false, -1},
        {"ULong", 6, false, -1},     {"Real", 7, false, -1},    {"UInt64", 8, true, -1}, {"Mix", -1, false, -1},
        {"String", 10, false, -1},   {"STRING20", 10, false, 20}, {"String(Handle)", 9, false, -1},
        {"Bool(Array)", 12, false, -1}, {"String(Array of FixedLength)", 22, false, -1},
        {"200", 200, false, -1},     {"5", 133, false, -1},     {"a", 193, false, -1},
        {"XY", 'X' * 256 + 'Y', false, -1},
    };
    for (const Case& c : cases) {
        const CdsCsvFile::BlockType type = CdsCsvFile::ParseDataType(c.text);
        EXPECT_EQ(type.nType, c.type) << c.text;
        EXPECT_EQ(type.bForceDouble, c.forceDouble) << c.text;
        EXPECT_EQ(type.nItemCount.value_or(-1), c.count) << c.text;
    }
    for (int type = -1; type <= 22; ++type)
        EXPECT_EQ(CdsCsvFile::ParseDataType(CdsCsvFile::DataTypeText(type)).nType, type) << type;
}

TEST(CsvColumns, PortAndSettingMakeTheirKindOfLineOrFail)
{
    auto make = [](const std::string& port, const std::string& setting) {
        return CdsCsvFile::MakeCommConfig(Line("D,P,1,A," + port + "," + setting));
    };
    auto serial = make("COM3", "9600 E 7 1");
    auto* com = dynamic_cast<COXSerialCommConfig*>(serial.get());
    ASSERT_NE(com, nullptr);
    EXPECT_EQ(com->GetPortId(), 2);
    EXPECT_EQ(com->m_nBaudRate, 9600u);
    EXPECT_EQ(com->m_nParity, 2);
    EXPECT_EQ(com->m_nDataBits, 7);
    EXPECT_EQ(com->m_nStopBits, 0);
    EXPECT_EQ(make("COM3", "9600 E 7"), nullptr);

    auto udp = make("UDP2 10.0.0.9", "10.0.0.1 H1388");
    auto* socket = dynamic_cast<CdsUdpipConfig*>(udp.get());
    ASSERT_NE(socket, nullptr);
    EXPECT_EQ(socket->GetPortId(), 2);
    EXPECT_EQ(socket->m_strLocalAddress, "10.0.0.9");
    EXPECT_EQ(socket->m_strRemoteAddress, "10.0.0.1");
    EXPECT_EQ(socket->m_nRemotePort, 5000);
    auto mstp = make("MSTP4", "10.0.0.1 47808");
    ASSERT_NE(dynamic_cast<CdsMSTPConfig*>(mstp.get()), nullptr);
    EXPECT_EQ(mstp->GetPortId(), 0); // the number is read after three characters
    EXPECT_EQ(make("TCP1", "10.0.0.1"), nullptr); // no remote port
    EXPECT_EQ(make("EMUL7", "")->GetPortId(), 7);
    EXPECT_EQ(make("PIPE1", "x y"), nullptr);
}

TEST(CsvLines, CommentsAndBlankLinesOfEitherLineEndAreSkippedNotTheEnd)
{
    support::ScratchFolder scratch;
    const std::string path = (scratch.path() / "lines.csv").string();
    std::ofstream(path, std::ios::binary) << ";note\nA,1\n\nB,2\r\n\r\n \t\r\nC,,3,\n";
    CdsCsvFile file;
    ASSERT_TRUE(file.Open(path, 0));
    CdsCsvFile::Fields fields;
    std::vector<std::string> firsts;
    while (file.ReadNextLine(fields))
        firsts.push_back(fields[0] + "|" + fields[1] + "|" + fields[2] + "|" + fields[3]);
    EXPECT_EQ(firsts, (std::vector<std::string>{"A|1||", "B|2||", "C||3|"}));
    EXPECT_FALSE(CdsCsvFile().Open((scratch.path() / "none" / "x.csv").string(), 0));
}

} // namespace
