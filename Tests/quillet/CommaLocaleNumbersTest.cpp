// Under a comma-decimal C locale (a desktop program before LC_NUMERIC is reset), the
// test client still reads and writes its numbers with a dot: write values, deadbands,
// the set-up file, value cells, run averages and their log lines.
#include "QuilletFixture.h"

#include "quillet/forms/Columns.h"
#include "quillet/forms/FieldExchange.h"
#include "quillet/forms/GroupForms.h"
#include "quillet/forms/ServerForms.h"
#include "quillet/doc/SetupFile.h"
#include "quillet/text/VariantText.h"
#include "support/CommaLocale.h"

#include "platform/com/Time.h"

namespace {

#define NEED_COMMA_LOCALE(scope)                                                                                       \
    testsupport::CommaLocaleScope scope;                                                                               \
    if (!scope.Ok()) GTEST_SKIP() << "no comma-decimal locale could be made (localedef, package locales)"

TEST(CommaLocaleNumbers, WrittenValuesReadTheirDot)
{
    NEED_COMMA_LOCALE(comma);
    EXPECT_EQ(quillet::TextToVariant("1.5", VT_R8), VARIANT::R8(1.5));
    EXPECT_EQ(quillet::TextToVariant(" -0.25", VT_R4), VARIANT::R4(-0.25f));
    EXPECT_EQ(quillet::WholeReal(" 2.5 "), 2.5);
    EXPECT_EQ(quillet::WholeReal("2,5"), std::nullopt);
}

TEST(CommaLocaleNumbers, ServerStatusNamesTheMonthInTheLocalesLanguage)
{
    FILETIME noon;  // mid-month: the same day in every time zone
    ASSERT_TRUE(com::systemTimeToFileTime(SYSTEMTIME{2026, 10, 0, 15, 12, 0, 0, 0}, noon));
    EXPECT_EQ(CServerStatusForm::TimeText(noon).substr(0, 18), "October 15, 2026, ");
    NEED_COMMA_LOCALE(comma);
    EXPECT_EQ(CServerStatusForm::TimeText(noon).substr(0, 18), "Oktober 15, 2026, ");
}

TEST(CommaLocaleNumbers, GroupDeadbandTypedWithADotStaysThatValue)
{
    NEED_COMMA_LOCALE(comma);
    const quillet::StringTable texts;
    CAddGroupDlg form;
    form.deadbandText = "0.5";
    std::string prompt;
    ASSERT_TRUE(form.Exchange(texts, prompt)) << prompt;
    EXPECT_EQ(form.settings.deadband, 0.5f);
    EXPECT_EQ(quillet::RealText(0.5), "0.5");
}

TEST(CommaLocaleNumbers, SetupFileSavesADeadbandWithADotAndReadsItBack)
{
    NEED_COMMA_LOCALE(comma);
    quillet::SetupGroup group;
    group.name = "G";
    group.updateRate = 100;
    group.deadband = 1.5f;
    group.itemCount = 3;
    const std::string line = quillet::SetupLine(group);
    EXPECT_EQ(line, "2,0,G,100,0,1.5,0,0,0,0,3\r\n");
    const auto records = quillet::ParseSetupFile(line);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::get<quillet::SetupGroup>(records[0]).deadband, 1.5f);
}

using CommaLocaleDoc = quillettest::DocFixture;

TEST_F(CommaLocaleDoc, ValuesAndRunAveragesShowWithADot)
{
    NEED_COMMA_LOCALE(comma);
    const VARIANT real = VARIANT::R8(2.5), single = VARIANT::R4(0.125f);
    EXPECT_EQ(quillet::ValueText(texts, &real), "2.5");
    EXPECT_EQ(quillet::ValueText(texts, &single), "0.125");

    CGroupSettings settings;
    settings.name = "G";
    settings.measureRate = TRUE;
    CGroup group(doc, settings);
    group.m_dwRevisedRate = 500;
    CItem& item = AddItem(group, "A");
    item.TakeValue(VARIANT::I2(1), std::nullopt, 0xC0, ValueRoad::Subscription);
    item.Values(ValueRoad::Subscription).count = 3;
    clock.advance(2000);
    EXPECT_EQ(quillet::CellText(texts, item, quillet::COL_RUN_AVERAGE), "1.500000");
    Logged();
    group.TearDownItems();
    EXPECT_EQ(Logged(), std::vector<std::string>{
                            "Run Average For Item (GroupName:UpdateRate) - G:500\t     1.500000 - (Item) A"});
}

} // namespace
