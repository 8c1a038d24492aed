// The set-up document: fields and records as text, a hand-written file loaded into a
// connection with the bundled server and saved back, and a save that cannot be made.
#include "quillet/RealServerFixture.h"

#include "quillet/text/CsvText.h"
#include "quillet/doc/SetupFile.h"
#include "quillet/text/TextFile.h"
#include "support/SourceTree.h"

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Fields = std::vector<std::string>;

TEST(CsvText, FieldsSplitAtCommasOutsideQuotesAndQuotedFieldsSurviveTheirOwnWriting)
{
    const std::pair<const char*, Fields> cases[] = {
        {"3,0,,PLC1.D100,1,2\r", {"3", "0", "", "PLC1.D100", "1", "2"}},
        {"2,0,\"Fast, timed\",100", {"2", "0", "Fast, timed", "100"}},
        {"x,\"say \"\"hi\"\", then go\",y", {"x", "say \"hi\", then go", "y"}},
        {"a\"b,c", {"a\"b", "c"}},  // a quote inside a bare field is kept
        {"", {""}},
        {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
                                                                   "11", "12", "13", "14", "15", "16", "17", "18",
                                                                   "19", "20"}},
    };
    for (const auto& [line, fields] : cases) EXPECT_EQ(quillet::SplitCsvLine(line), fields) << line;
    for (const char* text : {"plain", "a,b", "say \"hi\"", "\"", ""})
        EXPECT_EQ(quillet::SplitCsvLine(quillet::CsvField(text)), Fields{text}) << text;
    EXPECT_EQ(quillet::CsvField("Fast, timed"), "\"Fast, timed\"");
}

TEST(SetupFile, RecordsReadBackAsWrittenAndDamagedNumbersAreIgnored)
{
    const std::string golden =
        "1,Tessaro.TestServer,plant-7,2,1,1,30,31555455,\"/var/log/a,b.log\",{6E6F7453-0003-4E61-8000-000000000003}\r\n"
        "2,0,\"Fast, timed\",100,-60,0.5,1,1,1,1,1\r\n"
        "3,0,Path,\"Item \"\"7\"\"\",0,8195\r\n";
    std::string written;
    for (const auto& record : quillet::ParseSetupFile(golden)) written += quillet::SetupLine(record);
    EXPECT_EQ(written, golden);

    const std::string damaged = "\r\n   \n"
                                "1,X,,999999999\n"      // the group count is capped
                                "1,,,1\n"               // no ProgID
                                "2,-1,Neg\n2,10000,Huge\n2,9999,Last\n"
                                "3,x,,ID,abc,\n"        // numbers that do not parse read as 0
                                "7,unknown\n";
    auto records = quillet::ParseSetupFile(damaged);
    ASSERT_EQ(records.size(), 3u);
    const std::string longId(5000, 'D');  // a line is read whole, whatever its length
    EXPECT_EQ(std::get<quillet::SetupItem>(quillet::ParseSetupFile("3,0,," + longId + ",1,2\n")[0]).itemId, longId);
    EXPECT_EQ(std::get<quillet::SetupServer>(records[0]).groupCount, quillet::kMaxSetupGroups);
    EXPECT_FALSE(std::get<quillet::SetupServer>(records[0]).mmi);
    EXPECT_EQ(std::get<quillet::SetupGroup>(records[1]).name, "Last");
    const auto& item = std::get<quillet::SetupItem>(records[2]);
    EXPECT_EQ(std::tie(item.group, item.itemId, item.active, item.dataType), std::tuple(0L, std::string("ID"), 0, 0));
}

class SetupOnServer : public quillettest::RealServer {};

TEST_F(SetupOnServer, HandWrittenFileLoadsWithItsSettingsAndSavesBackByteIdentical)
{
    const std::string golden = "1,Tessaro.TestServer,,3,0,0,5,31555455,\"/var/log/plant,7.log\","
                               "{6E6F7453-0003-4E61-8000-000000000003}\r\n"
                               "2,0,\"Fast, timed\",100,0,1,1,1,1,1,2\r\n"
                               "3,0,,PLC1.D100,1,2\r\n"
                               "3,0,,PLC1.TEXT,1,8\r\n"
                               "2,1,Callbacks,250,0,0.5,0,1,2,0,1\r\n"
                               "3,1,,PLC1.D101,0,2\r\n"
                               "2,2,Quiet,1000,0,0,0,0,0,1,0\r\n";
    const std::string path = (scratch.path() / "plant.csv").string();
    ASSERT_FALSE(quillet::ReplaceTextFile(path, golden));
    CQuilletDoc* doc = app->OpenDocumentFile(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->Groups().size(), 3u);
    const CGroup& timed = *doc->Groups().front();
    const CGroup& callbacks = **std::next(doc->Groups().begin());
    EXPECT_EQ(std::tuple(timed.GetName(), timed.GetAdviseMode(), timed.m_bTimeStamps, timed.Items().size()),
              std::tuple(std::string("Fast, timed"), DWORD(ADVISE_DATAOBJECT), TRUE, std::size_t(2)));
    EXPECT_EQ(callbacks.GetAdviseMode(), DWORD(ADVISE_CONNECTIONPOINT));
    EXPECT_FALSE(callbacks.Items().front()->IsActive());
    EXPECT_EQ(doc->Groups().back()->GetAdviseMode(), DWORD(ADVISE_NONE));
    const auto mmi = app->FrameOf(doc)->Groups().Mmi();
    EXPECT_EQ(std::tuple(mmi.onlyDisplayedActive, mmi.enabled, mmi.seconds), std::tuple(0, 0, DWORD(5)));
    EXPECT_EQ(doc->GetLogMask(), quillet::kDefaultLogMask);
    EXPECT_EQ(doc->GetLogFileName(), "/var/log/plant,7.log");
    EXPECT_EQ(app->RecentFiles()[0], path);
    EXPECT_TRUE(ui.shown.empty());  // the group without items asked the server for nothing

    const std::string again = (scratch.path() / "again.csv").string();
    ASSERT_TRUE(app->SaveDocument(*doc, again));
    EXPECT_EQ(quillet::ReadTextFile(again), golden);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(SetupOnServer, OneFileIsOneRecentEntryHoweverItsPathIsSpelled)
{
    CQuilletDoc* doc = app->OpenDocumentFile((support::SourceTree() / "Tools/quillet/opcserver.csv").string());
    ASSERT_NE(doc, nullptr);
    std::filesystem::create_directory(scratch.path() / "sub");
    const auto plain = (scratch.path() / "same.csv").lexically_normal();
    ASSERT_TRUE(app->SaveDocument(*doc, (scratch.path() / "sub" / ".." / "same.csv").string()));
    ASSERT_NE(app->OpenDocumentFile(scratch.path().string() + "/./same.csv"), nullptr);
    ASSERT_TRUE(app->SaveDocument(*doc, plain.string()));
    EXPECT_EQ(app->RecentFiles()[0], plain.string());
    EXPECT_EQ(app->RecentFiles()[1], (support::SourceTree() / "Tools/quillet/opcserver.csv").lexically_normal());
    EXPECT_EQ(app->RecentFiles()[2], "");
}

TEST_F(SetupOnServer, SampleFileOfTheTestServerLoads)
{
    const auto sample = support::SourceTree() / "Tools/quillet/opcserver.csv";
    CQuilletDoc* doc = app->OpenDocumentFile(sample.string());
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->Groups().empty());
    EXPECT_TRUE(ui.shown.empty());
}

class SaveFailure : public quillettest::DocFixture {
protected:
    support::ScratchFolder scratch;
};

TEST_F(SaveFailure, FailedSaveKeepsThePreviousFileAndTheDocumentModified)
{
    const std::string folder = (scratch.path() / "ro").string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/plant.csv";
    ASSERT_FALSE(quillet::ReplaceTextFile(path, "previous\r\n"));
    doc.SetConnection("Tessaro.TestServer", "", CLSID_NULL);
    doc.SetModifiedFlag();
    // A folder the user may not write to, or a disk that takes no more.
    const bool asRoot = ::geteuid() == 0;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (asRoot) {
        rlimit small = saved;
        small.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &small);
    } else {
        ::chmod(folder.c_str(), 0555);
    }
    const bool saved_ok = doc.SaveConnection(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ::chmod(folder.c_str(), 0755);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(quillet::ReadTextFile(path), "previous\r\n");
    EXPECT_TRUE(doc.IsModified());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].rfind("The file " + path + " could not be saved; the previous file is kept.\n", 0), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no temporary file left
}

} // namespace
