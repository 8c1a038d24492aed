// The application object: the server list, the DCOM flag, connecting and the
// recent-file list, on a scratch registry.
#include "QuilletFixture.h"

#include "quillet/ErrorText.h"
#include "quillet/QuilletApp.h"

#include "platform/registry/Registry.h"
#include "platform/win/ManualDispatcher.h"

#include "support/ScratchFolder.h"

namespace {

const CLSID kClass = *com::parseGuid("{6E6F7453-0009-4E61-8000-000000000009}");

class App : public ::testing::Test {
protected:
    void Register(const std::string& progId, bool opcKey, bool classId)
    {
        reg.SetString(HKEY_CLASSES_ROOT, progId, "", progId);
        if (opcKey) reg.SetString(HKEY_CLASSES_ROOT, progId + "\\OPC\\Vendor", "", "Tessaro");
        if (classId) reg.SetString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", com::formatGuid(kClass));
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    win::FakeClock clock;
    win::ManualDispatcher dispatcher{clock};
    quillettest::RecordingPrompter prompter;
    quillet::StringTable texts;
    CQuilletAppHost host{clock, dispatcher, prompter, texts, reg, scratch.path() / "run"};
};

TEST_F(App, ServerListHoldsProgIDsWithAnOpcKeyAndAClassId)
{
    Register("Tessaro.Fenwold.1", true, true);  // only "OPC\Vendor" below the key, no default value
    Register("No.ClassId", true, false);
    Register("Not.Opc", false, true);
    CQuilletApp app(host);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(app.GetServerList().size(), 1u);
    EXPECT_EQ(app.GetServerList()[0].progId, "Tessaro.Fenwold.1");
    EXPECT_EQ(app.GetServerList()[0].clsid, kClass);
    EXPECT_EQ(app.GetServerList()[0].hidden, 0u);
}

TEST_F(App, DcomFlagFollowsTheFirstLetterOfEnableDcom)
{
    EXPECT_FALSE(CQuilletApp::ReadDcomFlag(reg));
    for (auto [value, on] : {std::pair{"Y", true}, {"yes", true}, {"N", false}, {"", false}}) {
        reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Ole", "EnableDCOM", value);
        EXPECT_EQ(CQuilletApp::ReadDcomFlag(reg), on) << value;
    }
}

TEST_F(App, UnknownProgIDIsReportedWithTheLookupsErrorText)
{
    CQuilletApp app(host);
    EXPECT_EQ(app.ConnectToServer("No.Such.Server", "", CLSID_NULL), nullptr);
    EXPECT_EQ(app.ConnectToServer("No.Such.Server", "plant-node", CLSID_NULL), nullptr);
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{quillet::ErrorText(texts, CO_E_CLASSSTRING),
                                                        quillet::ErrorText(texts, REGDB_E_CLASSNOTREG)}));
    EXPECT_TRUE(app.Connections().empty());
}

TEST_F(App, FailedActivationLeavesNoDocument)
{
    Register("Tessaro.Gone", true, true);  // no program behind the class
    {
        CQuilletApp app(host);
        EXPECT_EQ(app.ConnectToServer("Tessaro.Gone", "node", CLSID_NULL), nullptr);
        EXPECT_TRUE(app.Connections().empty());
    }
    reg.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Ole", "EnableDCOM", "Y");
    CQuilletApp app(host);
    EXPECT_EQ(app.ConnectToServer("Tessaro.Gone", "", CLSID_NULL), nullptr);
    EXPECT_EQ(prompter.shown, (std::vector<std::string>{quillet::ErrorText(texts, REGDB_E_CLASSNOTREG),
                                                        "Connection to Server Failed.~Tessaro.Gone"}));
}

TEST_F(App, RecentFilesKeepFiveAndAPlaceholderIsNeverStored)
{
    registry::Profile profile(reg, "Tessaro", "Quillet");
    CRecentFileList list(profile, "Empty File List");
    list.ReadList();
    EXPECT_TRUE(list.HoldsPlaceholder());
    list.WriteList();
    EXPECT_EQ(profile.GetProfileString("Quillet", "File1", "none"), "none");
    list.RemovePlaceholder();
    for (const char* p : {"a.csv", "b.csv", "c.csv", "d.csv", "e.csv", "f.csv", "c.csv"}) list.Add(p);
    list.WriteList();
    CRecentFileList again(profile, "Empty File List");
    again.ReadList();
    const char* want[] = {"c.csv", "f.csv", "e.csv", "d.csv", "b.csv"};
    for (std::size_t i = 0; i < CRecentFileList::kSize; ++i) EXPECT_EQ(again[i], want[i]);
}

} // namespace
