#include "fenwold/ExactCast.h"

#include <gtest/gtest.h>

namespace {

struct Base {
    virtual ~Base() = default;
};
struct Side {
    virtual ~Side() = default;
    int tag = 7;
};
struct Exact : Base, Side {};
struct Further : Exact {};
struct Other : Base {};

// The quick way and the dynamic cast it stands for agree, for the exact class, a class
// derived from it and an unrelated one.
TEST(ExactCastTest, GivesWhatTheDynamicCastGives)
{
    Exact exact;
    Further further;
    Other other;
    for (Base* p : {static_cast<Base*>(&exact), static_cast<Base*>(&further), static_cast<Base*>(&other)})
        EXPECT_EQ((ExactOrDynamicCast<Side, Exact>(p)), dynamic_cast<Side*>(p));
    EXPECT_EQ((ExactOrDynamicCast<Side, Exact>(static_cast<Base*>(&exact))->tag), 7);
    EXPECT_EQ((ExactOrDynamicCast<Side, Exact>(static_cast<Base*>(nullptr))), nullptr);
}

}  // namespace
