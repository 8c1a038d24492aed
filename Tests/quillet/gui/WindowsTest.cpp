// Quillet's real windows driven offscreen with QTest against the bundled server: the
// add-item dialog with its browser, a connection window, and the main window with its
// recent files. Controls are found by their ids.
#include "Controls.h"
#include "quillet/RealServerFixture.h"

#include "quillet/views/MainFrame.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/gui/ConnectionWindow.h"
#include "quillet/gui/GroupDialogs.h"
#include "quillet/gui/ItemDialogs.h"
#include "quillet/gui/MainWindow.h"
#include "quillet/gui/QtUiServices.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace {

using namespace quillet::cmd;
using quillettest::Click;
using quillettest::Control;
using quillettest::DoubleClick;

// Runs script on the modal dialog that the next step opens.
void OnNextDialog(std::function<void(QDialog&)> script)
{
    QTimer::singleShot(0, [script] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        script(*dialog);
    });
}

class Windows : public quillettest::RealServer {
protected:
    void SetUp() override
    {
        RealServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // The dialogs run as their real windows; boxes and file dialogs stay scripted.
        for (UINT id : {quillet::dlg::IDD_ADD_GROUP, quillet::dlg::IDD_ADD_ITEM, quillet::dlg::IDD_SELECT_SERVER})
            ui.dialogs[id] = [this](quillet::DialogForm& f) { return windows.RunDialog(f); };
    }
    // The server's notices, the view timers and Qt's events, until done (bounded).
    template <typename Done>
    bool Wait(Done done)
    {
        for (int i = 0; i < 500; ++i) {
            dispatcher.advance(50);
            QCoreApplication::processEvents();
            if (done()) return true;
            dispatcher.waitForWork(10);
        }
        return false;
    }
    static QString Cell(QTableView* table, int row, int column)
    {
        return table->model()->index(row, column).data().toString();
    }

    quillet::gui::QtUiServices windows{texts, [] { return nullptr; }};
};

TEST_F(Windows, AddItemDialogBrowsesTheServerAndFillsItsEntries)
{
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    CAddItemDlg form(group, app->FrameOf(&doc)->Items().AddItemTemplate());
    quillet::gui::AddItemDialog dialog(form, texts);
    dialog.show();

    auto* tree = Control<QTreeView>(&dialog, quillet::ctl::IDC_BROWSE_TREE);
    QAbstractItemModelTester treeTester(tree->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex root = tree->model()->index(0, 0);
    EXPECT_EQ(root.data().toString(), "Root (Node: <Local>)");
    const QModelIndex plc = tree->model()->index(0, 0, root);
    ASSERT_EQ(plc.data().toString(), "PLC1");
    tree->expand(plc);  // opened: its placeholder goes, it has no branches of its own
    EXPECT_EQ(tree->model()->rowCount(plc), 0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(plc).center());

    auto* leaves = Control<QTreeWidget>(&dialog, quillet::ctl::IDC_BROWSE_LEAVES);
    ASSERT_EQ(leaves->topLevelItemCount(), 3);
    EXPECT_EQ(leaves->headerItem()->text(0), "Root (Node: <Local>)\\PLC1");
    // The leaf column fits its path with room to spare, and fills the list at least.
    const int fit = leaves->header()->fontMetrics().horizontalAdvance(leaves->headerItem()->text(0)) + 30;
    EXPECT_EQ(leaves->columnWidth(0), std::max(fit, leaves->viewport()->width()));
    auto clickLeaf = [&](int row, bool twice) {
        const QPoint at = leaves->visualItemRect(leaves->topLevelItem(row)).center();
        if (twice) DoubleClick(leaves->viewport(), at);
        else QTest::mouseClick(leaves->viewport(), Qt::LeftButton, {}, at);
    };
    clickLeaf(1, false);
    EXPECT_EQ(Control<QLineEdit>(&dialog, quillet::ctl::IDC_ITEM_NAME)->text(), "PLC1.D101");
    EXPECT_EQ(Control<QLineEdit>(&dialog, quillet::ctl::IDC_ACCESS_RIGHTS)->text(), "Read / Write");
    Click(Control<QPushButton>(&dialog, quillet::ctl::IDC_ADD_ITEM));
    clickLeaf(2, true);  // a double click takes the leaf and starts the next entry
    auto* entries = Control<QListWidget>(&dialog, quillet::ctl::IDC_LIST);
    ASSERT_EQ(entries->count(), 3);
    EXPECT_EQ(entries->item(1)->text(), "PLC1.TEXT");

    QTest::keyClicks(Control<QLineEdit>(&dialog, quillet::ctl::IDC_BROWSE_FILTER), "D");  // "*D": none end so
    EXPECT_EQ(leaves->topLevelItemCount(), 0);
    Control<QLineEdit>(&dialog, quillet::ctl::IDC_BROWSE_FILTER)->clear();
    QTest::keyClicks(Control<QLineEdit>(&dialog, quillet::ctl::IDC_BROWSE_FILTER), "D*");
    EXPECT_EQ(leaves->topLevelItemCount(), 2);

    Click(Control<QPushButton>(&dialog, quillet::ctl::IDOK));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    auto items = form.TakeItems();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->GetItemID(), "PLC1.D101");
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Windows, ConnectionWindowShowsTheValueOfAnItemAddedToTheSelectedGroup)
{
    CQuilletDoc& doc = Connect();
    CSplitterFrame& frame = *app->FrameOf(&doc);
    quillet::gui::ConnectionWindow window(frame, texts, {}, {});
    window.resize(800, 600);
    window.show();
    using Tester = QAbstractItemModelTester;
    Tester groups(window.GroupTree()->model(), Tester::FailureReportingMode::Fatal);
    Tester items(window.ItemList()->model(), Tester::FailureReportingMode::Fatal);
    Tester log(window.LogList()->model(), Tester::FailureReportingMode::Fatal);
    for (const char* name : {"First", "Second"}) {
        OnNextDialog([name](QDialog& d) {
            QTest::keyClicks(Control<QLineEdit>(&d, quillet::ctl::IDC_GROUP_NAME), name);
            Click(Control<QPushButton>(&d, quillet::ctl::IDOK));
        });
        window.Actions().Action(ID_ADD_GROUP)->trigger();
    }
    QTreeView* tree = window.GroupTree();
    ASSERT_EQ(tree->model()->rowCount(), 2);
    EXPECT_EQ(tree->currentIndex().row(), 1);  // each new group is selected
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->model()->index(0, 0)).center());
    ASSERT_EQ(frame.Groups().Selection(), 0);
    EXPECT_TRUE(window.Actions().Action(ID_ADD_ITEM)->isEnabled());

    OnNextDialog([](QDialog& d) {
        QTest::keyClicks(Control<QLineEdit>(&d, quillet::ctl::IDC_ITEM_NAME), "PLC1.D100");
        Click(Control<QPushButton>(&d, quillet::ctl::IDOK));
    });
    window.Actions().Action(ID_ADD_ITEM)->trigger();
    QTableView* list = window.ItemList();
    ASSERT_TRUE(Wait([&] { return list->model()->rowCount() == 1 && Cell(list, 0, 1) == "10"; }))
        << list->model()->rowCount();
    EXPECT_EQ(Cell(list, 0, 0), "PLC1.D100");
    EXPECT_EQ(list->model()->headerData(1, Qt::Horizontal).toString(), "Sub Value");
    EXPECT_EQ(doc.Groups().front()->GetName(), "First");
    // The ItemID column fits its texts, and keeps that width when another group is shown.
    const int width = list->columnWidth(0);
    EXPECT_EQ(frame.Items().CurrentColumns()[quillet::COL_ITEMID].width, width);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(tree->model()->index(1, 0)).center());
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(list->columnWidth(0), width);

    // The log pane opens with its command, and shows what happened.
    window.Actions().Action(ID_MESSAGE_LOG)->trigger();
    EXPECT_TRUE(window.LogList()->isVisibleTo(&window));
    EXPECT_GT(window.LogList()->model()->rowCount(), 0);

    // The right-click menus carry their own texts, without shortcuts, and follow the
    // states of the window's commands.
    auto texts = [](QMenu* menu) {
        QStringList all;
        for (QAction* a : menu->actions()) {
            all << a->text();
            if (a->menu())
                for (QAction* b : a->menu()->actions()) all << "  " + b->text();
        }
        return all;
    };
    auto* groupMenu = window.findChild<QMenu*>("groupMenu");
    ASSERT_NE(groupMenu, nullptr);
    EXPECT_EQ(texts(groupMenu),
              (QStringList{"Group &State", "&Add Group...", "&Remove Group(s)", "Advise &Group(s)"}));
    auto* itemMenu = window.findChild<QMenu*>("itemMenu");
    ASSERT_NE(itemMenu, nullptr);
    EXPECT_EQ(texts(itemMenu),
              (QStringList{"&Add Item...", "&Remove Item(s)", "Acti&ve State", "Read From &Cache", "Change &Handle(s)...",
                           "&Sync Read", "Sync Wri&te", "AsyncIO", "  &Read", "  &Write...", "  Re&fresh", "AsyncIO2",
                           "  &Read", "  &Write...", "  Re&fresh", "  &Enable"}));
    for (QAction* a : itemMenu->actions()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
    EXPECT_TRUE(groupMenu->actions()[0]->isEnabled());
    EXPECT_FALSE(groupMenu->actions()[3]->isEnabled());  // no command answers it
    EXPECT_EQ(itemMenu->actions()[1]->isEnabled(), window.Actions().Action(ID_REMOVE_ITEMS)->isEnabled());
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Windows, AWindowOpenedOnItemsAlreadyThereStartsInItsGroupTreeAndFitsItsItemIdColumn)
{
    // As a set-up file opens: the items come before their window.
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    CSplitterFrame& frame = *app->FrameOf(&doc);
    std::vector<std::unique_ptr<CItem>> items;
    for (const char* id : {"PLC1.D100", "Control.Array"}) {
        items.push_back(std::make_unique<CItem>(doc));
        items.back()->SetItemID(id);
    }
    frame.Items().AddItemsToServer(group, std::move(items));
    quillet::gui::ConnectionWindow window(frame, texts, {}, {});
    window.resize(800, 600);
    window.show();
    EXPECT_EQ(window.focusWidget(), window.GroupTree());  // a new window starts in its group tree
    QTableView* list = window.ItemList();
    ASSERT_GE(list->model()->rowCount(), 2);
    const int width = list->columnWidth(0);
    EXPECT_EQ(frame.Items().CurrentColumns()[quillet::COL_ITEMID].width, width);
    list->resizeColumnToContents(0);
    EXPECT_EQ(list->columnWidth(0), width);
}

TEST_F(Windows, GroupStateDialogIsEditedOnlyAfterEditGroupAndAppliesThroughItsControls)
{
    CQuilletDoc& doc = Connect();
    CGroup& group = AddGroup(doc, ADVISE_CONNECTIONPOINT);
    CGroupStateDlg form(doc, group.m_itemMgt.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt));
    form.Open();
    quillet::gui::GroupStateDialog dialog(form, texts);
    dialog.show();
    auto* lcid = Control<QLineEdit>(&dialog, quillet::ctl::IDC_STATE_LCID);
    auto* apply = Control<QPushButton>(&dialog, quillet::ctl::IDC_APPLY);
    EXPECT_TRUE(lcid->isReadOnly());
    EXPECT_FALSE(Control<QCheckBox>(&dialog, quillet::ctl::IDC_STATE_IS_ACTIVE)->isEnabled());
    Click(Control<QPushButton>(&dialog, quillet::ctl::IDC_EDIT_GROUP));
    EXPECT_FALSE(lcid->isReadOnly());
    EXPECT_FALSE(apply->isEnabled());
    lcid->selectAll();
    QTest::keyClicks(lcid, "0x411");
    EXPECT_TRUE(apply->isEnabled());
    Click(apply);
    EXPECT_EQ(lcid->text(), "0x00000411");
    EXPECT_TRUE(lcid->isReadOnly());
    EXPECT_EQ(group.GetLocaleID(), 0x411u);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(Windows, ToolBarButtonsHavePicturesTipsAndFlyByHelp)
{
    CMainFrame mainFrame(*app);
    quillet::gui::MainWindow main(*app, mainFrame, texts);
    main.show();
    auto* tools = main.findChild<QToolBar*>("tools");
    ASSERT_NE(tools, nullptr);
    int buttons = 0;
    for (QAction* a : tools->actions()) {
        if (a->isSeparator()) continue;
        ++buttons;
        const std::string name = a->text().toStdString();
        EXPECT_FALSE(a->icon().isNull()) << name;
        EXPECT_FALSE(a->isIconVisibleInMenu()) << name;
        EXPECT_EQ(a->toolTip(), QString(a->text()).remove('&')) << name;
        EXPECT_EQ(a->statusTip(), a->toolTip()) << name;
    }
    EXPECT_EQ(buttons, 5);  // no connection window: the main window's own commands
    // The pointer on a button: its help shows in the status bar.
    QAction* about = main.Action(ID_APP_ABOUT);
    ASSERT_TRUE(tools->actions().contains(about));
    about->showStatusText(&main);
    EXPECT_FALSE(about->statusTip().isEmpty());
    EXPECT_EQ(main.statusBar()->currentMessage(), about->statusTip());
}

TEST_F(Windows, MainWindowOpensConnectionsAndReopensARecentFile)
{
    CMainFrame mainFrame(*app);
    quillet::gui::MainWindow main(*app, mainFrame, texts);
    main.show();
    EXPECT_EQ(main.windowTitle(), "Tarn - OPC Test Client");
    for (const char* lock : {"CAP", "NUM", "SCRL"}) {  // lock states unknown: the panes stay empty
        auto* pane = main.findChild<QLabel*>(lock);
        ASSERT_NE(pane, nullptr) << lock;
        EXPECT_TRUE(pane->text().isEmpty()) << lock;
    }
    EXPECT_EQ(main.Action(ID_FILE_MRU_FIRST)->text(), "Empty File List");
    EXPECT_FALSE(main.Action(ID_FILE_MRU_FIRST)->isEnabled());
    auto* itemMenu = main.findChild<QMenu*>(QString("menu%1").arg(quillet::MENU_ITEM));
    auto* serverMenu = main.findChild<QMenu*>(QString("menu%1").arg(quillet::MENU_SERVER));
    ASSERT_TRUE(itemMenu && serverMenu);
    EXPECT_FALSE(itemMenu->menuAction()->isVisible());  // no connection window
    EXPECT_EQ(serverMenu->actions().size(), 3);  // Connect and the two separators

    OnNextDialog([](QDialog& d) {
        auto* list = Control<QListWidget>(&d, quillet::ctl::IDC_LOCATED_SERVERS);
        DoubleClick(list->viewport(), list->visualItemRect(list->item(0)).center());
    });
    main.Action(ID_SERVER_CONNECT)->trigger();
    ASSERT_EQ(main.Area()->subWindowList().size(), 1);
    CQuilletDoc* doc = mainFrame.ActiveDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(main.ActiveWindow(), main.WindowOf(doc));
    EXPECT_EQ(main.ActiveWindow()->windowTitle(), "~Tessaro.TestServer");
    EXPECT_TRUE(itemMenu->menuAction()->isVisible());
    EXPECT_TRUE(serverMenu->actions().contains(main.ActiveWindow()->Actions().Action(ID_ADD_GROUP)));
    AddGroup(*doc, ADVISE_CONNECTIONPOINT);
    // A client of its own keeps the server program running between the connections.
    opc::ComPtr<IUnknown> keeper;
    ASSERT_EQ(opc::CoCreateInstanceEx(quillettest::kServer, u"", IID_IUnknown, keeper.put(), app->Activation()), S_OK);

    const std::string path = (scratch.path() / "recent.csv").string();
    ui.files = {path};
    main.Action(ID_FILE_SAVE)->trigger();
    EXPECT_EQ(main.Action(ID_FILE_MRU_FIRST)->text(),
              QString("&1 ") + CRecentFileList::DisplayName(path).c_str());
    main.Action(ID_FILE_CLOSE)->trigger();
    EXPECT_TRUE(main.Area()->subWindowList().empty());
    EXPECT_EQ(main.ActiveWindow(), nullptr);

    main.Action(ID_FILE_MRU_FIRST)->trigger();
    ASSERT_EQ(main.Area()->subWindowList().size(), 1);
    CQuilletDoc* reopened = mainFrame.ActiveDocument();
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->GetPathName(), path);
    EXPECT_EQ(main.WindowOf(reopened)->GroupTree()->model()->rowCount(), 1);
    EXPECT_TRUE(ui.shown.empty()) << ui.shown.front();
}

} // namespace
