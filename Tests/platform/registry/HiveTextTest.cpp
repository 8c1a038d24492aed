#include "platform/registry/HiveText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using registry::FormatHiveText;
using registry::Hive;
using registry::KeyNode;
using registry::ParseHiveText;

namespace {

const std::string kSample =
    "Windows Registry Editor Version 5.00\n"
    "\n[HKEY_CURRENT_USER\\Software]\n"
    "\n[HKEY_CURRENT_USER\\Software\\A%25B%0A]\n"
    "@=\"default \\\"quoted\\\"\\n\"\n"
    "\"Bytes\"=hex:00,01,fe\n"
    "\"N\"=dword:0000002a\n"
    "\n[HKEY_CURRENT_USER\\Software\\A%25B%0A\\Child]\n"
    "\"x\\\\y\"=\"\\x01\"\n";

} // namespace

TEST(HiveText, SampleRoundTripsByteForByte)
{
    KeyNode root;
    ASSERT_TRUE(ParseHiveText(Hive::CurrentUser, kSample, root));
    EXPECT_EQ(FormatHiveText(Hive::CurrentUser, root), kSample);
    const KeyNode* key = root.Child("software") ? root.Child("software")->Child("a%b\n") : nullptr;
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->name, "A%B\n");
}

TEST(HiveText, EscapedBackslashCannotSmuggleASeparatorIntoAKeyName)
{
    KeyNode root;
    EXPECT_FALSE(ParseHiveText(Hive::CurrentUser,
                               "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A%5CB]\n", root));
}

TEST(HiveText, FailedParseLeavesTheTreeAlone)
{
    KeyNode root;
    root.AddChild("Kept");
    EXPECT_FALSE(ParseHiveText(Hive::CurrentUser, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\nbad\n", root));
    EXPECT_NE(root.Child("Kept"), nullptr);
}

// Damaged files of every shape are refused or read, never crash, and whatever is
// read is stored again in a form that reads back the same.
TEST(HiveText, DamagedTextNeverCrashesAndWhatParsesIsStable)
{
    std::mt19937 rng(20231022);
    const std::string alphabet = "[]\\\"=@:,%0123456789abcdefxn\n\r;HKEY_CURRENT_USER dword hex";
    for (int round = 0; round < 3000; ++round) {
        std::string text = kSample;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            if (text.empty())
                break;
            std::size_t at = rng() % text.size();
            switch (rng() % 4) {
            case 0: text[at] = alphabet[rng() % alphabet.size()]; break;
            case 1: text.erase(at, 1 + rng() % 3); break;
            case 2: text.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            case 3: text.resize(at); break;
            }
        }
        KeyNode root;
        if (!ParseHiveText(Hive::CurrentUser, text, root))
            continue;
        const std::string stored = FormatHiveText(Hive::CurrentUser, root);
        KeyNode again;
        ASSERT_TRUE(ParseHiveText(Hive::CurrentUser, stored, again)) << text;
        EXPECT_EQ(FormatHiveText(Hive::CurrentUser, again), stored) << text;
    }
}
