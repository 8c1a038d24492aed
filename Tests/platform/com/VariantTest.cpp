#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

SAFEARRAY threeShorts()
{
    SAFEARRAY a(VT_I2, 3, 1);
    EXPECT_EQ(a.putElement(1, VARIANT::I2(1)), S_OK);
    EXPECT_EQ(a.putElement(2, VARIANT::I2(2)), S_OK);
    EXPECT_EQ(a.putElement(3, VARIANT::I2(3)), S_OK);
    return a;
}

TEST(Variant, StartsEmpty)
{
    VARIANT v;
    EXPECT_EQ(v.vt(), VT_EMPTY);
    EXPECT_EQ(v.llVal(), 0);
    EXPECT_EQ(v.parray(), nullptr);
}

TEST(Variant, CopyIsDeep)
{
    VARIANT text = VARIANT::String("abc");
    VARIANT copy = text;
    copy.setBstr(u"xyz");
    EXPECT_EQ(text, VARIANT::String("abc"));

    VARIANT array = VARIANT::Array(threeShorts());
    VARIANT arrayCopy = array;
    ASSERT_EQ(arrayCopy.parray()->putElement(2, VARIANT::I2(99)), S_OK);
    VARIANT element;
    ASSERT_EQ(array.parray()->getElement(2, element), S_OK);
    EXPECT_EQ(element, VARIANT::I2(2));
    EXPECT_NE(array, arrayCopy);
}

TEST(Variant, MoveLeavesEmpty)
{
    VARIANT array = VARIANT::Array(threeShorts());
    VARIANT moved = std::move(array);
    EXPECT_EQ(array.vt(), VT_EMPTY);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_EQ(array.parray(), nullptr);
    EXPECT_EQ(moved.vt(), VT_ARRAY | VT_I2);
}

TEST(Variant, AssignFromOwnElement)
{
    // The source lives inside the target's array: it must survive until copied.
    SAFEARRAY outer(VT_VARIANT, 1);
    ASSERT_EQ(outer.putElement(0, VARIANT::String("inner")), S_OK);
    VARIANT v = VARIANT::Array(std::move(outer));
    v = v.parray()->at(0);
    EXPECT_EQ(v, VARIANT::String("inner"));

    SAFEARRAY again(VT_VARIANT, 1);
    ASSERT_EQ(again.putElement(0, VARIANT::String("moved")), S_OK);
    VARIANT w = VARIANT::Array(std::move(again));
    VARIANT& inner = const_cast<VARIANT&>(w.parray()->at(0));
    w = std::move(inner);
    EXPECT_EQ(w, VARIANT::String("moved"));
}

TEST(Variant, CopyAssignmentReplacesEveryKindWithEveryKind)
{
    const VARIANT kinds[] = {VARIANT(), VARIANT::UI2(7), VARIANT::R8(-0.5), VARIANT::String("text"),
                             VARIANT::Array(threeShorts())};
    for (const VARIANT& from : kinds) {
        for (const VARIANT& to : kinds) {
            VARIANT target = to;
            target = from;
            EXPECT_EQ(target, from) << target.vt() << " from " << to.vt();
            EXPECT_EQ(target.bstrVal().empty(), from.vt() != VT_BSTR);
        }
    }
}

TEST(Variant, SetBstrFromOwnArrayText)
{
    SAFEARRAY a(VT_BSTR, 1);
    ASSERT_EQ(a.putElement(0, VARIANT::Bstr(u"kept")), S_OK);
    VARIANT v = VARIANT::Array(std::move(a));
    v.setBstr(std::u16string_view(v.parray()->at(0).bstrVal()));
    EXPECT_EQ(v, VARIANT::Bstr(u"kept"));
}

TEST(Variant, SelfAssignment)
{
    VARIANT v = VARIANT::Array(threeShorts());
    const VARIANT& alias = v;
    v = alias;
    EXPECT_EQ(v, VARIANT::Array(threeShorts()));
}

TEST(Variant, ReplacingTextKeepsNothingOfTheOld)
{
    VARIANT v = VARIANT::String("a longer text than the next");
    v.setString("\xED\x95\x9C");
    EXPECT_EQ(v, VARIANT::Bstr(u"\xD55C"));
    v.setString("");
    EXPECT_EQ(v, VARIANT::Bstr(u""));
}

TEST(Variant, GettersReadTheCellLikeTheUnion)
{
    EXPECT_EQ(VARIANT::R4(1.0f).ulVal(), 0x3F800000u);  // the float's bits
    EXPECT_EQ(VARIANT::I4(0x12345678).iVal(), 0x5678);
    EXPECT_EQ(VARIANT::I2(-1).ulVal(), 0xFFFFu);
    EXPECT_EQ(VARIANT::String("x").llVal(), 0);
}

TEST(Variant, SetterReplacesTextAndArray)
{
    VARIANT v = VARIANT::String("text");
    v.setI2(5);
    EXPECT_TRUE(v.bstrVal().empty());
    v = VARIANT::Array(threeShorts());
    v.setR8(2.5);
    EXPECT_EQ(v.parray(), nullptr);
    EXPECT_EQ(v, VARIANT::R8(2.5));
}

TEST(Variant, BoolIsMinusOneOrZero)
{
    VARIANT v;
    v.setBoolVal(1);
    EXPECT_EQ(v.boolVal(), VARIANT_TRUE);
    v.setBoolVal(0x7F);
    EXPECT_EQ(v.boolVal(), -1);
    v.setBool(false);
    EXPECT_EQ(v.boolVal(), VARIANT_FALSE);
}

TEST(Variant, EqualityComparesTypeAndBits)
{
    EXPECT_NE(VARIANT::I2(1), VARIANT::UI2(1));
    EXPECT_EQ(VARIANT::R8(std::nan("")), VARIANT::R8(std::nan("")));
    EXPECT_NE(VARIANT::R8(0.0), VARIANT::R8(-0.0));
    EXPECT_EQ(VARIANT::Null(), VARIANT::Null());
    EXPECT_NE(VARIANT::Null(), VARIANT());
}

TEST(VariantFunctions, InitClearCopy)
{
    VARIANT v = VARIANT::String("abc");
    VariantInit(&v);
    EXPECT_EQ(v.vt(), VT_EMPTY);
    v = VARIANT::I4(3);
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt(), VT_EMPTY);
    VARIANT src = VARIANT::Array(threeShorts()), dst;
    EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst, src);
    EXPECT_EQ(VariantClear(nullptr), E_POINTER);
    EXPECT_EQ(VariantCopy(nullptr, &src), E_POINTER);
}

TEST(SafeArray, BoundsAndZeroedElements)
{
    SAFEARRAY a(VT_BSTR, 2, -1);
    EXPECT_EQ(a.lowerBound(), -1);
    EXPECT_EQ(a.upperBound(), 0);
    EXPECT_EQ(a.count(), 2u);
    VARIANT v;
    ASSERT_EQ(a.getElement(0, v), S_OK);
    EXPECT_EQ(v, VARIANT::Bstr(u""));
    SAFEARRAY empty(VT_R8, 0, 5);
    EXPECT_EQ(empty.upperBound(), 4);
}

TEST(SafeArray, IndexOutsideBounds)
{
    SAFEARRAY a = threeShorts();
    VARIANT v = VARIANT::I4(7);
    EXPECT_EQ(a.getElement(0, v), DISP_E_BADINDEX);
    EXPECT_EQ(a.getElement(4, v), DISP_E_BADINDEX);
    EXPECT_EQ(v, VARIANT::I4(7));
    EXPECT_EQ(a.putElement(4, VARIANT::I2(1)), DISP_E_BADINDEX);
    EXPECT_THROW(a.at(3), std::out_of_range);
}

TEST(SafeArray, ElementMustHaveTheElementType)
{
    SAFEARRAY a(VT_I2, 1);
    EXPECT_EQ(a.putElement(0, VARIANT::I4(1)), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(a.at(0), VARIANT::I2(0));
    SAFEARRAY any(VT_VARIANT, 2);
    EXPECT_EQ(any.putElement(0, VARIANT::I4(1)), S_OK);
    EXPECT_EQ(any.putElement(1, VARIANT::Array(threeShorts())), S_OK);
}

TEST(SafeArray, RefusesBadTypesAndBounds)
{
    EXPECT_THROW(SAFEARRAY(VT_EMPTY, 1), std::invalid_argument);
    EXPECT_THROW(SAFEARRAY(VT_DISPATCH, 1), std::invalid_argument);
    EXPECT_THROW(SAFEARRAY(static_cast<VARTYPE>(VT_ARRAY | VT_I2), 1), std::invalid_argument);
    EXPECT_THROW(SAFEARRAY(VT_I2, 2, 0x7FFFFFFF), std::invalid_argument);
    EXPECT_NO_THROW(SAFEARRAY(VT_I2, 1, 0x7FFFFFFF));
}

TEST(SafeArray, RedimKeepsLeadingElements)
{
    SAFEARRAY a = threeShorts();
    ASSERT_EQ(a.redim(5), S_OK);
    EXPECT_EQ(a.upperBound(), 5);
    EXPECT_EQ(a.at(2), VARIANT::I2(3));
    EXPECT_EQ(a.at(4), VARIANT::I2(0));
    ASSERT_EQ(a.redim(1), S_OK);
    EXPECT_EQ(a.count(), 1u);
    EXPECT_EQ(a.at(0), VARIANT::I2(1));
    SAFEARRAY high(VT_I2, 1, 0x7FFFFFFF);
    EXPECT_EQ(high.redim(2), E_INVALIDARG);
}

} // namespace
