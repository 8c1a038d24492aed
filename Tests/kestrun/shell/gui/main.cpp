// The window tests run offscreen in one Qt application, with a runtime folder
// of their own.
#include <QApplication>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/ScratchFolder.h"

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    support::ScratchFolder runtime;
    ::chmod(runtime.path().c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime.path().string().c_str());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
