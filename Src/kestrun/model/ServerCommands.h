#pragma once
// What the command points of "$System" ask of the server: the document's
// online switch, opening a configuration, resetting and closing. The shell
// installs one; without it those commands fail.
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/win/WinTypes.h"

namespace kestrun {

class ServerCommands {
public:
    virtual ~ServerCommands() = default;

    virtual BOOL SetOnline(int bOnline) = 0;
    // Called on the application thread.
    virtual BOOL OpenDocument(const std::string& strPath) = 0;
    virtual BOOL ResetDocument() = 0;
    // Called on the application thread.
    virtual BOOL CloseServer() = 0;
    // Queues work for the application thread; false when it cannot be queued.
    virtual bool PostToApplication(std::function<void()> task) = 0;
    // Where relative configuration names are looked up.
    virtual std::filesystem::path GetConfigFolder() const = 0;

    // The commands in use; null while there is no server shell. Returns the previous one.
    static ServerCommands* Install(ServerCommands* pCommands) { return s_pCommands.exchange(pCommands); }
    static ServerCommands* Installed() { return s_pCommands.load(); }

private:
    static inline std::atomic<ServerCommands*> s_pCommands{nullptr};
};

} // namespace kestrun
