#pragma once
// What one poll of a group hands to the client's sinks once the group's lock is left.
#include "platform/opc/server/Group.h"

namespace opc {

struct Group::Delivery {
    struct Callback {
        enum class What { Data, Read, Write, Cancel } what = What::Data;
        DWORD transactionId = 0;
        CallbackArgs args;
    };
    struct Stream {
        ComPtr<IAdviseSink> sink;
        FORMATETC format;
        std::vector<BYTE> bytes;
    };

    OPCHANDLE hClientGroup = 0;
    ComPtr<IOPCDataCallback> callback;
    std::vector<Callback> callbacks;  // transaction completions, in the order they ran
    bool update = false;              // updateArgs holds a subscription update
    CallbackArgs updateArgs;          // kept from poll to poll, so its storage is reused
    // The updates of periods the poll came late for, oldest first, sent before updateArgs:
    // the first madeUp of madeUpArgs (the others keep their storage for later polls).
    std::size_t madeUp = 0;
    std::vector<CallbackArgs> madeUpArgs;
    std::vector<Stream> streams;

    bool empty() const { return callbacks.empty() && !update && madeUp == 0 && streams.empty(); }
    void clear()
    {
        callback.reset();
        callbacks.clear();
        update = false;
        updateArgs.clear();
        madeUp = 0;
        streams.clear();
    }
};

} // namespace opc
