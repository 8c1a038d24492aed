// Log labels, error texts, the message log and its file.
#include "QuilletFixture.h"

#include "quillet/text/ErrorText.h"

#include "support/ScratchFolder.h"

#include <fstream>
#include <sstream>

namespace {

using quillettest::DocFixture;

TEST(LogText, EntryShowsLabelThenMessageAndCodesShowTheirErrorText)
{
    quillet::StringTable texts;
    const std::tuple<DWORD, const char*, const char*> cases[] = {
        {0x200, "abc", "Sync read - abc"},
        {0x10, "", "Group add"},
        {0, "text", " - text"},
        {DWORD(E_ACCESSDENIED), "", "Access is denied."},
        {DWORD(OPC_E_RANGE), "x", "The value was out of range. - x"},
        {0x8123FEDC, "", ""},
    };
    for (auto [category, message, shown] : cases) EXPECT_EQ(quillet::DisplayText(texts, category, message), shown);
    std::string text;
    EXPECT_FALSE(quillet::GetErrorText(texts, E_FAIL, text));
    EXPECT_EQ(quillet::ErrorText(texts, E_FAIL), "Unspecified error");
    texts.Replace(quillet::IDS_OPC_RESULT_FIRST + 8, "Wertebereich");  // a language file's text
    EXPECT_EQ(quillet::ErrorText(texts, OPC_E_RANGE), "Wertebereich");
}

TEST(LogText, BoxesWithoutACaptionCarryTheProgramsName)
{
    quillet::StringTable texts;
    EXPECT_EQ(texts.Caption(), "OPC Test Client");
    EXPECT_EQ(texts.Caption("Own"), "Own");
    texts.Replace(quillet::IDS_APP_NAME, "OPC-Testclient");  // a language file's text
    EXPECT_EQ(texts.Caption(), "OPC-Testclient");
}

TEST_F(DocFixture, DefaultMaskKeepsAllButSubscriptionUpdates)
{
    EXPECT_FALSE(doc.WriteLog(quillet::LOG_SUBSCRIPTION, "x"));
    EXPECT_TRUE(doc.WriteLog(quillet::LOG_SERVER, "x"));
    CGroup group(doc);
    group.SetName("G");
    group.GroupLog(quillet::LOG_GROUP_ADD, {});
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Server Information Message - x", "Group add -  - (Group) G #(Item) 0"}));
    doc.ConfigureLog("", 0x1000000 | quillet::LOG_GROUP_ADD);  // the dialog leaves server messages out
    EXPECT_FALSE(doc.WriteLog(quillet::LOG_SERVER, "shutting down"));
}

class LogFile : public DocFixture {
protected:
    void SetUp() override
    {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    std::string Read(const char* name)
    {
        std::stringstream s;
        s << std::ifstream(Path(name), std::ios::binary).rdbuf();
        return s.str();
    }
    std::string Path(const char* name) { return (scratch.path() / name).string(); }
    support::ScratchFolder scratch;
};

TEST_F(LogFile, ConfirmingTheSameNameKeepsTheFileAndANewNameStartsOne)
{
    doc.ConfigureLog(Path("a.log"), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SYNC_READ, "one");
    clock.advance(61000);
    doc.ConfigureLog(Path("a.log"), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_GROUP_ADD, "");
    EXPECT_EQ(Read("a.log"), "08:09:10\tSync read - one\r\n08:10:11\tGroup add\r\n");
    doc.ConfigureLog(Path("b.log"), quillet::kDefaultLogMask);
    doc.ConfigureLog(Path("a.log"), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SYNC_READ, "two");
    EXPECT_EQ(Read("a.log"), "08:10:11\tSync read - two\r\n");
    // A name read from a saved document is appended to.
    CQuilletDoc loaded{docHost};
    loaded.SetLogFileName(Path("a.log"));
    loaded.ConfigureLog(Path("a.log"), quillet::kDefaultLogMask);
    loaded.WriteLog(quillet::LOG_SYNC_READ, "three");
    EXPECT_EQ(Read("a.log"), "08:10:11\tSync read - two\r\n08:10:11\tSync read - three\r\n");
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(LogFile, AFileThatCannotBeOpenedIsReportedOnce)
{
    doc.ConfigureLog(Path("missing/x.log"), quillet::kDefaultLogMask);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(doc.WriteLog(quillet::LOG_SERVER, "kept in the list"));
    EXPECT_EQ(ui.shown, std::vector<std::string>{"The log file " + Path("missing/x.log") +
                                                       " cannot be opened; messages are not written to a file."});
    EXPECT_EQ(Logged().size(), 3u);
}

} // namespace
