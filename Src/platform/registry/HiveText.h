#pragma once
// The in-memory tree of one hive and its text form (the .reg file layout).
#include "platform/registry/Registry.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace registry {

struct KeyNode {
    std::string name;  // as first written
    std::vector<NamedValue> values;
    std::map<std::string, std::unique_ptr<KeyNode>> children;  // by folded name

    KeyNode* Child(std::string_view name) const;
    KeyNode& AddChild(std::string_view name);  // existing child or a new one
    NamedValue* FindValue(std::string_view name);
    const NamedValue* FindValue(std::string_view name) const;
};

std::string FoldName(std::string_view name);  // ASCII upper case removed

// Splits "A\B\C" into names; nullopt for an empty name inside the path or a name
// longer than the registry allows. Leading and trailing backslashes are ignored.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// Parses a hive file's text. Returns false (tree untouched) when the text is not
// a hive file of that hive.
bool ParseHiveText(Hive hive, std::string_view text, KeyNode& root);
std::string FormatHiveText(Hive hive, const KeyNode& root);

} // namespace registry
