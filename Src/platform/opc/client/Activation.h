#pragma once
// Finding and starting OPC servers from the registry, as COM activation does:
// ProgID -> CLSID ("<ProgID>\CLSID"), connect to the class's socket, and when nobody
// listens start the class's "CLSID\{...}\LocalServer32" program with -Embedding and
// wait (bounded) until its socket answers. ProgIDs and this machine's server list come
// from ServerList.h, which a server uses too.
#include "platform/opc/Interfaces.h"
#include "platform/opc/ServerList.h"
#include "platform/opc/client/RpcClient.h"

#include <chrono>
#include <filesystem>
#include <string_view>

namespace registry { class Registry; }

namespace opc {

struct ActivationOptions {
    // Class sockets; empty: socketFolder().
    std::filesystem::path socketDir;
    // Registry to read; null: Registry::Default().
    registry::Registry* registry = nullptr;
    // How long a started server may take to open its socket.
    std::chrono::milliseconds startTimeout{10000};
    // How long connecting to a socket may take.
    std::chrono::milliseconds connectTimeout{10000};
    // The client's dispatcher for sink calls and the link-lost notice; empty: a thread
    // of the client's own.
    PostTask post;
    // Call time-out and link-lost notice of the connection (see ClientOptions).
    ClientOptions client;
};

// node empty (or "<Local>"): this machine. Otherwise "host" or "host:port"; without a
// port the value "RemotePort" under HKCR "AppID\{clsid}" of this machine names it.
// CLSID_OPCServerList gives this machine's list, or for a node the list of the machine
// of the server that answers there (its remote access on; the port as for a class, under
// the list's own AppID when the node names none).
// E_ACCESSDENIED when the class's socket is served by another user; RPC_E_TIMEOUT when
// the server does not answer the activation within the call time-out; E_OUTOFMEMORY
// when the server has its limit of connections.
HRESULT CoCreateInstanceEx(const CLSID& clsid, std::u16string_view node, const IID& iid, IUnknown** out,
                           const ActivationOptions& options = {});

// Starts program -Embedding detached from this process (no zombie is left). False when
// it could not be started.
bool startLocalServer(const std::string& program);

} // namespace opc
