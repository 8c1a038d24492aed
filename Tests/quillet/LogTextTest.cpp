// Log labels, error texts, the message log and its file.
#include "QuilletFixture.h"

#include "quillet/ErrorText.h"

#include "support/ScratchFolder.h"

#include <fstream>
#include <sstream>

namespace {

using quillettest::DocFixture;

TEST(LogText, EntryShowsLabelThenMessageAndCodesShowTheirErrorText)
{
    const quillet::StringTable texts;
    struct Case {
        DWORD category;
        const char* message;
        const char* shown;
    } cases[] = {
        {0x200, "abc", "Sync read - abc"},
        {0x10, "", "Group add"},
        {0x1000000, "", "Run Average For Item (GroupName:UpdateRate)"},
        {0, "text", " - text"},
        {0, "", ""},
        {DWORD(E_ACCESSDENIED), "", "Access is denied."},
        {DWORD(OPC_E_RANGE), "x", "The value was out of range. - x"},
    };
    for (const Case& c : cases) EXPECT_EQ(quillet::DisplayText(texts, c.category, c.message), c.shown) << c.shown;
}

TEST(ErrorText, OwnTableFirstThenTheSystemsText)
{
    quillet::StringTable texts;
    std::string text;
    EXPECT_TRUE(quillet::GetErrorText(texts, OPC_S_UNSUPPORTEDRATE, text));
    EXPECT_EQ(text, "The server does not support the requested data rate but will use the closest available rate.");
    EXPECT_FALSE(quillet::GetErrorText(texts, E_FAIL, text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(quillet::ErrorText(texts, E_FAIL), "Unspecified error");
    EXPECT_EQ(quillet::ErrorText(texts, com::hr(0x8123FEDC)), "");
    texts.Replace(quillet::IDS_OPC_RESULT_FIRST + 8, "Wertebereich");  // a language file's text
    EXPECT_EQ(quillet::ErrorText(texts, OPC_E_RANGE), "Wertebereich");
    EXPECT_EQ(quillet::HexCode(0x80004005), "0x80004005");
    EXPECT_EQ(quillet::HexCode(0), "00000000");
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
    static std::string Read(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    support::ScratchFolder scratch;
};

TEST_F(LogFile, ConfirmingTheSameNameKeepsTheFileAndANewNameStartsOne)
{
    const auto first = scratch.path() / "a.log", second = scratch.path() / "b.log";
    doc.ConfigureLog(first.string(), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SYNC_READ, "one");
    clock.advance(61000);
    doc.ConfigureLog(first.string(), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SERVER, "two");
    EXPECT_EQ(Read(first), "08:09:10\tSync read - one\r\n08:10:11\tServer Information Message - two\r\n");
    doc.ConfigureLog(second.string(), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_GROUP_ADD, "");
    EXPECT_EQ(Read(second), "08:10:11\tGroup add\r\n");
    // Back to the first name: a new file.
    doc.ConfigureLog(first.string(), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SYNC_READ, "three");
    EXPECT_EQ(Read(first), "08:10:11\tSync read - three\r\n");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(LogFile, ANameKeptFromADocumentIsAppendedTo)
{
    const auto path = scratch.path() / "kept.log";
    std::ofstream(path, std::ios::binary) << "earlier\r\n";
    doc.SetLogFileName(path.string());
    doc.ConfigureLog(path.string(), quillet::kDefaultLogMask);
    doc.WriteLog(quillet::LOG_SERVER, "on");
    EXPECT_EQ(Read(path), "earlier\r\n08:09:10\tServer Information Message - on\r\n");
}

TEST_F(LogFile, AFileThatCannotBeOpenedIsReportedOnce)
{
    const auto path = scratch.path() / "missing" / "x.log";
    doc.ConfigureLog(path.string(), quillet::kDefaultLogMask);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(doc.WriteLog(quillet::LOG_SERVER, "kept in the list"));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].find(path.string()), std::string::npos);
    EXPECT_EQ(Logged().size(), 3u);
}

} // namespace
