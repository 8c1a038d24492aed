#pragma once
// The three objects a server calls back, shared by every group of a document: the
// 1.0 data streams (CAdviseSink), the 2.0 data callback (CDataCallback) and the
// shutdown request (CShutdownSink). They find groups and items by their client
// handles and drop calls that name none.
//
// Threads: calls arrive on the application thread only (the transport posts them to
// the document's dispatcher); Detach is called there too. The last reference may be
// let go on a transport thread, so a sink's destructor touches nothing but itself.
// Ownership: reference counted; the document holds one reference on each and
// detaches them when it closes, after which a sink ignores every call.
#include "platform/opc/Interfaces.h"

#include <span>

class CQuilletDoc;

template <typename I>
class CSinkBase : public I {
public:
    explicit CSinkBase(CQuilletDoc* doc) : m_pDoc(doc) {}
    ULONG AddRef() override { return m_refs.add(); }
    ULONG Release() override { return m_refs.release([this] { delete this; }); }
    void Detach() { m_pDoc = nullptr; }

protected:
    virtual ~CSinkBase() = default;
    // Answers IUnknown and the sink's interface; nullResult for a null out pointer.
    HRESULT Answer(const IID& iid, const IID& own, void** out, HRESULT nullResult)
    {
        if (!out) return nullResult;
        *out = nullptr;
        if (iid != own && iid != IID_IUnknown) return E_NOINTERFACE;
        AddRef();
        *out = static_cast<I*>(this);
        return S_OK;
    }

    CQuilletDoc* m_pDoc;

private:
    opc::RefCount m_refs;
};

class CAdviseSink final : public CSinkBase<IAdviseSink> {
public:
    using CSinkBase::CSinkBase;
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        return Answer(iid, IID_IAdviseSink, out, E_POINTER);
    }
    void OnDataChange(const FORMATETC& format, const STGMEDIUM& medium) override;

private:
    void OnDataStream(std::span<const BYTE> block, bool withTime);
    void OnWriteCompleteStream(std::span<const BYTE> block);
};

class CDataCallback final : public CSinkBase<IOPCDataCallback> {
public:
    using CSinkBase::CSinkBase;
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        return Answer(iid, IID_IOPCDataCallback, out, E_INVALIDARG);
    }
    HRESULT OnDataChange(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterQuality, HRESULT masterError,
                         std::span<const OPCHANDLE> clientItems, std::span<const VARIANT> values,
                         std::span<const WORD> qualities, std::span<const FILETIME> timeStamps,
                         std::span<const HRESULT> errors) override;
    HRESULT OnReadComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterQuality, HRESULT masterError,
                           std::span<const OPCHANDLE> clientItems, std::span<const VARIANT> values,
                           std::span<const WORD> qualities, std::span<const FILETIME> timeStamps,
                           std::span<const HRESULT> errors) override;
    HRESULT OnWriteComplete(DWORD transactionId, OPCHANDLE hGroup, HRESULT masterError,
                            std::span<const OPCHANDLE> clientItems, std::span<const HRESULT> errors) override;
    HRESULT OnCancelComplete(DWORD transactionId, OPCHANDLE hGroup) override;

private:
    void OnData(bool read, DWORD transactionId, OPCHANDLE hGroup, std::span<const OPCHANDLE> clientItems,
                std::span<const VARIANT> values, std::span<const WORD> qualities,
                std::span<const FILETIME> timeStamps);
};

class CShutdownSink final : public CSinkBase<IOPCShutdown> {
public:
    using CSinkBase::CSinkBase;
    HRESULT QueryInterface(const IID& iid, void** out) override
    {
        return Answer(iid, IID_IOPCShutdown, out, E_INVALIDARG);
    }
    HRESULT ShutdownRequest(std::u16string_view reason) override;
};
