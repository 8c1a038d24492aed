#pragma once
// The data types the item dialogs offer, by the names of their VARIANT type codes, and
// the longer type and access-rights names the validation results and the item
// enumeration show.
#include "platform/com/Variant.h"

#include <optional>
#include <span>
#include <string>

namespace quillet {

// The add-item dialog's order.
std::span<const VARTYPE> AddItemTypes();
// The write dialog's order.
std::span<const VARTYPE> WriteTypes();
// Sorted by name (the change-data-type dialog).
std::span<const VARTYPE> SortedTypes();

// "VT_I2" and so on.
std::string TypeChoiceText(VARTYPE type);
// The entry whose type is vt's low byte; none for a type the list lacks.
std::optional<int> FindType(std::span<const VARTYPE> list, VARTYPE vt);

// "2 Byte Integer" ..., with " Array" and " By Reference" for those flags.
std::string TypeName(VARTYPE vt);
// "Read Only", "Write Only", else "Read / Write".
std::string AccessRightsName(DWORD rights);

} // namespace quillet
