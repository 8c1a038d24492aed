#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/comm/sockets/TcpSetupDlg.h"
#include "kestrun/comm/sockets/UdpCommFile.h"

#include "kestrun/comm/ConfigArchive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Installs a presenter for one test and removes it afterwards.
class PresenterScope {
public:
    explicit PresenterScope(CdsTcpSetupDlg::Presenter presenter)
    {
        CdsTcpSetupDlg::SetPresenter(std::move(presenter));
    }
    ~PresenterScope() { CdsTcpSetupDlg::SetPresenter({}); }
};

CdsTcpipConfig Sample()
{
    CdsTcpipConfig c;
    c.SetPortId(5000);
    c.m_strDescription = "PLC 1";
    c.m_strLocalAddress = "10.0.0.1";
    c.m_strRemoteAddress = "10.0.0.9";
    c.m_nRemotePort = 1025;
    c.m_nTimeOut = 4000;
    return c;
}

TEST(CdsTcpipConfig, Defaults)
{
    CdsTcpipConfig c;
    EXPECT_EQ(c.GetPortType(), COMM_PORT_TCPIP);
    EXPECT_EQ(c.GetPortId(), 0xFFFF);
    EXPECT_EQ(c.m_nRemotePort, -1);
    EXPECT_EQ(c.m_nTimeOut, 10000);
    EXPECT_EQ(c.m_nSocketType, 1);
    EXPECT_TRUE(c.IsTcpSocket());
    CdsUdpipConfig u;
    EXPECT_EQ(u.m_nSocketType, 2);
    EXPECT_FALSE(static_cast<CdsTcpipConfig&>(u).IsTcpSocket());
    EXPECT_EQ(CdsIP6Config().m_nSocketType, 1);
}

TEST(CdsTcpipConfig, PortsUpTo1024AreReservedAndBindPortZero)
{
    struct Case {
        WORD portId;
        bool reserved;
        WORD bind;
    };
    for (const Case& c : {Case{0, true, 0}, Case{80, true, 0}, Case{1024, true, 0},
                          Case{1025, false, 1025}, Case{5000, false, 5000}, Case{65535, false, 65535}}) {
        EXPECT_EQ(CdsTcpipConfig::IsPortReserved(c.portId), c.reserved) << c.portId;
        CdsTcpipConfig config;
        config.SetPortId(c.portId);
        EXPECT_EQ(config.GetLocalBindPort(), c.bind) << c.portId;
    }
}

TEST(CdsTcpipConfig, RemotePortOutsideTheSocketRangeIsInvalidAndKept)
{
    struct Case {
        std::int32_t port;
        bool valid;
    };
    for (const Case& c : {Case{-1, false}, Case{0, false}, Case{1, true}, Case{5000, true},
                          Case{65535, true}, Case{65536, false}, Case{70000, false},
                          Case{INT32_MIN, false}}) {
        CdsTcpipConfig config;
        config.m_nRemotePort = c.port;
        EXPECT_EQ(config.HasValidRemotePort(), c.valid) << c.port;
        EXPECT_EQ(config.m_nRemotePort, c.port);
    }
    CdsTcpipConfig config;
    config.m_nRemotePort = 70000;
    EXPECT_EQ(config.RemotePortError(), "Invalid remote port 70000 (1 to 65535)");
    // Stored as it is.
    CdsTcpipConfig loaded;
    commtest::Load(loaded, commtest::Store(config));
    EXPECT_EQ(loaded.m_nRemotePort, 70000);
}

TEST(CdsTcpipConfig, SavingAndCopyingWhileAUdpLineTakesSendersSeeWholeAddresses)
{
    // A UDP line writes each sender into the configuration while the document is saved or copied.
    const std::string shortName = "10.0.0.7";
    const std::string longName = "plc-gateway-north.plant.example";
    CdsUdpipConfig config;
    config.m_strRemoteAddress = longName + "0";
    std::atomic<bool> done{false};
    std::thread line([&] {
        for (int i = 0; !done.load(); ++i) {
            std::string next = (i % 2) ? shortName : longName + std::to_string(i % 7);
            std::lock_guard lock(CdsUdpCommFile::RemoteAddressLock());
            config.m_strRemoteAddress.swap(next);
        }
    });
    for (int i = 0; i < 400; ++i) {
        CdsUdpipConfig loaded;
        commtest::Load(loaded, commtest::Store(config));
        CdsUdpipConfig copy;
        copy = config;
        for (const std::string& seen : {loaded.m_strRemoteAddress, CdsUdpCommFile::GetRemoteAddress(copy)}) {
            const bool whole = seen == shortName || (seen.size() == longName.size() + 1 && seen.starts_with(longName));
            EXPECT_TRUE(whole) << seen;
        }
    }
    done = true;
    line.join();
}

TEST(CdsTcpSetupDlg, LoadingShowsTheFieldsAndTheSocketTypeAsText)
{
    struct Case {
        std::int32_t socketType;
        const char* shown;
    };
    for (const Case& c : {Case{1, "TCP"}, Case{2, "UDP"}, Case{5, "TCP"}, Case{0, "TCP"}, Case{-2, "TCP"}}) {
        CdsTcpipConfig config = Sample();
        config.m_nSocketType = c.socketType;
        CdsTcpSetupDlg dlg(config, "");
        EXPECT_EQ(dlg.m_strSocketType, c.shown) << c.socketType;
        EXPECT_EQ(dlg.m_strLocalAddress, "10.0.0.1");
        EXPECT_EQ(dlg.m_strRemoteAddress, "10.0.0.9");
        EXPECT_EQ(dlg.m_strRemotePort, "1025");
        EXPECT_EQ(dlg.m_strTimeOut, "4000");
    }
}

TEST(CdsTcpSetupDlg, SavingReadsTheSocketTypeCaseSensitively)
{
    struct Case {
        const char* text;
        std::int32_t stored;
    };
    for (const Case& c : {Case{"UDP", 2}, Case{"udp", 1}, Case{"TCP", 1}, Case{"", 1}, Case{"UDP ", 1}}) {
        CdsTcpSetupDlg dlg(Sample(), "");
        dlg.m_strSocketType = c.text;
        ASSERT_TRUE(dlg.Save());
        EXPECT_EQ(dlg.GetConfig().m_nSocketType, c.stored) << c.text;
    }
}

TEST(CdsTcpSetupDlg, NumberFieldsMustBeIntegers)
{
    struct Case {
        const char* port;
        const char* timeOut;
        bool ok;
        int badControl;
    };
    const Case cases[] = {
        {"502", "3000", true, 0},
        {" -7 ", "+20", true, 0},
        {"", "3000", false, CdsTcpSetupDlg::IDC_REMOTE_PORT},
        {"12a", "3000", false, CdsTcpSetupDlg::IDC_REMOTE_PORT},
        {"99999999999", "3000", false, CdsTcpSetupDlg::IDC_REMOTE_PORT},
        {"502", "3.5", false, CdsTcpSetupDlg::IDC_TIMEOUT},
        {"502", "-", false, CdsTcpSetupDlg::IDC_TIMEOUT},
    };
    for (const Case& c : cases) {
        CdsTcpSetupDlg dlg(Sample(), "");
        dlg.m_strRemotePort = c.port;
        dlg.m_strTimeOut = c.timeOut;
        dlg.m_strRemoteAddress = "changed";
        int bad = 0;
        EXPECT_EQ(dlg.Save(&bad), c.ok) << c.port << "/" << c.timeOut;
        EXPECT_EQ(bad, c.badControl);
        // A failed save leaves the copy alone.
        EXPECT_EQ(dlg.GetConfig().m_strRemoteAddress, c.ok ? "changed" : "10.0.0.9");
    }
}

TEST(CdsTcpSetupDlg, CaptionIsTheTitleWhenGiven)
{
    EXPECT_EQ(CdsTcpSetupDlg(Sample(), "").GetCaption(), "Set TCP/IP");
    EXPECT_EQ(CdsTcpSetupDlg(Sample(), "Line 2").GetCaption(), "Line 2");
}

TEST(TcpDoConfigDialog, WithoutAUserInterfaceCancels)
{
    CdsTcpipConfig config = Sample();
    EXPECT_EQ(config.DoConfigDialog("x"), COMM_DLG_CANCEL);
    EXPECT_EQ(config.m_nRemotePort, 1025);
}

TEST(TcpDoConfigDialog, OkTakesTheEditedCopyBack)
{
    PresenterScope scope([](CdsTcpSetupDlg& dlg) {
        dlg.m_strRemoteAddress = "plc.local";
        dlg.m_strRemotePort = "5007";
        dlg.m_strTimeOut = "2500";
        dlg.m_strSocketType = "UDP";
        return dlg.Save() ? COMM_DLG_OK : COMM_DLG_CANCEL;
    });
    CdsTcpipConfig config = Sample();
    config.m_nSocketType = 5;
    EXPECT_EQ(config.DoConfigDialog(""), COMM_DLG_OK);
    EXPECT_EQ(config.m_strRemoteAddress, "plc.local");
    EXPECT_EQ(config.m_nRemotePort, 5007);
    EXPECT_EQ(config.m_nTimeOut, 2500);
    EXPECT_EQ(config.m_nSocketType, 2);
    EXPECT_EQ(config.m_strLocalAddress, "10.0.0.1");
    EXPECT_EQ(config.m_strDescription, "PLC 1");
    EXPECT_EQ(config.GetPortId(), 5000);
}

TEST(TcpDoConfigDialog, OkOnAnUnknownSocketTypeStoresTcp)
{
    PresenterScope scope([](CdsTcpSetupDlg& dlg) {
        EXPECT_EQ(dlg.m_strSocketType, "TCP");
        return dlg.Save() ? COMM_DLG_OK : COMM_DLG_CANCEL;
    });
    CdsTcpipConfig config = Sample();
    config.m_nSocketType = 5;
    EXPECT_EQ(config.DoConfigDialog(""), COMM_DLG_OK);
    EXPECT_EQ(config.m_nSocketType, 1);
}

TEST(TcpDoConfigDialog, CancelLeavesEveryFieldUntouched)
{
    PresenterScope scope([](CdsTcpSetupDlg& dlg) {
        dlg.m_strRemoteAddress = "other";
        dlg.m_strLocalAddress = "other";
        EXPECT_TRUE(dlg.Save());
        return COMM_DLG_CANCEL;
    });
    CdsTcpipConfig config = Sample();
    const auto before = commtest::Store(config);
    EXPECT_EQ(config.DoConfigDialog("t"), COMM_DLG_CANCEL);
    EXPECT_EQ(commtest::Store(config), before);
}

TEST(TcpDoConfigDialog, UdpAndIp6ShowNoDialog)
{
    int shown = 0;
    PresenterScope scope([&](CdsTcpSetupDlg&) {
        ++shown;
        return COMM_DLG_OK;
    });
    CdsUdpipConfig udp;
    CdsIP6Config ip6;
    EXPECT_EQ(udp.DoConfigDialog(""), COMM_DLG_CANCEL);
    EXPECT_EQ(ip6.DoConfigDialog(""), COMM_DLG_CANCEL);
    EXPECT_EQ(shown, 0);
}

} // namespace
