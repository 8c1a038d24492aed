#pragma once
// What the "$System" command points ask of the server, carried out by the
// main window: online and offline, opening a configuration, reset and close.
// Client threads call SetOnline, ResetDocument and PostToApplication; the
// others run on the application thread.
#include "kestrun/model/ServerCommands.h"

class CdsServerApp;

class CdsShellCommands final : public kestrun::ServerCommands {
public:
    explicit CdsShellCommands(CdsServerApp& app) : m_app(app) {}

    BOOL SetOnline(int bOnline) override;
    BOOL OpenDocument(const std::string& strPath) override;
    BOOL ResetDocument() override;
    BOOL CloseServer() override;
    bool PostToApplication(std::function<void()> task) override;
    std::filesystem::path GetConfigFolder() const override;

private:
    CdsServerApp& m_app;
};
