#include "quillet/text/ErrorText.h"

#include "quillet/text/StringTable.h"

#include <cstdio>

namespace quillet {

bool GetErrorText(const StringTable& texts, HRESULT code, std::string& out)
{
    out.clear();
    for (UINT id = IDS_OPC_RESULT_FIRST; id <= IDS_OPC_RESULT_LAST; ++id)
        if (OpcResultOfId(id) == code) {
            out = texts.Text(id);
            return true;
        }
    return false;
}

std::string ErrorText(const StringTable& texts, HRESULT code)
{
    std::string text;
    if (!GetErrorText(texts, code, text)) text = com::systemErrorText(code);
    return text;
}

std::string HexCode(DWORD value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%#8.8x", value);
    return buffer;
}

} // namespace quillet
