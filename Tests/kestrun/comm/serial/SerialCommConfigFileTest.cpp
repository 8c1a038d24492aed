#include "kestrun/comm/serial/SerialCommConfig.h"

#include "kestrun/comm/config/Serializer.h"
#include "platform/afx/Exceptions.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// The settings file of the defaults: the base record (serial kind, no port id,
// no device type, six empty strings) and the 31 bytes of the serial settings.
const Bytes kDefaultFile = {
    0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // kind, port id, device type
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                          // strings
    0x00, 0x4B, 0x00, 0x00, 0x07, 0x02, 0x00,                    // 19200 baud, 7 bits, even, one stop bit
    0x00, 0x00, 0x00, 0x00,                                      // no flow control
    0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00,              // queues 4096, 4096
    0xD0, 0x07, 0x00, 0x00, 0x88, 0x13, 0x00, 0x00, 0x88, 0x13, 0x00, 0x00, // 2000, 5000, 5000 ms
};

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

struct Notices {
    std::vector<std::string> texts;
    COXSerialCommConfig::Notice sink()
    {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

void ExpectDefaults(const COXSerialCommConfig& c)
{
    const COXSerialCommConfig d;
    EXPECT_EQ(c.GetPortId(), d.GetPortId());
    EXPECT_EQ(c.m_nBaudRate, d.m_nBaudRate);
    EXPECT_EQ(c.m_nDataBits, d.m_nDataBits);
    EXPECT_EQ(c.m_nParity, d.m_nParity);
    EXPECT_EQ(c.m_nStopBits, d.m_nStopBits);
    EXPECT_EQ(c.m_eFlowControl, d.m_eFlowControl);
    EXPECT_EQ(c.m_nRxQueueSize, d.m_nRxQueueSize);
    EXPECT_EQ(c.m_nReadTimeOut, d.m_nReadTimeOut);
}

TEST(SerialSettingsFile, DefaultsGiveTheGoldenFile)
{
    support::ScratchFolder folder;
    const auto path = folder.path() / "com.cfg";
    COXSerialCommConfig config;
    Notices notices;
    ASSERT_TRUE(config.Save(path.string(), notices.sink()));
    EXPECT_EQ(ReadFile(path), kDefaultFile);
    EXPECT_TRUE(notices.texts.empty());
}

TEST(SerialSettingsFile, RoundTripKeepsEveryField)
{
    support::ScratchFolder folder;
    const auto path = folder.path() / "com.cfg";
    COXSerialCommConfig saved;
    saved.SetPortId(2);
    saved.m_strDescription = "Line A";
    saved.m_nBaudRate = 115200;
    saved.m_nDataBits = 8;
    saved.m_nParity = 0;
    saved.m_nStopBits = 2;
    saved.m_eFlowControl = COXSerialCommConfig::XON_XOFF;
    saved.m_nRxQueueSize = 1024;
    saved.m_nTxQueueSize = 512;
    saved.m_nFirstTimeOut = 300;
    saved.m_nWriteTimeOut = 400;
    saved.m_nReadTimeOut = 250;
    ASSERT_TRUE(saved.Save(path.string()));
    EXPECT_EQ(ReadFile(path), (Bytes{0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                                     0x00, 0x00, 0x06, 'L',  'i',  'n',  'e',  ' ',  'A',  0x00, 0xC2, 0x01, 0x00,
                                     0x08, 0x00, 0x02, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02,
                                     0x00, 0x00, 0x2C, 0x01, 0x00, 0x00, 0x90, 0x01, 0x00, 0x00, 0xFA, 0x00, 0x00,
                                     0x00}));

    COXSerialCommConfig loaded;
    Notices notices;
    ASSERT_TRUE(loaded.Load(path.string(), notices.sink()));
    EXPECT_TRUE(notices.texts.empty());
    EXPECT_EQ(loaded.GetCommName(), "COM3");
    EXPECT_EQ(loaded.m_strDescription, "Line A");
    EXPECT_EQ(loaded.m_nBaudRate, 115200u);
    EXPECT_EQ(loaded.m_nDataBits, 8);
    EXPECT_EQ(loaded.m_nParity, 0);
    EXPECT_EQ(loaded.m_nStopBits, 2);
    EXPECT_EQ(loaded.m_eFlowControl, COXSerialCommConfig::XON_XOFF);
    EXPECT_EQ(loaded.m_nRxQueueSize, 1024u);
    EXPECT_EQ(loaded.m_nTxQueueSize, 512u);
    EXPECT_EQ(loaded.m_nFirstTimeOut, 300u);
    EXPECT_EQ(loaded.m_nWriteTimeOut, 400u);
    EXPECT_EQ(loaded.m_nReadTimeOut, 250u);
}

TEST(SerialSettingsFile, MissingFileIsCreatedWithTheSettingsInUse)
{
    support::ScratchFolder folder;
    const auto path = folder.path() / "new.cfg";
    COXSerialCommConfig config;
    config.SetPortId(0);
    Notices notices;
    EXPECT_TRUE(config.Load(path.string(), notices.sink()));
    ASSERT_EQ(notices.texts.size(), 1u);
    EXPECT_EQ(notices.texts[0], "COM1:\nConfiguration file not found.\nDefault Parameters Assumed.");
    Bytes expected = kDefaultFile;
    expected[4] = 0x00; // port id 0
    expected[5] = 0x00;
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(SerialSettingsFile, BrokenFileKeepsTheSettingsAndIsReplaced)
{
    struct Case {
        const char* what;
        Bytes content;
    };
    Bytes otherKind = kDefaultFile;
    otherKind[0] = 0x02; // a TCP/IP record
    // A record of other values that ends inside the serial settings: its first
    // fields must not leak into the settings in use.
    Bytes shortRecord = {0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x00, 0x80, 0x25, 0x00, 0x00, 0x08};
    for (const Case& c : {Case{"empty", {}}, Case{"short record", shortRecord}, Case{"other kind", otherKind}}) {
        support::ScratchFolder folder;
        const auto path = folder.path() / "broken.cfg";
        WriteFile(path, c.content);
        COXSerialCommConfig config;
        Notices notices;
        EXPECT_FALSE(config.Load(path.string(), notices.sink())) << c.what;
        ExpectDefaults(config);
        ASSERT_FALSE(notices.texts.empty()) << c.what;
        EXPECT_EQ(notices.texts.back(), "COM65536:\nError loading the parameters file.\nDefault Parameters Assumed.")
            << c.what;
        EXPECT_EQ(ReadFile(path), kDefaultFile) << c.what;
    }
}

TEST(SerialSettingsFile, UnwritableFileReportsTheSaveFailure)
{
    support::ScratchFolder folder;
    const auto path = folder.path() / "no-such-folder" / "com.cfg";
    COXSerialCommConfig config;
    config.SetPortId(4);
    Notices notices;
    EXPECT_FALSE(config.Save(path.string(), notices.sink()));
    ASSERT_FALSE(notices.texts.empty());
    EXPECT_EQ(notices.texts.back(), "COM5:\nError saving the parameters file.");
}

} // namespace
