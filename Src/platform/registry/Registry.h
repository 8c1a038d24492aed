#pragma once
// File-backed registry: three hives of keys with typed values, one text file per
// hive under a root folder. Every change re-reads the hive under a file lock and
// replaces the file atomically, so several handles (threads or processes) on the
// same root never lose each other's keys.
#include "platform/win/WinTypes.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace registry {

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

// Value types, numbered as the registry numbers them.
enum class ValueType : DWORD { String = 1, Binary = 3, Dword = 4 };

// Results, numbered as the Win32 registry calls number them.
enum class Status : LONG {
    Ok = 0,
    NotFound = 2,          // key or value missing
    InvalidArgument = 87,  // bad key path or name
    WrongType = 13,        // value exists with another type
    Corrupt = 1009,        // hive file could not be parsed; it is kept untouched
    IoError = 1013,        // hive file could not be read, locked or written
};

struct Value {
    ValueType type = ValueType::String;
    std::string text;                 // String: UTF-8 bytes
    DWORD dword = 0;                  // Dword
    std::vector<std::uint8_t> bytes;  // Binary

    static Value String(std::string s);
    static Value Dword(DWORD d);
    static Value Binary(std::vector<std::uint8_t> b);
    bool operator==(const Value&) const = default;
};

struct NamedValue {
    std::string name;  // "" is the key's default value
    Value value;
    bool operator==(const NamedValue&) const = default;
};

// Key paths use backslashes between names ("Software\\Tessaro v4.5"); an empty
// path is the hive itself. Names compare ignoring ASCII case and keep the case
// they were first written with. A value name "" is the key's default value.
class Registry {
public:
    explicit Registry(std::filesystem::path root);

    // $TESSARO_REGISTRY, else $XDG_CONFIG_HOME/tessaro/registry, else
    // $HOME/.config/tessaro/registry.
    static std::filesystem::path DefaultRoot();
    // A handle on DefaultRoot(), made on first use.
    static Registry& Default();

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path HiveFile(Hive hive) const;

    // Creates the key and any missing parents; Ok when it exists already.
    Status CreateKey(Hive hive, std::string_view path);
    // Ok when the key exists.
    Status OpenKey(Hive hive, std::string_view path) const;
    // Deletes the key with all its subkeys and values. The hive itself cannot be deleted.
    Status DeleteKey(Hive hive, std::string_view path);

    // Creates the key when it is missing.
    Status SetValue(Hive hive, std::string_view path, std::string_view name, const Value& value);
    Status QueryValue(Hive hive, std::string_view path, std::string_view name, Value& out) const;
    Status DeleteValue(Hive hive, std::string_view path, std::string_view name);

    // Subkey names in case-insensitive order; values in the order they were created.
    Status EnumKeys(Hive hive, std::string_view path, std::vector<std::string>& out) const;
    Status EnumValues(Hive hive, std::string_view path, std::vector<NamedValue>& out) const;

    // Typed helpers: WrongType when the value has another type.
    Status SetDword(Hive hive, std::string_view path, std::string_view name, DWORD value);
    Status SetString(Hive hive, std::string_view path, std::string_view name, std::string_view value);
    Status QueryDword(Hive hive, std::string_view path, std::string_view name, DWORD& out) const;
    Status QueryString(Hive hive, std::string_view path, std::string_view name, std::string& out) const;

private:
    std::filesystem::path root_;
    // One change at a time through this handle. Held while the hive's lock file
    // is taken (other handles and processes); no other mutex is taken under it.
    mutable std::mutex mutex_;
};

const char* HiveName(Hive hive);  // "HKEY_CURRENT_USER" ...

} // namespace registry

// The predefined roots under the names callers know them by.
inline constexpr registry::Hive HKEY_LOCAL_MACHINE = registry::Hive::LocalMachine;
inline constexpr registry::Hive HKEY_CURRENT_USER = registry::Hive::CurrentUser;
inline constexpr registry::Hive HKEY_CLASSES_ROOT = registry::Hive::ClassesRoot;
