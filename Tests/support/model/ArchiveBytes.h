#pragma once
// Builds expected archive bytes field by field, the way the format defines
// them, independent of the archive class under test.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"
#include "platform/win/WinTypes.h"

namespace testsupport {

class ArchiveBytes {
public:
    ArchiveBytes& U16(WORD w)
    {
        m_bytes.push_back(static_cast<BYTE>(w & 0xFF));
        m_bytes.push_back(static_cast<BYTE>(w >> 8));
        return *this;
    }
    ArchiveBytes& I32(std::int64_t v)
    {
        auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(static_cast<BYTE>((u >> (8 * i)) & 0xFF));
        return *this;
    }
    // Short text: one length byte, then the bytes.
    ArchiveBytes& Str(const std::string& text)
    {
        m_bytes.push_back(static_cast<BYTE>(text.size()));
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        return *this;
    }
    // A class stored for the first time: new-class tag, schema 1, name.
    ArchiveBytes& NewClass(const std::string& name)
    {
        U16(0xFFFF).U16(1).U16(static_cast<WORD>(name.size()));
        m_bytes.insert(m_bytes.end(), name.begin(), name.end());
        return *this;
    }
    // A class stored before, by its index.
    ArchiveBytes& OldClass(WORD index) { return U16(static_cast<WORD>(0x8000 | index)); }

    const std::vector<BYTE>& Bytes() const { return m_bytes; }

private:
    std::vector<BYTE> m_bytes;
};

// Stores through an archive into memory and gives the bytes.
template <class Fn>
std::vector<BYTE> StoreBytes(Fn&& store)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        store(ar);
        ar.Close();
    }
    auto data = file.GetData();
    return {data.begin(), data.end()};
}

// One object as an archive stores it, class tag and all.
inline std::vector<BYTE> StoreObject(const CObject* object)
{
    return StoreBytes([object](CArchive& ar) { ar.WriteObject(object); });
}

// Loads from the bytes through an archive.
template <class Fn>
void LoadBytes(const std::vector<BYTE>& bytes, Fn&& load)
{
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    load(ar);
    ar.Close();
}

} // namespace testsupport
