// The block dialog's window: the device list answers to a typed first letter.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include "fenwold/FenwoldDialogs.h"
#include "kestrun/shell/gui/FormDialog.h"
#include "support/shell/ShellFakes.h"

namespace {

TEST(FenwoldBlockDialogWindow, ATypedLetterSelectsTheDeviceOfThatOneLetter)
{
    testsupport::ScriptedAnswers boxes;
    for (const char* letter : {"D", "X", "W"}) {
        CMemoryArrayDlg form;
        ASSERT_TRUE(form.OnInitDialog());
        shell::gui::FormDialog dialog(form);
        dialog.show();
        auto* devices = qobject_cast<QComboBox*>(dialog.Control(CMemoryArrayDlg::IDC_DEVICE));
        ASSERT_NE(devices, nullptr);
        devices->setFocus();
        QTest::keyClicks(devices, letter);
        EXPECT_EQ(devices->currentText().toStdString(), letter);
    }
}

} // namespace
