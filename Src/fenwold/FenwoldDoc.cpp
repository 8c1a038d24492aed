#include "fenwold/FenwoldDoc.h"

#include "fenwold/CsvFile.h"
#include "fenwold/DeviceMap.h"
#include "fenwold/DeviceObject.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/Resource.h"

CdsDeviceMap* CFenwoldDoc::NewDevices() { return new CDeviceMap; }

void CFenwoldDoc::CreateTmpObjects()
{
    if (!m_pTmpDevice)
        m_pTmpDevice = new CDeviceObject;
    if (!m_pTmpBlock)
        m_pTmpBlock = new CMemoryArray;
    if (!m_pTmpCsvFile)
        m_pTmpCsvFile = std::make_unique<CCsvFile>();
}

bool CFenwoldDoc::OnCommand(UINT nId)
{
    switch (nId) {
    case fenwold::ID_FILE_IMPORT:
        OnFileImport();
        return true;
    case fenwold::ID_FILE_EXPORT:
        OnFileExport();
        return true;
    default:
        return false;
    }
}
