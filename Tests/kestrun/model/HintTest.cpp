#include "kestrun/model/Hint.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kestrun/model/DataType.h"
#include "platform/dde/BrisantBlocks.h"
#include "platform/dde/BrisantToolkit.h"

namespace {

using kestrun::HintGroup;
using kestrun::HintNumber;

std::size_t LiveBlocks() { return dde::Toolkit::Process().FindHeap(GetBrisantHeap())->Counters().liveBlocks; }

char* HeapText(const char* text)
{
    auto* block = static_cast<char*>(AllocBrisantBlock(std::strlen(text) + 1));
    std::strcpy(block, text);
    return block;
}

_BRISANTDATAVALUE TextCell(char* text)
{
    _BRISANTDATAVALUE v;
    v.pszVal = text;
    return v;
}

class Thing : public CObject {};

// ---- codes ------------------------------------------------------------------

struct GroupCase {
    int code;
    HintGroup group;
};

class HintGroups : public ::testing::TestWithParam<GroupCase> {};

TEST_P(HintGroups, FollowTheHundreds)
{
    EXPECT_EQ(kestrun::GetHintGroup(GetParam().code), GetParam().group);
}

INSTANTIATE_TEST_SUITE_P(Codes, HintGroups,
                         ::testing::Values(GroupCase{0, HintGroup::None}, GroupCase{99, HintGroup::None},
                                           GroupCase{100, HintGroup::Event}, GroupCase{199, HintGroup::Event},
                                           GroupCase{200, HintGroup::Action}, GroupCase{231, HintGroup::Action},
                                           GroupCase{299, HintGroup::Action}, GroupCase{300, HintGroup::Command},
                                           GroupCase{305, HintGroup::Command}, GroupCase{413, HintGroup::Error},
                                           GroupCase{499, HintGroup::Error}, GroupCase{501, HintGroup::Info},
                                           GroupCase{599, HintGroup::Info}, GroupCase{600, HintGroup::None},
                                           GroupCase{-101, HintGroup::None}));

constexpr unsigned T = kestrun::HINT_FIELD_TOPIC;
constexpr unsigned I = kestrun::HINT_FIELD_ITEM;
constexpr unsigned A = kestrun::HINT_FIELD_ACTION;
constexpr unsigned O = kestrun::HINT_FIELD_OBJECT;
constexpr unsigned N = kestrun::HINT_FIELD_NUMBER;
constexpr unsigned V = kestrun::HINT_FIELD_VALUE;

struct CodeCase {
    int code;
    unsigned fields;
    HintNumber number;
};

class HintCodes : public ::testing::TestWithParam<CodeCase> {};

// What each code carries, as the views read it.
TEST_P(HintCodes, CarryTheirFields)
{
    const kestrun::HintCodeInfo* info = kestrun::FindHintCode(GetParam().code);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->fields, GetParam().fields);
    EXPECT_EQ(info->number, GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HintCodes,
    ::testing::Values(CodeCase{101, O | N | V, HintNumber::DataType}, CodeCase{102, O | N | V, HintNumber::DataType},
                      CodeCase{103, O | N | V, HintNumber::DataType}, CodeCase{104, O | N | V, HintNumber::DataType},
                      CodeCase{208, T | I | A | N, HintNumber::ActionCode},
                      CodeCase{209, T | I | A | N, HintNumber::ActionCode},
                      CodeCase{301, T | I | A | N, HintNumber::ActionCode}, CodeCase{303, O, HintNumber::None},
                      CodeCase{304, O, HintNumber::None}, CodeCase{305, O | N | V, HintNumber::DataType},
                      CodeCase{401, T | I | A | N, HintNumber::ActionCode},
                      CodeCase{402, T | I | A | N, HintNumber::ActionCode},
                      CodeCase{403, O | N | V, HintNumber::DataType}, CodeCase{404, O | N | V, HintNumber::DataType},
                      CodeCase{405, N, HintNumber::Index}, CodeCase{406, O, HintNumber::None},
                      CodeCase{407, O, HintNumber::None}, CodeCase{408, O | N | V, HintNumber::DataType},
                      CodeCase{409, O, HintNumber::None}, CodeCase{413, O | N | V, HintNumber::DataType},
                      CodeCase{501, T, HintNumber::None}, CodeCase{502, T, HintNumber::None},
                      CodeCase{503, 0, HintNumber::None}, CodeCase{504, 0, HintNumber::None},
                      CodeCase{505, T, HintNumber::None}, CodeCase{506, T | I, HintNumber::None},
                      CodeCase{507, O, HintNumber::None}, CodeCase{508, O, HintNumber::None},
                      CodeCase{509, O, HintNumber::None}, CodeCase{510, O, HintNumber::None},
                      CodeCase{511, O, HintNumber::None}));

TEST(HintCodesUnknown, AreNotListed)
{
    for (int code : {0, 100, 105, 200, 207, 232, 300, 302, 306, 400, 410, 412, 414, 500, 512, 600})
        EXPECT_EQ(kestrun::FindHintCode(code), nullptr) << code;
}

// ---- fields -----------------------------------------------------------------

TEST(HintFields, TopicTextAndActionAreSeparate)
{
    _BRISANT_DATAACTION action;
    action.pszText = "ITEM1";
    CdsHint hint = CdsHint::ForAction(&action, 8);
    hint.m_strTopic = "PLC1";
    hint.m_strItem = "D100";
    EXPECT_EQ(hint.GetAction(), &action);
    EXPECT_EQ(hint.m_nNumber, 8);
    EXPECT_EQ(hint.m_strTopic, "PLC1");
    EXPECT_EQ(hint.m_pObject, nullptr);

    CdsHint text = CdsHint::ForText("C:/cfg/plant.csv");
    EXPECT_EQ(text.GetAction(), nullptr);
    EXPECT_EQ(text.m_strTopic, "C:/cfg/plant.csv");
    EXPECT_TRUE(text.m_strItem.empty());
}

TEST(HintFields, ValueHintBorrowsAndFreesNothing)
{
    Thing point;
    char* text = HeapText("42 bar");
    std::size_t before = LiveBlocks();
    {
        CdsHint hint(BRISANT_STRING, TextCell(text), &point);
        EXPECT_EQ(hint.GetValue().pszVal, text);
        EXPECT_EQ(hint.GetValueType(), BRISANT_STRING);
        EXPECT_EQ(hint.m_nNumber, BRISANT_STRING);
        EXPECT_EQ(hint.m_pObject, &point);
        EXPECT_FALSE(hint.IsOwnedCopy());
    }
    EXPECT_EQ(LiveBlocks(), before);
    EXPECT_STREQ(text, "42 bar");
    FreeBrisantBlock(text);
}

// ---- owned copies -----------------------------------------------------------

TEST(HintCopy, OwnsItsTextAndFreesItOnce)
{
    Thing point;
    char* text = HeapText("Running");
    std::size_t before = LiveBlocks();
    // The sender's value goes away right after sending.
    std::unique_ptr<CdsHint> second;
    {
        CdsHint original = CdsHint::ForValue(&point, BRISANT_STRING, TextCell(text));
        second = std::make_unique<CdsHint>(original);
    }
    FreeBrisantBlock(text);
    EXPECT_EQ(LiveBlocks(), before);  // the sender's block gone, the copy's own held
    ASSERT_TRUE(second->IsOwnedCopy());
    EXPECT_STREQ(second->GetValue().pszVal, "Running");
    EXPECT_EQ(second->m_pObject, &point);
    EXPECT_EQ(second->m_nNumber, BRISANT_STRING);
    second.reset();
    EXPECT_EQ(LiveBlocks(), before - 1);
}

struct CopyCase {
    const char* name;
    int type;
    std::vector<BYTE> block;  // the value's heap block, byte for byte
};

class HintCopyBlocks : public ::testing::TestWithParam<CopyCase> {};

TEST_P(HintCopyBlocks, CopyTheWholeBlock)
{
    const CopyCase& c = GetParam();
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(c.block.size()));
    std::memcpy(block, c.block.data(), c.block.size());
    _BRISANTDATAVALUE v;
    v.parrVal = block;
    std::size_t before = LiveBlocks();
    {
        CdsHint copy;
        {
            CdsHint original = CdsHint::ForValue(nullptr, c.type, v);
            copy = original;
        }
        std::memset(block, 0xEE, c.block.size());
        ASSERT_NE(copy.GetValue().parrVal, block);
        EXPECT_EQ(std::vector<BYTE>(copy.GetValue().parrVal, copy.GetValue().parrVal + c.block.size()), c.block);
        EXPECT_EQ(LiveBlocks(), before + 1);
    }
    EXPECT_EQ(LiveBlocks(), before);
    FreeBrisantBlock(block);
}

INSTANTIATE_TEST_SUITE_P(
    Types, HintCopyBlocks,
    ::testing::Values(CopyCase{"Counted", BRISANT_FIXEDSTRING, {0x03, 0x00, 'A', 'B', 'C', 0x00}},
                      CopyCase{"BoolArray",
                               BRISANT_BOOLARRAY,
                               {0x0C, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                                0xFF, 0xFF}},
                      CopyCase{"ShortArray",
                               BRISANT_SHORTARRAY,
                               {0x0F, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x34, 0x12, 0xFF, 0x7F}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HintCopy, MalformedArrayIsNotCarried)
{
    auto* block = static_cast<BYTE*>(AllocBrisantBlock(dde::kArrayHeaderSize));
    dde::SetArrayHeader(block, BRISANT_BOOLARRAY, 1000);  // more elements than the block holds
    _BRISANTDATAVALUE v;
    v.parrVal = block;
    CdsHint original = CdsHint::ForValue(nullptr, BRISANT_BOOLARRAY, v);
    CdsHint copy(original);
    EXPECT_EQ(copy.GetValue().parrVal, nullptr);
    FreeBrisantBlock(block);
}

TEST(HintCopy, PlainValuesAndFieldsAreCarried)
{
    Thing device;
    CdsHint original = CdsHint::ForText("PLC1", "M100");
    original.m_pObject = &device;
    original.m_nNumber = 77;
    _BRISANTDATAVALUE v;
    v.ullVal = 0x47EFFFFFE0000000ull;
    original.SetValue(v, BRISANT_DOUBLE);
    CdsHint copy(original);
    original.m_strTopic = "changed";
    EXPECT_EQ(copy.m_strTopic, "PLC1");
    EXPECT_EQ(copy.m_strItem, "M100");
    EXPECT_EQ(copy.m_pObject, &device);
    EXPECT_EQ(copy.m_nNumber, 77);
    EXPECT_EQ(copy.GetValue().ullVal, 0x47EFFFFFE0000000ull);
    EXPECT_EQ(copy.GetValueType(), BRISANT_DOUBLE);
}

TEST(HintCopy, ActionBecomesASnapshotOfItsTextAndValue)
{
    auto itemText = std::make_unique<std::string>("D200");
    char* value = HeapText("42");
    char returned[8] = {};
    int topicRecord = 0;
    auto action = std::make_unique<_BRISANT_DATAACTION>();
    action->pszText = itemText->c_str();
    action->pszReturn = returned;
    action->pTopic = &topicRecord;
    action->pItem = &topicRecord;
    action->value.pszVal = value;
    action->nDataType = BRISANT_STRING;
    action->hItem = 0x1234;
    action->hTopic = 0x56;
    action->nQuality = 192;

    std::size_t before = LiveBlocks();
    CdsHint copy;
    {
        CdsHint original = CdsHint::ForAction(action.get(), 12);
        original.m_strTopic = "PLC1";
        copy = original;
    }
    action.reset();
    itemText.reset();
    FreeBrisantBlock(value);

    const _BRISANT_DATAACTION* snapshot = copy.GetAction();
    ASSERT_NE(snapshot, nullptr);
    EXPECT_STREQ(snapshot->pszText, "D200");
    EXPECT_STREQ(snapshot->value.pszVal, "42");
    EXPECT_EQ(snapshot->nDataType, BRISANT_STRING);
    EXPECT_EQ(snapshot->hItem, 0x1234u);
    EXPECT_EQ(snapshot->hTopic, 0x56u);
    EXPECT_EQ(snapshot->nQuality, 192);
    // Nothing that belongs to the sender or the bridge is carried across.
    EXPECT_EQ(snapshot->pszReturn, nullptr);
    EXPECT_EQ(snapshot->pTopic, nullptr);
    EXPECT_EQ(snapshot->pItem, nullptr);
    EXPECT_EQ(copy.m_strTopic, "PLC1");
    EXPECT_EQ(copy.m_nNumber, 12);
    EXPECT_EQ(LiveBlocks(), before);  // the sender's text freed, the snapshot's held
    copy = CdsHint();
    EXPECT_EQ(LiveBlocks(), before - 1);
}

TEST(HintCopy, MoveHandsOverOwnershipOnce)
{
    char* text = HeapText("moved");
    std::size_t before = LiveBlocks();
    CdsHint owned(CdsHint::ForValue(nullptr, BRISANT_STRING, TextCell(text)));
    CdsHint copy(owned);  // owns a block of its own
    FreeBrisantBlock(text);
    CdsHint target(std::move(copy));
    EXPECT_EQ(copy.GetValue().pszVal, nullptr);
    EXPECT_FALSE(copy.IsOwnedCopy());
    ASSERT_TRUE(target.IsOwnedCopy());
    EXPECT_STREQ(target.GetValue().pszVal, "moved");
    CdsHint assigned;
    assigned = std::move(target);
    EXPECT_STREQ(assigned.GetValue().pszVal, "moved");
    EXPECT_EQ(LiveBlocks(), before);
    assigned.SetValue(_BRISANTDATAVALUE{}, BRISANT_LONG);  // replacing frees the owned block
    EXPECT_EQ(LiveBlocks(), before - 1);
}

TEST(HintCopy, SurvivesTheSendersValueOnAnotherThread)
{
    // A line thread posts owned copies; the receiving thread reads them after
    // the sender's point has long changed its value.
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::unique_ptr<CdsHint>> posted;
    bool done = false;
    std::vector<std::string> seen;

    std::thread receiver([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            ready.wait(lock, [&] { return done || !posted.empty(); });
            if (posted.empty())
                return;
            std::unique_ptr<CdsHint> hint = std::move(posted.front());
            posted.pop_front();
            seen.emplace_back(hint->GetValue().pszVal);
        }
    });
    Thing point;
    for (int i = 0; i < 50; ++i) {
        _BRISANTDATAVALUE value = TextCell(HeapText(std::to_string(i).c_str()));
        CdsHint onStack = CdsHint::ForValue(&point, BRISANT_STRING, value);
        auto owned = std::make_unique<CdsHint>(onStack);
        ReleaseDataValue(BRISANT_STRING, value);
        {
            std::lock_guard<std::mutex> lock(mutex);
            posted.push_back(std::move(owned));
        }
        ready.notify_one();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    ready.notify_one();
    receiver.join();
    ASSERT_EQ(seen.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(seen[i], std::to_string(i));
}

} // namespace
