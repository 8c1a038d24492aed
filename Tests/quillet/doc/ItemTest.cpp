// Items: value sets per road, run averages and display texts.
#include "quillet/QuilletFixture.h"

namespace {

using quillettest::DocFixture;

TEST(ItemText, ValuesQualitiesAndTimesShowAsTheItemViewShowsThem)
{
    const quillet::StringTable texts;
    SAFEARRAY numbers(VT_I2, 3, 5);
    for (LONG i = 5; i < 8; ++i) numbers.putElement(i, VARIANT::I2(SHORT(i - 4)));
    SAFEARRAY mixed(VT_VARIANT, 2);  // elements of types that could each be shown alone
    mixed.putElement(0, VARIANT::I2(1));
    mixed.putElement(1, VARIANT::String("x"));
    const std::pair<VARIANT, const char*> values[] = {
        {VARIANT::R8(123456789.0), "1.23457e+08"}, {VARIANT::Bool(true), "On"},    {VARIANT::I1(-3), "-3"},
        {VARIANT::UI4(4000000000u), "4000000000"}, {VARIANT::String("é"), "é"},    {VARIANT::Array(numbers), "1, 2, 3"},
        {VARIANT::Date(1.0), "?"},                 {VARIANT::Array(SAFEARRAY(VT_DATE, 1)), "?"},
        {VARIANT::Array(mixed), "?"},
    };
    for (const auto& [value, text] : values) EXPECT_EQ(quillet::ValueText(texts, &value), text) << text;
    EXPECT_EQ(quillet::ValueText(texts, nullptr), " (Invalid Data)");
    const std::pair<WORD, const char*> qualities[] = {
        {0xC0, "Good"}, {0x18, "Bad - Communications failure"}, {0x80, "Invalid"}, {0x48, "Uncertain"},
        {0x56, "Uncertain - Engineering units exceeded - High Limit"},
    };
    for (const auto& [quality, text] : qualities) EXPECT_EQ(quillet::QualityText(quality), text) << text;
    EXPECT_EQ(quillet::AccessRightsText(3), "Read / Write");
    EXPECT_EQ(quillet::AccessRightsText(4), "");
    // Past 2^31 ms late in a month.
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
    EXPECT_EQ(*item.Values(ValueRoad::Subscription).value, VARIANT::I2(1));
    EXPECT_EQ(*item.Values(ValueRoad::SyncRead).value, VARIANT::I2(2));
    EXPECT_EQ(item.Values(ValueRoad::SyncRead).timeStamp, FILETIME{});
    EXPECT_EQ(item.Values(ValueRoad::AsyncRead).quality, 0x18);
    EXPECT_EQ(item.GetUpdatesSinceRefresh(), 1u);
    item.SetActive(FALSE);
    item.TakeValue(VARIANT::I2(4), std::nullopt, 0xC0, ValueRoad::Subscription);
    EXPECT_EQ(*item.Values(ValueRoad::Subscription).value, VARIANT::I2(4));
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Recieved async read -  - (Item) A",
                                                  "Item was updated while inactive -  - (Item) A"}));
    CItem copy(item);  // the change-handles command's copy answers to a handle of its own
    EXPECT_EQ(doc.Handles().Find<CItem>(copy.GetClientHandle()), &copy);
    EXPECT_EQ(copy.GetLastPeriodCount(), 2u);
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
}

} // namespace
