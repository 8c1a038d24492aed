#include "kestrun/model/SystemArray.h"

#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CdsSystemArray, CdsMemoryArray, 1)
IMPLEMENT_SERIAL(CdsSystemObject, CdsMemoryObject, 1)

CdsSystemArray::CdsSystemArray(int nMaxMemories) : CdsMemoryArray(nMaxMemories)
{
    m_bSystem = TRUE;
    m_bReadAllowed = FALSE;
    m_bWriteAllowed = FALSE;
    SetAddr("$Array");
}

void CdsSystemArray::Serialize(CArchive&) {}

CdsSystemObject::CdsSystemObject()
{
    m_bSystem = TRUE;
    SetName("$Object");
}

void CdsSystemObject::Serialize(CArchive&) {}

CdsSystemObject* CdsSystemObject::Make(const char* pszName, int nType, const _BRISANTDATAVALUE& initial)
{
    auto* point = new CdsSystemObject;
    point->SetName(pszName);
    point->SetDataType(nType);
    if (nType != BRISANT_STRING)
        point->SetNewValue(initial, nullptr, FALSE);
    point->SetTouched(TRUE);
    point->SetStatus(CdsMemoryObject::QUALITY_GOOD);
    return point;
}
