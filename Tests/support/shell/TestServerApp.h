#pragma once
// A small server program on the framework, for start-up and shut-down tests
// without the MELSEC program: its own identity, and a device map with one
// emulated device ("PLC1", block "D0" of four short points whose values count
// the block's reads), so real line threads run without a PLC.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "kestrun/comm/handler/EmulHdlr.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/MemoryArray.h"
#include "kestrun/shell/server/ServerApp.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"
#include "platform/com/Guid.h"

namespace testsupport {

inline constexpr const char* kTestServerClsid = "6E6F7453-0015-4E61-8000-000000000015";
inline constexpr const char* kTestServerProgId = "Tessaro.TestServer.1";
inline constexpr const char* kTestServerRegName = "TestServer";
inline constexpr const char* kTestServerDescription = "Tessaro test server";
inline constexpr int kTestServerPoints = 4;

// Each read gives every point the number of reads so far.
class TestServerBlock : public CdsMemoryArray {
    DECLARE_SERIAL(TestServerBlock)
public:
    explicit TestServerBlock(int nMaxMemories = kTestServerPoints) : CdsMemoryArray(nMaxMemories) {}
    CdsMemoryObject* NewMemoryObject() override;
    using CdsMemoryArray::NewMemoryObject;
    int UpdateStatus(int nFrame, const BYTE* pBuffer, int nReceived, kestrun::HandlerLink* pHdlr,
                     const tagTHREADINFO* pLine) override;
    int GetStatusResponseStringLen(int) override { return 2; }

private:
    // A line left behind by its stop wait may finish a read beside the new line.
    std::atomic<SHORT> m_nReads{0};
};

// A device on an emulated port.
class TestServerDevice : public CdsDeviceObject {
    DECLARE_SERIAL(TestServerDevice)
public:
    TestServerDevice();
    CdsMemoryArray* NewMemoryArray() override { return new TestServerBlock; }
};

class TestServerDeviceMap : public CdsDeviceMap {
    DECLARE_SERIAL(TestServerDeviceMap)
public:
    CdsDeviceObject* NewDeviceObject(const std::string& strPort, const std::string& strAddress, int nType) override;
    using CdsDeviceMap::NewDeviceObject;
};

// The map a new test server document holds: one emulated device of that name.
CdsDeviceMap* MakeTestServerMap(const std::string& strDevice = "PLC1");
// A configuration file with such a map; false when it could not be written.
// No other map may hold a device of that name meanwhile.
bool WriteTestServerFile(const std::string& strPath, const std::string& strDevice);

class TestServerDoc : public CdsServerDoc {
public:
    CdsDeviceMap* NewDevices() override { return new TestServerDeviceMap; }
    // A test server device, block and CSV file, where missing.
    void CreateTmpObjects() override;
    // A new document holds the test map.
    bool OnNewDocument() override;
};

// An emulated port whose every read is answered (two zero bytes).
class TestServerHdlr : public CdsEmulHdlr {
public:
    int ReceiveResponseMessage(CdsMemoryArray* pArray, BYTE* pBuffer, int nLength, int& nReceived,
                               const char* pszQuery, BOOL bRead, tagTHREADINFO* pLine) override;
};

class TestServerFrame : public CdsServerFrame {
public:
    // The handler a test gives, else a TestServerHdlr for emulated ports.
    std::shared_ptr<CdsCommHdlr> NewCommHdlr(DWORD dwPortHandle) override;
    // The requests to hide in the tray are counted.
    bool IsTaskBarAvailable() const override
    {
        ++trayRequests;
        return CdsServerFrame::IsTaskBarAvailable();
    }

    std::function<std::shared_ptr<CdsCommHdlr>(DWORD)> makeHandler;
    mutable int trayRequests = 0;
};

class TestServerApp : public CdsServerApp {
public:
    TestServerApp();

    const char* GetServerCLSID() override { return kTestServerClsid; }
    const char* GetServerProgID() override { return kTestServerProgId; }
    const char* GetServerRegName() override { return kTestServerRegName; }
    const char* GetServerDescription() override { return kTestServerDescription; }
    const GUID* GetServerCLSID2() override { return &m_clsid; }

    // The start-up of a server program; logs "Test server ready: <document title>"
    // when it stands.
    bool InitInstance() override;

    // The program a restart runs; empty: this one.
    std::string GetRestartProgram() const override
    {
        return restartProgram.empty() ? CdsServerApp::GetRestartProgram() : restartProgram;
    }

    using CdsServerApp::ActivateRestartProcess;
    using CdsServerApp::GetRegistryCommand;
    using CdsServerApp::UpdateRegistry;

    std::string restartProgram;

private:
    GUID m_clsid;
};

} // namespace testsupport
