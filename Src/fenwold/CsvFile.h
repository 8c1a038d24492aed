#pragma once
// The MELSEC server's CSV configuration file: the framework's, whose four
// import and export steps it keeps as they are (results 0 or 1).
#include "kestrun/shell/server/CsvFile.h"

class CCsvFile : public CdsCsvFile {
public:
    int ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice) override;
    int ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock) override;
    int ExportDeviceObjectInfo(CdsDeviceObject* pDevice) override;
    int ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock) override;
};
