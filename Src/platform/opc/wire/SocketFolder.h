#pragma once
// Where the class sockets live, and the checks that keep another local user from making
// that folder first and serving (or blocking) the class in the owner's place.
#include "platform/com/Guid.h"

#include <filesystem>
#include <string>

namespace opc {

// $XDG_RUNTIME_DIR/tessaro/opc, or /tmp/tessaro-<uid>/opc when XDG_RUNTIME_DIR is unset.
std::filesystem::path socketFolder();
std::filesystem::path socketPath(const std::filesystem::path& folder, const CLSID& clsid);

// Makes what is missing of the folder (owner-only) and checks every part of its path:
// each must be a folder owned by this user or by root (a link only when one of them owns
// it), none may be writable by others unless it is sticky (as /tmp is), and the folder
// itself must be this user's and closed to everyone else. False, with a text saying what is wrong, when
// the folder cannot be trusted; nothing is changed then.
bool prepareSocketFolder(const std::filesystem::path& folder, std::string& error);

} // namespace opc
