#include "kestrun/comm/serial/SerialCommFile.h"

#include "kestrun/comm/serial/SerialCommConfig.h"
#include "support/ScratchFolder.h"
#include "support/comm/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/ioctl.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// COM numbers well above any real port of a test machine.
constexpr WORD kPortId = 210; // COM211

// Eight data bits without parity: all a pseudo-terminal carries.
COXSerialCommConfig ConfigFor(WORD portId)
{
    COXSerialCommConfig config;
    config.SetPortId(portId);
    config.m_nDataBits = 8;
    config.m_nParity = 0;
    return config;
}

int CauseOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const COXSerialCommException& e) {
        return e.m_nCause;
    }
    return -1;
}

TEST(SerialDevicePath, DefaultsToTheSystemSerialDevices)
{
    ::unsetenv("TESSARO_COM240");
    EXPECT_EQ(kestrun::SerialDevicePath(239), "/dev/ttyS239");
    ::setenv("TESSARO_COM240", "/dev/ttyUSB0", 1);
    EXPECT_EQ(kestrun::SerialDevicePath(239), "/dev/ttyUSB0");
    ::unsetenv("TESSARO_COM240");
}

TEST(COXSerialCommFile, CarriesBytesBothWays)
{
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommFile file;
    COXSerialCommException error;
    ASSERT_TRUE(file.Open(ConfigFor(kPortId), &error)) << error.GetErrorMessage();
    EXPECT_EQ(error.m_nCause, 0);
    EXPECT_EQ(error.m_strFileName, "COM211");
    EXPECT_EQ(file.GetFilePath(), "COM211");
    EXPECT_TRUE(file.IsOpen());

    // Binary: no line-end translation either way.
    const Bytes out = {0x05, 0x0D, 0x0A, 0x00, 0xFF, 0x11, 0x13};
    file.Write(out.data(), static_cast<UINT>(out.size()));
    EXPECT_EQ(pty.Receive(out.size()), out);

    const Bytes in = {0x02, 0x0D, 0x00, 0x7F, 0x03};
    pty.Send(in);
    for (int i = 0; i < 200 && file.GetBytesToRead() < in.size(); ++i)
        pty.Receive(0, 5); // give the line discipline a moment to pass them on
    EXPECT_EQ(file.GetBytesToRead(), in.size());
    EXPECT_FALSE(file.IsRxQueueEmpty());
    Bytes got(in.size());
    EXPECT_EQ(file.Read(got.data(), static_cast<UINT>(got.size())), in.size());
    EXPECT_EQ(got, in);
    EXPECT_TRUE(file.IsRxQueueEmpty());
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

TEST(COXSerialCommFile, SecondOpenOfTheSamePortIsRefused)
{
    support::PseudoTerminal pty(kPortId + 1);
    const COXSerialCommConfig config = ConfigFor(kPortId);
    COXSerialCommFile first;
    ASSERT_TRUE(first.Open(config));
    EXPECT_FALSE(config.IsPortAvailable());

    COXSerialCommFile second;
    COXSerialCommException error;
    EXPECT_FALSE(second.Open(config, &error));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(error.m_nCause, COXSerialCommException::notAvailable);
    EXPECT_EQ(error.GetErrorMessage(), "COM211:\nThe selected COM port is either not supported\nor is being used by "
                                       "another application.\nPlease select another port.");

    // The refused open left the holder's exclusive mode alone.
    int exclusive = 0;
    ASSERT_EQ(::ioctl(first.GetSafeHandle(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    first.Close();
    EXPECT_TRUE(config.IsPortAvailable());
    EXPECT_TRUE(second.Open(config, &error)) << error.GetErrorMessage();
}

TEST(COXSerialCommFile, DevicesThatAreNoPortsAreNotAvailable)
{
    support::ScratchFolder folder;
    const auto plain = folder.path() / "plain";
    std::ofstream(plain) << "x";
    struct Case {
        const char* what;
        std::string path;
    };
    for (const Case& c : {Case{"missing", (folder.path() / "none").string()}, Case{"regular file", plain.string()}}) {
        ::setenv("TESSARO_COM212", c.path.c_str(), 1);
        COXSerialCommFile file;
        COXSerialCommException error;
        EXPECT_FALSE(file.Open(ConfigFor(211), &error)) << c.what;
        EXPECT_EQ(error.m_nCause, COXSerialCommException::notAvailable) << c.what;
        EXPECT_FALSE(ConfigFor(211).IsPortAvailable()) << c.what;
    }
    ::unsetenv("TESSARO_COM212");
}

TEST(COXSerialCommFile, SettingsTheDeviceCannotTakeFailTheOpen)
{
    support::PseudoTerminal pty(kPortId + 1);
    struct Case {
        const char* what;
        DWORD baud;
        BYTE dataBits;
        BYTE parity;
        BYTE stopBits;
    };
    for (const Case& c : {Case{"no baud rate", 0, 8, 0, 0}, Case{"nine data bits", 9600, 9, 0, 0},
                          Case{"parity 5", 9600, 8, 5, 0}, Case{"stop bits 3", 9600, 8, 0, 3},
                          // a pseudo-terminal drops parity and character size while
                          // reporting success; that is no open port either
                          Case{"seven data bits, even parity", 19200, 7, 2, 0}}) {
        COXSerialCommConfig config = ConfigFor(kPortId);
        config.m_nBaudRate = c.baud;
        config.m_nDataBits = c.dataBits;
        config.m_nParity = c.parity;
        config.m_nStopBits = c.stopBits;
        COXSerialCommFile file;
        COXSerialCommException error;
        EXPECT_FALSE(file.Open(config, &error)) << c.what;
        EXPECT_EQ(error.m_nCause, COXSerialCommException::modeError) << c.what;
        EXPECT_FALSE(file.IsOpen()) << c.what;
        // A refused open keeps no hold on the device.
        EXPECT_TRUE(config.IsPortAvailable()) << c.what;
    }
}

TEST(COXSerialCommFile, EveryRateOfTheSettingsTableOpens)
{
    support::PseudoTerminal pty(kPortId + 1);
    for (DWORD baud : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 56000u, 57600u,
                       115200u, 128000u, 256000u}) {
        for (auto flow : {COXSerialCommConfig::NONE, COXSerialCommConfig::HARDWARE, COXSerialCommConfig::XON_XOFF}) {
            COXSerialCommConfig config = ConfigFor(kPortId);
            config.m_nBaudRate = baud;
            config.m_eFlowControl = flow;
            COXSerialCommFile file;
            COXSerialCommException error;
            EXPECT_TRUE(file.Open(config, &error)) << baud << " " << error.GetErrorMessage();
        }
    }
}

TEST(COXSerialCommFile, ClosedPortAnswersWithoutTouchingADevice)
{
    COXSerialCommFile file;
    BYTE buffer[4] = {};
    DWORD mask = 7;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(CauseOf([&] { file.Write(buffer, 4); }), COXSerialCommException::ioError);
    EXPECT_EQ(CauseOf([&] { file.GetBytesToRead(); }), COXSerialCommException::ioError);
    EXPECT_EQ(CauseOf([&] { file.PurgeRx(); }), COXSerialCommException::ioError);
    EXPECT_EQ(CauseOf([&] { file.PurgeTx(); }), COXSerialCommException::ioError);
    EXPECT_EQ(file.GetBytesToWrite(), 0u);
    EXPECT_FALSE(file.IsRxQueueEmpty());
    EXPECT_FALSE(file.IsTxQueueEmpty());
    EXPECT_FALSE(file.GetCommMask(mask));
    EXPECT_EQ(mask, 7u);
    EXPECT_FALSE(file.SetCommMask(1));
    EXPECT_FALSE(file.SetDefaultTimeOut(1000, 5000));
    EXPECT_FALSE(file.GetCTS());
    EXPECT_FALSE(file.GetCD());
    file.SetRTS(1);
    file.Close();
    EXPECT_EQ(file.GetCommException(), COXSerialCommException::ioError);
}

TEST(COXSerialCommFile, OpenPortKeepsItsEventMask)
{
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommFile file;
    ASSERT_TRUE(file.Open(ConfigFor(kPortId)));
    DWORD mask = 0xFFFF;
    EXPECT_TRUE(file.GetCommMask(mask));
    EXPECT_EQ(mask, 0u);
    EXPECT_TRUE(file.SetCommMask(mask | COXSerialCommFile::EV_RXCHAR));
    EXPECT_TRUE(file.GetCommMask(mask));
    EXPECT_EQ(mask, COXSerialCommFile::EV_RXCHAR);
    EXPECT_EQ(file.GetCommException(), COXSerialCommException::noError);
}

TEST(COXSerialCommFile, HungUpDeviceFailsTheRead)
{
    support::PseudoTerminal pty(kPortId + 1);
    COXSerialCommFile file;
    ASSERT_TRUE(file.Open(ConfigFor(kPortId)));
    pty.CloseDeviceSide();
    BYTE buffer[4];
    const int cause = CauseOf([&] { file.Read(buffer, sizeof buffer); });
    EXPECT_TRUE(cause == COXSerialCommException::ioError || cause == COXSerialCommException::rxTimeout) << cause;
}

} // namespace
