#include "platform/win/DebugOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/win/Console.h"

namespace win {
void OutputDebugString(std::string_view text)
{
    // Never waits for a reader: a line that finds standard error full is lost.
    static std::mutex lock; // keeps lines from two threads apart; leaf
    // Never freed: a line may come from a static's destructor.
    static ConsoleOutput* output = nullptr;
    static dev_t device = 0;
    static ino_t inode = 0;
    std::string line(text);
    if (line.empty() || line.back() != '\n')
        line.push_back('\n');
    std::lock_guard guard(lock);
    struct stat st{};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return;
    // Standard error may be pointed elsewhere meanwhile (a test that captures it).
    if (!output || st.st_dev != device || st.st_ino != inode) {
        delete output;
        output = new ConsoleOutput(STDERR_FILENO);
        device = st.st_dev;
        inode = st.st_ino;
    }
    for (std::size_t done = 0; done < line.size();) {
        const long n = output->Write(line.data() + done, line.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}
} // namespace win
