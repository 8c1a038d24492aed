#include "kestrun/comm/serial/SerialCommSetup.h"

#include "kestrun/comm/serial/SerialCommFile.h"
#include "support/comm/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr WORD kPortId = 240; // COM241, a pseudo-terminal in these tests

// Removes the presenter a test installs.
struct PresenterGuard {
    ~PresenterGuard() { COXSerialCommSetup::SetPresenter({}); }
};

TEST(COXSerialCommSetup, ShowsTheSettingsAsListTexts)
{
    struct Case {
        BYTE parity;
        BYTE stopBits;
        COXSerialCommConfig::EFlowControl flow;
        const char* parityText;
        const char* stopText;
        const char* flowText;
    };
    for (const Case& c : {Case{0, 0, COXSerialCommConfig::NONE, "No Parity", "1", "None"},
                          Case{1, 2, COXSerialCommConfig::HARDWARE, "Odd", "2", "Hardware"},
                          Case{2, 1, COXSerialCommConfig::XON_XOFF, "Even", "1", "Xon / Xoff"},
                          Case{3, 0, COXSerialCommConfig::NONE, "Mark", "1", "None"},
                          Case{4, 0, COXSerialCommConfig::NONE, "Space", "1", "None"},
                          Case{9, 0, COXSerialCommConfig::NONE, "Even", "1", "None"}}) {
        COXSerialCommConfig config;
        config.SetPortId(2);
        config.m_nParity = c.parity;
        config.m_nStopBits = c.stopBits;
        config.m_eFlowControl = c.flow;
        const COXSerialCommSetup dlg(config, "");
        EXPECT_EQ(dlg.m_strPort, "Com 3");
        EXPECT_EQ(dlg.m_strBaudRate, "19200");
        EXPECT_EQ(dlg.m_strDataBits, "7");
        EXPECT_EQ(dlg.m_strParity, c.parityText);
        EXPECT_EQ(dlg.m_strStopBits, c.stopText);
        EXPECT_EQ(dlg.m_strFlowControl, c.flowText);
    }
}

TEST(COXSerialCommSetup, CaptionFallsBackToTheTemplates)
{
    const COXSerialCommConfig config;
    EXPECT_EQ(COXSerialCommSetup(config, "").GetCaption(), "Serial Comm Setup");
    EXPECT_EQ(COXSerialCommSetup(config, "PLC1 port").GetCaption(), "PLC1 port");
}

TEST(COXSerialCommSetup, SaveReadsTheTextsBack)
{
    support::PseudoTerminal pty(kPortId + 1);
    struct Case {
        const char* baud;
        const char* parity;
        const char* stop;
        const char* flow;
        DWORD wantBaud;
        BYTE wantParity;
        BYTE wantStop;
        COXSerialCommConfig::EFlowControl wantFlow;
    };
    for (const Case& c : {Case{"115200", "Odd", "2", "Hardware", 115200, 1, 2, COXSerialCommConfig::HARDWARE},
                          Case{"256000", "Space", "1", "Xon / Xoff", 256000, 4, 0, COXSerialCommConfig::XON_XOFF},
                          Case{"12345", "Bogus", "1", "None", 9600, 2, 0, COXSerialCommConfig::NONE}}) {
        COXSerialCommSetup dlg(COXSerialCommConfig(), "");
        dlg.m_strPort = "Com 241";
        dlg.m_strBaudRate = c.baud;
        dlg.m_strDataBits = "8";
        dlg.m_strParity = c.parity;
        dlg.m_strStopBits = c.stop;
        dlg.m_strFlowControl = c.flow;
        ASSERT_TRUE(dlg.Save()) << c.baud;
        const COXSerialCommConfig& got = dlg.GetConfig();
        EXPECT_EQ(got.GetPortId(), kPortId);
        EXPECT_EQ(got.m_nBaudRate, c.wantBaud);
        EXPECT_EQ(got.m_nDataBits, 8);
        EXPECT_EQ(got.m_nParity, c.wantParity);
        EXPECT_EQ(got.m_nStopBits, c.wantStop);
        EXPECT_EQ(got.m_eFlowControl, c.wantFlow);
    }
}

TEST(COXSerialCommSetup, PortInUseKeepsTheDialogOpen)
{
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommConfig config;
    config.SetPortId(kPortId);
    config.m_nDataBits = 8;
    config.m_nParity = 0;
    COXSerialCommFile holder;
    ASSERT_TRUE(holder.Open(config));

    COXSerialCommSetup dlg(COXSerialCommConfig(), "");
    dlg.m_strPort = "Com 241";
    std::vector<std::string> told;
    int bad = 0;
    EXPECT_FALSE(dlg.Save(&bad, [&](const std::string& text) { told.push_back(text); }));
    EXPECT_EQ(bad, COXSerialCommSetup::IDC_PORT);
    EXPECT_EQ(told, (std::vector<std::string>{"The selected COM port is either not supported\nor is being used by "
                                              "another application.\nPlease select another port."}));
    EXPECT_EQ(dlg.GetConfig().GetPortId(), COXSerialCommConfig().GetPortId());
}

TEST(COXSerialCommSetup, PortTextWithoutANumberIsRefused)
{
    for (const char* text : {"", "Com", "Com ", "Com x", "Com 0", "Com 65536", "Com 3a"}) {
        COXSerialCommSetup dlg(COXSerialCommConfig(), "");
        dlg.m_strPort = text;
        int bad = 0;
        EXPECT_FALSE(dlg.Save(&bad)) << text;
        EXPECT_EQ(bad, COXSerialCommSetup::IDC_PORT) << text;
    }
}

TEST(COXSerialCommSetup, ConfigDialogTakesTheCopyOnlyOnOk)
{
    PresenterGuard guard;
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommConfig config;
    EXPECT_EQ(config.DoConfigDialog("x"), COMM_DLG_CANCEL); // no window layer

    COXSerialCommSetup::SetPresenter([](COXSerialCommSetup& dlg) {
        dlg.m_strPort = "Com 241";
        dlg.m_strBaudRate = "38400";
        return dlg.Save() ? COMM_DLG_OK : COMM_DLG_CANCEL;
    });
    EXPECT_EQ(config.DoConfigDialog("x"), COMM_DLG_OK);
    EXPECT_EQ(config.GetPortId(), kPortId);
    EXPECT_EQ(config.m_nBaudRate, 38400u);

    COXSerialCommSetup::SetPresenter([](COXSerialCommSetup& dlg) {
        dlg.m_strBaudRate = "110";
        return COMM_DLG_CANCEL;
    });
    EXPECT_EQ(config.DoConfigDialog("x"), COMM_DLG_CANCEL);
    EXPECT_EQ(config.m_nBaudRate, 38400u);
}

} // namespace
