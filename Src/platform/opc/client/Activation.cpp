#include "platform/opc/client/Activation.h"

#include "platform/com/Bstr.h"
#include "platform/opc/client/Proxies.h"
#include "platform/opc/wire/SocketFolder.h"
#include "platform/registry/Registry.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace opc {
namespace {

registry::Registry& regOf(registry::Registry* r) { return r ? *r : registry::Registry::Default(); }

std::string clsidKey(const CLSID& clsid) { return "CLSID\\" + com::formatGuid(clsid); }

bool isLocal(std::string_view node)
{
    std::string n(node);
    n.erase(0, n.find_first_not_of(" \t"));
    n.erase(n.find_last_not_of(" \t") + 1);
    std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return n.empty() || n == "<local>";
}

// A named node's server of the class over TCP: "host:port", or the port that
// "RemotePort" under HKCR "AppID\{clsid}" of this machine names. -1 when none answers.
int connectNode(const std::string& node, const CLSID& clsid, registry::Registry& reg,
                std::chrono::milliseconds timeout)
{
    std::string host = node;
    int port = 0;
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
        port = std::atoi(host.c_str() + colon + 1);
        host.resize(colon);
    } else {
        DWORD p = 0;
        reg.QueryDword(HKEY_CLASSES_ROOT, "AppID\\" + com::formatGuid(clsid), "RemotePort", p);
        port = int(p);
    }
    if (port <= 0 || port > 65535) return -1;
    return RpcClient::connectTcp(host, port, timeout);
}

// The server list a node's server offers for its machine.
HRESULT activateServerList(std::shared_ptr<RpcClient> client, const IID& iid, IUnknown** out)
{
    WireWriter w;
    std::vector<BYTE> reply;
    HRESULT hr = client->call(Method::ActivateServerList, 0, w, reply);
    if (FAILED(hr)) return hr;
    WireReader r(reply);
    DWORD id = r.u32();
    if (!r.done() || id == 0) return RPC_E_INVALID_DATA;
    ComPtr<IOPCServerList> list(new ServerListProxy(std::move(client), id));
    return list->QueryInterface(iid, reinterpret_cast<void**>(out));
}

} // namespace

bool startLocalServer(const std::string& program)
{
    // Everything the child needs is made before fork: after it only async-signal-safe
    // calls run.
    std::string arg0 = program;
    std::string arg1 = "-Embedding";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    // The client may block SIGINT and SIGTERM for a watcher thread of its own; a
    // server started here must still take them.
    sigset_t none;
    sigemptyset(&none);
    // The server outlives its client: it keeps none of the client's descriptors,
    // so a pipe the client's own parent reads (a terminal, a test runner) is never
    // held open by it.
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return false;
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0) {
        ::close(devNull);
        return false;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        ::close(devNull);
        return false;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int fd = 0; fd <= 2; ++fd)
                ::dup2(devNull, fd);
            // Everything else goes but the pipe that reports a failed exec (closed by exec itself).
            const int keep = pipeFd[1];
            if (keep > 3)
                ::close_range(3, static_cast<unsigned>(keep) - 1, 0);
            ::close_range(static_cast<unsigned>(keep) + 1, ~0U, 0);
            ::execv(argv[0], argv);
            char fail = 1;
            [[maybe_unused]] auto w = ::write(pipeFd[1], &fail, 1);
            ::_exit(127);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    ::close(pipeFd[1]);
    ::close(devNull);
    int status = 0;
    ::waitpid(child, &status, 0);
    // The pipe closes on a successful exec; a byte means exec failed.
    char fail = 0;
    ssize_t n = ::read(pipeFd[0], &fail, 1);
    ::close(pipeFd[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

HRESULT CoCreateInstanceEx(const CLSID& clsid, std::u16string_view node, const IID& iid, IUnknown** out,
                           const ActivationOptions& options)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string nodeText = com::fromBstr(node);
    registry::Registry& reg = regOf(options.registry);
    if (clsid == CLSID_OPCServerList) {
        if (isLocal(nodeText)) return createServerList(options.registry)->QueryInterface(iid, reinterpret_cast<void**>(out));
        // Another node's list comes from one of its servers that takes remote clients.
        const int fd = connectNode(nodeText, clsid, reg, options.connectTimeout);
        if (fd < 0) return RPC_S_SERVER_UNAVAILABLE;
        return activateServerList(std::make_shared<RpcClient>(fd, options.post, options.client), iid, out);
    }
    int fd = -1;
    HRESULT why = S_OK;
    if (isLocal(nodeText)) {
        auto path = socketPath(options.socketDir.empty() ? socketFolder() : options.socketDir, clsid);
        fd = RpcClient::connectUnix(path, options.connectTimeout, &why);
        // A server that is there but refused or does not answer is not started again.
        if (fd < 0 && why != RPC_S_SERVER_UNAVAILABLE) return why;
        if (fd < 0) {
            std::string program;
            if (reg.QueryString(HKEY_CLASSES_ROOT, clsidKey(clsid) + "\\LocalServer32", "", program) !=
                    registry::Status::Ok ||
                program.empty())
                return REGDB_E_CLASSNOTREG;
            if (!startLocalServer(program)) return CO_E_SERVER_EXEC_FAILURE;
            const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
            // The program needs a moment to open its socket; ask again until it answers.
            while ((fd = RpcClient::connectUnix(path, options.connectTimeout, &why)) < 0) {
                if (why != RPC_S_SERVER_UNAVAILABLE) return why;
                if (std::chrono::steady_clock::now() > deadline) return CO_E_SERVER_EXEC_FAILURE;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    } else {
        fd = connectNode(nodeText, clsid, reg, options.connectTimeout);
        if (fd < 0) return RPC_S_SERVER_UNAVAILABLE;
    }
    auto client = std::make_shared<RpcClient>(fd, options.post, options.client);
    return activateServer(std::move(client), iid, out);
}

} // namespace opc
