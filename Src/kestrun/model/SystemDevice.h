#pragma once
// The built-in devices a map adds after every load and never stores: "$System"
// (server commands for clients) and "$Root" (home of items created without a
// device, made only when the program's map asks for it).
#include <array>
#include <filesystem>
#include <string>

#include "kestrun/model/DeviceObject.h"

class CdsSystemDevice : public CdsDeviceObject {
    DECLARE_SERIAL(CdsSystemDevice)
public:
    CdsSystemDevice();

    // Stores and loads nothing.
    void Serialize(CArchive& ar) override;
    CdsSystemDevice& operator=(const CdsSystemDevice& src);
    CdsDeviceObject& operator=(const CdsDeviceObject& src) override;
    // "$Array" with "$DoOnline", "$DoOpen", "$DoReset" and "$DoExit"; none of the status points.
    BOOL CreateSystemArrays() override;
    void DestroySystemArrays() override;
    // Carries out a command point's write; opening and exiting run later on the
    // application thread. 0 for another point or a command that cannot be done.
    int HandleCommand(CdsMemoryObject* pPoint, const _BRISANTDATAVALUE& value, int& nResult) override;

    // The configuration a "$DoOpen" name leads to: an existing regular file,
    // relative names taken inside the configuration folder; empty when none.
    static std::filesystem::path ResolveOpenName(const std::string& strName, const std::filesystem::path& configFolder);

protected:
    // "$DoOnline", "$DoOpen", unused, "$DoReset", "$DoExit" (owned by their block).
    std::array<CdsMemoryObject*, 5> m_pCommands{};
};

class CdsRootDevice : public CdsDeviceObject {
    DECLARE_SERIAL(CdsRootDevice)
public:
    CdsRootDevice();

    // Stores and loads nothing.
    void Serialize(CArchive& ar) override;
    CdsRootDevice& operator=(const CdsRootDevice& src);
    CdsDeviceObject& operator=(const CdsDeviceObject& src) override;
    // "$Array" for items made on demand, and "$ModeSys" with the system mode option.
    BOOL CreateSystemArrays() override;
};
