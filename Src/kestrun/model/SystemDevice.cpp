#include "kestrun/model/SystemDevice.h"

#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsSystemDevice, CdsDeviceObject, 1)
IMPLEMENT_SERIAL(CdsRootDevice, CdsDeviceObject, 1)

CdsSystemDevice::CdsSystemDevice()
{
    m_bSystemDevice = TRUE;
    m_strName = "$System";
    m_strAddress = "$Device";
    m_strPort = "$Virtual";
    m_strDescription = "System Device";
}

void CdsSystemDevice::Serialize(CArchive&) {}

CdsSystemDevice& CdsSystemDevice::operator=(const CdsSystemDevice& src)
{
    CdsDeviceObject::operator=(src);
    return *this;
}

CdsDeviceObject& CdsSystemDevice::operator=(const CdsDeviceObject& src) { return CdsDeviceObject::operator=(src); }

void CdsSystemDevice::DestroySystemArrays()
{
    m_pCommands.fill(nullptr);
    CdsDeviceObject::DestroySystemArrays();
}

CdsRootDevice::CdsRootDevice()
{
    m_bSystemDevice = TRUE;
    m_strName = "$Root";
    m_strAddress = "$Device";
    m_strPort = "$Virtual";
    m_strDescription = "Root";
    m_nDeviceType = 0;
}

void CdsRootDevice::Serialize(CArchive&) {}

CdsRootDevice& CdsRootDevice::operator=(const CdsRootDevice& src)
{
    CdsDeviceObject::operator=(src);
    return *this;
}

CdsDeviceObject& CdsRootDevice::operator=(const CdsDeviceObject& src) { return CdsDeviceObject::operator=(src); }
