// The dialog windows offscreen: the option and device dialogs over their
// forms, the folder picker, and the main window and the notification area.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/server/OptionDlg.h"
#include "kestrun/shell/app/OptionHost.h"
#include "kestrun/shell/app/ShellIds.h"
#include "kestrun/shell/gui/FolderPickerDialog.h"
#include "kestrun/shell/gui/FormDialog.h"
#include "kestrun/shell/gui/HistoryComboWidget.h"
#include "kestrun/shell/gui/QtWindows.h"
#include "kestrun/shell/gui/ShellTreeWidget.h"
#include "platform/registry/Profile.h"
#include "support/ScratchFolder.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

using shell::gui::FormDialog;

template <class Widget>
Widget* ControlOf(const FormDialog& dialog, int nId)
{
    return qobject_cast<Widget*>(dialog.Control(nId));
}

void Retype(QLineEdit* pEdit, const QString& text)
{
    pEdit->setFocus();
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_Backspace);
    QTest::keyClicks(pEdit, text);
}

void ClickOk(const FormDialog& dialog)
{
    QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

TEST(OptionDialogWindow, TypedDigitsAndClickedBoxesReachTheFormAndOkTakesThem)
{
    testsupport::ScriptedAnswers boxes;
    CdsOptionDlg form;
    form.m_dwDataUpdateTime = 10;
    form.m_bServiceMode = 1;
    ASSERT_TRUE(form.OnInitDialog());
    FormDialog dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Set Options");
    EXPECT_FALSE(dialog.Control(CdsOptionDlg::IDC_SERVICE_MODE)->isEnabled());

    auto* pData = ControlOf<QLineEdit>(dialog, CdsOptionDlg::IDC_DATA_UPDATE_TIME);
    ASSERT_NE(pData, nullptr);
    Retype(pData, "25x0"); // digits only
    EXPECT_EQ(pData->text(), "250");
    auto* pThread = ControlOf<QCheckBox>(dialog, CdsOptionDlg::IDC_BACKGROUND_THREAD);
    QTest::mouseClick(pThread, Qt::LeftButton, {}, QPoint(4, pThread->height() / 2)); // on its box
    Retype(ControlOf<QLineEdit>(dialog, CdsOptionDlg::IDC_CLIENT_UPDATE_TIME), "");

    ClickOk(dialog);
    EXPECT_TRUE(dialog.isVisible()); // an empty number is refused
    EXPECT_EQ(boxes.asked, std::vector<std::string>{"Please enter a positive integer."});
    EXPECT_EQ(form.GetRefusedField(), CdsOptionDlg::IDC_CLIENT_UPDATE_TIME);

    Retype(ControlOf<QLineEdit>(dialog, CdsOptionDlg::IDC_CLIENT_UPDATE_TIME), "100");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(form.m_dwDataUpdateTime, 250u);
    EXPECT_EQ(form.m_dwClientUpdateTime, 100u);
    EXPECT_EQ(form.m_bBackgroundThread, 1);
    EXPECT_EQ(form.m_bServiceMode, 1);
}

TEST(DeviceDialogWindow, ARefusedNameKeepsTheWindowOpenUntilAFreeOneIsTyped)
{
    testsupport::ScriptedAnswers boxes;
    shell::gui::QtFormPresenter presenter;
    CdsDeviceObjectDlg form;
    form.m_values.strName = "PLC2";
    form.m_values.apply = [](const shell::DeviceDialogFields& f) {
        return f.strName == "PLC1" ? std::string("Topic PLC2 keeps its settings: another topic is named PLC1.")
                                   : std::string();
    };
    bool sawRefusal = false;
    QTimer::singleShot(0, [&] {
        auto* pDialog = dynamic_cast<FormDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        auto* pName = ControlOf<QLineEdit>(*pDialog, CdsDeviceObjectDlg::IDC_NAME);
        EXPECT_EQ(pName->text(), "PLC2");
        Retype(pName, "PLC1");
        ClickOk(*pDialog);
        sawRefusal = pDialog->isVisible() && boxes.asked.size() == 1;
        Retype(pName, "LINE2");
        ClickOk(*pDialog);
    });
    EXPECT_EQ(presenter.Run(form), shell::IDOK);
    EXPECT_TRUE(sawRefusal);
    EXPECT_EQ(form.m_values.strName, "LINE2");
}

TEST(FolderPickerWindow, TheChosenTreeFolderIsThePickedPathAndIsRemembered)
{
    support::ScratchFolder scratch;
    registry::Registry reg(scratch.path() / "registry");
    registry::Profile profile(reg, "Tessaro v4.5", "picker");
    shell::SetCurrentProfile(&profile);
    std::filesystem::create_directories(scratch.path() / "home/logs/old");
    auto setup = std::make_shared<shell::NamespaceSetup>();
    setup->strHome = (scratch.path() / "home").string();
    setup->strRoot = (scratch.path() / "root").string();
    const std::string logs = (scratch.path() / "home/logs").string();
    {
        shell::COXFolderPickerDlg picker(logs, {}, true, true, true, false, {}, true,
                                         shell::COXFolderPickerDlg::kDefaultTitle, setup);
        shell::gui::FolderPickerDialog dialog(picker);
        dialog.show();
        shell::gui::ShellTreeWidget* pTree = dialog.Tree();
        ASSERT_EQ(pTree->topLevelItemCount(), 1);
        EXPECT_EQ(pTree->topLevelItem(0)->text(0), "Desktop");
        QTreeWidgetItem* pLogs = pTree->currentItem();
        ASSERT_NE(pLogs, nullptr);
        EXPECT_EQ(pLogs->text(0), "logs");
        pLogs->setExpanded(true); // the user's expansion fills the branch
        ASSERT_EQ(pLogs->childCount(), 1);
        pTree->setCurrentItem(pLogs->child(0));
        EXPECT_EQ(dialog.Path()->Combo()->currentText().toStdString(), logs + "/old");
        dialog.accept();
        EXPECT_EQ(picker.GetFolderPath(), logs + "/old");
    }
    shell::COXHistoryCombo combo;
    ASSERT_TRUE(combo.RestoreContents(shell::COXFolderPickerDlg::kPersistName));
    EXPECT_EQ(combo.GetItems(), std::vector<std::string>{logs + "/old"});
    shell::SetCurrentProfile(nullptr);
}

class TrayWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell.app.SetWindowFactory(&windows);
        ASSERT_TRUE(shell.OpenDocument());
        shell.Frame()->ShowWindow(true);
        window = windows.MainWindow();
        ASSERT_NE(window, nullptr);
    }
    shell::gui::QtWindows windows;
    testsupport::ShellHarness shell;
    shell::gui::ServerMainWindow* window = nullptr;
};

TEST_F(TrayWindowTest, HidingToTheTrayAndComingBack)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this platform has no notification area to hide in";
    shell.Command(ID_TRAY_HIDE);
    EXPECT_FALSE(window->isVisible());
    shell.Command(ID_MAIN_SHOW);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TrayWindowTest, WithoutANotificationAreaTheWindowStaysWhenHiddenOrMinimized)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this platform has a notification area";
    shell.Command(ID_TRAY_HIDE);
    EXPECT_TRUE(window->isVisible());
    window->showMinimized();
    shell.dispatcher.runPending();
    EXPECT_TRUE(window->isVisible());
    shell.Command(ID_MAIN_SHOW);
    EXPECT_FALSE(window->isMinimized());
}

} // namespace
