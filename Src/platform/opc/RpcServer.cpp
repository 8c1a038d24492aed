#include "platform/opc/RpcServer.h"

#include "platform/opc/ServerCore.h"

namespace opc {

class Connection {};

RpcServer::RpcServer(std::shared_ptr<ServerCore> core) : core_(std::move(core)) {}
RpcServer::~RpcServer() { stop(); }
bool RpcServer::listen(const std::filesystem::path& path)
{
    path_ = path;
    return false;
}
void RpcServer::enableRemote(registry::Registry*, const CLSID&) {}
void RpcServer::stop() {}
std::size_t RpcServer::connectionCount() const { return 0; }

} // namespace opc
