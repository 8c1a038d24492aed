#include "kestrun/shell/desktop/ShellIdList.h"

#include <algorithm>
#include <limits>

namespace shell {

namespace {

constexpr std::size_t kSizeField = 2;
constexpr std::size_t kHeader = kSizeField + 1; // size and kind

std::size_t ItemSize(const IdList& list, std::size_t offset)
{
    if (offset + kSizeField > list.size())
        return 0;
    return static_cast<std::size_t>(list[offset]) | static_cast<std::size_t>(list[offset + 1]) << 8;
}

// The size of the item at offset when it lies wholly inside the list; 0 at the
// terminator or for a malformed item.
std::size_t ValidItemSize(const IdList& list, std::size_t offset)
{
    const std::size_t size = ItemSize(list, offset);
    return size >= kHeader && offset + size <= list.size() ? size : 0;
}

void Terminate(IdList& list)
{
    list.push_back(0);
    list.push_back(0);
}

} // namespace

IdList MakeIdList(IdKind kind, std::string_view text)
{
    const std::size_t size = kHeader + text.size();
    if (size > std::numeric_limits<WORD>::max())
        return {};
    IdList list;
    list.reserve(size + kSizeField);
    list.push_back(static_cast<BYTE>(size & 0xFF));
    list.push_back(static_cast<BYTE>(size >> 8));
    list.push_back(static_cast<BYTE>(kind));
    list.insert(list.end(), text.begin(), text.end());
    Terminate(list);
    return list;
}

UINT GetIDLSize(const IdList& list)
{
    if (list.empty())
        return 0;
    std::size_t total = kSizeField;
    for (std::size_t offset = 0, size; (size = ValidItemSize(list, offset)) != 0; offset += size)
        total += size;
    return static_cast<UINT>(total);
}

std::size_t GetNextIDLItem(const IdList& list, std::size_t offset)
{
    const std::size_t size = ValidItemSize(list, offset);
    if (size == 0 || ValidItemSize(list, offset + size) == 0)
        return std::string::npos;
    return offset + size;
}

std::vector<IdItem> GetIDLItems(const IdList& list)
{
    std::vector<IdItem> items;
    for (std::size_t offset = 0, size; (size = ValidItemSize(list, offset)) != 0; offset += size)
        items.emplace_back(list.data() + offset, size);
    return items;
}

IdList CopyPIDL(const IdList& list)
{
    if (list.empty())
        return {};
    IdList copy(list.begin(), list.begin() + (GetIDLSize(list) - kSizeField));
    Terminate(copy);
    return copy;
}

IdList ConcatenatePIDLs(const IdList& first, const IdList& second)
{
    if (first.empty() || second.empty())
        return CopyPIDL(first.empty() ? second : first);
    IdList joined = CopyPIDL(first);
    joined.resize(joined.size() - kSizeField);
    const IdList tail = CopyPIDL(second);
    joined.insert(joined.end(), tail.begin(), tail.end());
    return joined;
}

IdList MakeIdList(std::span<const IdItem> items)
{
    IdList list;
    for (IdItem item : items)
        list.insert(list.end(), item.begin(), item.end());
    Terminate(list);
    return list;
}

IdList GetLastIDLItem(const IdList& list)
{
    const std::vector<IdItem> items = GetIDLItems(list);
    if (items.empty())
        return {};
    return MakeIdList(std::span(items).last(1));
}

IdList GetParentIDL(const IdList& list)
{
    const std::vector<IdItem> items = GetIDLItems(list);
    if (items.empty())
        return {};
    return MakeIdList(std::span(items).first(items.size() - 1));
}

IdKind GetIdKind(IdItem item) { return item.size() >= kHeader ? static_cast<IdKind>(item[kSizeField]) : IdKind{}; }

std::string GetIdText(IdItem item)
{
    if (item.size() < kHeader)
        return {};
    return std::string(item.begin() + kHeader, item.end());
}

bool IsSameIdItem(IdItem a, IdItem b) { return std::ranges::equal(a, b); }

IdItem GetFirstIdItem(const IdList& list)
{
    const std::size_t size = ValidItemSize(list, 0);
    return size ? IdItem(list.data(), size) : IdItem();
}

} // namespace shell
