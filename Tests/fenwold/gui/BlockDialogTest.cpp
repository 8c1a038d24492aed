// The block dialog's window: the device list answers to a typed first letter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTest>

#include "fenwold/FenwoldDialogs.h"
#include "kestrun/shell/gui/FormDialog.h"
#include "support/shell/ShellFakes.h"

namespace {

TEST(FenwoldBlockDialogWindow, ATypedLetterSelectsTheDeviceOfThatOneLetter)
{
    testsupport::ScriptedAnswers boxes;
    CMemoryArrayDlg form;
    ASSERT_TRUE(form.OnInitDialog());
    shell::gui::FormDialog dialog(form);
    dialog.show();
    auto* devices = qobject_cast<QComboBox*>(dialog.Control(CMemoryArrayDlg::IDC_DEVICE));
    ASSERT_NE(devices, nullptr);
    // Each key starts a search of its own, not the next letter of the last one.
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(1);
    for (const char* letter : {"D", "X", "W"}) {
        devices->setFocus();
        QTest::qWait(20);
        QTest::keyClicks(devices, letter);
        EXPECT_EQ(devices->currentText().toStdString(), letter);
    }
    QApplication::setKeyboardInputInterval(interval);
}

} // namespace
