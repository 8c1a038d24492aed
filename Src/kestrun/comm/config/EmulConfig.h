#pragma once
// Configuration of an emulated line: one stored value and nothing else.
#include "kestrun/comm/config/CommConfig.h"

class CdsEmulConfig : public CdsCommConfig {
    DECLARE_SERIAL(CdsEmulConfig)
public:
    CdsEmulConfig();
    CdsEmulConfig(const CdsEmulConfig& src) = default;
    CdsEmulConfig& operator=(const CdsCommConfig& src) override;
    CdsEmulConfig& operator=(const CdsEmulConfig& src);

    std::int32_t m_nValue = 10000; // stored and copied; nothing reads it

protected:
    void SerializeTail(CArchive& ar) override;
    bool HasTailOf(tagCommPortType portType) const override;
    void AssignTail(const CdsCommConfig& src) override;
};
