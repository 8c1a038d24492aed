#include "TestObjects.h"

#include <cstdio>
#include <cstring>

namespace afxtest {

int LiveCount::s_live = 0;

Bytes Store(const std::function<void(CArchive&)>& fn, int nBufSize)
{
    CMemFile file;
    CArchive ar(&file, CArchive::store, nBufSize);
    fn(ar);
    ar.Close();
    return file.Detach();
}

void Load(const Bytes& bytes, const std::function<void(CArchive&)>& fn, int nBufSize)
{
    std::unique_ptr<BYTE[]> copy(new BYTE[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    CMemFile file(std::span<const BYTE>(copy.get(), bytes.size()));
    CArchive ar(&file, CArchive::load, nBufSize);
    fn(ar);
    ar.Close();
}

} // namespace afxtest

IMPLEMENT_SERIAL(CTestPoint, CObject, 1)

CTestPoint::CTestPoint() { ++s_live; }
CTestPoint::CTestPoint(std::string name, LONG value) : m_name(std::move(name)), m_value(value) { ++s_live; }
CTestPoint::~CTestPoint() { --s_live; }

void CTestPoint::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_name << m_value;
    else
        ar >> m_name >> m_value;
}

IMPLEMENT_SERIAL(CTestBitPoint, CTestPoint, 1)

void CTestBitPoint::Serialize(CArchive& ar)
{
    CTestPoint::Serialize(ar);
    if (ar.IsStoring())
        ar << m_bit;
    else
        ar >> m_bit;
}

IMPLEMENT_SERIAL(CTestDevice, CObject, 1)

CTestDevice::CTestDevice() { ++s_live; }
CTestDevice::~CTestDevice() { --s_live; }

void CTestDevice::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_name;
    else
        ar >> m_name;
}

IMPLEMENT_SERIAL(CTestBlock, CObject, 1)

CTestBlock::CTestBlock() { ++s_live; }
CTestBlock::~CTestBlock() { --s_live; }

void CTestBlock::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        afx::WriteObjects(ar, m_points);
        ar << m_pPeer << m_pSelf;
    } else {
        afx::ReadObjects<CTestPoint>(ar, [this](std::unique_ptr<CTestPoint> p) { m_points.push_back(std::move(p)); });
        ar >> m_pPeer >> m_pSelf;
    }
}

IMPLEMENT_SERIAL(CTestVersioned, CObject, 1)

void CTestVersioned::Serialize(CArchive& ar)
{
    if (ar.IsLoading()) {
        m_nSchema = ar.GetObjectSchema();
        m_nSchemaAgain = ar.GetObjectSchema();
    }
}

IMPLEMENT_DYNCREATE(CTestDynamic, CObject)

// Defined after ::CTestPoint in this file, so it registers second.
namespace afxtest {
IMPLEMENT_SERIAL(CTestPoint, CObject, 1)
} // namespace afxtest
