#pragma once
// What the DDE bridge asks of the server program: its identity, the close of
// the main window, the views' hints and the "Null String Value" option.
// Application thread only, like the bridge.
#include <cstddef>

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

// The DDE toolkit's vendor information: major, minor and build as three
// little-endian 16-bit numbers, then "%s (by %s)" of the registration name and
// the company, zero-terminated and cut to fit. 0 without an application or
// when the buffer cannot hold the numbers and a terminator.
BOOL FillServerVendorInfo(char* pRecord, std::size_t nSize);
