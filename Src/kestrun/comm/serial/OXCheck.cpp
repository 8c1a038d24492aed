#include "kestrun/comm/serial/OXCheck.h"

#include "platform/afx/File.h"

#include <algorithm>
#include <vector>

constinit COXCRCTableList COXCRC16::m_tableList{COXCRCTableList::EWidth::Bits16};
constinit COXCRCTableList COXCRC32::m_tableList{COXCRCTableList::EWidth::Bits32};

DWORD COXCheckBase::CalculateBlock(const void* data, DWORD length)
{
    return CalculateBlock(data, length, m_value);
}

COXCRC16::COXCRC16(DWORD polynomial) : COXCRCBase(SIZE_16, m_tableList.GetTable(polynomial)) {}

DWORD COXCRC16::CalculateBlock(const void* data, DWORD length, DWORD start)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    DWORD value = start & 0xFFFF;
    for (DWORD i = 0; i < length; ++i)
        value = (m_pTable[((value >> 8) ^ bytes[i]) & 0xFF] ^ (value << 8)) & 0xFFFF;
    m_value = value;
    return value;
}

COXCRC32::COXCRC32(DWORD polynomial) : COXCRCBase(SIZE_32, m_tableList.GetTable(polynomial)) {}

DWORD COXCRC32::CalculateBlock(const void* data, DWORD length, DWORD start)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    DWORD value = start;
    for (DWORD i = 0; i < length; ++i)
        value = (value >> 8) ^ m_pTable[(bytes[i] ^ value) & 0xFF];
    m_value = value;
    return value;
}

namespace {

DWORD Sum(const void* data, DWORD length, DWORD start, DWORD mask)
{
    const BYTE* bytes = static_cast<const BYTE*>(data);
    DWORD value = start;
    for (DWORD i = 0; i < length; ++i)
        value += bytes[i];
    return value & mask;
}

} // namespace

DWORD COXCheckSum8::CalculateBlock(const void* data, DWORD length, DWORD start)
{
    return m_value = Sum(data, length, start, 0xFF);
}

DWORD COXCheckSum16::CalculateBlock(const void* data, DWORD length, DWORD start)
{
    return m_value = Sum(data, length, start, 0xFFFF);
}

DWORD COXCheckSum32::CalculateBlock(const void* data, DWORD length, DWORD start)
{
    return m_value = Sum(data, length, start, 0xFFFFFFFFu);
}

DWORD COXCheckBase::CalculateFile(CFile& file, DWORD count, DWORD bufferSize)
{
    constexpr DWORD kDefaultChunk = 2048;
    // A zero buffer would read nothing forever.
    const DWORD chunk = bufferSize == 0 ? kDefaultChunk : bufferSize;
    const DWORD saved = m_value;
    std::vector<BYTE> buffer(chunk);
    try {
        DWORD remaining = count;
        const bool toEnd = count == 0xFFFFFFFFu;
        while (toEnd || remaining > 0) {
            const DWORD ask = toEnd ? chunk : std::min(chunk, remaining);
            const UINT got = file.Read(buffer.data(), ask);
            if (got > 0)
                CalculateBlock(buffer.data(), got);
            if (!toEnd)
                remaining -= got;
            if (got < ask)
                break;
        }
    } catch (const CFileException&) {
        m_value = saved;
        throw;
    }
    return m_value;
}

DWORD COXCheckBase::CalculateFile(const std::string& fileName)
{
    CFile file(fileName, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary);
    const DWORD value = CalculateFile(file, 0xFFFFFFFFu, 2048);
    file.Close();
    return value;
}
