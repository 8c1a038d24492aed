// The data view's window offscreen: it shows the core's sorted lists and hands
// a clicked line back to the core.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QSplitter>
#include <QTest>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/gui/DataViewWidget.h"
#include "kestrun/shell/gui/QtWindows.h"
#include "support/shell/ShellHarness.h"

namespace {

TEST(DataViewWidget, AClickedDeviceBecomesActiveAndItsBlocksAreListed)
{
    shell::gui::QtWindows windows;
    testsupport::ShellHarness shell;
    shell.app.SetWindowFactory(&windows);
    ASSERT_TRUE(shell.OpenDocument());
    CdsDeviceMap* map = shell.Doc()->GetDeviceMap(FALSE);
    auto* other = new testsupport::TestServerDevice;
    other->m_strName = "ALPHA";
    other->m_strPort = "EMUL1";
    other->m_strAddress = "2";
    ASSERT_NE(map->AddDeviceObject(other, TRUE), nullptr);
    CdsDataView* view = shell.Frame()->GetDataView();
    view->FillDeviceList();

    auto* widget = dynamic_cast<shell::gui::DataViewWidget*>(windows.MainWindow()->Splitter()->widget(0));
    ASSERT_NE(widget, nullptr);
    shell.Frame()->ShowWindow(true);
    QListWidget* devices = widget->Devices();
    ASSERT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->item(0)->text(), "ALPHA\t"); // sorted
    EXPECT_EQ(devices->currentRow(), 1);            // PLC1, made active by the initial update
    EXPECT_EQ(widget->Blocks()->count(), 1);

    QTest::mouseClick(devices->viewport(), Qt::LeftButton, {}, devices->visualItemRect(devices->item(0)).center());
    EXPECT_EQ(view->GetActiveDevice(), other);
    EXPECT_EQ(widget->Blocks()->count(), 0);
    EXPECT_EQ(devices->currentRow(), 0);
}

} // namespace
