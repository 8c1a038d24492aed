#include "kestrun/comm/serial/SerialCommException.h"

#include <algorithm>
#include <cstring>

IMPLEMENT_DYNCREATE(COXSerialCommException, CFileException)

namespace {

struct StringEntry {
    UINT id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {23201, "%s:\nConfiguration file not found.\nDefault Parameters Assumed."},
    {23202, "%s:\nError loading the parameters file.\nDefault Parameters Assumed."},
    {23203, "%s:\nError saving the parameters file."},
    {23204, "The selected COM port is either not supported\nor is being used by another application.\nPlease "
            "select another port."},
    {23209, "Unknown Name"},
    {23210, "No Error"},
    {23211, "%1:\nThe selected COM port is either not supported\nor is being used by another application.\n"
            "Please select another port."},
    {23212, "%1:\nBreak Detect !"},
    {23213, "%1:\nRx Timeout !"},
    {23214, "%1:\nClear To Send Timeout !"},
    {23215, "%1:\nData Set Ready Timeout !"},
    {23216, "%1:\nCarrier Detect Timeout !"},
    {23217, "%1:\nFrame Error !"},
    {23218, "%1:\nParity Error !"},
    {23219, "%1:\nOverrun Error !"},
    {23220, "%1:\nRx Buffer Overflow !"},
    {23221, "%1:\nTx Buffer Full !"},
    {23222, "%1:\nUnexpected WM_QUIT received !"},
    {23223, "%1:\nI/O Error !"},
    {23224, "%1:\nMode Error ! (request mode not supported)"},
    {23225, "%1:\nUnknown Error !"},
    {23228, "unknown.cfg"},
};

} // namespace

COXSerialCommException::COXSerialCommException(int cause, std::string portName)
    : CFileException(genericException, -1, std::move(portName)), m_nCause(cause)
{
}

const char* COXSerialCommException::GetString(UINT nId)
{
    for (const StringEntry& e : kStrings) {
        if (e.id == nId)
            return e.text;
    }
    return "";
}

std::string COXSerialCommException::GetErrorMessage() const
{
    const bool known = m_nCause >= noError && m_nCause <= modeError;
    std::string text = GetString(kHelpIdBase + static_cast<UINT>(known ? m_nCause : 15));
    const std::string name = m_strFileName.empty() ? GetString(23209) : m_strFileName;
    for (std::size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + name.size()))
        text.replace(at, 2, name);
    return text;
}

BOOL COXSerialCommException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) const
{
    if (pnHelpContext)
        *pnHelpContext = kHelpIdBase + static_cast<UINT>(m_nCause);
    if (!lpszError || nMaxError == 0)
        return FALSE;
    const std::string text = GetErrorMessage();
    const std::size_t n = std::min<std::size_t>(text.size(), nMaxError - 1);
    std::memcpy(lpszError, text.data(), n);
    lpszError[n] = '\0';
    return TRUE;
}

void AfxThrowSerialCommException(int cause, const std::string& portName)
{
    throw COXSerialCommException(cause, portName);
}
