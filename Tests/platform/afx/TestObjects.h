#pragma once
// Small serialisable classes and byte helpers shared by the archive tests.
#include "platform/afx/Archive.h"
#include "platform/afx/MemFile.h"
#include "support/HexBytes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace afxtest {

using Bytes = std::vector<BYTE>;

// Counts live test objects, so a failed load can be checked for leaks directly.
struct LiveCount {
    static int s_live;
};

// Runs fn on a storing archive over memory and returns the bytes written.
Bytes Store(const std::function<void(CArchive&)>& fn, int nBufSize = 4096);

// Loads from an exact-size heap copy of bytes (so a read past the end is a
// sanitizer error) and runs fn on the loading archive.
void Load(const Bytes& bytes, const std::function<void(CArchive&)>& fn, int nBufSize = 4096);

inline Bytes Concat(std::initializer_list<Bytes> parts) { return testsupport::Join(parts); }
inline Bytes Text(const std::string& s) { return testsupport::Ascii(s); }
inline std::string Hex(const Bytes& bytes) { return testsupport::HexText(bytes); }

} // namespace afxtest

// A data point: a name and a value, plus an optional peer it does not own.
class CTestPoint : public CObject, public afxtest::LiveCount {
    DECLARE_SERIAL(CTestPoint)
public:
    CTestPoint();
    CTestPoint(std::string name, LONG value);
    ~CTestPoint() override;
    void Serialize(CArchive& ar) override;

    std::string m_name;
    LONG m_value = 0;
};

// A kind derived from the point.
class CTestBitPoint : public CTestPoint {
    DECLARE_SERIAL(CTestBitPoint)
public:
    void Serialize(CArchive& ar) override;
    BYTE m_bit = 0;
};

// An unrelated kind, for wrong-kind loads.
class CTestDevice : public CObject, public afxtest::LiveCount {
    DECLARE_SERIAL(CTestDevice)
public:
    CTestDevice();
    ~CTestDevice() override;
    void Serialize(CArchive& ar) override;

    std::string m_name;
};

// Owns its points (stored as a counted list) and refers to a peer it does not own.
class CTestBlock : public CObject, public afxtest::LiveCount {
    DECLARE_SERIAL(CTestBlock)
public:
    CTestBlock();
    ~CTestBlock() override;
    void Serialize(CArchive& ar) override;

    std::vector<std::unique_ptr<CTestPoint>> m_points;
    CObject* m_pPeer = nullptr;
    CTestBlock* m_pSelf = nullptr;
};

// Remembers the schema it was loaded with (and what a second look gives).
class CTestVersioned : public CObject {
    DECLARE_SERIAL(CTestVersioned)
public:
    void Serialize(CArchive& ar) override;
    UINT m_nSchema = 0;
    UINT m_nSchemaAgain = 0;
};

// Creatable but not serialisable.
class CTestDynamic : public CObject {
    DECLARE_DYNCREATE(CTestDynamic)
};

namespace afxtest {
// Same class name as ::CTestPoint, registered after it, so the name stays with the
// first: its objects could never be loaded back.
class CTestPoint : public CObject {
    DECLARE_SERIAL(CTestPoint)
};
} // namespace afxtest
