// "Channel Setup..." on the desktop: the device's line shows in the form
// dialog window and OK stores what was typed there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "kestrun/comm/sockets/TcpSetupDlg.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/gui/FormDialog.h"
#include "kestrun/shell/gui/RunServer.h"
#include "support/shell/ShellHarness.h"

namespace {

TEST(ChannelSetupWindow, TypedRemoteAddressAndPortReachTheDevicesLineOnOk)
{
    testsupport::ShellHarness shell;
    ASSERT_TRUE(shell.OpenDocument());
    shell::gui::DesktopDialogs desktop;
    CdsDeviceObject* plc1 = CdsDeviceMap::GetDeviceObjectByTopic("PLC1");
    ASSERT_NE(plc1, nullptr);
    plc1->SetCommConfig(0, std::make_unique<CdsTcpipConfig>());
    shell.Frame()->GetDataView()->SetActiveDevice(plc1);

    QString title;
    QTimer::singleShot(0, [&] {
        auto* pDialog = dynamic_cast<shell::gui::FormDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        title = pDialog->windowTitle();
        auto* pAddress = qobject_cast<QLineEdit*>(pDialog->Control(CdsTcpSetupDlg::IDC_REMOTE_ADDRESS));
        pAddress->setFocus();
        QTest::keyClicks(pAddress, "10.0.0.7");
        auto* pPort = qobject_cast<QLineEdit*>(pDialog->Control(CdsTcpSetupDlg::IDC_REMOTE_PORT));
        pPort->setFocus();
        pPort->selectAll();
        QTest::keyClicks(pPort, "50x08"); // digits only
        QTest::mouseClick(pDialog->Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    shell.Frame()->GetDataView()->OnCommand(CdsDataView::Command::PortSetup);

    EXPECT_EQ(title, "Set TCP/IP");
    const auto& line = dynamic_cast<const CdsTcpipConfig&>(*plc1->GetPrimaryMasterConfig());
    EXPECT_EQ(line.m_strRemoteAddress, "10.0.0.7");
    EXPECT_EQ(line.m_nRemotePort, 5008);
    EXPECT_TRUE(shell.Doc()->IsModified());
}

} // namespace
