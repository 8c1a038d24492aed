#pragma once
// Where unsaved work goes when the program must end without asking (a signal):
// a new file of its own under <folder>/recovery, never the user's file and
// never one written before.
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace win {

// Creates an empty, owner-only file "<stem>-<YYYYMMDD-HHMMSS>[-n]<extension>"
// (UTC) under <folder>/recovery, the folder made owner-only when missing, and
// returns its path for the caller to fill; empty, with the reason, when none
// could be made. The stem and extension come from the document's file name
// (control characters and separators become "_"; "Untitled" for none).
std::filesystem::path CreateRecoveryFile(const std::filesystem::path& folder, std::string_view documentName,
                                         std::string_view extension, std::chrono::system_clock::time_point now,
                                         std::string& error);

} // namespace win
