#include "support/shell/TestServerApp.h"

#include <algorithm>

#include "kestrun/comm/config/EmulConfig.h"
#include "kestrun/model/MemoryObject.h"
#include "kestrun/shell/server/CsvFile.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "platform/afx/Archive.h"

namespace testsupport {

IMPLEMENT_SERIAL(TestServerBlock, CdsMemoryArray, 1)
IMPLEMENT_SERIAL(TestServerDevice, CdsDeviceObject, 1)
IMPLEMENT_SERIAL(TestServerDeviceMap, CdsDeviceMap, 1)

namespace {

constexpr WORD kEmulatedPort = 1;

// The program's DDE callback: the document's.
long TestServerAction(int nAction, _BRISANT_DATAACTION* pAction)
{
    return CdsServerDoc::BrisantSystemAction(nAction, pAction);
}

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

CdsDeviceMap* MakeTestServerMap(const std::string& strDevice)
{
    auto* pMap = new TestServerDeviceMap;
    auto* pDevice = new TestServerDevice;
    pDevice->m_strName = strDevice;
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

bool WriteTestServerFile(const std::string& strPath, const std::string& strDevice)
{
    TestServerDoc doc;
    CdsDeviceMap* pMap = MakeTestServerMap(strDevice);
    if (!pMap || !doc.InitDevices(pMap))
        return false;
    return doc.OnSaveDocument(strPath);
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

void TestServerDoc::CreateTmpObjects()
{
    if (!m_pTmpDevice)
        m_pTmpDevice = new TestServerDevice;
    if (!m_pTmpBlock)
        m_pTmpBlock = new TestServerBlock;
    if (!m_pTmpCsvFile)
        m_pTmpCsvFile = std::make_unique<CdsCsvFile>();
}

int TestServerHdlr::ReceiveResponseMessage(CdsMemoryArray*, BYTE* pBuffer, int nLength, int& nReceived, const char*,
                                           BOOL, tagTHREADINFO*)
{
    nReceived = nLength > 0 ? nLength : 0;
    std::fill(pBuffer, pBuffer + nReceived, BYTE{0});
    return nReceived > 0;
}

std::shared_ptr<CdsCommHdlr> TestServerFrame::NewCommHdlr(DWORD dwPortHandle)
{
    if (makeHandler)
        return makeHandler(dwPortHandle);
    if (CdsCommConfig::GetPortType(dwPortHandle) == COMM_PORT_EMUL)
        return std::make_shared<TestServerHdlr>();
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
    const shell::Document* pDoc = GetDocument();
    ShowLogVaMessage(LOG_INFO, "Test server ready: %s\r\n", pDoc ? pDoc->GetTitle().c_str() : "");
    return true;
}

} // namespace testsupport
