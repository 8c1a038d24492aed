// Dialog windows and the command actions without a server: the write dialog's shapes
// through its controls, the MMI dialog's enabling, the menu texts and file filters,
// and shortcuts that only the focused connection window hears.
#include "Controls.h"
#include "quillet/FakeServer.h"
#include "quillet/QuilletFixture.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/gui/ConnectionWindow.h"
#include "quillet/gui/EventDialogs.h"
#include "quillet/gui/ItemDialogs.h"
#include "quillet/gui/QtUiServices.h"
#include "quillet/gui/ServerDialogs.h"
#include "quillet/views/QuilletApp.h"

#include "platform/com/Time.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QDialog>
#include <QMdiArea>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {

using quillettest::Control;
using quillettest::Toggle;
namespace ctl = quillet::ctl;

TEST(MenuTexts, LabelKeepsTheMnemonicAndTheTabGivesTheShortcut)
{
    using quillet::gui::MenuShortcut;
    EXPECT_EQ(quillet::gui::MenuLabel("&Sync Read\tCtrl+Alt+R"), "&Sync Read");
    EXPECT_EQ(MenuShortcut("&Sync Read\tCtrl+Alt+R"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    EXPECT_EQ(MenuShortcut("&Remove Item(s)\tDel"), QKeySequence(Qt::Key_Delete));
    EXPECT_TRUE(MenuShortcut("&Close").isEmpty());
    EXPECT_EQ(quillet::gui::QtUiServices::NameFilters("Comma Separated Format Files (*.csv)|*.csv|Logs|*.log;*.txt||"),
              (QStringList{"Comma Separated Format Files (*.csv)", "Logs (*.log *.txt)"}));
}

TEST(MainWindowDisabling, TheWindowsOwnPartsGoGreyWhileItsDialogsKeepTheirInput)
{
    QMainWindow main;
    auto* central = new QLabel("central", &main);
    main.setCentralWidget(central);
    main.menuBar()->addMenu("&File");
    auto* alreadyOff = new QLabel("off", &main);
    alreadyOff->setEnabled(false);
    auto* dialog = new QDialog(&main);
    auto* field = new QLineEdit(dialog);
    quillet::StringTable texts;
    quillet::gui::QtUiServices ui(texts, [&main]() -> QWidget* { return &main; });
    {
        quillet::MainWindowDisabled outer(ui);
        EXPECT_FALSE(central->isEnabled());
        EXPECT_FALSE(main.menuBar()->isEnabled());
        EXPECT_TRUE(dialog->isEnabled());
        EXPECT_TRUE(field->isEnabled());
        quillet::MainWindowDisabled inner(ui);
    }
    EXPECT_TRUE(central->isEnabled());
    EXPECT_TRUE(main.menuBar()->isEnabled());
    EXPECT_FALSE(alreadyOff->isEnabled());  // what was off stays off
}

class Dialogs : public quillettest::DocFixture {};

TEST_F(Dialogs, WriteDialogControlsShapeTheValueAndRevertWhatCannotBe)
{
    CGroup group(doc);
    CItem& item = AddItem(group, "A");  // a value never received: VT_EMPTY
    CWriteItemDlg form(texts, ui, {&item});
    quillet::gui::WriteItemDialog dialog(form, texts);
    dialog.show();
    auto* array = Control<QCheckBox>(&dialog, ctl::IDC_WRITE_ARRAY);
    auto* message = Control<QLabel>(&dialog, ctl::IDC_MESSAGE);
    Toggle(array);
    EXPECT_FALSE(array->isChecked());  // no array of nothing
    EXPECT_EQ(message->text(), "Could not change variant information to the parameters you have set.");
    auto* type = Control<QComboBox>(&dialog, ctl::IDC_DATA_TYPE);
    const int i4 = *quillet::FindType(quillet::WriteTypes(), VT_I4);
    type->setCurrentIndex(i4);
    emit type->activated(i4);
    Toggle(array);
    EXPECT_TRUE(array->isChecked());
    auto* length = Control<QLineEdit>(&dialog, ctl::IDC_WRITE_LENGTH);
    EXPECT_TRUE(length->isEnabled());
    length->selectAll();
    QTest::keyClicks(length, "3");
    QTest::keyClick(length, Qt::Key_Return);
    EXPECT_EQ(Control<QListWidget>(&dialog, ctl::IDC_ELEMENTS)->count(), 3);
    QTest::mouseClick(Control<QPushButton>(&dialog, ctl::IDOK), Qt::LeftButton);
    ASSERT_TRUE(form.values[0].isArray());
    EXPECT_EQ(form.values[0].parray()->count(), 3u);
}

TEST_F(Dialogs, SelectServerLabelsMarkTheirMnemonicsAndStandApart)
{
    const std::vector<CServerEntry> servers = {{"Tessaro.TestServer", {}, 0}};
    CServerSelectForm form(servers, false, ui, texts, {});
    quillet::gui::ServerSelectDialog dialog(form, texts);
    dialog.show();
    auto labelOf = [&](QWidget* control) -> QLabel* {
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->buddy() == control) return label;
        return nullptr;
    };
    QLabel* located = labelOf(Control<QListWidget>(&dialog, ctl::IDC_LOCATED_SERVERS));
    QLabel* progId = labelOf(Control<QLineEdit>(&dialog, ctl::IDC_PROGID));
    QLabel* node = labelOf(Control<QLineEdit>(&dialog, ctl::IDC_NODE));
    ASSERT_TRUE(located && progId && node);
    EXPECT_EQ(located->text(), "&Located Servers:");  // a buddy shows it as "Located Servers:"
    EXPECT_FALSE(node->isEnabled());                  // no remote access
    EXPECT_FALSE(progId->geometry().intersects(node->geometry()));
    EXPECT_LT(progId->geometry().bottom(), node->geometry().top());
}

TEST_F(Dialogs, ServerStatusShowsWholeDatesFromTheirStart)
{
    OPCSERVERSTATUS status{};
    ASSERT_TRUE(com::systemTimeToFileTime(SYSTEMTIME{2026, 9, 0, 30, 12, 59, 59, 0}, status.ftStartTime));
    status.ftCurrentTime = status.ftLastUpdateTime = status.ftStartTime;
    status.dwServerState = OPC_STATUS_RUNNING;
    status.szVendorInfo = com::toBstr(std::string(2000, 'v'));  // a server's long text keeps the box sane
    CServerStatusForm form(status);
    quillet::gui::ServerStatusDialog dialog(form, texts);
    dialog.show();
    for (UINT id : {ctl::IDC_STATUS_START_TIME, ctl::IDC_STATUS_CURRENT_TIME, ctl::IDC_STATUS_LAST_UPDATE}) {
        auto* edit = Control<QLineEdit>(&dialog, id);
        ASSERT_FALSE(edit->text().isEmpty());
        EXPECT_GT(edit->width(), edit->fontMetrics().horizontalAdvance(edit->text())) << edit->text().toStdString();
        EXPECT_EQ(edit->cursorPosition(), 0);
    }
    EXPECT_LT(dialog.width(), 800);
    EXPECT_EQ(Control<QLineEdit>(&dialog, ctl::IDC_STATUS_VENDOR)->cursorPosition(), 0);
}

TEST_F(Dialogs, MmiDialogForcesTheDisplayedGroupWhileEmulating)
{
    CMMIEmulationDlg form;
    quillet::gui::MMIEmulationDialog dialog(form, texts);
    dialog.show();
    auto* only = Control<QCheckBox>(&dialog, ctl::IDC_MMI_ONLY_DISPLAYED);
    auto* seconds = Control<QLineEdit>(&dialog, ctl::IDC_MMI_SECONDS);
    EXPECT_TRUE(only->isEnabled());
    EXPECT_FALSE(seconds->isEnabled());
    Toggle(Control<QCheckBox>(&dialog, ctl::IDC_MMI_ENABLE));
    EXPECT_TRUE(only->isChecked());
    EXPECT_FALSE(only->isEnabled());
    EXPECT_TRUE(seconds->isEnabled());
    seconds->selectAll();
    QTest::keyClicks(seconds, "45");
    QTest::mouseClick(Control<QPushButton>(&dialog, ctl::IDOK), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(std::tuple(form.enabled, form.onlyDisplayedActive, form.seconds), std::tuple(TRUE, TRUE, DWORD(45)));
}

TEST_F(Dialogs, ShortcutsReachOnlyTheConnectionWindowThatHasTheFocus)
{
    opc::ComPtr<quillettest::FakeServer> server(new quillettest::FakeServer(script));
    ASSERT_EQ(doc.AttachServer(opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(server.get()))), S_OK);
    CQuilletDoc other(docHost);
    ASSERT_EQ(other.AttachServer(opc::ComPtr<IUnknown>(static_cast<IOPCServer*>(server.get()))), S_OK);
    std::vector<std::unique_ptr<CSplitterFrame>> frames;
    frames.push_back(std::make_unique<CSplitterFrame>(doc));
    frames.push_back(std::make_unique<CSplitterFrame>(other));
    QMdiArea area;
    std::vector<quillet::gui::ConnectionWindow*> windows;
    for (auto& frame : frames) {
        frame->Document().OnAddGroup({});
        windows.push_back(new quillet::gui::ConnectionWindow(*frame, texts, {}, {}));
        area.addSubWindow(windows.back());
        windows.back()->show();
    }
    area.show();
    area.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
    QSignalSpy first(windows[0]->Actions().Action(quillet::cmd::ID_COUNTER_RESET), &QAction::triggered);
    QSignalSpy second(windows[1]->Actions().Action(quillet::cmd::ID_COUNTER_RESET), &QAction::triggered);
    area.setActiveSubWindow(windows[1]);
    windows[1]->GroupTree()->setFocus();
    QTest::keyClick(windows[1]->GroupTree(), Qt::Key_D, Qt::ControlModifier);  // "Counter &Reset\tCtrl+D"
    EXPECT_EQ(first.count(), 0);
    EXPECT_EQ(second.count(), 1);
    for (auto* w : windows) w->Detach();
    doc.OnCloseDocument();
    other.OnCloseDocument();
}

} // namespace
