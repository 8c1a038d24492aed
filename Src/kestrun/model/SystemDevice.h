#pragma once
// The built-in devices a map adds after every load and never stores: "$System"
// (server commands for clients) and "$Root" (home of items created without a
// device, made only when the program's map asks for it).
#include <array>

#include "kestrun/model/DeviceObject.h"

class CdsSystemDevice : public CdsDeviceObject {
    DECLARE_SERIAL(CdsSystemDevice)
public:
    CdsSystemDevice();

    // Stores and loads nothing.
    void Serialize(CArchive& ar) override;
    CdsSystemDevice& operator=(const CdsSystemDevice& src);
    CdsDeviceObject& operator=(const CdsDeviceObject& src) override;
    void DestroySystemArrays() override;

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
};
