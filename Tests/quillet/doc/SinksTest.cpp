// The callback sinks: the 1.0 streams byte by byte and the 2.0 callbacks.
#include "quillet/QuilletFixture.h"

#include "quillet/text/ErrorText.h"
#include "quillet/doc/Sinks.h"

#include "platform/opc/wire/DataStream.h"

namespace {

class Sinks : public quillettest::DocFixture {
protected:
    void SetUp() override
    {
        doc.SetLogMask(~0u);
        group.SetName("G");
        ASSERT_EQ(group.GetClientHandle(), 1u);
        ASSERT_EQ(a.GetClientHandle(), 2u);
    }
    void Stream(CLIPFORMAT format, std::vector<BYTE> bytes)
    {
        STGMEDIUM medium;
        medium.hGlobal = std::move(bytes);
        stream->OnDataChange(FORMATETC{format}, medium);
    }
    // One value for item handle on the 2.0 road.
    void Callback(bool read, DWORD tid, OPCHANDLE group, OPCHANDLE item, VARIANT value)
    {
        WORD quality = 0xC0;
        FILETIME time{9, 9};
        HRESULT error = S_OK;
        if (read) callback->OnReadComplete(tid, group, S_OK, S_OK, {&item, 1}, {&value, 1}, {&quality, 1}, {&time, 1}, {&error, 1});
        else callback->OnDataChange(tid, group, S_OK, S_OK, {&item, 1}, {&value, 1}, {&quality, 1}, {&time, 1}, {&error, 1});
    }
    const CValueSet& Sub(CItem& item) { return item.Values(ValueRoad::Subscription); }

    CGroup group{doc};
    CItem& a = AddItem(group, "A");
    CItem& b = AddItem(group, "B");
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

TEST_F(Sinks, ValuesThatComeAfterTheServerWentAreNotShown)
{
    doc.OnShutdownRequest("The server is shutting down.");
    Callback(false, 0, 1, 2, VARIANT::I4(5));
    Stream(CF_OPCSTMFORMATDATA, kDataStream);
    EXPECT_FALSE(Sub(a).value);
    EXPECT_FALSE(Sub(b).value);
}

TEST_F(Sinks, DataStreamCarriesValuesAndByteCountedTextsToTheSubscription)
{
    Stream(CF_OPCSTMFORMATDATA, kDataStream);
    EXPECT_EQ(*Sub(a).value, VARIANT::I2(0x1234));
    EXPECT_EQ(*Sub(b).value, VARIANT::String("hi"));
    EXPECT_EQ(Sub(b).quality, 0x18);
    EXPECT_EQ(Logged(), std::vector<std::string>{"Recieved subscription - Number of Items in OnDataChange = 2  - (Group) G #(Item) 2"});
}

TEST_F(Sinks, DamagedStreamsAreDroppedWhole)
{
    auto with = [](std::size_t at, BYTE v) {
        auto s = kDataStream;
        s[at] = v;
        return s;
    };
    auto cut = [](std::size_t size) { return std::vector<BYTE>(kDataStream.begin(), kDataStream.begin() + size); };
    // Cut in the header, the item headers and the text; too many items; an offset and a length past the end.
    for (const auto& bytes : {cut(0), cut(19), cut(43), cut(85), with(4, 9), with(36, 0x80), with(77, 1)})
        Stream(CF_OPCSTMFORMATDATA, bytes);
    EXPECT_FALSE(Sub(a).value);
    EXPECT_FALSE(Sub(b).value);
    EXPECT_TRUE(Logged().empty());
}

TEST_F(Sinks, TimeStreamCompletesItsReadWithTimeStampsAndWholeArrays)
{
    group.Pending().emplace_back(group.NewTransaction())->m_dwID = 0x55;
    SAFEARRAY values(VT_I4, 3, 7);
    for (LONG i = 7; i < 10; ++i) values.putElement(i, VARIANT::I4(i * 10));
    opc::StreamItem items[2];
    items[0] = {2, 0xC0, FILETIME{0x11223344, 0x01D00000}, VARIANT::Array(values)};
    items[1] = {99, 0xC0, FILETIME{}, VARIANT::I2(1)};  // an item the client does not know
    Stream(CF_OPCSTMFORMATDATATIME, opc::buildDataStream(1, 0x55, S_OK, items, true));
    EXPECT_EQ(*a.Values(ValueRoad::AsyncRead).value, VARIANT::Array(values));
    EXPECT_EQ(a.Values(ValueRoad::AsyncRead).timeStamp, (FILETIME{0x11223344, 0x01D00000}));
    EXPECT_FALSE(Sub(a).value);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Recieved transaction - ID 0x00000055 - (Group) G #(Item) 2",
                                                  "Recieved async read -  - (Item) A"}));
}

TEST_F(Sinks, WriteCompletionsLogEachItemsResult)
{
    Stream(CF_OPCSTMFORMATWRITECOMPLETE, {2, 0, 0, 0,  1, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,
                                          2, 0, 0, 0,  0x05, 0x40, 0x00, 0x80,  3, 0, 0, 0,  0, 0, 0, 0});
    HRESULT errors[] = {S_OK, E_FAIL};
    OPCHANDLE handles[] = {2, 3};
    callback->OnWriteComplete(0, 1, S_FALSE, handles, errors);
    EXPECT_EQ(Logged(), (std::vector<std::string>{"Write complete - Error 0x80004005 - (Item) A", "Write complete -  - (Item) B",
                                                  "Write complete -  - (Item) A", "Write complete - Error 0x80004005 - (Item) B"}));
}

TEST_F(Sinks, CallbacksTakeTheirRoadAndCancelForgetsTheTransaction)
{
    const DWORD refresh = group.Pending().emplace_back(group.NewTransaction())->m_hClient;
    Callback(false, refresh, 1, 2, VARIANT::R8(2.5));  // a refresh answers on the subscription road
    EXPECT_EQ(*Sub(a).value, VARIANT::R8(2.5));
    EXPECT_TRUE(group.Pending().empty());
    Callback(true, 0x777, 1, 2, VARIANT::R8(3));
    EXPECT_EQ(a.Values(ValueRoad::AsyncRead).timeStamp, (FILETIME{9, 9}));
    const DWORD cancelled = group.Pending().emplace_back(group.NewTransaction())->m_hClient;
    callback->OnCancelComplete(cancelled, 1);
    EXPECT_TRUE(group.Pending().empty());
    EXPECT_EQ(Logged().back(), "Recieved async read - Cancel Completed for Transaction ID " + quillet::HexCode(cancelled) +
                                   " - (Group) G #(Item) 2");
}

TEST_F(Sinks, UnknownHandlesAndDetachedSinksAreIgnored)
{
    Callback(false, 0, 42, 2, VARIANT::I2(1));  // no such group
    const OPCHANDLE removed = b.GetClientHandle();
    group.Items().pop_back();
    Callback(false, 0, 1, removed, VARIANT::I2(1));
    callback->Detach();
    stream->Detach();
    Callback(false, 0, 1, 2, VARIANT::I2(1));
    Stream(CF_OPCSTMFORMATDATA, kDataStream);
    EXPECT_FALSE(Sub(a).value);
    EXPECT_TRUE(Logged().empty());
}

} // namespace
