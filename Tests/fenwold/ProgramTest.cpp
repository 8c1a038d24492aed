// The Fenwold program's classes: its identity, its texts in both languages, its
// menus and where each command goes.
#include <gtest/gtest.h>

#include <fstream>

#include "fenwold/FenwoldStrings.h"
#include "fenwold/Resource.h"
#include "FenwoldHarness.h"
#include "kestrun/model/DeviceMap.h"
#include "platform/opc/client/Activation.h"
#include "platform/registry/Registry.h"
#include "support/ScratchFolder.h"
#include "support/plcsim/Server.h"
#include "support/shell/ShellFakes.h"

namespace {

using fenwold::Language;
using fenwoldtest::FenwoldHarness;

TEST(FenwoldIdentity, BothFormsOfTheClassIdAgreeAndTheTextsAreTheProgramsOwn)
{
    CFenwoldApp app;
    const std::optional<GUID> parsed = com::parseGuidLoose(app.GetServerCLSID());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, *app.GetServerCLSID2());
    EXPECT_EQ(com::formatGuid(*app.GetServerCLSID2()), std::string("{") + app.GetServerCLSID() + "}");
    EXPECT_STREQ(app.GetServerProgID(), "Tessaro.Fenwold.1");
    EXPECT_STREQ(app.GetServerProgID2(), "Tessaro.Fenwold.2");
    EXPECT_STREQ(app.GetServerCompany(), "Zendry Software");
    EXPECT_STREQ(app.GetServerRegName(), "Fenwold");
    EXPECT_STREQ(app.GetServerDescription(), "Tessaro for Melsec PLC Ethernet");
    EXPECT_STREQ(app.GetServiceName(), "FenwoldSvc");
    EXPECT_STREQ(app.GetServiceDescription(), "Tessaro for Melsec PLC Ethernet");
    EXPECT_EQ(app.GetServerAppName(), nullptr);
    EXPECT_EQ(app.GetServiceCLSID2(), nullptr);
    EXPECT_EQ(fenwold::DocStringField(3), "Fenwold Files (*.mme)");
    EXPECT_EQ(fenwold::DocStringField(4), ".mme");
}

// What the station and its blocks refuse is said against the line of the file.
TEST(FenwoldImport, AStationOfNoMelsecTypeOrABlockOnATakenAddressIsRefusedWithItsReason)
{
    FenwoldHarness shell;
    const auto path = shell.scratch.path() / "plant.csv";
    std::ofstream(path) << "; plant\n:Device\nPLC1,MC3,3,,EMUL1,,,\nPLC2,MC3,7,,EMUL2,,,\n"
                           ":Block\nPLC1,W,Word,D0,2,3,rw,100,\nPLC1,X,Word,D0,2,3,rw,100,\n";
    ASSERT_TRUE(shell.Start({path.string()}));
    EXPECT_EQ(shell.CountLog(path.string() + ":4: DeviceType: '7' is not a MELSEC device type"), 1);
    EXPECT_EQ(shell.CountLog(path.string() + ":7: Address: D0 is where block W of device PLC1 begins already."), 1);
    EXPECT_EQ(CdsDeviceMap::GetDeviceObjectByTopic("PLC2"), nullptr);
}

TEST(FenwoldTexts, TheLanguageComesFromTheFirstLocaleVariableThatIsSet)
{
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        Language language;
    } cases[] = {
        {nullptr, nullptr, "ko_KR.UTF-8", Language::Korean}, {nullptr, nullptr, "ko", Language::Korean},
        {"", "", "ko_KR", Language::Korean},                 {"en_US.UTF-8", nullptr, "ko_KR", Language::English},
        {nullptr, "ko_KR.UTF-8", "C", Language::Korean},     {nullptr, nullptr, "kok_IN", Language::English},
        {nullptr, nullptr, nullptr, Language::English},      {nullptr, nullptr, "C.UTF-8", Language::English},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fenwold::LanguageFromLocale(c.all, c.messages, c.lang), c.language)
            << (c.all ? c.all : "-") << (c.messages ? c.messages : "-") << (c.lang ? c.lang : "-");
}

// Every entry of the menus and the toolbar, each once.
void Collect(const std::vector<shell::MenuEntry>& entries, std::vector<UINT>& ids)
{
    for (const shell::MenuEntry& entry : entries) {
        if (entry.nId)
            ids.push_back(entry.nId);
        Collect(entry.items, ids);
    }
}

TEST(FenwoldTexts, EveryMenuEntryHasItsKoreanTextWithTheSameShortcut)
{
    CMainFrame english(Language::English);
    std::vector<UINT> ids;
    Collect(english.GetMenuBar()->menus, ids);
    for (UINT nId : ids) {
        const std::string en = fenwold::MenuText(Language::English, nId);
        const std::string ko = fenwold::MenuText(Language::Korean, nId);
        if (en.empty())
            continue; // the recent files' places
        EXPECT_NE(ko, en) << en;
        const std::size_t tab = en.find('\t');
        EXPECT_EQ(ko.find('\t') == std::string::npos ? std::string() : ko.substr(ko.find('\t')),
                  tab == std::string::npos ? std::string() : en.substr(tab))
            << en;
        EXPECT_EQ(fenwold::PromptText(Language::Korean, nId).empty(), fenwold::PromptText(Language::English, nId).empty())
            << en;
    }
    EXPECT_EQ(fenwold::MenuText(Language::Korean, 4242), ""); // neither has it
}

TEST(FenwoldMenus, TheMenuBarOfTheProgramInItsOrder)
{
    CMainFrame frame(Language::English);
    std::vector<std::string> captions;
    for (const shell::MenuEntry& menu : frame.GetMenuBar()->menus)
        captions.push_back(menu.strText);
    EXPECT_EQ(captions, (std::vector<std::string>{"&File", "&Edit", "&Config", "&Mode", "&View", "&Help"}));
    EXPECT_EQ(frame.GetMenuBar()->menus[3].items[0].nId, ID_MODE_ONLINE); // the framework's own ids
    EXPECT_EQ(frame.GetMenuBar()->menus[0].items[0].nId, 57600u);
    EXPECT_EQ(frame.GetCommandPrompt(fenwold::ID_FILE_IMPORT), "Import Configuration\nImport");
    EXPECT_EQ(frame.GetCommandPrompt(ID_MODE_ONLINE), "Put the server into online mode.");
    CMainFrame korean(Language::Korean);
    EXPECT_EQ(korean.GetMenuBar()->menus[0].strText, "파일(&F)");
    EXPECT_EQ(korean.GetCommandPrompt(fenwold::ID_FILE_IMPORT), "구성 가져오기\n가져오기");
}

class FenwoldCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(plc.start());
        config = fenwoldtest::WriteSampleConfig(shell.scratch.path() / "plant.csv", plc.port());
        shell.SetOption("Confirm On Quit", 0);
        shell.SetOption("Enable Background Thread", 0); // online without line threads
        ASSERT_TRUE(shell.Start({config}));
        ASSERT_NE(shell.Doc()->GetDeviceMap(FALSE), nullptr);
    }

    plcsim::Server plc;
    FenwoldHarness shell;
    std::string config;
};

TEST_F(FenwoldCommands, ConfigCommandsGoToTheDataViewOnlyWhileOffline)
{
    testsupport::ScriptedConfigDialogs dialogs;
    dialogs.device = [](shell::DeviceDialogFields& fields, bool) {
        fields.strName = "plc2";
        fields.nSystemType = 3;
        fields.strPort = "TCP2";
        fields.strAddress = "2";
        fields.strSetting = "127.0.0.1 5011";
        fields.strProtocol = "MC3";
    };
    EXPECT_TRUE(shell.State(fenwold::ID_CONFIG_EDIT_DEVICE).bEnabled);
    shell.Command(fenwold::ID_CONFIG_NEW_DEVICE);
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC2"), nullptr);
    EXPECT_TRUE(shell.Doc()->IsModified());

    shell.Command(ID_MODE_ONLINE);
    EXPECT_TRUE(shell.Doc()->IsOnline());
    EXPECT_TRUE(shell.State(ID_MODE_ONLINE).bChecked);
    EXPECT_FALSE(shell.State(fenwold::ID_CONFIG_NEW_DEVICE).bEnabled);
    shell.Command(fenwold::ID_CONFIG_NEW_DEVICE);
    EXPECT_EQ(dialogs.shown, 1);
    shell.Command(ID_MODE_OFFLINE);
    EXPECT_TRUE(shell.Doc()->IsOffline());
    shell.Doc()->SetModifiedFlag(false);
}

TEST_F(FenwoldCommands, ViewCommandsToggleTheLogViewsFiltersAndShowTheirChecks)
{
    const bool events = shell.State(fenwold::ID_VIEW_EVENTS).bChecked;
    shell.Command(fenwold::ID_VIEW_EVENTS);
    EXPECT_EQ(shell.State(fenwold::ID_VIEW_EVENTS).bChecked, !events);
    shell.Command(fenwold::ID_VIEW_TRACE_DETAIL);
    EXPECT_TRUE(shell.State(fenwold::ID_VIEW_TRACE_DETAIL).bChecked);
    EXPECT_FALSE(shell.State(fenwold::ID_VIEW_NO_TRACE).bChecked);
    shell.Command(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(shell.State(ID_VIEW_TOOLBAR).bChecked);
}

TEST_F(FenwoldCommands, CommandsWithNothingToActOnAreDisabled)
{
    for (UINT nId : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW,
                     ID_FILE_PRINT_SETUP})
        EXPECT_FALSE(shell.State(nId).bEnabled) << nId;
    EXPECT_TRUE(shell.State(ID_FILE_OPEN).bEnabled);
}

TEST_F(FenwoldCommands, RecentFilesShowTheirNamesAndOpenInPlace)
{
    EXPECT_EQ(shell.State(ID_FILE_MRU_FILE1).strText, "&1 plant.csv");
    EXPECT_FALSE(shell.State(ID_FILE_MRU_FILE1 + 1).bVisible);
    shell.Command(ID_FILE_NEW); // what a closing document posts: 57600
    EXPECT_EQ(shell.Doc()->GetDeviceMap(FALSE) ? shell.Doc()->GetDeviceMap(FALSE)->GetDeviceCount() : 0, 0);
    shell.Command(ID_FILE_MRU_FILE1);
    EXPECT_EQ(shell.Doc()->GetPathName(), config);
    EXPECT_NE(CdsDeviceMap::GetDeviceObjectByTopic("PLC1"), nullptr);
}

TEST_F(FenwoldCommands, OpenAsksForAFenwoldFileAndLoadsItInPlace)
{
    const std::string other = fenwoldtest::WriteSampleConfig(shell.scratch.path() / "other.csv", 5012);
    testsupport::ScriptedFileDialogs files({other});
    shell.Command(ID_FILE_OPEN);
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_FALSE(files.requests[0].bSave);
    EXPECT_EQ(files.requests[0].strFilter, "Fenwold Files (*.mme)|*.mme|All Files (*.*)|*.*||");
    EXPECT_EQ(shell.Doc()->GetPathName(), other);
    EXPECT_EQ(shell.State(ID_FILE_MRU_FILE1 + 1).strText, "&2 plant.csv");
}

} // namespace

namespace {

class RegisteringApp : public CFenwoldApp {
public:
    using CFenwoldApp::UpdateRegistry;
};

// Every key below a hive, for "nothing left behind".
std::vector<std::string> Keys(registry::Registry& reg, registry::Hive hive, const std::string& key = "")
{
    std::vector<std::string> keys, out;
    reg.EnumKeys(hive, key, keys);
    for (const std::string& sub : keys) {
        const std::string path = key.empty() ? sub : key + "\\" + sub;
        out.push_back(path);
        for (const std::string& deeper : Keys(reg, hive, path))
            out.push_back(deeper);
    }
    return out;
}

TEST(FenwoldRegistration, EveryProgIdOfTheProgramLeadsToItsClassAndUnregisteringLeavesNoKey)
{
    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    RegisteringApp app;
    app.SetRegistry(&reg);
    testsupport::ScriptedAnswers answers;
    ASSERT_TRUE(app.UpdateRegistry(1, 0));
    const GUID clsid = *app.GetServerCLSID2();
    for (const char16_t* progId : {u"Tessaro.Fenwold.1", u"Tessaro.Fenwold.2", u"Tessaro.Fenwold"}) {
        CLSID found{};
        EXPECT_EQ(opc::CLSIDFromProgID(progId, &found, &reg), S_OK);
        EXPECT_EQ(found, clsid);
    }
    const std::string classKey = "CLSID\\" + com::formatGuid(clsid);
    std::string text;
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, classKey + "\\VersionIndependentProgID", "", text), registry::Status::Ok);
    EXPECT_EQ(text, "Tessaro.Fenwold");
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold\\CurVer", "", text), registry::Status::Ok);
    EXPECT_EQ(text, "Tessaro.Fenwold.2");
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.2", "", text), registry::Status::Ok);
    EXPECT_EQ(text, "Tessaro for Melsec PLC Ethernet 2");
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.2\\OPC\\Vendor", "", text), registry::Status::Ok);
    EXPECT_EQ(text, "Zendry Software");
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, classKey + "\\LocalServer32", "ThreadingModel", text),
              registry::Status::Ok);
    EXPECT_EQ(text, "both");

    // Another server's key of the same version-independent name is not ours to remove.
    ASSERT_TRUE(app.UpdateRegistry(2, 0));
    for (const std::string& key : Keys(reg, HKEY_CLASSES_ROOT))
        EXPECT_TRUE(key == "AppID" || key == "CLSID") << key;
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold\\CLSID", "", "{00000000-0000-0000-0000-000000000001}"),
              registry::Status::Ok);
    ASSERT_TRUE(app.UpdateRegistry(2, 0));
    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, "Tessaro.Fenwold"), registry::Status::Ok);
}

} // namespace
