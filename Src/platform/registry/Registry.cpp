#include "platform/registry/Registry.h"

#include "platform/registry/HiveText.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry {
namespace {

// Owns one file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

enum class LoadResult { Ok, Corrupt, IoError };

LoadResult LoadHive(const std::filesystem::path& file, Hive hive, KeyNode& root)
{
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) {
        if (errno == ENOENT) {
            root = KeyNode{};
            return LoadResult::Ok;
        }
        return LoadResult::IoError;
    }
    std::string text;
    char buf[8192];
    while (true) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return LoadResult::IoError;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return ParseHiveText(hive, text, root) ? LoadResult::Ok : LoadResult::Corrupt;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the hive file in one step: a reader sees the old file or the new one.
bool StoreHive(const std::filesystem::path& file, const std::string& text)
{
    static std::atomic<unsigned> counter{0};
    std::filesystem::path tmp = file;
    tmp += "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
    {
        Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!fd.ok())
            return false;
        if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
            ::unlink(tmp.c_str());
            return false;
        }
        if (::close(fd.release()) != 0) {
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (::rename(tmp.c_str(), file.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    Fd dir(::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.ok())
        ::fsync(dir.get());
    return true;
}

// Holds the hive's lock file exclusively while alive.
class HiveLock {
public:
    explicit HiveLock(const std::filesystem::path& lockFile)
        : fd_(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (!fd_.ok())
            return;
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return;
        }
        locked_ = true;
    }
    ~HiveLock()
    {
        if (locked_)
            ::flock(fd_.get(), LOCK_UN);
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool locked() const { return locked_; }

private:
    Fd fd_;
    bool locked_ = false;
};

const KeyNode* FindKey(const KeyNode& root, const std::vector<std::string>& names)
{
    const KeyNode* node = &root;
    for (const std::string& name : names) {
        node = node->Child(name);
        if (!node)
            return nullptr;
    }
    return node;
}

KeyNode* FindKey(KeyNode& root, const std::vector<std::string>& names)
{
    return const_cast<KeyNode*>(FindKey(static_cast<const KeyNode&>(root), names));
}

KeyNode& MakeKey(KeyNode& root, const std::vector<std::string>& names)
{
    KeyNode* node = &root;
    for (const std::string& name : names)
        node = &node->AddChild(name);
    return *node;
}

} // namespace

Value Value::String(std::string s)
{
    Value v;
    v.type = ValueType::String;
    v.text = std::move(s);
    return v;
}

Value Value::Dword(DWORD d)
{
    Value v;
    v.type = ValueType::Dword;
    v.dword = d;
    return v;
}

Value Value::Binary(std::vector<std::uint8_t> b)
{
    Value v;
    v.type = ValueType::Binary;
    v.bytes = std::move(b);
    return v;
}

const char* HiveName(Hive hive)
{
    switch (hive) {
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    }
    return "HKEY_UNKNOWN";
}

Registry::Registry(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path Registry::DefaultRoot()
{
    if (const char* own = std::getenv("TESSARO_REGISTRY"); own && *own)
        return own;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "tessaro" / "registry";
    std::filesystem::path home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    } else {
        home = "/tmp";
    }
    return home / ".config" / "tessaro" / "registry";
}

Registry& Registry::Default()
{
    static Registry instance(DefaultRoot());
    return instance;
}

std::filesystem::path Registry::HiveFile(Hive hive) const
{
    return root_ / (std::string(HiveName(hive)) + ".reg");
}

namespace {

Status Load(const std::filesystem::path& file, Hive hive, KeyNode& tree)
{
    switch (LoadHive(file, hive, tree)) {
    case LoadResult::Ok: return Status::Ok;
    case LoadResult::Corrupt: return Status::Corrupt;
    case LoadResult::IoError: return Status::IoError;
    }
    return Status::IoError;
}

// Reads the hive and hands the key at `names` to `read`; NotFound when there is no such key.
template <typename Fn>
Status ReadKey(const std::filesystem::path& file, Hive hive, const std::vector<std::string>& names, Fn&& read)
{
    KeyNode tree;
    if (Status s = Load(file, hive, tree); s != Status::Ok)
        return s;
    const KeyNode* key = FindKey(static_cast<const KeyNode&>(tree), names);
    if (!key)
        return Status::NotFound;
    return read(*key);
}

// Reads the hive, lets `change` edit it and stores it when it reports a change.
// All of it runs under the hive's lock file, so a change made meanwhile by
// another handle or process is read first and kept.
Status Modify(const std::filesystem::path& root, Hive hive, const std::filesystem::path& file,
              const std::function<Status(KeyNode&, bool&)>& change)
{
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    if (ec)
        return Status::IoError;
    std::filesystem::path lockFile = root / (std::string(HiveName(hive)) + ".lock");
    HiveLock lock(lockFile);
    if (!lock.locked())
        return Status::IoError;
    KeyNode tree;
    if (Status s = Load(file, hive, tree); s != Status::Ok)
        return s;
    bool changed = false;
    Status status = change(tree, changed);
    if (status != Status::Ok || !changed)
        return status;
    return StoreHive(file, FormatHiveText(hive, tree)) ? Status::Ok : Status::IoError;
}

} // namespace

Status Registry::CreateKey(Hive hive, std::string_view path)
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    std::lock_guard guard(mutex_);
    return Modify(root_, hive, HiveFile(hive), [&](KeyNode& tree, bool& changed) {
        if (!FindKey(tree, *names)) {
            MakeKey(tree, *names);
            changed = true;
        }
        return Status::Ok;
    });
}

Status Registry::OpenKey(Hive hive, std::string_view path) const
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    return ReadKey(HiveFile(hive), hive, *names, [](const KeyNode&) { return Status::Ok; });
}

Status Registry::DeleteKey(Hive hive, std::string_view path)
{
    auto names = SplitKeyPath(path);
    if (!names || names->empty())
        return Status::InvalidArgument;
    std::lock_guard guard(mutex_);
    return Modify(root_, hive, HiveFile(hive), [&](KeyNode& tree, bool& changed) {
        std::vector<std::string> parentNames(names->begin(), names->end() - 1);
        KeyNode* parent = FindKey(tree, parentNames);
        if (!parent || !parent->Child(names->back()))
            return Status::NotFound;
        parent->children.erase(FoldName(names->back()));
        changed = true;
        return Status::Ok;
    });
}

Status Registry::SetValue(Hive hive, std::string_view path, std::string_view name, const Value& value)
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    std::lock_guard guard(mutex_);
    return Modify(root_, hive, HiveFile(hive), [&](KeyNode& tree, bool& changed) {
        if (const KeyNode* found = FindKey(tree, *names)) {
            const NamedValue* existing = found->FindValue(name);
            if (existing && existing->value == value)
                return Status::Ok;  // nothing to store
        }
        KeyNode& key = MakeKey(tree, *names);
        if (NamedValue* existing = key.FindValue(name))
            existing->value = value;
        else
            key.values.push_back(NamedValue{std::string(name), value});
        changed = true;
        return Status::Ok;
    });
}

Status Registry::QueryValue(Hive hive, std::string_view path, std::string_view name, Value& out) const
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    return ReadKey(HiveFile(hive), hive, *names, [&](const KeyNode& key) {
        const NamedValue* nv = key.FindValue(name);
        if (!nv)
            return Status::NotFound;
        out = nv->value;
        return Status::Ok;
    });
}

Status Registry::DeleteValue(Hive hive, std::string_view path, std::string_view name)
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    std::lock_guard guard(mutex_);
    return Modify(root_, hive, HiveFile(hive), [&](KeyNode& tree, bool& changed) {
        KeyNode* key = FindKey(tree, *names);
        if (!key)
            return Status::NotFound;
        const NamedValue* nv = key->FindValue(name);
        if (!nv)
            return Status::NotFound;
        key->values.erase(key->values.begin() + (nv - key->values.data()));
        changed = true;
        return Status::Ok;
    });
}

Status Registry::EnumKeys(Hive hive, std::string_view path, std::vector<std::string>& out) const
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    return ReadKey(HiveFile(hive), hive, *names, [&](const KeyNode& key) {
        out.clear();
        for (const auto& [folded, child] : key.children)
            out.push_back(child->name);
        return Status::Ok;
    });
}

Status Registry::EnumValues(Hive hive, std::string_view path, std::vector<NamedValue>& out) const
{
    auto names = SplitKeyPath(path);
    if (!names)
        return Status::InvalidArgument;
    return ReadKey(HiveFile(hive), hive, *names, [&](const KeyNode& key) {
        out = key.values;
        return Status::Ok;
    });
}

Status Registry::SetDword(Hive hive, std::string_view path, std::string_view name, DWORD value)
{
    return SetValue(hive, path, name, Value::Dword(value));
}

Status Registry::SetString(Hive hive, std::string_view path, std::string_view name, std::string_view value)
{
    return SetValue(hive, path, name, Value::String(std::string(value)));
}

Status Registry::QueryDword(Hive hive, std::string_view path, std::string_view name, DWORD& out) const
{
    Value v;
    if (Status s = QueryValue(hive, path, name, v); s != Status::Ok)
        return s;
    if (v.type != ValueType::Dword)
        return Status::WrongType;
    out = v.dword;
    return Status::Ok;
}

Status Registry::QueryString(Hive hive, std::string_view path, std::string_view name, std::string& out) const
{
    Value v;
    if (Status s = QueryValue(hive, path, name, v); s != Status::Ok)
        return s;
    if (v.type != ValueType::String)
        return Status::WrongType;
    out = std::move(v.text);
    return Status::Ok;
}

} // namespace registry
