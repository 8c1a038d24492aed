#pragma once
// Numbers typed into dialog fields, read as the dialog framework reads them: the whole
// text must be the number (blanks around it allowed), and a field out of its range
// gets the framework's prompt while the dialog stays open.
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

class StringTable;

std::optional<long long> WholeInteger(std::string_view text);
std::optional<double> WholeReal(std::string_view text);

// The number in [min, max] into out; else false and the prompt.
bool ExchangeInteger(const StringTable& texts, std::string_view text, long long min, long long max, long long& out,
                     std::string& prompt);
bool ExchangeReal(const StringTable& texts, std::string_view text, double min, double max, double& out,
                  std::string& prompt);

// "%g" of a real, as the framework shows a float field (with a dot in any locale).
std::string RealText(double value);

} // namespace quillet
