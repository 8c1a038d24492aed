#include "fenwold/McStation.h"

#include <cctype>

bool McStation::ConfigureFrame(LONG deviceType, std::string& protocol)
{
    if (deviceType < 1 || deviceType > 5)
        return false;
    m_bQnA = deviceType == 3 || deviceType == 4;
    for (char& c : protocol)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    m_bBinary = protocol.find("ASCII") == std::string::npos;
    const char last = protocol.empty() ? '\0' : protocol.back();
    m_nFrameNumber = std::isdigit(static_cast<unsigned char>(last)) ? last - '0' : 1;
    return true;
}

McFrameKind McStation::GetFrameKind() const
{
    if (!m_bQnA)
        return McFrameKind::E1;
    return m_nFrameNumber == 3 ? McFrameKind::E3 : McFrameKind::E4;
}

McTarget McStation::MakeTarget(std::string_view address) const
{
    McTarget target;
    target.kind = GetFrameKind();
    target.ascii = IsAscii();
    if (target.kind == McFrameKind::E1)
        target.pcNumber = ParseMcPcNumber(address);
    else
        target.route = ParseMcRoute(address);
    return target;
}

void McStation::CopyFrameSettings(const McStation& src)
{
    m_nFrameNumber = src.m_nFrameNumber;
    m_bQnA = src.m_bQnA;
    m_bBinary = src.m_bBinary;
}
