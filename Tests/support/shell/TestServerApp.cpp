#include "support/shell/TestServerApp.h"

#include "kestrun/comm/EmulConfig.h"
#include "kestrun/comm/EmulHdlr.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/shell/LogView.h"
#include "kestrun/shell/MessageBox.h"
#include "platform/afx/Archive.h"

namespace testsupport {

IMPLEMENT_SERIAL(TestServerBlock, CdsMemoryArray, 1)
IMPLEMENT_SERIAL(TestServerDevice, CdsDeviceObject, 1)
IMPLEMENT_SERIAL(TestServerDeviceMap, CdsDeviceMap, 1)

namespace {

constexpr WORD kEmulatedPort = 1;

// The DDE side of the test server answers nothing.
long TestServerAction(int, _BRISANT_DATAACTION*) { return 0; }

} // namespace

CdsMemoryObject* TestServerBlock::NewMemoryObject()
{
    auto* pPoint = new CdsMemoryObject;
    pPoint->SetDataType(BRISANT_SHORT);
    return pPoint;
}

int TestServerBlock::UpdateStatus(int, const BYTE*, int, kestrun::HandlerLink* pHdlr, const tagTHREADINFO* pLine)
{
    _BRISANTDATAVALUE value{};
    value.iVal = ++m_nReads;
    for (int i = 0; i < GetMaxMemories(); ++i)
        UpdateState(i, value, FALSE, pHdlr, pLine, FALSE);
    return 1;
}

TestServerDevice::TestServerDevice()
{
    auto config = std::make_unique<CdsEmulConfig>();
    config->SetPortId(kEmulatedPort);
    SetCommConfig(0, std::move(config));
}

CdsDeviceObject* TestServerDeviceMap::NewDeviceObject(const std::string& strPort, const std::string& strAddress,
                                                      int nType)
{
    auto* pDevice = new TestServerDevice;
    pDevice->m_strPort = strPort;
    pDevice->m_strAddress = strAddress;
    pDevice->m_nDeviceType = nType;
    return pDevice;
}

CdsDeviceMap* MakeTestServerMap()
{
    auto* pMap = new TestServerDeviceMap;
    auto* pDevice = new TestServerDevice;
    pDevice->m_strName = "PLC1";
    pDevice->m_strPort = "EMUL1";
    pDevice->m_strAddress = "1";
    pDevice->m_nDeviceType = 0;
    if (!pMap->AddDeviceObject(pDevice, TRUE)) {
        pMap->Destroy();
        return nullptr;
    }
    auto* pBlock = new TestServerBlock;
    pBlock->SetName("D0");
    pBlock->SetAddr("D0");
    pBlock->SetScanTime(100);
    pDevice->AddMemoryArray(pBlock, true);
    pMap->OnLoading();
    return pMap;
}

bool TestServerDoc::OnNewDocument()
{
    if (!CdsServerDoc::OnNewDocument())
        return false;
    CdsDeviceMap* pMap = MakeTestServerMap();
    if (pMap && !InitDevices(pMap))
        pMap->Destroy();
    return true;
}

std::shared_ptr<CdsCommHdlr> TestServerFrame::NewCommHdlr(DWORD dwPortHandle)
{
    if (CdsCommConfig::GetPortType(dwPortHandle) == COMM_PORT_EMUL)
        return std::make_shared<CdsEmulHdlr>();
    return nullptr;
}

TestServerApp::TestServerApp() : m_clsid(*com::parseGuidLoose(kTestServerClsid)) {}

bool TestServerApp::InitInstance()
{
    SetAppInDll(0);
    if (!CdsServerApp::InitInstance())
        return false;
    SetDocTemplate({[] { return std::make_unique<TestServerDoc>(); },
                    [] { return std::make_unique<TestServerFrame>(); }});
    if (!HandleCommandLine())
        return false;
    if (!InitOPCServer(&TestServerAction, 0)) {
        svcMessageBox("Cannot setup server interface!", nullptr);
        return false;
    }
    ShowLogMessage(LOG_INFO, "Test server ready\r\n");
    return true;
}

} // namespace testsupport
