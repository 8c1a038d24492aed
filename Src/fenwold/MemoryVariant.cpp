#include "fenwold/MemoryVariant.h"

#include <string>

#include "fenwold/BitObject.h"
#include "fenwold/McLink.h"
#include "fenwold/MemoryObject.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/HandlerLink.h"
#include "kestrun/model/MemoryArray.h"

IMPLEMENT_DYNCREATE(CMemoryVariant, CdsMemoryVariant)

BOOL CMemoryVariant::GetValue(_BRISANTDATAVALUE&, const BYTE*, int, kestrun::HandlerLink*, const tagTHREADINFO*)
{
    return FALSE;
}

void CMemoryVariant::LogRefused() const
{
    CdsMemoryArray* block = GetParent();
    CdsDeviceObject* device = block ? block->GetParent() : nullptr;
    auto* link = device ? dynamic_cast<McLink*>(device->GetDeviceHdlr()) : nullptr;
    if (!link)
        return;
    const std::string text = "Cannot write " + GetName() + " " + GetTypeCode() + ": views are read-only!\r\n";
    link->McLogError(nullptr, text.c_str());
}

char* CMemoryVariant::GetCommandQueryString(const _BRISANTDATAVALUE&, int, BOOL)
{
    LogRefused();
    return nullptr;
}

std::string CMemoryVariant::McWriteRefusal() const
{
    const CdsMemoryArray* block = GetParent();
    const std::string label = block ? McBlockLabel(*block) : std::string();
    return label + "the view " + GetName() + " " + GetTypeCode() + " cannot be written (views are read-only)";
}

int CMemoryVariant::GetCommandQueryStringLen(int, const char*) { return -1; }

BOOL CMemoryVariant::GetCopyCommandQueryString(const _BRISANTDATAVALUE&, int, BOOL) { return FALSE; }
BOOL CMemoryVariant::GetDownsizeCommandQueryString(const _BRISANTDATAVALUE&, int, BOOL) { return FALSE; }
BOOL CMemoryVariant::GetUpsizeCommandQueryString(const _BRISANTDATAVALUE&, int, BOOL) { return FALSE; }

CdsMemoryArray* CMemoryVariant::NewBitArray() { return new CBitArray; }
