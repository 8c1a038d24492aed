// The data view's window offscreen: it shows the core's sorted lists and hands
// a clicked line back to the core, its columns at the core's tab stops.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <QSplitter>
#include <QTest>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/shell/server/DataViewList.h"
#include "kestrun/shell/gui/DataViewWidget.h"
#include "kestrun/shell/gui/TabStopDelegate.h"
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

namespace {

// The rightmost column with ink in a row of the image, or -1.
int RightmostInk(const QImage& image, const QRect& row, QRgb background)
{
    for (int x = row.right(); x >= row.left(); --x)
        for (int y = row.top(); y <= row.bottom(); ++y)
            if (image.pixel(x, y) != background)
                return x;
    return -1;
}

TEST(DataViewWidget, ListsLineUpTheirColumnsAtTheViewsTabStops)
{
    shell::gui::QtWindows windows;
    testsupport::ShellHarness shell;
    shell.app.SetWindowFactory(&windows);
    ASSERT_TRUE(shell.OpenDocument());
    auto* widget = dynamic_cast<shell::gui::DataViewWidget*>(windows.MainWindow()->Splitter()->widget(0));
    ASSERT_NE(widget, nullptr);
    for (auto [list, units] : {std::pair{widget->Devices(), 20}, std::pair{widget->Blocks(), 50}}) {
        auto* delegate = dynamic_cast<shell::gui::TabStopDelegate*>(list->itemDelegate());
        ASSERT_NE(delegate, nullptr) << units;
        EXPECT_EQ(delegate->GetDialogUnits(), units);
        const int letters = QFontMetrics(list->font()).horizontalAdvance(CdsDataViewList::kAverageLetters);
        EXPECT_EQ(delegate->TabStopPixels(list->font()), CdsDataViewList::DialogUnitsToPixels(units, letters));
    }

    // Lines of first columns of different widths: the second column ends at one place.
    QListWidget list;
    list.setItemDelegate(new shell::gui::TabStopDelegate(20, &list));
    list.resize(300, 120);
    for (const char* text : {"\tX", "AB\tX", "\t\tX"})
        list.addItem(text);
    const int tabStop = shell::gui::TabStopDelegate(20, nullptr).TabStopPixels(list.font());
    const int xWidth = QFontMetrics(list.font()).horizontalAdvance('X');
    if (xWidth <= 0)
        GTEST_SKIP() << "no font to draw with";
    ASSERT_GT(tabStop, QFontMetrics(list.font()).horizontalAdvance("AB"));
    list.setFocusPolicy(Qt::NoFocus);
    list.show();
    list.setCurrentRow(-1); // no highlighted line
    QCoreApplication::processEvents();
    const QImage image = list.viewport()->grab().toImage();
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    const int first = RightmostInk(image, list.visualItemRect(list.item(0)), background);
    const int second = RightmostInk(image, list.visualItemRect(list.item(1)), background);
    const int third = RightmostInk(image, list.visualItemRect(list.item(2)), background);
    ASSERT_GT(first, 0);
    EXPECT_EQ(second, first);
    EXPECT_NEAR(third - first, tabStop, 1); // the next stop
    const int left = list.visualItemRect(list.item(0)).left();
    EXPECT_GE(first - left, tabStop);
    EXPECT_LE(first - left, tabStop + xWidth + 6);
}

} // namespace
