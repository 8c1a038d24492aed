// A registry hive file as the registry reads it at start-up, for each hive. Text the
// reader takes must be stored in a form that reads back to the same text; a refused
// text leaves the tree as it was.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/registry/HiveText.h"

using registry::FormatHiveText;
using registry::Hive;
using registry::KeyNode;
using registry::ParseHiveText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser, Hive::ClassesRoot}) {
        KeyNode root;
        root.AddChild("Kept");
        if (!ParseHiveText(hive, text, root)) {
            FUZZ_CHECK(root.Child("Kept") != nullptr && root.children.size() == 1);
            continue;
        }
        const std::string stored = FormatHiveText(hive, root);
        KeyNode again;
        FUZZ_CHECK(ParseHiveText(hive, stored, again));
        FUZZ_CHECK(FormatHiveText(hive, again) == stored);
    }
    registry::SplitKeyPath(text);
    return 0;
}
