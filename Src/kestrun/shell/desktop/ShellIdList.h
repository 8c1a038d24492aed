#pragma once
// Item ID lists of the shell namespace, in our own byte encoding: each item is
// a little-endian 16-bit size (counting the size field itself), a kind byte
// and the item's text; a size of 0 ends the list. An empty vector is no list
// at all; the desktop's own list is the terminator alone. Lists are copied by
// value and compared item by item, byte for byte with the size included.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/WinTypes.h"

namespace shell {

using IdList = std::vector<BYTE>;
using IdItem = std::span<const BYTE>; // one item, its size field included

enum class IdKind : BYTE {
    Home = 1,           // the home folder, on the desktop
    DesktopFolder = 2,  // the desktop folder, on the desktop
    FileSystemRoot = 3, // "/", on the desktop
    Volume = 4,         // a mounted volume, on the desktop; its text is the mount point
    Entry = 0x10,       // a file or folder; its text is its name in its folder
};

// A list of one item; none when the text does not fit the size field.
IdList MakeIdList(IdKind kind, std::string_view text);
// 0 for none; else 2 plus the size fields of all items before the terminator.
UINT GetIDLSize(const IdList& list);
// Offset of the item behind the one at offset; npos for none and at the terminator.
std::size_t GetNextIDLItem(const IdList& list, std::size_t offset);
// The items in order (a malformed tail is left out).
std::vector<IdItem> GetIDLItems(const IdList& list);
// A copy of the list's bytes up to its terminator; none for none.
IdList CopyPIDL(const IdList& list);
// Both: the first without its terminator, then the whole second; one: a copy
// of it; none: none.
IdList ConcatenatePIDLs(const IdList& first, const IdList& second);
// The last item as a list of one, and the list without it; none for none or
// an empty list.
IdList GetLastIDLItem(const IdList& list);
IdList GetParentIDL(const IdList& list);
// A list of the given items.
IdList MakeIdList(std::span<const IdItem> items);

IdKind GetIdKind(IdItem item);
std::string GetIdText(IdItem item);
bool IsSameIdItem(IdItem a, IdItem b);
// The first item of a list; empty for none or an empty list.
IdItem GetFirstIdItem(const IdList& list);

} // namespace shell
