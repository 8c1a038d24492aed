#pragma once

namespace kestrun {
// Called once when the framework is first used by a program (library start-up).
bool InitKestrunDLL();
} // namespace kestrun
