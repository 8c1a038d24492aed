#include "kestrun/model/MemoryObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kestrun/model/DataType.h"
#include "kestrun/model/DdeItemRecord.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/model/MemoryTag.h"
#include "kestrun/options/ServerOptions.h"
#include "platform/dde/BrisantToolkit.h"
#include "support/OptionScope.h"
#include "support/model/ModelFakes.h"

namespace {

using testsupport::FakeDevice;
using testsupport::FakeHandler;
using testsupport::OptionScope;

std::size_t LiveBlocks() { return dde::Toolkit::Process().FindHeap(GetBrisantHeap())->Counters().liveBlocks; }

_BRISANTDATAVALUE Short(SHORT v) { _BRISANTDATAVALUE c{}; c.iVal = v; return c; }

// Values made by a test: blocks on the heap that the test itself frees.
struct HeapValues {
    ~HeapValues()
    {
        for (auto& [type, value] : made)
            ReleaseDataValue(type, value);
    }
    _BRISANTDATAVALUE Text(const char* text)
    {
        _BRISANTDATAVALUE v{};
        v.pszVal = static_cast<char*>(AllocBrisantBlock(std::strlen(text) + 1));
        std::strcpy(v.pszVal, text);
        made.push_back({BRISANT_STRING, v});
        return v;
    }
    _BRISANTDATAVALUE Counted(const char* text, SHORT lengthWord = -1)
    {
        std::size_t n = std::strlen(text);
        _BRISANTDATAVALUE v{};
        v.pcsVal = static_cast<BYTE*>(AllocBrisantBlock(n + 4));
        dde::SetCountedLength(v.pcsVal, lengthWord < 0 ? static_cast<SHORT>(n) : lengthWord);
        std::memcpy(dde::CountedChars(v.pcsVal), text, n);
        made.push_back({BRISANT_FIXEDSTRING, v});
        return v;
    }
    _BRISANTDATAVALUE Array(int type, std::vector<LONG> elements)
    {
        _BRISANTDATAVALUE v{};
        std::size_t size = dde::ArrayElementSize(type);
        v.parrVal = static_cast<BYTE*>(AllocBrisantBlock(dde::ArrayBlockSize(type, static_cast<DWORD>(elements.size()))));
        dde::SetArrayHeader(v.parrVal, type, static_cast<DWORD>(elements.size()));
        for (std::size_t i = 0; i < elements.size(); ++i)
            std::memcpy(dde::ArrayElements(v.parrVal) + i * size, &elements[i], size);
        made.push_back({type, v});
        return v;
    }
    _BRISANTDATAVALUE TextArray(std::vector<const char*> texts)
    {
        _BRISANTDATAVALUE v{};
        v.parrVal = static_cast<BYTE*>(AllocBrisantBlock(dde::ArrayBlockSize(BRISANT_STRINGARRAY, static_cast<DWORD>(texts.size()))));
        dde::SetArrayHeader(v.parrVal, BRISANT_STRINGARRAY, static_cast<DWORD>(texts.size()));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            char* copy = static_cast<char*>(AllocBrisantBlock(std::strlen(texts[i]) + 1));
            std::strcpy(copy, texts[i]);
            std::memcpy(dde::ArrayElements(v.parrVal) + i * sizeof(char*), &copy, sizeof copy);
        }
        made.push_back({BRISANT_STRINGARRAY, v});
        return v;
    }
    std::vector<std::pair<int, _BRISANTDATAVALUE>> made;
};

// One online block D100 of a device whose handler records hints and writes.
class PointTest : public ::testing::Test {
protected:
    PointTest() : device(&handler)
    {
        block.SetAddr("D100");
        block.SetDefaultDataType(BRISANT_SHORT);
    }
    CdsMemoryObject* Add(int index, int type = BRISANT_NOTYPE)
    {
        auto* point = new CdsMemoryObject;
        point->SetDataType(type);
        EXPECT_TRUE(block.RegisterMemoryObject(index, point, FALSE));
        return point;
    }
    void Online() { ASSERT_TRUE(block.SetOnline(TRUE, &device)); }

    OptionScope<int> viewEvents{CdsServerOptions::g_bViewEvents, 1};
    OptionScope<int> viewInit{CdsServerOptions::g_bViewInitValues, 0};
    OptionScope<int> updateSame{CdsServerOptions::g_bUpdateSameValue, 0};
    OptionScope<int> coldStart{CdsServerOptions::g_bColdStart, 0};
    FakeHandler handler;
    FakeDevice device;
    CdsMemoryArray block;
};

TEST_F(PointTest, DefaultsAndNames)
{
    CdsMemoryObject loose;
    EXPECT_EQ(loose.GetDataType(), BRISANT_NOTYPE);
    EXPECT_EQ(loose.GetUserWord(), -1);
    EXPECT_EQ(loose.GetIndex(), -1);
    EXPECT_EQ(loose.GetPath(), "");
    EXPECT_TRUE(loose.IsAsyncUpdate());
    EXPECT_FALSE(loose.SetParent(CdsMemoryObject::kMaxIndex + 1, &block));

    CdsMemoryObject* point = Add(7);
    EXPECT_EQ(point->GetName(), "D100:7");
    EXPECT_EQ(point->GetPath(), "D100.D100:7");
    EXPECT_EQ(point->GetDataType(), BRISANT_SHORT);
    point->SetPseudoName("X", 3, '/');
    EXPECT_EQ(point->GetName(), "X/3");
}

TEST_F(PointTest, FirstValueTouchesThenChangesSendHints)
{
    CdsMemoryObject* point = Add(0);
    Online();
    EXPECT_TRUE(point->UpdateState(Short(5), FALSE, &handler, nullptr, FALSE));
    EXPECT_TRUE(point->IsTouched());
    EXPECT_EQ(point->GetStatus(), 192);
    EXPECT_TRUE(handler.hints.empty());  // initial values not shown

    EXPECT_TRUE(point->UpdateState(Short(6), FALSE, &handler, nullptr, FALSE));
    ASSERT_EQ(handler.Codes(), std::vector<int>{101});
    EXPECT_EQ(handler.hints[0].number, BRISANT_SHORT);
    EXPECT_EQ(handler.hints[0].value.iVal, 6);
    EXPECT_EQ(handler.hints[0].object, point);

    EXPECT_FALSE(point->UpdateState(Short(6), FALSE, &handler, nullptr, FALSE));
    EXPECT_EQ(handler.hints.size(), 1u);
    EXPECT_TRUE(point->UpdateState(Short(7), TRUE, &handler, nullptr, FALSE));
    EXPECT_EQ(handler.Codes(), (std::vector<int>{101, 102}));
}

TEST_F(PointTest, HintChoiceTable)
{
    struct Case { const char* what; int viewInit; int viewEvents; int updateSame; bool touchedFirst; SHORT value; bool initial; int code; };
    const Case cases[] = {
        {"first, init shown", 1, 1, 0, false, 1, false, 103},
        {"first, init shown, second flag", 1, 0, 0, false, 1, true, 104},
        {"first, init hidden", 0, 1, 0, false, 1, false, 0},
        {"change, events hidden", 1, 0, 0, true, 2, false, 0},
        {"same value, update-same on", 1, 1, 1, true, 1, false, 0},
    };
    for (const Case& c : cases) {
        OptionScope init(CdsServerOptions::g_bViewInitValues, c.viewInit);
        OptionScope events(CdsServerOptions::g_bViewEvents, c.viewEvents);
        OptionScope same(CdsServerOptions::g_bUpdateSameValue, c.updateSame);
        CdsMemoryArray b;
        b.SetAddr("D0");
        b.SetDefaultDataType(BRISANT_SHORT);
        auto* point = new CdsMemoryObject;
        ASSERT_TRUE(b.RegisterMemoryObject(0, point, FALSE));
        if (c.touchedFirst)
            point->SetNewValue(Short(1), nullptr, FALSE);
        FakeHandler h;
        point->UpdateState(Short(c.value), c.initial, &h, nullptr, FALSE);
        EXPECT_EQ(h.Codes(), c.code ? std::vector<int>{c.code} : std::vector<int>{}) << c.what;
    }
}

TEST_F(PointTest, OfflineTable)
{
    struct Case { int status; BOOL hold; int coldStart; int statusAfter; BOOL touchedAfter; };
    const Case cases[] = {{192, FALSE, 0, 8, FALSE}, {0, FALSE, 0, 0, FALSE}, {216, TRUE, 0, 8, TRUE}, {192, FALSE, 1, 8, FALSE}};
    for (const Case& c : cases) {
        OptionScope cold(CdsServerOptions::g_bColdStart, c.coldStart);
        CdsMemoryArray b;
        b.SetAddr("D0");
        b.SetDefaultDataType(BRISANT_FLOAT);
        auto* point = new CdsMemoryObject;
        ASSERT_TRUE(b.RegisterMemoryObject(0, point, FALSE));
        _BRISANTDATAVALUE v{};
        v.fltVal = 1.5f;
        point->SetNewValue(v, nullptr, FALSE);
        point->UpdateCommand(v);
        point->SetStatus(c.status);
        b.SetHold(c.hold);
        EXPECT_TRUE(point->SetOnline(FALSE, &b, 0));
        EXPECT_EQ(point->GetStatus(), c.statusAfter);
        EXPECT_EQ(point->IsTouched(), c.touchedAfter);
        EXPECT_FALSE(IsValidDataValue(BRISANT_FLOAT, point->GetLastCommandValue()));
        EXPECT_EQ(IsValidDataValue(BRISANT_FLOAT, point->GetValue()), c.coldStart == 0);
    }
}

TEST_F(PointTest, WriteOnlyPointsAreGoodWhenOnline)
{
    block.SetReadAllowed(FALSE);
    CdsMemoryObject* point = Add(0);
    Online();
    EXPECT_TRUE(point->IsTouched());
    EXPECT_EQ(point->GetStatus(), 192);
    EXPECT_FALSE(point->IsReadValueReady());
}

TEST_F(PointTest, OnlineNeedsAWriteQueue)
{
    CdsMemoryObject* point = Add(0);
    FakeDevice lonely(nullptr);
    EXPECT_FALSE(point->SetOnline(TRUE, &block, 0) && false);
    block.SetParent(&lonely);
    EXPECT_FALSE(point->SetOnline(TRUE, &block, 0));
    block.SetParent(&device);
    EXPECT_TRUE(point->SetOnline(TRUE, &block, 0));
    EXPECT_EQ(point->GetEventQueue(), handler.queue);
    CdsMemoryArray other;
    EXPECT_FALSE(point->SetOnline(TRUE, &other, CdsMemoryObject::kMaxIndex + 1));  // parent stays the old block
}

TEST_F(PointTest, DdeReadNeedsAPolledPointUnlessItsStatusJustChanged)
{
    CdsMemoryObject* point = Add(0);
    Online();
    _BRISANTDATAVALUE out{};
    EXPECT_FALSE(point->ReadValue(&out, nullptr));
    point->SetStatus(8);
    EXPECT_TRUE(point->ReadValue(&out, nullptr));
    EXPECT_FALSE(point->ReadValue(&out, nullptr));  // the change was read
    point->UpdateState(Short(-3), FALSE, &handler, nullptr, FALSE);
    point->ReadValue(&out, nullptr);
    EXPECT_TRUE(point->ReadValue(&out, nullptr));
    EXPECT_EQ(out.iVal, -3);
}

TEST_F(PointTest, DdeReadCopiesTextsForTheCaller)
{
    HeapValues values;
    CdsMemoryObject* text = Add(0, BRISANT_STRING);
    CdsMemoryObject* counted = Add(1, BRISANT_FIXEDSTRING);
    CdsMemoryObject* empty = Add(2, BRISANT_STRING);
    Online();
    text->UpdateState(values.Text("abc"), FALSE, &handler, nullptr, FALSE);
    counted->UpdateState(values.Counted("hello"), FALSE, &handler, nullptr, FALSE);
    empty->SetTouched(TRUE);
    for (auto* p : {text, counted, empty})
        p->ReadValue(nullptr, nullptr);  // nothing happens without a target

    std::size_t before = LiveBlocks();
    _BRISANTDATAVALUE a{}, b{}, c{};
    ASSERT_TRUE(text->ReadValue(&a, nullptr) || text->ReadValue(&a, nullptr));
    EXPECT_STREQ(a.pszVal, "abc");
    EXPECT_NE(a.pszVal, text->GetValue().pszVal);
    ASSERT_TRUE(counted->ReadValue(&b, nullptr) || counted->ReadValue(&b, nullptr));
    EXPECT_EQ(dde::CountedLength(b.pcsVal), 5);
    EXPECT_EQ(std::string(dde::CountedChars(b.pcsVal)), "hello");
    EXPECT_FALSE(empty->ReadValue(&c, nullptr));
    EXPECT_TRUE(empty->ReadValue(&c, nullptr, "n/a"));
    EXPECT_STREQ(c.pszVal, "n/a");
    EXPECT_EQ(LiveBlocks(), before + 3);
    ReleaseDataValue(BRISANT_STRING, a);
    ReleaseDataValue(BRISANT_FIXEDSTRING, b);
    ReleaseDataValue(BRISANT_STRING, c);
    EXPECT_EQ(LiveBlocks(), before);
}

TEST_F(PointTest, CountedStringKeepsItsCharacterCount)
{
    HeapValues values;
    CdsMemoryObject* point = Add(0, BRISANT_FIXEDSTRING);
    ASSERT_TRUE(point->SetNewValue(values.Counted("ABCD"), nullptr, FALSE));
    EXPECT_EQ(dde::CountedLength(point->GetValue().pcsVal), 4);
    // A length word that claims more than its block holds is cut to the block.
    ASSERT_TRUE(point->SetNewValue(values.Counted("XY", 20000), nullptr, FALSE));
    EXPECT_EQ(dde::CountedLength(point->GetValue().pcsVal), 2);
    EXPECT_EQ(std::string(dde::CountedChars(point->GetValue().pcsVal)), "XY");
    ASSERT_TRUE(point->SetNewValue(values.Counted("Q", 0), nullptr, FALSE));
    EXPECT_EQ(point->GetValue().pcsVal, nullptr);
}

TEST_F(PointTest, ArrayStoreKeepsFourCodesAndBoundsCounts)
{
    HeapValues values;
    struct Case { int type; bool stored; };
    const Case cases[] = {{BRISANT_BOOLARRAY, true}, {BRISANT_SHORTARRAY, true}, {BRISANT_LONGARRAY, false},
                          {BRISANT_FLOATARRAY, false}, {BRISANT_CHARARRAY, false}};
    int index = 0;
    for (const Case& c : cases) {
        CdsMemoryObject* point = Add(index++, c.type);
        EXPECT_EQ(point->SetNewValue(values.Array(c.type, {1, 0, 1}), nullptr, FALSE) != 0, c.stored) << c.type;
        EXPECT_EQ(point->IsTouched(), c.stored);
        EXPECT_EQ(point->GetStatus(), 0);  // the first array value leaves the status alone
    }
    CdsMemoryObject* lying = Add(index++, BRISANT_SHORTARRAY);
    _BRISANTDATAVALUE v = values.Array(BRISANT_SHORTARRAY, {1, 2});
    dde::SetArrayHeader(v.parrVal, BRISANT_SHORTARRAY, 1000000);
    EXPECT_FALSE(lying->SetNewValue(v, nullptr, FALSE));
    dde::SetArrayHeader(v.parrVal, BRISANT_SHORTARRAY, 2);
    CdsMemoryObject* texts = Add(index++, BRISANT_STRINGARRAY);
    EXPECT_TRUE(texts->SetNewValue(values.TextArray({"a", "bc"}), nullptr, FALSE));
}

struct OwnershipCase {
    const char* what;
    int type;
};

TEST_F(PointTest, HeapOwnershipOfCopiesOverwritesAndDestruction)
{
    const OwnershipCase cases[] = {{"text", BRISANT_STRING}, {"counted", BRISANT_FIXEDSTRING},
                                   {"bool array", BRISANT_BOOLARRAY}, {"text array", BRISANT_STRINGARRAY}};
    for (const OwnershipCase& c : cases) {
        std::size_t baseline = LiveBlocks();
        {
            HeapValues values;
            auto make = [&](int n) {
                switch (c.type) {
                case BRISANT_STRING: return values.Text(n ? "second" : "first");
                case BRISANT_FIXEDSTRING: return values.Counted(n ? "second" : "first");
                case BRISANT_BOOLARRAY: return values.Array(c.type, n ? std::vector<LONG>{1, 1, 1} : std::vector<LONG>{0});
                default: return values.TextArray(n ? std::vector<const char*>{"x", "y"} : std::vector<const char*>{"z"});
                }
            };
            _BRISANTDATAVALUE first = make(0), second = make(1);
            std::size_t inputs = LiveBlocks();

            auto* a = Add(0, c.type);
            ASSERT_TRUE(a->SetNewValue(first, nullptr, FALSE)) << c.what;
            std::size_t one = LiveBlocks() - inputs;
            EXPECT_GE(one, 1u) << c.what;
            ASSERT_TRUE(a->SetNewValue(second, nullptr, FALSE)) << c.what;  // overwrite frees the first copy
            std::size_t held = LiveBlocks() - inputs;

            auto* b = Add(1, c.type);
            *b = *a;  // deep copy: same blocks count again, none shared
            EXPECT_EQ(LiveBlocks() - inputs, 2 * held) << c.what;
            EXPECT_NE(b->GetValue().parrVal, a->GetValue().parrVal) << c.what;
            EXPECT_FALSE(IsNewDataValue(c.type, b->GetValue(), a->GetValue(), true)) << c.what;
            *b = *b;
            EXPECT_EQ(LiveBlocks() - inputs, 2 * held) << c.what;

            block.DestroyMemoryObject(0);
            EXPECT_EQ(LiveBlocks() - inputs, held) << c.what;
            block.DestroyMemoryObject(1);
            EXPECT_EQ(LiveBlocks(), inputs) << c.what;
        }
        EXPECT_EQ(LiveBlocks(), baseline) << c.what;
        EXPECT_EQ(dde::Toolkit::Process().FindHeap(GetBrisantHeap())->Counters().refusedFrees, 0u) << c.what;
    }
}

TEST_F(PointTest, AssignmentCopiesFieldsAndDropsTheQueueBinding)
{
    CdsMemoryObject* source = Add(0, BRISANT_WORD);
    source->SetUserWord(42);
    source->SetPseudoNameText("SRC");
    Online();
    CdsMemoryObject target;
    target = *source;
    EXPECT_EQ(target.GetOwnDataType(), BRISANT_WORD);
    EXPECT_EQ(target.GetUserWord(), 42);
    EXPECT_EQ(target.GetName(), "SRC");
    EXPECT_EQ(target.GetEventQueue(), nullptr);
    EXPECT_NE(source->GetEventQueue(), nullptr);
}

TEST_F(PointTest, WritesGoThroughTheHandlersQueue)
{
    CdsMemoryObject* point = Add(0);
    Online();
    EXPECT_TRUE(point->WriteValue(Short(9), 77));
    ASSERT_EQ(handler.queue->events.size(), 1u);
    EXPECT_EQ(handler.queue->events[0].point, point);
    EXPECT_EQ(handler.queue->events[0].value.iVal, 9);
    EXPECT_EQ(handler.queue->events[0].type, BRISANT_SHORT);
    EXPECT_EQ(handler.queue->events[0].flag, 77);
    handler.queue->refuse = true;
    EXPECT_FALSE(point->WriteValue(Short(9), 77));
    block.SetWriteAllowed(FALSE);
    handler.queue->refuse = false;
    EXPECT_FALSE(point->WriteValue(Short(9), 77));
}

TEST_F(PointTest, BindingLapsesWithItsHandlersQueue)
{
    CdsMemoryObject* point = Add(0);
    Online();
    std::weak_ptr<testsupport::FakeEventQueue> old = handler.queue;
    handler.queue.reset();  // the handler goes away with its queue
    EXPECT_TRUE(old.expired());
    EXPECT_EQ(point->GetEventQueue(), nullptr);
    EXPECT_FALSE(point->WriteValue(Short(1), 0));
    handler.queue = std::make_shared<testsupport::FakeEventQueue>();  // a new handler on the port
    EXPECT_TRUE(point->WriteValue(Short(1), 0));
    EXPECT_EQ(handler.queue->events.size(), 1u);
}

TEST_F(PointTest, CommandDiagnosticsMismatch)
{
    device.commandDiag = TRUE;
    CdsMemoryObject* point = Add(0);
    Online();
    point->UpdateState(Short(1), FALSE, &handler, nullptr, TRUE);  // first value: no check
    point->UpdateCommand(Short(5));
    EXPECT_GT(point->GetLastCommandTime(), 0);
    handler.hints.clear();
    EXPECT_FALSE(point->UpdateState(Short(4), FALSE, &handler, nullptr, TRUE));
    EXPECT_EQ(point->GetStatus(), 216);
    EXPECT_EQ(handler.Codes(), (std::vector<int>{408, 403}));
    handler.hints.clear();
    EXPECT_TRUE(point->UpdateState(Short(5), FALSE, &handler, nullptr, TRUE));  // the read-back agrees
    handler.withinCommandDiag = FALSE;
    EXPECT_TRUE(point->UpdateState(Short(6), FALSE, &handler, nullptr, TRUE));  // outside the window
}

TEST_F(PointTest, LastCommandTextIsThePointsOwnCopy)
{
    std::size_t before = LiveBlocks();
    {
        HeapValues values;
        CdsMemoryObject* point = Add(0, BRISANT_STRING);
        _BRISANTDATAVALUE written = values.Text("cmd");
        point->UpdateCommand(written);
        EXPECT_NE(point->GetLastCommandValue().pszVal, written.pszVal);
        EXPECT_STREQ(point->GetLastCommandValue().pszVal, "cmd");
        block.DeleteContents();
    }
    EXPECT_EQ(LiveBlocks(), before);
}

TEST_F(PointTest, TagFollowsValueQualityAndAccess)
{
    CdsMemoryObject* flag = Add(0, BRISANT_BOOL);
    CdsMemoryObject* text = Add(1, BRISANT_STRING);
    CdsMemoryObject* counted = Add(2, BRISANT_FIXEDSTRING);
    block.SetClientWriteAccess(FALSE);
    Online();
    CfsMemoryTag* tag = flag->GetMemoryTag();
    EXPECT_EQ(tag->GetCanonicalType(), VT_BOOL);
    EXPECT_EQ(tag->GetAccessRights(), 1);
    _BRISANTDATAVALUE one{};
    one.boolVal = 1;
    flag->UpdateState(one, FALSE, &handler, nullptr, FALSE);
    auto snap = tag->Read();
    EXPECT_EQ(snap.value.vt(), VT_BOOL);
    EXPECT_EQ(snap.value.boolVal(), -1);
    EXPECT_EQ(snap.wQuality, 192);
    EXPECT_GT(com::toTicks(snap.ftTimestamp), 116444736000000000ull);  // after 1970

    HeapValues values;
    text->UpdateState(values.Text("abc"), FALSE, &handler, nullptr, FALSE);
    EXPECT_EQ(text->GetMemoryTag()->Read().value, VARIANT::String("abc"));
    counted->UpdateState(values.Counted("xyz"), FALSE, &handler, nullptr, FALSE);
    EXPECT_EQ(counted->GetMemoryTag()->Read().value, VARIANT::String("xyz"));
    counted->UpdateState(values.Counted("", 0), FALSE, &handler, nullptr, FALSE);
    EXPECT_EQ(counted->GetMemoryTag()->Read().value.vt(), VT_EMPTY);
    // The canonical type is set once.
    counted->GetMemoryTag()->SetCanonicalType(VT_I2);
    EXPECT_EQ(counted->GetMemoryTag()->GetCanonicalType(), VT_BSTR);
}

TEST_F(PointTest, TagOutlivesItsPointWhileAClientHoldsIt)
{
    CdsMemoryObject* point = Add(0);
    CfsMemoryTag* tag = point->GetMemoryTag();
    EXPECT_EQ(tag->GetUseCount(), 1);
    EXPECT_FALSE(point->InUse());
    tag->AddRef();  // a client
    EXPECT_TRUE(point->InUse());
    block.DestroyMemoryObject(0);
    EXPECT_EQ(tag->GetPoint(), nullptr);
    EXPECT_EQ(tag->GetUseCount(), 1);
    EXPECT_EQ(tag->Release(), 0);  // the last reference frees the tag (the leak check sees it)
}

TEST_F(PointTest, DestroyedPointLeavesNoPathFromItsDdeRecord)
{
    CdsMemoryObject* point = Add(0);
    kestrun::DdeItemRecord record;
    record.pPoint = point;
    record.nActive = 1;
    record.hItem = 5;
    point->AddDdeItem(&record);
    // The point's other name, an item of its own.
    kestrun::DdeItemRecord other;
    other.pPoint = point;
    other.hItem = 6;
    point->AddDdeItem(&other);
    EXPECT_TRUE(point->InUse());
    block.DestroyMemoryObject(0);
    EXPECT_EQ(record.pPoint, nullptr);
    EXPECT_EQ(record.nActive, 0);
    EXPECT_EQ(record.hItem, 0u);
    EXPECT_EQ(other.pPoint, nullptr);
    EXPECT_EQ(other.hItem, 0u);
    EXPECT_EQ(other.pNextOfPoint, nullptr);
}

TEST_F(PointTest, ReadersAndTheLineThreadDoNotTrip)
{
    // A line thread stores texts while a client thread reads the tag and the DDE side reads the point.
    CdsMemoryObject* point = Add(0, BRISANT_STRING);
    Online();
    std::thread line([&] {
        const char* texts[] = {"a", "bb", "ccc", "dddd"};
        for (int i = 0; i < 2000; ++i) {
            _BRISANTDATAVALUE v{};
            v.pszVal = const_cast<char*>(texts[i % 4]);
            point->UpdateState(v, FALSE, nullptr, nullptr, FALSE);
        }
    });
    std::size_t seen = 0;
    for (int i = 0; i < 2000; ++i) {
        seen += point->GetMemoryTag()->Read().value.bstrVal().size();
        _BRISANTDATAVALUE copy{};
        if (point->ReadValue(&copy, nullptr))
            ReleaseDataValue(BRISANT_STRING, copy);
    }
    line.join();
    EXPECT_LT(seen, 4u * 2000u + 1);
}

} // namespace

namespace {
// A handler whose write queue is the real one, so purging can be seen.
class RealQueueHandler : public testsupport::FakeHandler {
public:
    std::shared_ptr<CdsEventQueue> GetEventQueue() override { return realQueue; }
    std::shared_ptr<CdsEventQueue> realQueue = std::make_shared<CdsEventQueue>();
};
} // namespace

TEST(PointDestroy, PurgesItsQueuedWritesButNotOthers)
{
    RealQueueHandler handler;
    testsupport::FakeDevice device(&handler);
    CdsMemoryArray block;
    block.SetAddr("D100");
    block.SetDefaultDataType(BRISANT_SHORT);
    auto* doomed = new CdsMemoryObject;
    auto* kept = new CdsMemoryObject;
    ASSERT_TRUE(block.RegisterMemoryObject(0, doomed, FALSE));
    ASSERT_TRUE(block.RegisterMemoryObject(1, kept, FALSE));
    ASSERT_TRUE(block.SetOnline(TRUE, &device));

    _BRISANTDATAVALUE value{};
    value.iVal = 7;
    ASSERT_EQ(handler.realQueue->AddNewEvent(doomed, value, BRISANT_SHORT, 0), 1);
    ASSERT_EQ(handler.realQueue->AddNewEvent(kept, value, BRISANT_SHORT, 0), 1);
    ASSERT_EQ(handler.realQueue->AddNewEvent(doomed, value, BRISANT_SHORT, 0), 1);
    ASSERT_NE(doomed->GetEventQueue(), nullptr);

    block.DestroyMemoryObject(doomed);
    ASSERT_EQ(handler.realQueue->GetCount(), 1u);
    CdsEventData::Ptr left = handler.realQueue->TakeOldestEvent();
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->GetPoint(), kept);
    block.SetOnline(FALSE, &device);
}
