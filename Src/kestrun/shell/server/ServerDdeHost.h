#pragma once
// What the DDE bridge asks of the server program: its identity, the close of
// the main window, the views' hints and the "Null String Value" option.
// Application thread only, like the bridge.
#include "kestrun/model/dde/DdeBridge.h"

class CdsServerApp;

class CdsServerDdeHost final : public kestrun::DdeBridgeHost {
public:
    explicit CdsServerDdeHost(CdsServerApp& app) : m_app(app) {}

    bool GetServerIdentity(std::string& strRegName, std::string& strCompany) override;
    // The vendor record into the action's return buffer.
    long FillServerVendorInfo(_BRISANT_DATAACTION& action) override;
    // Without a main window the application's loop ends.
    void PostCloseServer() override;
    void UpdateViews(int nCode, const CdsHint& hint) override;
    std::string GetNullStringValue() override;

private:
    CdsServerApp& m_app;
};
