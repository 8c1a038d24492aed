#include "platform/opc/server/Connection.h"

namespace opc {
namespace {

// Server-side stand-ins of a client's sinks: each call becomes a one-way frame.
template <typename I>
class RemoteSink : public UnknownOf<I> {
public:
    RemoteSink(std::weak_ptr<Connection> link, DWORD sinkId, const IID& iid)
        : UnknownOf<I>(iid), link_(std::move(link)), sinkId_(sinkId) {}

protected:
    ~RemoteSink() override = default;
    // A writer for a notification of this sink: its frame header comes first.
    WireWriter start(Method m) const
    {
        WireWriter w;
        beginFrame(w.data(), FrameKind::Notify, WORD(m), 0, sinkId_);
        return w;
    }
    HRESULT notify(WireWriter& w)
    {
        if (w.data().size() - kFrameHeaderSize > kMaxFramePayload) return E_OUTOFMEMORY;  // the client would drop the link
        auto link = link_.lock();
        if (!link) return RPC_S_CALL_FAILED;
        setFrameLength(w.data());
        return link->notify(std::move(w.data())) ? S_OK : RPC_S_CALL_FAILED;
    }

private:
    std::weak_ptr<Connection> link_;
    DWORD sinkId_;
};

void writeDataArgs(WireWriter& w, DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                   std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                   std::span<const HRESULT> e)
{
    // Grown once: an update of ten thousand items would otherwise be copied a dozen times.
    // Per item: handle 4, a fixed-size value 10 at most, quality 2, time 8, error 4.
    w.data().reserve(w.data().size() + 40 + items.size() * 28);
    w.u32(tid);
    w.u32(g);
    w.i32(mq);
    w.i32(me);
    w.handles(items);
    w.variants(values);
    w.u32(DWORD(q.size()));
    for (WORD x : q) w.u16(x);
    w.u32(DWORD(t.size()));
    for (FILETIME x : t) w.fileTime(x);
    w.results(e);
}

class RemoteDataCallback final : public RemoteSink<IOPCDataCallback> {
public:
    using RemoteSink::RemoteSink;
    HRESULT OnDataChange(DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                         std::span<const HRESULT> e) override
    {
        return sendData(Method::OnDataChange, tid, g, mq, me, items, values, q, t, e);
    }
    HRESULT OnReadComplete(DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                           std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                           std::span<const HRESULT> e) override
    {
        return sendData(Method::OnReadComplete, tid, g, mq, me, items, values, q, t, e);
    }
    HRESULT OnWriteComplete(DWORD tid, OPCHANDLE g, HRESULT me, std::span<const OPCHANDLE> items,
                            std::span<const HRESULT> e) override
    {
        WireWriter w = start(Method::OnWriteComplete);
        w.u32(tid);
        w.u32(g);
        w.i32(me);
        w.handles(items);
        w.results(e);
        return notify(w);
    }
    HRESULT OnCancelComplete(DWORD tid, OPCHANDLE g) override
    {
        WireWriter w = start(Method::OnCancelComplete);
        w.u32(tid);
        w.u32(g);
        return notify(w);
    }

private:
    // More items than one frame holds go out in several calls, each with its own master
    // quality and error.
    HRESULT sendData(Method m, DWORD tid, OPCHANDLE g, HRESULT mq, HRESULT me, std::span<const OPCHANDLE> items,
                     std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME> t,
                     std::span<const HRESULT> e)
    {
        WireWriter w = start(m);
        writeDataArgs(w, tid, g, mq, me, items, values, q, t, e);
        HRESULT hr = notify(w);
        const std::size_t n = items.size();
        if (hr != E_OUTOFMEMORY || n < 2 || values.size() != n || q.size() != n || t.size() != n || e.size() != n)
            return hr;
        for (auto [at, count] : {std::pair{std::size_t(0), n / 2}, std::pair{n / 2, n - n / 2}}) {
            HRESULT partQuality = S_OK, partError = S_OK;
            for (std::size_t i = at; i < at + count; ++i) {
                if ((q[i] & 0xC0) != OPC_QUALITY_GOOD) partQuality = S_FALSE;
                if (FAILED(e[i])) partError = S_FALSE;
            }
            hr = sendData(m, tid, g, partQuality, partError, items.subspan(at, count), values.subspan(at, count),
                          q.subspan(at, count), t.subspan(at, count), e.subspan(at, count));
            if (FAILED(hr)) return hr;
        }
        return hr;
    }
};

class RemoteAdviseSink final : public RemoteSink<IAdviseSink> {
public:
    using RemoteSink::RemoteSink;
    void OnDataChange(const FORMATETC& format, const STGMEDIUM& medium) override
    {
        WireWriter w = start(Method::OnStreamData);
        w.u16(format.cfFormat);
        w.bytes(medium.hGlobal);
        notify(w);
    }
};

class RemoteShutdown final : public RemoteSink<IOPCShutdown> {
public:
    using RemoteSink::RemoteSink;
    HRESULT ShutdownRequest(std::u16string_view reason) override
    {
        WireWriter w = start(Method::ShutdownRequest);
        w.text(reason);
        return notify(w);
    }
};

} // namespace

ComPtr<IUnknown> Connection::makeSink(const IID& iid, DWORD sinkId)
{
    IUnknown* s = nullptr;
    if (iid == IID_IOPCDataCallback) s = static_cast<IOPCDataCallback*>(new RemoteDataCallback(weak_from_this(), sinkId, iid));
    else if (iid == IID_IAdviseSink) s = static_cast<IAdviseSink*>(new RemoteAdviseSink(weak_from_this(), sinkId, iid));
    else if (iid == IID_IOPCShutdown) s = static_cast<IOPCShutdown*>(new RemoteShutdown(weak_from_this(), sinkId, iid));
    return ComPtr<IUnknown>(s);
}

} // namespace opc
