// The "Regserver" and "Unregserver" switches: every key and value they write,
// what they remove, and how a failure is reported.
#include <gtest/gtest.h>

#include <fstream>

#include "kestrun/shell/app/StandardFolders.h"
#include "platform/registry/Registry.h"
#include "support/ScratchFolder.h"
#include "support/shell/ShellFakes.h"
#include "support/shell/TestServerApp.h"

namespace {

using testsupport::ScriptedAnswers;

// Every value under the hive as "key|name=value", keys in order; an empty key as "key|".
void List(registry::Registry& reg, registry::Hive hive, const std::string& key, std::vector<std::string>& out)
{
    std::vector<registry::NamedValue> values;
    reg.EnumValues(hive, key, values);
    for (const registry::NamedValue& value : values)
        out.push_back(key + "|" + value.name + "=" + value.value.text);
    std::vector<std::string> keys;
    reg.EnumKeys(hive, key, keys);
    if (values.empty() && keys.empty() && !key.empty())
        out.push_back(key + "|");
    for (const std::string& sub : keys)
        List(reg, hive, key.empty() ? sub : key + "\\" + sub, out);
}

std::vector<std::string> Values(registry::Registry& reg)
{
    std::vector<std::string> out;
    List(reg, HKEY_CLASSES_ROOT, "", out);
    List(reg, HKEY_LOCAL_MACHINE, "", out);
    return out;
}

class Registration : public ::testing::Test {
protected:
    Registration() { app.SetRegistry(&reg); }

    // The switch as the command line gives it; the answer and the text shown.
    bool Run(int nType)
    {
        ScriptedAnswers answers;
        const bool done = app.UpdateRegistry(nType, 0) != FALSE;
        shown = answers.asked;
        return done;
    }

    support::ScratchFolder scratch;
    registry::Registry reg{scratch.path() / "reg"};
    testsupport::TestServerApp app;
    std::vector<std::string> shown;
};

TEST_F(Registration, RegisteringWritesTheClassTheServerListAndTheToolkitKeysOnceAndUnregisteringRemovesThemAll)
{
    const std::string c = "{6E6F7453-0015-4E61-8000-000000000015}";
    const std::vector<std::string> golden = {
        "AppID\\" + c + "|RunAs=Interactive User",
        "CLSID\\" + c + "|=Tessaro.TestServer.1",
        "CLSID\\" + c + "\\Implemented Categories\\{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}|",
        "CLSID\\" + c + "\\Implemented Categories\\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}|",
        "CLSID\\" + c + "\\LocalServer32|=" + GetProgramPath(),
        "CLSID\\" + c + "\\ProgID|=Tessaro.TestServer.1",
        "Tessaro.TestServer.1|=Tessaro test server",
        "Tessaro.TestServer.1\\CLSID|=" + c,
        "Tessaro.TestServer.1\\OPC\\Vendor|=Zendry Software",
        "SOFTWARE\\Ambersel Software\\Server Toolkit\\OPCServers\\TestServer|CLSID=" + c,
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(Run(1));
        EXPECT_EQ(shown, std::vector<std::string>{"Register Tessaro test server successful."});
        EXPECT_EQ(app.GetExitCode(), 0);
        EXPECT_EQ(Values(reg), golden) << "round " << round;
    }
    ASSERT_TRUE(Run(2));
    EXPECT_EQ(shown, std::vector<std::string>{"Unregister Tessaro test server successful."});
    // Only the shared folders stay, empty.
    EXPECT_EQ(Values(reg), (std::vector<std::string>{"AppID|", "CLSID|",
                                                      "SOFTWARE\\Ambersel Software\\Server Toolkit\\OPCServers|"}));
}

TEST_F(Registration, UnregisteringWhatWasNeverRegisteredSucceedsAndKeepsForeignKeys)
{
    reg.SetString(HKEY_CLASSES_ROOT, "AppID\\{6E6F7453-0015-4E61-8000-000000000015}", "Other", "kept");
    ASSERT_TRUE(Run(2));
    EXPECT_EQ(shown, std::vector<std::string>{"Unregister Tessaro test server successful."});
    EXPECT_EQ(Values(reg),
              std::vector<std::string>{"AppID\\{6E6F7453-0015-4E61-8000-000000000015}|Other=kept"});
    EXPECT_EQ(app.GetExitCode(), 0);
}

TEST_F(Registration, AnOtherTypeDoesNothing)
{
    EXPECT_FALSE(Run(3));
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(app.HasExitCode());
}

// A server the OPC toolkit cannot take is not reported registered.
class NoToolkitClassApp : public testsupport::TestServerApp {
public:
    const GUID* GetServerCLSID2() override { return nullptr; }
};

TEST_F(Registration, AFailedToolkitRegistrationIsReportedAsFailureWithAnExitCode)
{
    NoToolkitClassApp other;
    other.SetRegistry(&reg);
    ScriptedAnswers answers;
    EXPECT_FALSE(other.UpdateRegistry(1, 0));
    EXPECT_EQ(answers.asked,
              (std::vector<std::string>{"RegisterServer2 Failed", "Register Tessaro test server Failed!"}));
    EXPECT_EQ(other.GetExitCode(), 1);
}

TEST_F(Registration, KeysThatCannotBeWrittenOrRemovedAreFailures)
{
    ASSERT_TRUE(Run(1));
    // A hive that cannot be read is left as it is: nothing can be removed from it.
    std::ofstream(reg.HiveFile(HKEY_CLASSES_ROOT)) << "not a hive";
    EXPECT_FALSE(Run(2));
    EXPECT_EQ(shown, std::vector<std::string>{"Unregister Tessaro test server Failed!"});
    EXPECT_EQ(app.GetExitCode(), 1);
    EXPECT_FALSE(Run(1));
    EXPECT_EQ(shown.back(), "Register Tessaro test server Failed!");
}

} // namespace
