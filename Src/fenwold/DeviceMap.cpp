#include "fenwold/DeviceMap.h"

#include "fenwold/DeviceObject.h"
#include "fenwold/FenwoldDialogs.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CDeviceMap, CdsDeviceMap, 1)

void CDeviceMap::Serialize(CArchive& ar) { CdsDeviceMap::Serialize(ar); }

BOOL CDeviceMap::InitDeviceObject(const std::string& strPort, const std::string& strAddress, int nType,
                                  CdsDeviceObject* pDevice)
{
    return CdsDeviceMap::InitDeviceObject(strPort, strAddress, nType, pDevice) ? TRUE : FALSE;
}

CdsDeviceObject* CDeviceMap::NewDeviceObject(const CdsDeviceObject& src)
{
    auto* device = new CDeviceObject;
    *device = src;
    return device;
}

CdsDeviceObject* CDeviceMap::NewDeviceObject(const std::string&, const std::string&, int)
{
    return new CDeviceObject;
}

std::unique_ptr<CdsDeviceObjectDlg> CDeviceMap::NewDeviceObjectDlg() const
{
    return std::make_unique<CDeviceObjectDlg>();
}
