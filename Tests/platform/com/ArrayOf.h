#pragma once
// A safe array of the given values, one element type, from a lower bound.
#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/com/Variant.h"

namespace comtest {

inline SAFEARRAY arrayOf(VARTYPE t, std::initializer_list<VARIANT> values, LONG lowerBound = 0)
{
    SAFEARRAY a(t, static_cast<ULONG>(values.size()), lowerBound);
    LONG i = lowerBound;
    for (const VARIANT& v : values)
        EXPECT_EQ(a.putElement(i++, v), S_OK);
    return a;
}

} // namespace comtest
