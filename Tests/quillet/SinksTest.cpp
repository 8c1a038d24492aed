// The callback sinks: the 1.0 streams byte by byte, the 2.0 callbacks and the shutdown.
#include "QuilletFixture.h"

#include "quillet/ErrorText.h"

#include "quillet/Sinks.h"

#include "platform/opc/DataStream.h"

namespace {

using quillettest::DocFixture;

class Sinks : public DocFixture {
protected:
    void SetUp() override
    {
        doc.SetLogMask(~0u);
        group.SetName("G");
        a = &AddItem(group, "A");
        b = &AddItem(group, "B");
        ASSERT_EQ(group.GetClientHandle(), 1u);
        ASSERT_EQ(a->GetClientHandle(), 2u);
    }
    void Stream(CLIPFORMAT format, std::vector<BYTE> bytes)
    {
        STGMEDIUM medium;
        medium.hGlobal = std::move(bytes);
        stream->OnDataChange(FORMATETC{format}, medium);
    }

    CGroup group{doc};
    CItem* a = nullptr;
    CItem* b = nullptr;
    opc::ComPtr<CAdviseSink> stream{new CAdviseSink(&doc)};
    opc::ComPtr<CDataCallback> callback{new CDataCallback(&doc)};
};

// Group 1, items 2 (VT_I2 0x1234, good) and 3 (the text "hi", bad), subscription.
const std::vector<BYTE> kDataStream = {
    0x56, 0, 0, 0,  2, 0, 0, 0,  1, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,
    2, 0, 0, 0,  0x2C, 0, 0, 0,  0xC0, 0, 0, 0,
    3, 0, 0, 0,  0x3C, 0, 0, 0,  0x18, 0, 0, 0,
    2, 0, 0, 0, 0, 0, 0, 0,  0x34, 0x12, 0, 0, 0, 0, 0, 0,
    8, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0,  4, 0, 0, 0,  'h', 0, 'i', 0,  0, 0,
};

TEST_F(Sinks, DataStreamCarriesValuesAndByteCountedTextsToTheSubscription)
{
    Stream(CF_OPCSTMFORMATDATA, kDataStream);
    EXPECT_EQ(*a->Values(ValueRoad::Subscription).value, VARIANT::I2(0x1234));
    EXPECT_EQ(*b->Values(ValueRoad::Subscription).value, VARIANT::String("hi"));
    EXPECT_EQ(b->Values(ValueRoad::Subscription).quality, 0x18);
    EXPECT_EQ(b->Values(ValueRoad::Subscription).timeStamp, FILETIME{});
    EXPECT_EQ(Logged(), std::vector<std::string>{"Recieved subscription - Number of Items in OnDataChange = 2  - (Group) G #(Item) 2"});
}

TEST_F(Sinks, DamagedStreamsAreDroppedWhole)
{
    auto with = [](std::size_t at, BYTE v) {
        auto s = kDataStream;
        s[at] = v;
        return s;
    };
    const std::vector<std::vector<BYTE>> damaged = {
        {},
        std::vector<BYTE>(kDataStream.begin(), kDataStream.begin() + 19),  // header cut
        std::vector<BYTE>(kDataStream.begin(), kDataStream.begin() + 43),  // item headers cut
        std::vector<BYTE>(kDataStream.begin(), kDataStream.end() - 1),     // text cut
        with(4, 9),                                                        // more items than fit
        with(36, 0x80),                                                    // value offset past the end
        with(77, 1),                                                       // text length past the end
    };
    for (const auto& bytes : damaged) Stream(CF_OPCSTMFORMATDATA, bytes);
    EXPECT_FALSE(a->Values(ValueRoad::Subscription).value);
    EXPECT_FALSE(b->Values(ValueRoad::Subscription).value);
    EXPECT_TRUE(Logged().empty());
}

TEST_F(Sinks, TimeStreamCompletesItsReadWithTimeStampsAndWholeArrays)
{
    group.Pending().push_back(group.NewTransaction());
    group.Pending().back()->m_dwID = 0x55;
    SAFEARRAY values(VT_I4, 3, 7);
    for (LONG i = 7; i < 10; ++i) values.putElement(i, VARIANT::I4(i * 10));
    opc::StreamItem items[2];
    items[0] = {2, 0xC0, FILETIME{0x11223344, 0x01D00000}, VARIANT::Array(values)};
    items[1] = {99, 0xC0, FILETIME{}, VARIANT::I2(1)};  // an item the client does not know
    Stream(CF_OPCSTMFORMATDATATIME, opc::buildDataStream(1, 0x55, S_OK, items, true));
    const CValueSet& read = a->Values(ValueRoad::AsyncRead);
    EXPECT_EQ(*read.value, VARIANT::Array(values));
    EXPECT_EQ(read.timeStamp, (FILETIME{0x11223344, 0x01D00000}));
    EXPECT_FALSE(a->Values(ValueRoad::Subscription).value);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Recieved transaction - ID 0x00000055 - (Group) G #(Item) 2",
                                                  "Recieved async read -  - (Item) A"}));
}

TEST_F(Sinks, WriteCompleteLogsEachItemsResult)
{
    const std::vector<BYTE> bytes = {2, 0, 0, 0,  1, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,
                                     2, 0, 0, 0,  0x05, 0x40, 0x00, 0x80,  3, 0, 0, 0,  0, 0, 0, 0};
    Stream(CF_OPCSTMFORMATWRITECOMPLETE, bytes);
    HRESULT errors[] = {S_OK, E_FAIL};
    OPCHANDLE handles[] = {2, 3};
    callback->OnWriteComplete(0, 1, S_FALSE, handles, errors);
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Write complete - Error 0x80004005 - (Item) A", "Write complete -  - (Item) B",
                                                  "Write complete -  - (Item) A", "Write complete - Error 0x80004005 - (Item) B"}));
}

TEST_F(Sinks, CallbacksTakeTheirRoadAndCancelForgetsTheTransaction)
{
    group.Pending().push_back(group.NewTransaction());
    const DWORD tid = group.Pending().back()->m_hClient;
    OPCHANDLE handles[] = {2};
    VARIANT values[] = {VARIANT::R8(2.5)};
    WORD qualities[] = {0xC0};
    FILETIME times[] = {{9, 9}};
    HRESULT errors[] = {S_OK};
    callback->OnDataChange(tid, 1, S_OK, S_OK, handles, values, qualities, times, errors);  // after a refresh
    EXPECT_EQ(*a->Values(ValueRoad::Subscription).value, VARIANT::R8(2.5));
    EXPECT_TRUE(group.Pending().empty());
    callback->OnReadComplete(0x777, 1, S_OK, S_OK, handles, values, qualities, times, errors);
    EXPECT_EQ(a->Values(ValueRoad::AsyncRead).timeStamp, (FILETIME{9, 9}));
    group.Pending().push_back(group.NewTransaction());
    callback->OnCancelComplete(group.Pending().back()->m_hClient, 1);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(Logged().back(), "Recieved async read - Cancel Completed for Transaction ID " + quillet::HexCode(tid + 1) +
                                   " - (Group) G #(Item) 2");
}

TEST_F(Sinks, UnknownHandlesAndDetachedSinksAreIgnored)
{
    OPCHANDLE handles[] = {2};
    VARIANT values[] = {VARIANT::I2(1)};
    WORD qualities[] = {0xC0};
    FILETIME times[] = {{}};
    HRESULT errors[] = {S_OK};
    callback->OnDataChange(0, 42, S_OK, S_OK, handles, values, qualities, times, errors);
    const OPCHANDLE removed = b->GetClientHandle();
    group.Items().pop_back();
    handles[0] = removed;
    callback->OnDataChange(0, 1, S_OK, S_OK, handles, values, qualities, times, errors);
    callback->Detach();
    stream->Detach();
    handles[0] = 2;
    callback->OnDataChange(0, 1, S_OK, S_OK, handles, values, qualities, times, errors);
    Stream(CF_OPCSTMFORMATDATA, kDataStream);
    EXPECT_FALSE(a->Values(ValueRoad::Subscription).value);
    EXPECT_TRUE(Logged().empty());
}

} // namespace
