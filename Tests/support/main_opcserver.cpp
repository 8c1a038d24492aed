// A local OPC server program for the multi-process OPC tests: a scripted address space
// behind the toolkit's entry points. Started by activation with -Embedding; it ends when
// its last client leaves, when a client writes true to "Control.Stop", or after a while
// without clients. "Control.Pid" reads its process id; a read of "Control.Hold" never
// returns until a client writes "Control.Release" (so a test can end or stop the process
// during a call, or hold the server's queue), and first writes a byte to the FIFO named
// by TESSARO_OPCSERVER_HOLDING when that is set. "Control.Array" holds five VT_I4 values.
#include "platform/opc/server/ServerEntries.h"

#include "platform/opc/ScriptedCallback.h"
#include "platform/win/Console.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

class TestServerCallback : public opctest::ScriptedCallback {
public:
    HRESULT ReadTag(CTag* t) override
    {
        if (t != tag("Control.Hold")) return ScriptedCallback::ReadTag(t);
        if (const char* fifo = std::getenv("TESSARO_OPCSERVER_HOLDING")) {
            int fd = ::open(fifo, O_WRONLY | O_CLOEXEC);
            if (fd >= 0) {
                [[maybe_unused]] ssize_t n = ::write(fd, "h", 1);
                ::close(fd);
            }
        }
        std::unique_lock lock(m);
        const unsigned held = releases;
        cv.wait(lock, [&] { return releases != held; });
        return S_OK;
    }
    HRESULT WriteTag(CTag* t, const VARIANT& value) override
    {
        if (t == tag("Control.Stop")) {
            std::lock_guard lock(m);
            stop = value.boolVal() != 0;
            cv.notify_all();
            return S_OK;
        }
        if (t == tag("Control.Release")) {
            std::lock_guard lock(m);
            ++releases;
            cv.notify_all();
            return S_OK;
        }
        return ScriptedCallback::WriteTag(t, value);
    }
    // A known item has no property that is an item of its own.
    HRESULT LookupItemID(std::string_view itemId, DWORD, std::u16string& text) override
    {
        text.clear();
        DWORD count = 0;
        CTag* t = nullptr;
        return SUCCEEDED(FindTag(itemId, count, t)) ? OPC_E_INVALID_PID : OPC_E_UNKNOWNITEMID;
    }
    BOOL OnClientConnect(IOPCServer* s) override
    {
        std::lock_guard lock(m);
        ++clients;
        everConnected = true;
        return ScriptedCallback::OnClientConnect(s);
    }
    int OnClientDisconnect(IOPCServer* s) override
    {
        std::lock_guard lock(m);
        if (clients > 0) --clients;
        cv.notify_all();
        ScriptedCallback::OnClientDisconnect(s);
        return clients;
    }

    std::mutex m;
    std::condition_variable cv;
    bool stop = false;
    unsigned releases = 0;  // each write of "Control.Release" ends the reads held so far
    bool everConnected = false;
    int clients = 0;
};

} // namespace

int main()
{
    win::IgnoreBrokenPipe();
    const CLSID clsid = *com::parseGuid("{6E6F7453-0003-4E61-8000-000000000003}");
    TestServerCallback cb;
    cb.addItem("PLC1.D100", VARIANT::I2(10));
    cb.addItem("PLC1.D101", VARIANT::I2(20));
    cb.addItem("PLC1.TEXT", VARIANT::String("hello"));
    cb.addItem("Control.Stop", VARIANT::Bool(false));
    cb.addItem("Control.Pid", VARIANT::I4(LONG(::getpid())));
    cb.addItem("Control.Hold", VARIANT::I2(0));
    cb.addItem("Control.Release", VARIANT::Bool(false));
    cb.addItem("Control.Array", VARIANT::Array(SAFEARRAY(VT_I4, 5)));
    InitFSServerDLL();
    // The callback is in place before the socket opens: a client that connects at
    // once would otherwise find a server without one, which answers as stopping.
    SetFSServerCallback(&cb);
    if (!StartFSServer(clsid, FALSE)) return 2;
    {
        std::unique_lock lock(cb.m);
        cb.cv.wait_for(lock, std::chrono::seconds(30),
                       [&] { return cb.stop || (cb.everConnected && cb.clients == 0); });
    }
    StopFSServer(1, 0);
    return 0;
}
