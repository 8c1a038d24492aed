#pragma once
// Client sinks that record what the server sends them.
#include "platform/opc/Interfaces.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace opctest {

template <typename I>
class SinkBase : public I {
public:
    explicit SinkBase(const IID& iid) : iid_(iid) {}
    virtual ~SinkBase() = default;
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == iid_ || iid == IID_IUnknown) {
            this->AddRef();
            *out = static_cast<I*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return refs_.add(); }
    ULONG Release() override
    {
        ULONG c = refs_.release();
        if (c == 0) delete this;
        return c;
    }
    // Waits (bounded) until count events arrived.
    bool waitFor(std::size_t count, int ms = 3000)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return events() >= count; });
    }
    virtual std::size_t events() const = 0;

    std::mutex mutex;
    std::condition_variable cv;

private:
    opc::RefCount refs_;
    IID iid_;
};

// A data callback for data changes alone: completions are taken and dropped.
class DataChangeSink : public SinkBase<IOPCDataCallback> {
public:
    DataChangeSink() : SinkBase(IID_IOPCDataCallback) {}
    HRESULT OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, std::span<const OPCHANDLE>, std::span<const VARIANT>,
                           std::span<const WORD>, std::span<const FILETIME>, std::span<const HRESULT>) override
    {
        return S_OK;
    }
    HRESULT OnWriteComplete(DWORD, OPCHANDLE, HRESULT, std::span<const OPCHANDLE>, std::span<const HRESULT>) override
    {
        return S_OK;
    }
    HRESULT OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
};

struct DataEvent {
    enum Kind { Data, Read, Write, Cancel } kind;
    DWORD transactionId;
    OPCHANDLE group;
    std::vector<OPCHANDLE> items;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<HRESULT> errors;
};

class RecordingDataCallback final : public SinkBase<IOPCDataCallback> {
public:
    RecordingDataCallback() : SinkBase(IID_IOPCDataCallback) {}
    HRESULT OnDataChange(DWORD tid, OPCHANDLE g, HRESULT, HRESULT, std::span<const OPCHANDLE> items,
                         std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME>,
                         std::span<const HRESULT> e) override
    {
        return add({DataEvent::Data, tid, g, {items.begin(), items.end()}, {values.begin(), values.end()},
                    {q.begin(), q.end()}, {e.begin(), e.end()}});
    }
    HRESULT OnReadComplete(DWORD tid, OPCHANDLE g, HRESULT, HRESULT, std::span<const OPCHANDLE> items,
                           std::span<const VARIANT> values, std::span<const WORD> q, std::span<const FILETIME>,
                           std::span<const HRESULT> e) override
    {
        return add({DataEvent::Read, tid, g, {items.begin(), items.end()}, {values.begin(), values.end()},
                    {q.begin(), q.end()}, {e.begin(), e.end()}});
    }
    HRESULT OnWriteComplete(DWORD tid, OPCHANDLE g, HRESULT, std::span<const OPCHANDLE> items,
                            std::span<const HRESULT> e) override
    {
        return add({DataEvent::Write, tid, g, {items.begin(), items.end()}, {}, {}, {e.begin(), e.end()}});
    }
    HRESULT OnCancelComplete(DWORD tid, OPCHANDLE g) override { return add({DataEvent::Cancel, tid, g, {}, {}, {}, {}}); }
    std::size_t events() const override { return list.size(); }
    std::vector<DataEvent> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(list, {});
    }

    std::vector<DataEvent> list;

private:
    HRESULT add(DataEvent e)
    {
        std::lock_guard lock(mutex);
        list.push_back(std::move(e));
        cv.notify_all();
        return S_OK;
    }
};

struct StreamEvent {
    CLIPFORMAT format;
    std::vector<BYTE> bytes;
};

class RecordingAdviseSink final : public SinkBase<IAdviseSink> {
public:
    RecordingAdviseSink() : SinkBase(IID_IAdviseSink) {}
    void OnDataChange(const FORMATETC& f, const STGMEDIUM& m) override
    {
        std::lock_guard lock(mutex);
        list.push_back({f.cfFormat, m.hGlobal});
        cv.notify_all();
    }
    std::size_t events() const override { return list.size(); }
    std::vector<StreamEvent> list;
};

class RecordingShutdown final : public SinkBase<IOPCShutdown> {
public:
    RecordingShutdown() : SinkBase(IID_IOPCShutdown) {}
    HRESULT ShutdownRequest(std::u16string_view reason) override
    {
        std::lock_guard lock(mutex);
        reasons.emplace_back(reason);
        cv.notify_all();
        return S_OK;
    }
    std::size_t events() const override { return reasons.size(); }
    std::vector<std::u16string> reasons;
};

} // namespace opctest
