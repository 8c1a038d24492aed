#include "kestrun/shell/forms/ConfigDialogs.h"

#include <atomic>

namespace shell {

namespace {
std::atomic<ConfigDialogs*> g_dialogs{nullptr};
} // namespace

ConfigDialogs* InstallConfigDialogs(ConfigDialogs* pDialogs) { return g_dialogs.exchange(pDialogs); }

ConfigDialogs* CurrentConfigDialogs() { return g_dialogs.load(); }

} // namespace shell
