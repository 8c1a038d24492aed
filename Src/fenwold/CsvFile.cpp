#include "fenwold/CsvFile.h"

namespace {
int Flag(int nResult) { return nResult ? 1 : 0; }
} // namespace

int CCsvFile::ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice)
{
    return Flag(CdsCsvFile::ImportDeviceObject(fields, pDevice));
}

int CCsvFile::ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    return Flag(CdsCsvFile::ImportMemoryArray(fields, pDevice, pBlock));
}

int CCsvFile::ExportDeviceObjectInfo(CdsDeviceObject* pDevice)
{
    return Flag(CdsCsvFile::ExportDeviceObjectInfo(pDevice));
}

int CCsvFile::ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    return Flag(CdsCsvFile::ExportMemoryArrayInfo(pDevice, pBlock));
}
