#include "kestrun/model/EventData.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "kestrun/model/DataType.h"
#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantToolkit.h"

IMPLEMENT_DYNAMIC(CdsEventData, CObject)

namespace {

// The record's copies live on the process heap, as BYTE arrays.
BYTE* NewBuffer(std::size_t size) { return new (std::nothrow) BYTE[size](); }
void FreeBuffer(void* buffer) { delete[] static_cast<BYTE*>(buffer); }

// Bytes of a source block that may be read: its size when it is a toolkit heap
// block, otherwise as many as asked for.
std::size_t Readable(const void* block, std::size_t wanted)
{
    const dde::Heap* heap = dde::Toolkit::Process().FindHeap(GetBrisantHeap());
    std::size_t known = heap ? heap->BlockSize(block) : 0;
    return known == 0 ? wanted : std::min(known, wanted);
}

} // namespace

CdsEventData::CdsEventData() { m_value.ullVal = 0; }

CdsEventData::~CdsEventData() { DeleteContents(); }

void CdsEventData::Destroy()
{
    DeleteContents();
    if (m_bDeleteOnDestroy)
        delete this;
}

void CdsEventData::DeleteContents()
{
    if (m_nDataType == BRISANT_STRING || m_nDataType == BRISANT_FIXEDSTRING || dde::IsArrayType(m_nDataType))
        FreeBuffer(m_value.pszVal);
    m_value.ullVal = 0;
}

BOOL CdsEventData::SetValue(const _BRISANTDATAVALUE& value, int nDataType)
{
    DeleteContents();
    m_nDataType = nDataType;
    switch (nDataType) {
    case BRISANT_STRING: {
        if (!value.pszVal)
            return TRUE;
        // A toolkit block is read no further than its end, terminated or not.
        std::size_t length = strnlen(value.pszVal, Readable(value.pszVal, SIZE_MAX));
        BYTE* copy = NewBuffer(length + 1);
        if (!copy)
            return FALSE;
        std::memcpy(copy, value.pszVal, length);
        m_value.pszVal = reinterpret_cast<char*>(copy);
        return TRUE;
    }
    case BRISANT_FIXEDSTRING: {
        if (!value.pcsVal)
            return TRUE;
        // A length below 1 is an empty counted text, never a negative size.
        SHORT length = std::max<SHORT>(dde::CountedLength(value.pcsVal), 0);
        BYTE* copy = NewBuffer(static_cast<std::size_t>(length) + 4);
        if (!copy)
            return FALSE;
        std::size_t readable = Readable(value.pcsVal, static_cast<std::size_t>(length) + 2);
        std::size_t chars = readable > 2 ? readable - 2 : 0;
        dde::SetCountedLength(copy, length);
        std::memcpy(dde::CountedChars(copy), dde::CountedChars(value.pcsVal), chars);
        m_value.pcsVal = copy;
        return TRUE;
    }
    case BRISANT_BOOLARRAY: {
        // A missing block or one whose count exceeds the bound or its own size is refused.
        if (!IsArrayBlockSound(nDataType, value.parrVal))
            return FALSE;
        std::size_t size = dde::ArrayBlockSize(nDataType, dde::ArrayCount(value.parrVal));
        BYTE* copy = NewBuffer(size);
        if (!copy)
            return FALSE;
        std::memcpy(copy, value.parrVal, size);
        m_value.parrVal = copy;
        return TRUE;
    }
    default:
        // No write is defined for the other array codes: refuse rather than queue nothing.
        if (dde::IsArrayType(nDataType))
            return FALSE;
        m_value = value;
        return TRUE;
    }
}
