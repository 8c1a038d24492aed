#include "platform/opc/wire/Protocol.h"

namespace opc {

namespace {

// Each record's fields are listed once and walked by a writer or a reader, so the
// two directions cannot drift apart.
struct Put {
    WireWriter& w;
    template <typename F> void u16(const F& f) { w.u16(WORD(f)); }
    template <typename F> void u32(const F& f) { w.u32(DWORD(f)); }
    template <typename F> void i32(const F& f) { w.i32(LONG(f)); }
    void text(const std::u16string& f) { w.text(f); }
    void bytes(const std::vector<BYTE>& f) { w.bytes(f); }
    void fileTime(const FILETIME& f) { w.fileTime(f); }
    void variant(const VARIANT& f) { w.variant(f); }
};

struct Get {
    WireReader& r;
    template <typename F> void u16(F& f) { f = F(r.u16()); }
    template <typename F> void u32(F& f) { f = F(r.u32()); }
    template <typename F> void i32(F& f) { f = F(r.i32()); }
    void text(std::u16string& f) { f = r.text(); }
    void bytes(std::vector<BYTE>& f) { f = r.bytes(); }
    void fileTime(FILETIME& f) { f = r.fileTime(); }
    void variant(VARIANT& f) { f = r.variant(); }
};

template <typename Io, typename T>
void itemDefFields(Io& io, T& d)
{
    io.text(d.szAccessPath);
    io.text(d.szItemID);
    io.i32(d.bActive);
    io.u32(d.hClient);
    io.bytes(d.blob);
    io.u16(d.vtRequestedDataType);
}

template <typename Io, typename T>
void itemResultFields(Io& io, T& d)
{
    io.u32(d.hServer);
    io.u16(d.vtCanonicalDataType);
    io.u32(d.dwAccessRights);
    io.bytes(d.blob);
}

template <typename Io, typename T>
void itemStateFields(Io& io, T& d)
{
    io.u32(d.hClient);
    io.fileTime(d.ftTimeStamp);
    io.u16(d.wQuality);
    io.variant(d.vDataValue);
}

template <typename Io, typename T>
void statusFields(Io& io, T& s)
{
    io.fileTime(s.ftStartTime);
    io.fileTime(s.ftCurrentTime);
    io.fileTime(s.ftLastUpdateTime);
    io.u32(s.dwServerState);
    io.u32(s.dwGroupCount);
    io.u32(s.dwBandWidth);
    io.u16(s.wMajorVersion);
    io.u16(s.wMinorVersion);
    io.u16(s.wBuildNumber);
    io.text(s.szVendorInfo);
}

template <typename Io, typename T>
void attributeFields(Io& io, T& a)
{
    io.text(a.szAccessPath);
    io.text(a.szItemID);
    io.i32(a.bActive);
    io.u32(a.hClient);
    io.u32(a.hServer);
    io.u32(a.dwAccessRights);
    io.bytes(a.blob);
    io.u16(a.vtRequestedDataType);
    io.u16(a.vtCanonicalDataType);
    io.u32(a.dwEUType);
    io.variant(a.vEUInfo);
}

} // namespace

void writeItemDef(WireWriter& w, const OPCITEMDEF& d)
{
    Put io{w};
    itemDefFields(io, d);
}

OPCITEMDEF readItemDef(WireReader& r)
{
    OPCITEMDEF d;
    Get io{r};
    itemDefFields(io, d);
    return d;
}

void writeItemResult(WireWriter& w, const OPCITEMRESULT& d)
{
    Put io{w};
    itemResultFields(io, d);
}

OPCITEMRESULT readItemResult(WireReader& r)
{
    OPCITEMRESULT d;
    Get io{r};
    itemResultFields(io, d);
    return d;
}

void writeItemState(WireWriter& w, const OPCITEMSTATE& d)
{
    Put io{w};
    itemStateFields(io, d);
}

OPCITEMSTATE readItemState(WireReader& r)
{
    OPCITEMSTATE d;
    Get io{r};
    itemStateFields(io, d);
    return d;
}

void writeStatus(WireWriter& w, const OPCSERVERSTATUS& s)
{
    Put io{w};
    statusFields(io, s);
}

OPCSERVERSTATUS readStatus(WireReader& r)
{
    OPCSERVERSTATUS s;
    Get io{r};
    statusFields(io, s);
    return s;
}

void writeAttributes(WireWriter& w, const OPCITEMATTRIBUTES& a)
{
    Put io{w};
    attributeFields(io, a);
}

OPCITEMATTRIBUTES readAttributes(WireReader& r)
{
    OPCITEMATTRIBUTES a;
    Get io{r};
    attributeFields(io, a);
    return a;
}

} // namespace opc
