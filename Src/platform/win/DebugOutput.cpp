#include "platform/win/DebugOutput.h"

#include <cstdio>
#include <mutex>

namespace win {
void OutputDebugString(std::string_view text)
{
    static std::mutex lock; // keeps lines from two threads apart; leaf
    std::lock_guard guard(lock);
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n')
        std::fputc('\n', stderr);
    std::fflush(stderr);
}
} // namespace win
