#include "platform/opc/Protocol.h"

namespace opc {

void writeItemDef(WireWriter& w, const OPCITEMDEF& d)
{
    w.text(d.szAccessPath);
    w.text(d.szItemID);
    w.i32(d.bActive);
    w.u32(d.hClient);
    w.bytes(d.blob);
    w.u16(d.vtRequestedDataType);
}

OPCITEMDEF readItemDef(WireReader& r)
{
    OPCITEMDEF d;
    d.szAccessPath = r.text();
    d.szItemID = r.text();
    d.bActive = r.i32();
    d.hClient = r.u32();
    d.blob = r.bytes();
    d.vtRequestedDataType = r.u16();
    return d;
}

void writeItemResult(WireWriter& w, const OPCITEMRESULT& d)
{
    w.u32(d.hServer);
    w.u16(d.vtCanonicalDataType);
    w.u32(d.dwAccessRights);
    w.bytes(d.blob);
}

OPCITEMRESULT readItemResult(WireReader& r)
{
    OPCITEMRESULT d;
    d.hServer = r.u32();
    d.vtCanonicalDataType = r.u16();
    d.dwAccessRights = r.u32();
    d.blob = r.bytes();
    return d;
}

void writeItemState(WireWriter& w, const OPCITEMSTATE& d)
{
    w.u32(d.hClient);
    w.fileTime(d.ftTimeStamp);
    w.u16(d.wQuality);
    w.variant(d.vDataValue);
}

OPCITEMSTATE readItemState(WireReader& r)
{
    OPCITEMSTATE d;
    d.hClient = r.u32();
    d.ftTimeStamp = r.fileTime();
    d.wQuality = r.u16();
    d.vDataValue = r.variant();
    return d;
}

void writeStatus(WireWriter& w, const OPCSERVERSTATUS& s)
{
    w.fileTime(s.ftStartTime);
    w.fileTime(s.ftCurrentTime);
    w.fileTime(s.ftLastUpdateTime);
    w.u32(s.dwServerState);
    w.u32(s.dwGroupCount);
    w.u32(s.dwBandWidth);
    w.u16(s.wMajorVersion);
    w.u16(s.wMinorVersion);
    w.u16(s.wBuildNumber);
    w.text(s.szVendorInfo);
}

OPCSERVERSTATUS readStatus(WireReader& r)
{
    OPCSERVERSTATUS s;
    s.ftStartTime = r.fileTime();
    s.ftCurrentTime = r.fileTime();
    s.ftLastUpdateTime = r.fileTime();
    s.dwServerState = OPCSERVERSTATE(r.u32());
    s.dwGroupCount = r.u32();
    s.dwBandWidth = r.u32();
    s.wMajorVersion = r.u16();
    s.wMinorVersion = r.u16();
    s.wBuildNumber = r.u16();
    s.szVendorInfo = r.text();
    return s;
}

void writeAttributes(WireWriter& w, const OPCITEMATTRIBUTES& a)
{
    w.text(a.szAccessPath);
    w.text(a.szItemID);
    w.i32(a.bActive);
    w.u32(a.hClient);
    w.u32(a.hServer);
    w.u32(a.dwAccessRights);
    w.bytes(a.blob);
    w.u16(a.vtRequestedDataType);
    w.u16(a.vtCanonicalDataType);
    w.u32(a.dwEUType);
    w.variant(a.vEUInfo);
}

OPCITEMATTRIBUTES readAttributes(WireReader& r)
{
    OPCITEMATTRIBUTES a;
    a.szAccessPath = r.text();
    a.szItemID = r.text();
    a.bActive = r.i32();
    a.hClient = r.u32();
    a.hServer = r.u32();
    a.dwAccessRights = r.u32();
    a.blob = r.bytes();
    a.vtRequestedDataType = r.u16();
    a.vtCanonicalDataType = r.u16();
    a.dwEUType = OPCEUTYPE(r.u32());
    a.vEUInfo = r.variant();
    return a;
}

} // namespace opc
