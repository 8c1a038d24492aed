#pragma once
// Stores and loads port configurations through an in-memory archive.
#include "kestrun/comm/config/CommConfig.h"
#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"

#include <memory>
#include <span>
#include <vector>

namespace commtest {

inline std::vector<BYTE> Store(CdsCommConfig& config)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        config.Serialize(ar);
        ar.Close();
    }
    auto bytes = file.GetData();
    return {bytes.begin(), bytes.end()};
}

inline void Load(CdsCommConfig& config, std::span<const BYTE> bytes)
{
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    config.Serialize(ar);
    ar.Close();
}

inline std::unique_ptr<CdsCommConfig> LoadNew(std::span<const BYTE> bytes)
{
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    auto config = CdsCommConfig::LoadCommConfig(ar);
    ar.Close();
    return config;
}

} // namespace commtest
