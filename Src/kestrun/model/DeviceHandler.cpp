#include "kestrun/model/DeviceHandler.h"

#include <atomic>

namespace kestrun {

namespace {
// Read by line threads while the main window sets it up or tears it down.
std::atomic<HandlerTable*> s_pTable{nullptr};
} // namespace

HandlerTable* HandlerTable::Install(HandlerTable* pTable) { return s_pTable.exchange(pTable); }

HandlerTable* HandlerTable::Installed() { return s_pTable.load(); }

} // namespace kestrun
