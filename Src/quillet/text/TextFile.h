#pragma once
// Whole text files: read at once, and replaced at once so that a failed write never
// destroys the previous file.
#include <optional>
#include <string>
#include <system_error>

namespace quillet {

// The file's bytes; nothing when it cannot be read or is not a regular file of
// a sane size, with why in *why when given.
std::optional<std::string> ReadTextFile(const std::string& path, std::string* why = nullptr);

// Writes text to a new file beside path and renames it over path once all of it is
// on disk. On failure path is untouched and the temporary file is gone.
std::error_code ReplaceTextFile(const std::string& path, const std::string& text);

} // namespace quillet
