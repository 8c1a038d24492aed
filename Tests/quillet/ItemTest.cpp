// Items: value sets per road, run averages and display texts.
#include "QuilletFixture.h"

namespace {

using quillettest::DocFixture;

VARIANT ArrayOf(VARTYPE type, std::vector<VARIANT> elements, LONG lower = 0)
{
    SAFEARRAY a(type, ULONG(elements.size()), lower);
    for (std::size_t i = 0; i < elements.size(); ++i) a.putElement(lower + LONG(i), elements[i]);
    return VARIANT::Array(std::move(a));
}

TEST(ItemText, ValuesShowAsTheItemViewShowsThem)
{
    const quillet::StringTable texts;
    const std::pair<VARIANT, const char*> cases[] = {
        {VARIANT::I2(-5), "-5"},
        {VARIANT::I4(-70000), "-70000"},
        {VARIANT::R4(1.5f), "1.5"},
        {VARIANT::R8(123456789.0), "1.23457e+08"},
        {VARIANT::String("hello"), "hello"},
        {VARIANT::Bool(true), "On"},
        {VARIANT::Bool(false), "Off"},
        {VARIANT::I1(-3), "-3"},
        {VARIANT::UI1(200), "200"},
        {VARIANT::UI2(65535), "65535"},
        {VARIANT::UI4(4000000000u), "4000000000"},
        {VARIANT::I8(-9000000000), "-9000000000"},
        {ArrayOf(VT_I2, {VARIANT::I2(1), VARIANT::I2(2), VARIANT::I2(3)}), "1, 2, 3"},
        {ArrayOf(VT_R8, {VARIANT::R8(0.5), VARIANT::R8(2)}, 5), "0.5, 2"},
        {ArrayOf(VT_BSTR, {VARIANT::String("a"), VARIANT::String("b")}), "a, b"},
        {ArrayOf(VT_DATE, {VARIANT::Date(1.0)}), "?"},
        {VARIANT::Date(1.0), "?"},
        {VARIANT(), "?"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(quillet::ValueText(texts, &value), text) << text;
    EXPECT_EQ(quillet::ValueText(texts, nullptr), " (Invalid Data)");
}

TEST(ItemText, QualityShowsMajorSubstatusAndLimit)
{
    const std::pair<WORD, const char*> cases[] = {
        {0xC0, "Good"},
        {0x18, "Bad - Communications failure"},
        {0x56, "Uncertain - Engineering units exceeded - High Limit"},
        {0x80, "Invalid"},
        {0x83, "Invalid"},
        {0xD8, "Good - Forced"},
        {0x03, "Bad - Constant"},
        {0x48, "Uncertain"},
        {0x08, "Bad - Not connected"},
    };
    for (const auto& [quality, text] : cases) EXPECT_EQ(quillet::QualityText(quality), text) << text;
    EXPECT_EQ(quillet::AccessRightsText(1), "Read Only");
    EXPECT_EQ(quillet::AccessRightsText(2), "Write Only");
    EXPECT_EQ(quillet::AccessRightsText(3), "Read / Write");
    EXPECT_EQ(quillet::AccessRightsText(0), "");
}

TEST(ItemText, TimeOfDayCountsFromTheMonthsStartPastTwoBillionMilliseconds)
{
    FILETIME ft;
    ASSERT_TRUE(com::systemTimeToFileTime(SYSTEMTIME{2023, 10, 0, 31, 23, 59, 59, 999}, ft));
    EXPECT_EQ(quillet::TimeOfDayMs(ft), 30 * 86400000LL + 86399999);
}

TEST_F(DocFixture, EachRoadKeepsItsOwnValueSet)
{
    doc.SetLogMask(~0u);
    CItem item(doc);
    item.SetItemID("A");
    const FILETIME t{1, 2};
    item.TakeValue(VARIANT::I2(1), t, 0xC0, ValueRoad::Subscription);
    item.TakeValue(VARIANT::I2(2), std::nullopt, 0x40, ValueRoad::SyncRead);
    item.TakeValue(VARIANT::I2(3), t, 0x18, ValueRoad::AsyncRead);
    const CValueSet& sub = item.Values(ValueRoad::Subscription);
    const CValueSet& sync = item.Values(ValueRoad::SyncRead);
    EXPECT_EQ(*sub.value, VARIANT::I2(1));
    EXPECT_EQ(sub.timeStamp, t);
    EXPECT_EQ(*sync.value, VARIANT::I2(2));
    EXPECT_EQ(sync.timeStamp, FILETIME{});
    EXPECT_EQ(item.Values(ValueRoad::AsyncRead).quality, 0x18);
    EXPECT_EQ(sub.count + sync.count + item.Values(ValueRoad::AsyncRead).count, 3u);
    EXPECT_EQ(item.GetUpdatesSinceRefresh(), 1u);
    EXPECT_EQ(Logged(), std::vector<std::string>{"Recieved async read -  - (Item) A"});
    item.SetActive(FALSE);
    EXPECT_TRUE(item.m_bAttributesChanged);
    item.TakeValue(VARIANT::I2(4), std::nullopt, 0xC0, ValueRoad::Subscription);
    EXPECT_EQ(*item.Values(ValueRoad::Subscription).value, VARIANT::I2(4));
    EXPECT_EQ(Logged(), std::vector<std::string>{"Item was updated while inactive -  - (Item) A"});
}

TEST_F(DocFixture, RunAverageUses64BitsPastFourMillionUpdates)
{
    CItem item(doc);
    EXPECT_EQ(item.RunAverage(), 0.0);
    item.TakeValue(VARIANT::I2(1), std::nullopt, 0xC0, ValueRoad::Subscription);
    EXPECT_EQ(item.RunAverage(), 0.0);  // no time has passed yet
    item.Values(ValueRoad::Subscription).count = 5'000'000;
    clock.advance(1'000'000);
    EXPECT_DOUBLE_EQ(item.RunAverage(), 5000.0);
    item.ResetRunAverage();
    EXPECT_EQ(item.RunAverage(), 0.0);
}

TEST_F(DocFixture, CopyGetsItsOwnHandleAndTheSourcesValues)
{
    CItem item(doc);
    item.TakeValue(VARIANT::String("v"), std::nullopt, 0xC0, ValueRoad::Subscription);
    item.SetActive(FALSE);
    CItem copy(item);
    EXPECT_NE(copy.GetClientHandle(), item.GetClientHandle());
    EXPECT_EQ(doc.Handles().Find<CItem>(copy.GetClientHandle()), &copy);
    EXPECT_EQ(*copy.Values(ValueRoad::Subscription).value, VARIANT::String("v"));
    EXPECT_EQ(copy.GetLastPeriodCount(), 1u);
    EXPECT_FALSE(copy.m_bAttributesChanged);
}

} // namespace
