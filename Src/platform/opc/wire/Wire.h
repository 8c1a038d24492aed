#pragma once
// Byte codec of the OPC transport. Little-endian numbers; texts as DWORD count then
// UTF-16 code units; VARIANTs through the COM value codec; arrays as DWORD count then
// elements. The reader never reads past its data: the first failure sets a flag that
// every later read keeps, and reads then give zeros.
#include "platform/opc/OpcTypes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace opc {

class WireWriter {
public:
    void u8(BYTE v) { out_.push_back(v); }
    void u16(WORD v);
    void u32(DWORD v);
    void u64(std::uint64_t v);
    void i32(LONG v) { u32(DWORD(v)); }
    void f32(FLOAT v);
    void guid(const GUID& g);
    void text(std::u16string_view s);
    void variant(const VARIANT& v);  // a value the codec refuses goes as VT_EMPTY
    void fileTime(FILETIME ft) { u64(com::toTicks(ft)); }
    void bytes(std::span<const BYTE> b);
    void handles(std::span<const DWORD> h);
    void results(std::span<const HRESULT> h);
    void variants(std::span<const VARIANT> v);
    void texts(std::span<const std::u16string> v);

    std::vector<BYTE>& data() { return out_; }

private:
    std::vector<BYTE> out_;
};

class WireReader {
public:
    explicit WireReader(std::span<const BYTE> data) : data_(data) {}
    BYTE u8();
    WORD u16();
    DWORD u32();
    std::uint64_t u64();
    LONG i32() { return LONG(u32()); }
    FLOAT f32();
    GUID guid();
    std::u16string text();
    VARIANT variant();
    FILETIME fileTime() { return com::fileTimeFromTicks(u64()); }
    std::vector<BYTE> bytes();
    std::vector<DWORD> handles();
    std::vector<HRESULT> results();
    std::vector<VARIANT> variants();
    std::vector<std::u16string> texts();
    // A count of elements that take at least minSize bytes each; refuses counts the
    // remaining data cannot hold.
    DWORD count(std::size_t minSize);

    bool ok() const { return ok_; }
    // True when everything was read without a fault.
    bool done() const { return ok_ && pos_ == data_.size(); }
    void fail() { ok_ = false; }

private:
    bool need(std::size_t n);
    std::span<const BYTE> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace opc
