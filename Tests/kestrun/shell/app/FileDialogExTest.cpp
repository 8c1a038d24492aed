// File dialogs: the document prompt offers every document type, Cancel is
// IDCANCEL, and File Open and Save As of an untitled document use it.
#include "kestrun/shell/app/FileDialogEx.h"

#include <gtest/gtest.h>

#include "kestrun/shell/app/Document.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/ShellIds.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/ShellHarness.h"

namespace {

TEST(FileDialogEx, ThePromptOffersEachDocumentTypeThenAllFilesAndCancelIsNeverZero)
{
    testsupport::ScriptedFileDialogs files({"", "/plant/a.mme"});
    const std::vector<shell::DocTemplate> templates{{{}, {}, "Fenwold Files (*.mme)", ".mme"},
                                                    {{}, {}, "No extension", ""},
                                                    {{}, {}, "Text (*.txt)", ".txt"}};
    std::string name = "Untitled";
    EXPECT_FALSE(shell::CDocManagerEx::DoPromptFileName(name, "Open", shell::OFN_FILEMUSTEXIST, true, templates));
    EXPECT_EQ(name, "Untitled");
    ASSERT_TRUE(shell::CDocManagerEx::DoPromptFileName(name, "Save As", 0, false, templates));
    EXPECT_EQ(name, "/plant/a.mme");
    ASSERT_EQ(files.requests.size(), 2u);
    const shell::FileDialogRequest& save = files.requests[1];
    EXPECT_EQ(save.strFilter, "Fenwold Files (*.mme)|*.mme|Text (*.txt)|*.txt|All Files (*.*)|*.*||");
    EXPECT_EQ(save.strDefaultExt, "mme");
    EXPECT_EQ(save.strTitle, "Save As");
    EXPECT_EQ(save.strFileName, "Untitled");
    EXPECT_TRUE(save.bSave);
    EXPECT_TRUE(save.bOverwritePrompt);
    EXPECT_FALSE(files.requests[0].bSave);

    shell::CFileDialogEx dialog(true);
    EXPECT_EQ(dialog.DoModal(), shell::IDCANCEL);
}

TEST(FileDialogEx, FileOpenAndSaveAsOfAnUntitledDocumentPickThroughTheDocumentsType)
{
    testsupport::ShellHarness shell;
    ASSERT_TRUE(shell.OpenDocument());
    shell.app.SetDocTemplate({[] { return std::make_unique<testsupport::TestServerDoc>(); },
                              [] { return std::make_unique<testsupport::TestServerFrame>(); }, "Test Files (*.mme)",
                              ".mme"});
    const std::string path = (shell.scratch.path() / "saved.mme").string();
    testsupport::ScriptedFileDialogs files({path, path});
    ASSERT_TRUE(shell.Doc()->DoFileSave());
    EXPECT_EQ(shell.Doc()->GetPathName(), path);
    ASSERT_TRUE(shell.app.OnCommand(ID_FILE_OPEN));
    ASSERT_EQ(files.requests.size(), 2u);
    EXPECT_EQ(files.requests[1].strFilter, "Test Files (*.mme)|*.mme|All Files (*.*)|*.*||");
    EXPECT_FALSE(files.requests[1].bSave);
    EXPECT_EQ(shell.Doc()->GetPathName(), path);
}

TEST(FileDialogEx, SaveOfAnImportedCsvProposesTheDocumentsOwnExtension)
{
    testsupport::ShellHarness shell;
    ASSERT_TRUE(shell.OpenDocument());
    shell.app.SetDocTemplate({[] { return std::make_unique<testsupport::TestServerDoc>(); },
                              [] { return std::make_unique<testsupport::TestServerFrame>(); }, "Test Files (*.mme)",
                              ".mme"});
    shell.Doc()->SetPathName((shell.scratch.path() / "sample.csv").string());
    testsupport::ScriptedFileDialogs files({""});
    EXPECT_FALSE(shell.Doc()->DoFileSave()); // cancelled
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_EQ(files.requests[0].strFileName, "sample.mme");
    EXPECT_EQ(files.requests[0].strDefaultExt, "mme");

    shell.Doc()->SetPathName((shell.scratch.path() / "plant.MME").string());
    std::string proposed;
    testsupport::ScriptedFileDialogs again({""});
    EXPECT_FALSE(shell.app.PromptForSaveFileName("plant.MME", proposed));
    ASSERT_EQ(again.requests.size(), 1u);
    EXPECT_EQ(again.requests[0].strFileName, "plant.MME"); // already its own kind
}

} // namespace
