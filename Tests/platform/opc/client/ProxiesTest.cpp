// Group proxies against a scripted peer: replies whose lists do not answer every element
// asked for are refused, so callers never index past what they got.
#include "platform/opc/client/Proxies.h"
#include "platform/opc/client/RpcClient.h"
#include "platform/opc/wire/Frame.h"
#include "platform/opc/wire/Protocol.h"

#include <gtest/gtest.h>

#include <future>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using opc::ComPtr;

struct ReplyCase {
    const char* name;
    DWORD values;  // VARIANTs in the reply of a read; errors: one per handle unless short
    DWORD errors;
    HRESULT want;
};

class ProxyReplyTest : public ::testing::TestWithParam<ReplyCase> {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        peer = fds[1];
        auto client = std::make_shared<opc::RpcClient>(fds[0], opc::PostTask{});
        group = opc::GroupProxy::make(client, 5);
    }
    void TearDown() override
    {
        group.reset();
        ::close(peer);
    }
    // Answers the next call with S_OK and the lists the case gives.
    void answer(bool withValues)
    {
        opc::Frame call;
        ASSERT_TRUE(opc::readFrame(peer, call));
        const ReplyCase& c = GetParam();
        opc::WireWriter w;
        w.i32(S_OK);
        if (withValues) {
            w.u32(c.values);
            for (DWORD i = 0; i < c.values; ++i) {
                OPCITEMSTATE s;
                s.vDataValue = VARIANT::I2(SHORT(i));
                opc::writeItemState(w, s);
            }
        }
        std::vector<HRESULT> errors(c.errors, S_OK);
        w.results(errors);
        opc::Frame reply = call;
        reply.kind = opc::FrameKind::Reply;
        reply.payload = w.data();
        ASSERT_TRUE(opc::writeAll(peer, opc::encodeFrame(reply)));
    }

    int peer = -1;
    ComPtr<IOPCItemMgt> group;
};

TEST_P(ProxyReplyTest, SyncReadAnswersEveryHandle)
{
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
    OPCHANDLE h[] = {1, 2};
    auto result = std::async(std::launch::async, [&] {
        std::vector<OPCITEMSTATE> values;
        std::vector<HRESULT> errors;
        return sync->Read(OPC_DS_CACHE, h, values, errors);
    });
    answer(true);
    EXPECT_EQ(result.get(), GetParam().want);
}

TEST_P(ProxyReplyTest, SyncWriteAnswersEveryHandle)
{
    if (GetParam().values != 2) GTEST_SKIP() << "writes carry no values";
    auto sync = group.as<IOPCSyncIO>(IID_IOPCSyncIO);
    OPCHANDLE h[] = {1, 2};
    VARIANT v[] = {VARIANT::I2(1), VARIANT::I2(2)};
    auto result = std::async(std::launch::async, [&] {
        std::vector<HRESULT> errors;
        return sync->Write(h, v, errors);
    });
    answer(false);
    EXPECT_EQ(result.get(), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Replies, ProxyReplyTest,
                         ::testing::Values(ReplyCase{"Whole", 2, 2, S_OK},
                                           ReplyCase{"ShortErrors", 2, 1, RPC_E_INVALID_DATA},
                                           ReplyCase{"LongErrors", 2, 3, RPC_E_INVALID_DATA},
                                           ReplyCase{"ShortValues", 1, 2, RPC_E_INVALID_DATA},
                                           ReplyCase{"NoValues", 0, 0, RPC_E_INVALID_DATA}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
