#pragma once
// Deleting from the folder tree moves the object into the user's trash, as the
// desktop's own trash keeps it (files/ and info/<name>.trashinfo, so the file
// manager can put it back); nothing is ever deleted for good here. An object
// on another file system goes to that file system's .Trash-<uid> folder.
#include <chrono>
#include <string>

namespace shell {

// False, with the reason, when the object could not be moved; it is then
// where it was.
bool MoveToTrash(const std::string& strPath, const std::string& strTrashFolder, std::string& strError,
                 std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// "file:" path form of a trash record: every byte outside the unreserved set
// and "/" as %XX.
std::string TrashInfoPath(const std::string& strPath);

} // namespace shell
