// The port setup dialogs as forms: a line's settings show in the fields, what
// the dialog cannot take is refused at its control and changes nothing, OK
// gives the dialog's copy what was entered.
#include <gtest/gtest.h>

#include "kestrun/shell/forms/PortSetupForms.h"
#include "support/comm/PseudoTerminal.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using Tcp = CdsTcpSetupDlg;
using Serial = COXSerialCommSetup;

TEST(TcpSetupForm, ShowsTheLineAndTakesItBackOnlyWhenTheNumbersAreNumbers)
{
    testsupport::ScriptedAnswers boxes;
    CdsTcpipConfig line;
    line.m_strRemoteAddress = "192.168.0.10";
    line.m_nRemotePort = 5007;
    line.m_nSocketType = 2;
    Tcp dialog(line, "");
    shell::TcpSetupForm form(dialog);
    ASSERT_TRUE(form.OnInitDialog());
    EXPECT_EQ(form.GetCaption(), "Set TCP/IP");
    EXPECT_EQ(form.GetText(Tcp::IDC_REMOTE_ADDRESS), "192.168.0.10");
    EXPECT_EQ(form.GetText(Tcp::IDC_REMOTE_PORT), "5007");
    EXPECT_EQ(form.GetText(Tcp::IDC_TIMEOUT), "10000");
    EXPECT_EQ(form.GetChoiceText(Tcp::IDC_SOCKET_TYPE), "UDP");

    form.SetText(Tcp::IDC_REMOTE_ADDRESS, "plc-east");
    form.SetText(Tcp::IDC_REMOTE_PORT, "50o7");
    EXPECT_FALSE(form.OnOK());
    EXPECT_EQ(form.GetRefusedField(), Tcp::IDC_REMOTE_PORT);
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(dialog.GetConfig().m_strRemoteAddress, "192.168.0.10");
    EXPECT_EQ(dialog.GetConfig().m_nRemotePort, 5007);

    form.SetText(Tcp::IDC_REMOTE_PORT, "1025");
    form.SetChoiceText(Tcp::IDC_SOCKET_TYPE, "TCP");
    ASSERT_TRUE(form.OnOK());
    EXPECT_EQ(dialog.GetConfig().m_strRemoteAddress, "plc-east");
    EXPECT_EQ(dialog.GetConfig().m_nRemotePort, 1025);
    EXPECT_EQ(dialog.GetConfig().m_nSocketType, 1);
}

TEST(SerialSetupForm, APortThatCannotBeOpenedIsRefusedAtThePortListAndAFreeOneIsTaken)
{
    constexpr WORD kPortId = 240; // beyond the listed ports, still offered
    testsupport::ScriptedAnswers boxes;
    testsupport::EnvScope env;
    env.Set("TESSARO_COM241", "/nonexistent/tty");
    COXSerialCommConfig line;
    line.SetPortId(kPortId);
    Serial dialog(line, "");
    shell::SerialSetupForm form(dialog);
    ASSERT_TRUE(form.OnInitDialog());
    EXPECT_EQ(form.GetChoiceText(Serial::IDC_PORT), "Com 241");
    form.SetChoiceText(Serial::IDC_BAUD_RATE, "115200");
    EXPECT_FALSE(form.OnOK());
    EXPECT_EQ(form.GetRefusedField(), Serial::IDC_PORT);
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"The selected COM port is either not supported\nor is being used "
                                                    "by another application.\nPlease select another port."});
    EXPECT_EQ(dialog.GetConfig().m_nBaudRate, line.m_nBaudRate);

    support::PseudoTerminal pty(kPortId + 1);
    ASSERT_TRUE(form.OnOK());
    EXPECT_EQ(dialog.GetConfig().m_nBaudRate, 115200u);
}

} // namespace
