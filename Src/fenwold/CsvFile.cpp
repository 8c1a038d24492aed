#include "fenwold/CsvFile.h"

#include <string>

#include "fenwold/BlockRange.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"

namespace {
int Flag(int nResult) { return nResult ? 1 : 0; }
} // namespace

int CCsvFile::ImportDeviceObject(const Fields& fields, CdsDeviceObject* pDevice)
{
    if (!CdsCsvFile::ImportDeviceObject(fields, pDevice))
        return 0;
    // The station refuses any other type when it is set up: say why here.
    if (pDevice->m_nDeviceType < 1 || pDevice->m_nDeviceType > 5) {
        SetReason("DeviceType: '" + fields[2] + "' is not a MELSEC device type (1, 2 or 5 for 1E frames, 3 or 4 for "
                  "3E/4E frames)");
        return 0;
    }
    return 1;
}

int CCsvFile::ImportMemoryArray(const Fields& fields, CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    if (!CdsCsvFile::ImportMemoryArray(fields, pDevice, pBlock))
        return 0;
    // A block the PLC has no elements for would be accepted and then fail on every scan.
    // The temporary device of the import names the device but has none of its
    // settings: the frame kind is the one of the device the block goes to.
    const auto* station = dynamic_cast<const McStation*>(CdsDeviceMap::GetDeviceObjectByTopic(pDevice->m_strName));
    const McFrameKind kind = station ? station->GetFrameKind() : McFrameKind::E3;
    const std::string problem =
        MelsecBlockProblem(pBlock->GetAddr(), pBlock->GetDefaultDataType(), pBlock->GetMaxMemories(), kind);
    if (!problem.empty()) {
        SetReason(problem);
        return 0;
    }
    // Write-only on a device no request may write would leave a block of no use at all.
    const MelsecDevice* element = MelsecFindDevice(pBlock->GetAddr());
    if (element && !element->writable && !pBlock->IsReadAllowed()) {
        SetReason("ReadWrite: '" + fields[6] + "', but " + element->name + " cannot be written");
        return 0;
    }
    return 1;
}

int CCsvFile::ExportDeviceObjectInfo(CdsDeviceObject* pDevice)
{
    return Flag(CdsCsvFile::ExportDeviceObjectInfo(pDevice));
}

int CCsvFile::ExportMemoryArrayInfo(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock)
{
    return Flag(CdsCsvFile::ExportMemoryArrayInfo(pDevice, pBlock));
}
