#pragma once
// The device map of the MELSEC server: it makes MELSEC devices.
#include "kestrun/model/DeviceMap.h"

class CDeviceMap : public CdsDeviceMap {
    DECLARE_SERIAL(CDeviceMap)
public:
    CDeviceMap() = default;

    void Serialize(CArchive& ar) override;
    BOOL InitDeviceObject(const std::string& strPort, const std::string& strAddress, int nType,
                          CdsDeviceObject* pDevice) override;
    CdsDeviceObject* NewDeviceObject(const CdsDeviceObject& src) override;
    CdsDeviceObject* NewDeviceObject(const std::string& strPort, const std::string& strAddress,
                                     int nType) override;
    // The server's device dialog, which also edits the frame kind.
    std::unique_ptr<CdsDeviceObjectDlg> NewDeviceObjectDlg() const override;
};
