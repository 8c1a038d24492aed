#include "platform/registry/Registry.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using registry::Hive;
using registry::NamedValue;
using registry::Registry;
using registry::Status;
using registry::Value;
using registry::ValueType;

namespace {

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

class RegistryTest : public ::testing::Test {
protected:
    support::ScratchFolder folder;
    Registry reg{folder.path() / "registry"};
};

} // namespace

TEST_F(RegistryTest, TypedValuesComeBackWithTheirTypes)
{
    struct Case {
        const char* name;
        Value value;
    };
    const std::vector<Case> cases = {
        {"Dword", Value::Dword(0xDEADBEEF)},
        {"Zero", Value::Dword(0)},
        {"Text", Value::String("Tessaro for Melsec PLC Ethernet")},
        {"Empty text", Value::String("")},
        {"Bytes", Value::Binary({0x00, 0x7F, 0x80, 0xFF})},
        {"No bytes", Value::Binary({})},
    };
    for (const Case& c : cases)
        ASSERT_EQ(reg.SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", c.name, c.value), Status::Ok) << c.name;

    Registry other(reg.Root());  // read through a second handle: what is stored, not what is cached
    for (const Case& c : cases) {
        Value got;
        ASSERT_EQ(other.QueryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", c.name, got), Status::Ok) << c.name;
        EXPECT_EQ(got, c.value) << c.name;
    }
    std::vector<NamedValue> values;
    ASSERT_EQ(other.EnumValues(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", values), Status::Ok);
    ASSERT_EQ(values.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(values[i].name, cases[i].name);
}

TEST_F(RegistryTest, TypedQueriesRefuseOtherTypes)
{
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, "K", "n", 5), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, "K", "s", "five"), Status::Ok);
    std::string s;
    DWORD d = 0;
    EXPECT_EQ(reg.QueryString(HKEY_CURRENT_USER, "K", "n", s), Status::WrongType);
    EXPECT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "K", "s", d), Status::WrongType);
    EXPECT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "K", "missing", d), Status::NotFound);
    EXPECT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "Missing", "n", d), Status::NotFound);
    ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "K", "N", d), Status::Ok);  // names ignore case
    EXPECT_EQ(d, 5u);
}

TEST_F(RegistryTest, DefaultValueIsTheUnnamedOne)
{
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", "", "Tessaro for Melsec PLC Ethernet"), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", "Other", "x"), Status::Ok);
    std::string text;
    ASSERT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", "", text), Status::Ok);
    EXPECT_EQ(text, "Tessaro for Melsec PLC Ethernet");
    // A key made without a default value has none.
    ASSERT_EQ(reg.CreateKey(HKEY_CLASSES_ROOT, "Bare"), Status::Ok);
    EXPECT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Bare", "", text), Status::NotFound);
    ASSERT_EQ(reg.DeleteValue(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", ""), Status::Ok);
    EXPECT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", "", text), Status::NotFound);
    EXPECT_EQ(reg.QueryString(HKEY_CLASSES_ROOT, "Tessaro.Fenwold.1", "Other", text), Status::Ok);
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubkeysAndLeavesItsSiblings)
{
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\{A}\\LocalServer32", "", "/usr/bin/fenwold"), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\{A}\\ProgID", "", "Tessaro.Fenwold.1"), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CLASSES_ROOT, "CLSID\\{A}", "", "Tessaro.Fenwold.1"), Status::Ok);
    ASSERT_EQ(reg.CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{B}"), Status::Ok);

    ASSERT_EQ(reg.DeleteKey(HKEY_CLASSES_ROOT, "clsid\\{a}"), Status::Ok);

    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), Status::NotFound);
    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, "CLSID\\{A}\\ProgID"), Status::NotFound);
    EXPECT_EQ(reg.OpenKey(HKEY_CLASSES_ROOT, "CLSID\\{B}"), Status::Ok);
    // A key made again after its deletion starts empty.
    ASSERT_EQ(reg.CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), Status::Ok);
    std::vector<std::string> keys;
    ASSERT_EQ(reg.EnumKeys(HKEY_CLASSES_ROOT, "CLSID\\{A}", keys), Status::Ok);
    EXPECT_TRUE(keys.empty());
}

TEST_F(RegistryTest, DeletingWhatIsMissingOrTheHiveFails)
{
    EXPECT_EQ(reg.DeleteKey(HKEY_CLASSES_ROOT, "Nothing\\Here"), Status::NotFound);
    EXPECT_EQ(reg.DeleteValue(HKEY_CLASSES_ROOT, "Nothing", "x"), Status::NotFound);
    EXPECT_EQ(reg.DeleteKey(HKEY_CLASSES_ROOT, ""), Status::InvalidArgument);
    EXPECT_FALSE(std::filesystem::exists(reg.HiveFile(HKEY_CLASSES_ROOT)));  // nothing to store
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold"), Status::Ok);
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "SOFTWARE\\tessaro V4.5\\Quillet"), Status::Ok);
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "software\\Aardvark"), Status::Ok);
    std::vector<std::string> keys;
    ASSERT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "Software", keys), Status::Ok);
    EXPECT_EQ(keys, (std::vector<std::string>{"Aardvark", "Tessaro v4.5"}));
    ASSERT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "software\\TESSARO v4.5", keys), Status::Ok);
    EXPECT_EQ(keys, (std::vector<std::string>{"Fenwold", "Quillet"}));
    ASSERT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "", keys), Status::Ok);
    EXPECT_EQ(keys, (std::vector<std::string>{"Software"}));
}

TEST_F(RegistryTest, BadPathsAreRefused)
{
    const std::vector<std::string> bad = {"A\\\\B", std::string(256, 'k'), "A\\" + std::string(300, 'k')};
    for (const std::string& path : bad) {
        EXPECT_EQ(reg.CreateKey(HKEY_CURRENT_USER, path), Status::InvalidArgument) << path;
        EXPECT_EQ(reg.SetDword(HKEY_CURRENT_USER, path, "v", 1), Status::InvalidArgument) << path;
    }
    EXPECT_EQ(reg.CreateKey(HKEY_CURRENT_USER, std::string(255, 'k')), Status::Ok);
}

TEST_F(RegistryTest, StoredHiveFileHasTheRegLayout)
{
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold\\Options", "Data Update Time", 10), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold\\Options", "Log Folder", "C:\\Data\\log"), Status::Ok);
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold\\Options", "Event Queue Size", 0xFFFFFFFF), Status::Ok);
    ASSERT_EQ(reg.SetValue(HKEY_CURRENT_USER, "Software\\Tessaro v4.5\\Fenwold\\Recent File List", "Bin",
                           Value::Binary({0x01, 0xAB, 0x00})), Status::Ok);
    ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, "Software\\Tessaro v4.5", "", "say \"hi\"\n"), Status::Ok);
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Empty"), Status::Ok);

    EXPECT_EQ(ReadFile(reg.HiveFile(HKEY_CURRENT_USER)),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Empty]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaro v4.5]\n"
              "@=\"say \\\"hi\\\"\\n\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold\\Options]\n"
              "\"Data Update Time\"=dword:0000000a\n"
              "\"Log Folder\"=\"C:\\\\Data\\\\log\"\n"
              "\"Event Queue Size\"=dword:ffffffff\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tessaro v4.5\\Fenwold\\Recent File List]\n"
              "\"Bin\"=hex:01,ab,00\n");
    EXPECT_EQ(reg.HiveFile(HKEY_CURRENT_USER).filename(), "HKEY_CURRENT_USER.reg");
    EXPECT_FALSE(std::filesystem::exists(reg.HiveFile(HKEY_LOCAL_MACHINE)));
}

TEST_F(RegistryTest, AnyTextAndKeyNameRoundTrips)
{
    const std::vector<std::string> texts = {
        "plain",
        "quote \" and backslash \\ and \\\\ double",
        "line one\nline two\r\nthree\ttab",
        std::string("nul\0inside", 10),
        "\x01\x1f\x7f controls",
        "UTF-8: \xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xE2\x82\xAC",
        "ends with backslash \\",
        "=\"looks\"=like=a=line",
        "[HKEY_CURRENT_USER\\Fake]",
        "%41 percent",
    };
    int n = 0;
    for (const std::string& text : texts) {
        std::string keyName = "Key " + std::to_string(n) + " " + text;
        // Key names cannot hold a backslash (it separates them) and no empty ones.
        std::erase(keyName, '\\');
        std::string valueName = "v" + text;
        ASSERT_EQ(reg.SetString(HKEY_CURRENT_USER, "Root\\" + keyName, valueName, text), Status::Ok) << n;
        ++n;
    }
    Registry other(reg.Root());
    std::vector<std::string> keys;
    ASSERT_EQ(other.EnumKeys(HKEY_CURRENT_USER, "Root", keys), Status::Ok);
    ASSERT_EQ(keys.size(), texts.size());
    n = 0;
    for (const std::string& text : texts) {
        std::string keyName = "Key " + std::to_string(n) + " " + text;
        std::erase(keyName, '\\');
        std::vector<NamedValue> values;
        ASSERT_EQ(other.EnumValues(HKEY_CURRENT_USER, "Root\\" + keyName, values), Status::Ok) << n;
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(values[0].name, "v" + text);
        EXPECT_EQ(values[0].value, Value::String(text)) << n;
        ++n;
    }
}

TEST_F(RegistryTest, CorruptHiveIsReportedAndKept)
{
    const std::vector<std::string> corrupt = {
        "not a hive file\n",
        "Windows Registry Editor Version 5.00\n\"orphan\"=dword:00000001\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:1\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:0g\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x=\"unterminated\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"bad \\q escape\"\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"trailing\" junk\n",
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\\\A]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A%4]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=unknown:1\n",
        std::string("\0\0\0\0", 4),
    };
    const auto file = reg.HiveFile(HKEY_CURRENT_USER);
    std::filesystem::create_directories(file.parent_path());
    for (const std::string& text : corrupt) {
        WriteFile(file, text);
        DWORD d = 0;
        std::vector<std::string> keys;
        EXPECT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "A", "x", d), Status::Corrupt) << text;
        EXPECT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "", keys), Status::Corrupt) << text;
        EXPECT_EQ(reg.SetDword(HKEY_CURRENT_USER, "B", "y", 1), Status::Corrupt) << text;
        EXPECT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "B"), Status::Corrupt) << text;
        EXPECT_EQ(reg.DeleteKey(HKEY_CURRENT_USER, "A"), Status::Corrupt) << text;
        EXPECT_EQ(ReadFile(file), text);  // never replaced
    }
    // Other hives are not affected.
    EXPECT_EQ(reg.SetDword(HKEY_LOCAL_MACHINE, "B", "y", 1), Status::Ok);
}

TEST_F(RegistryTest, HandWrittenVariantsAreRead)
{
    const auto file = reg.HiveFile(HKEY_CURRENT_USER);
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file,
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; a comment\r\n"
              "[hkey_current_user\\Software\\App]\r\n"
              "\"n\"=dword:0000002A\r\n"
              "\"n\"=dword:0000002B\r\n"  // a later line wins
              "@=\"d\"\r\n"
              "[HKEY_CURRENT_USER\\Software\\App]\r\n"
              "\"b\"=hex:FF\r\n");
    DWORD d = 0;
    ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "Software\\App", "n", d), Status::Ok);
    EXPECT_EQ(d, 0x2Bu);
    std::string s;
    ASSERT_EQ(reg.QueryString(HKEY_CURRENT_USER, "Software\\App", "", s), Status::Ok);
    EXPECT_EQ(s, "d");
    Value b;
    ASSERT_EQ(reg.QueryValue(HKEY_CURRENT_USER, "Software\\App", "b", b), Status::Ok);
    EXPECT_EQ(b, Value::Binary({0xFF}));
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyHive)
{
    const auto file = reg.HiveFile(HKEY_CURRENT_USER);
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, "");
    std::vector<std::string> keys;
    EXPECT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "", keys), Status::Ok);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(reg.SetDword(HKEY_CURRENT_USER, "A", "x", 1), Status::Ok);
}

TEST_F(RegistryTest, UnusableRootIsAnErrorNotACrash)
{
    WriteFile(folder.path() / "file", "x");
    Registry blocked(folder.path() / "file" / "registry");
    DWORD d = 0;
    EXPECT_EQ(blocked.SetDword(HKEY_CURRENT_USER, "A", "x", 1), Status::IoError);
    EXPECT_NE(blocked.QueryDword(HKEY_CURRENT_USER, "A", "x", d), Status::Ok);
}

TEST_F(RegistryTest, WritesLeaveNoTemporaryFiles)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, "A", "x", static_cast<DWORD>(i)), Status::Ok);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(reg.Root()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"HKEY_CURRENT_USER.lock", "HKEY_CURRENT_USER.reg"}));
}

TEST(RegistryRoot, DefaultRootFollowsTheEnvironment)
{
    struct Case {
        const char* own;
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/r/own", "/x", "/h", "/r/own"},
        {nullptr, "/x", "/h", "/x/tessaro/registry"},
        {"", "/x", "/h", "/x/tessaro/registry"},
        {nullptr, nullptr, "/h", "/h/.config/tessaro/registry"},
        {nullptr, "", "/h", "/h/.config/tessaro/registry"},
    };
    auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto own = saved("TESSARO_REGISTRY"), xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
    auto set = [](const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    };
    for (const Case& c : cases) {
        set("TESSARO_REGISTRY", c.own);
        set("XDG_CONFIG_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(Registry::DefaultRoot(), std::filesystem::path(c.expected)) << c.expected;
    }
    set("TESSARO_REGISTRY", own ? own->c_str() : nullptr);
    set("XDG_CONFIG_HOME", xdg ? xdg->c_str() : nullptr);
    set("HOME", home ? home->c_str() : nullptr);
}

// Two writers with their own handles change different keys at the same time;
// each change re-reads the hive under the lock, so neither loses the other's keys.
TEST_F(RegistryTest, ConcurrentThreadsWithOwnHandlesLoseNothing)
{
    constexpr int kWriters = 4;
    constexpr int kKeys = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([root = reg.Root(), w] {
            Registry own(root);
            for (int k = 0; k < kKeys; ++k)
                EXPECT_EQ(own.SetDword(HKEY_CURRENT_USER, "W" + std::to_string(w) + "\\K" + std::to_string(k), "v",
                                       static_cast<DWORD>(w * 1000 + k)), Status::Ok);
        });
    }
    for (auto& t : writers)
        t.join();
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            DWORD d = 0;
            ASSERT_EQ(reg.QueryDword(HKEY_CURRENT_USER, "W" + std::to_string(w) + "\\K" + std::to_string(k), "v", d),
                      Status::Ok) << w << " " << k;
            EXPECT_EQ(d, static_cast<DWORD>(w * 1000 + k));
        }
    }
}

TEST_F(RegistryTest, ConcurrentProcessesLoseNothing)
{
    constexpr int kKeys = 40;
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Shared"), Status::Ok);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Registry own(reg.Root());
        int failures = 0;
        for (int k = 0; k < kKeys; ++k)
            if (own.SetDword(HKEY_CURRENT_USER, "Shared\\Child" + std::to_string(k), "v", static_cast<DWORD>(k)) != Status::Ok)
                ++failures;
        ::_exit(failures == 0 ? 0 : 1);
    }
    Registry own(reg.Root());
    for (int k = 0; k < kKeys; ++k)
        EXPECT_EQ(own.SetDword(HKEY_CURRENT_USER, "Shared\\Parent" + std::to_string(k), "v", static_cast<DWORD>(k)), Status::Ok);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::vector<std::string> keys;
    ASSERT_EQ(reg.EnumKeys(HKEY_CURRENT_USER, "Shared", keys), Status::Ok);
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(2 * kKeys));
    for (int k = 0; k < kKeys; ++k) {
        EXPECT_EQ(reg.OpenKey(HKEY_CURRENT_USER, "Shared\\Child" + std::to_string(k)), Status::Ok) << k;
        EXPECT_EQ(reg.OpenKey(HKEY_CURRENT_USER, "Shared\\Parent" + std::to_string(k)), Status::Ok) << k;
    }
}

TEST_F(RegistryTest, UnchangedValuesAndExistingKeysAreNotRewritten)
{
    ASSERT_EQ(reg.SetDword(HKEY_CURRENT_USER, "Software\\App", "x", 1), Status::Ok);
    const auto file = reg.HiveFile(HKEY_CURRENT_USER);
    struct stat before{};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    EXPECT_EQ(reg.SetDword(HKEY_CURRENT_USER, "software\\app", "X", 1), Status::Ok);
    EXPECT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software\\App"), Status::Ok);
    struct stat after{};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // every store replaces the file, so none happened
    EXPECT_EQ(reg.SetDword(HKEY_CURRENT_USER, "Software\\App", "x", 2), Status::Ok);
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
}
