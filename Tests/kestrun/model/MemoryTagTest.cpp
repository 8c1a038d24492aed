#include "kestrun/model/MemoryTag.h"
#include "kestrun/model/MemoryObject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace {

TEST(MemoryTag, ReleaseAtZeroStaysZero)
{
    auto* tag = new CfsMemoryTag(nullptr);
    tag->AddRef();
    tag->AddRef();
    EXPECT_EQ(tag->Release(), 1);
    tag->ReleaseFromPoint();  // the last reference: freed
}

TEST(MemoryTag, ValueAndTimeChangeTogether)
{
    CfsMemoryTag tag(nullptr);
    FILETIME t;
    t.dwLowDateTime = 7;
    tag.UpdateValue(VARIANT::String("abc"), t);
    tag.SetQuality(192);
    auto snap = tag.Read();
    EXPECT_EQ(snap.value, VARIANT::String("abc"));
    EXPECT_EQ(snap.wQuality, 192);
    EXPECT_EQ(snap.ftTimestamp.dwLowDateTime, 7u);
    tag.SetAccessRights(3);
    EXPECT_EQ(tag.GetAccessRights(), 3);
}

TEST(MemoryTag, WhileAClientHoldsItTheStateBeforeEachRecentChangeIsKept)
{
    CfsMemoryTag tag(nullptr);
    auto at = [](DWORD ms) { return FILETIME{ms * 10000, 0}; };
    auto asOf = [&](DWORD ms) {
        std::uint64_t changes = 0;
        std::optional<HRESULT> check;
        bool later = false;
        return tag.LookAsOf(std::uint64_t(ms) * 10000, ~std::uint64_t(0), changes, check, later).value;
    };
    tag.UpdateValue(VARIANT::String("a"), at(10));
    tag.UpdateValue(VARIANT::String("b"), at(20));
    EXPECT_EQ(asOf(15), VARIANT::String("b"));  // nobody held it: nothing was kept
    tag.AddRef();
    tag.UpdateValue(VARIANT::String("c"), at(30));
    _BRISANTDATAVALUE cell{};
    cell.wVal = 4;
    tag.UpdateValue(BRISANT_WORD, cell, at(40));
    EXPECT_EQ(asOf(25), VARIANT::String("b"));
    EXPECT_EQ(asOf(35), VARIANT::String("c"));
    EXPECT_EQ(asOf(45), VARIANT::UI2(4));
    tag.SetQuality(0);  // a change without a time: only the state now is known
    EXPECT_EQ(asOf(35), VARIANT::UI2(4));
}

TEST(MemoryTag, ItsPointsOwnReferenceKeepsNoEarlierStates)
{
    CdsMemoryObject point;
    CfsMemoryTag* tag = point.GetMemoryTag();
    auto at = [](DWORD ms) { return FILETIME{ms * 10000, 0}; };
    auto asOf = [&](DWORD ms) {
        std::uint64_t changes = 0;
        std::optional<HRESULT> check;
        bool later = false;
        return tag->LookAsOf(std::uint64_t(ms) * 10000, ~std::uint64_t(0), changes, check, later).value;
    };
    tag->UpdateValue(VARIANT::String("a"), at(10));
    tag->UpdateValue(VARIANT::String("b"), at(20));
    EXPECT_EQ(asOf(15), VARIANT::String("b"));  // a plant's every point, no client: nothing kept
    tag->AddRef();
    tag->UpdateValue(VARIANT::String("c"), at(30));
    tag->UpdateValue(VARIANT::String("d"), at(40));
    EXPECT_EQ(asOf(35), VARIANT::String("c"));
    tag->Release();
}

TEST(TagValue, VariantPerDataType)
{
    struct Case { int type; ULONGLONG bits; VARIANT expected; VARTYPE canonical; };
    const Case cases[] = {
        {BRISANT_BOOL, 1, VARIANT::Bool(true), VT_BOOL},
        {BRISANT_BOOL, 0, VARIANT::Bool(false), VT_BOOL},
        {BRISANT_CHAR, 0xFF, VARIANT::I1(-1), VT_I1},
        {BRISANT_BYTE, 0x1FF, VARIANT::UI1(255), VT_UI1},
        {BRISANT_SHORT, 0x8000, VARIANT::I2(-32768), VT_I2},
        {BRISANT_WORD, 0xFFFF, VARIANT::UI2(65535), VT_UI2},
        {BRISANT_LONG, 0xFFFFFFFF, VARIANT::I4(-1), VT_I4},
        {BRISANT_DWORD, 0xFFFFFFFF, VARIANT::UI4(4294967295u), VT_UI4},
        {BRISANT_FLOAT, 0x3FC00000, VARIANT::R4(1.5f), VT_R4},
        {BRISANT_DOUBLE, 0xC004000000000000ull, VARIANT::R8(-2.5), VT_R8},
        {BRISANT_STRINGHANDLE, 5, VARIANT(), VT_EMPTY},
        {BRISANT_SHORTARRAY, 0, VARIANT(), VARTYPE(VT_ARRAY | VT_I2)},
        {BRISANT_FIXEDSTRINGARRAY, 0, VARIANT(), VARTYPE(VT_ARRAY | VT_BSTR)},
        {BRISANT_BCD, 0x1234, VARIANT(), VT_EMPTY},
    };
    for (const Case& c : cases) {
        _BRISANTDATAVALUE v{};
        v.ullVal = c.bits;
        // Whatever the variant held before is replaced.
        for (VARIANT out : {VARIANT::I4(99), VARIANT::String("old")}) {
            DataValueToVariant(c.type, v, out);
            EXPECT_EQ(out, c.expected) << c.type;
            EXPECT_TRUE(out.bstrVal().empty()) << c.type;
        }
        EXPECT_EQ(GetCanonicalVarType(c.type), c.canonical) << c.type;
    }
    EXPECT_EQ(GetCanonicalVarType(BRISANT_STRING), VT_BSTR);
    EXPECT_EQ(GetCanonicalVarType(BRISANT_FIXEDSTRING), VT_BSTR);
    EXPECT_EQ(GetCanonicalVarType(BRISANT_BOOLARRAY), VT_ARRAY | VT_BOOL);
}

} // namespace
