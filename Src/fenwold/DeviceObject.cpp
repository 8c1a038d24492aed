#include "fenwold/DeviceObject.h"

#include <cstring>
#include <memory>

#include "fenwold/BlockRange.h"
#include "fenwold/FenwoldDialogs.h"
#include "fenwold/McCommandSource.h"
#include "fenwold/MemoryArray.h"
#include "fenwold/McResponse.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/comm/sockets/TcpipConfig.h"
#include "kestrun/model/MemoryObject.h"
#include "platform/afx/Archive.h"

IMPLEMENT_SERIAL(CDeviceObject, CdsDeviceObject, 1)

namespace {

constexpr WORD kMonitorDevice = 0x93;  // F0: present on every PLC, harmless to read

}  // namespace

CDeviceObject::CDeviceObject()
{
    for (int line = 0; line < kLines; ++line)
        SetCommConfig(line, std::make_unique<CdsTcpipConfig>());
    for (auto& length : m_nMonitorLength)
        length = 0;
}

CDeviceObject::~CDeviceObject() = default;

void CDeviceObject::Serialize(CArchive& ar) { CdsDeviceObject::Serialize(ar); }

CdsDeviceObject& CDeviceObject::operator=(const CdsDeviceObject& src)
{
    CdsDeviceObject::operator=(src);
    if (const auto* station = dynamic_cast<const McStation*>(&src))
        CopyFrameSettings(*station);
    return *this;
}

CDeviceObject& CDeviceObject::operator=(const CDeviceObject& src)
{
    operator=(static_cast<const CdsDeviceObject&>(src));
    return *this;
}

BOOL CDeviceObject::OnInitDeviceObject()
{
    if (!ConfigureFrame(m_nDeviceType, m_strProtocol))
        return FALSE;
    m_bAsciiMode = IsAscii() ? TRUE : FALSE;
    // Requests made for an earlier configuration may be of another frame kind.
    for (int line = 0; line < kLines; ++line)
        m_nMonitorLength[static_cast<std::size_t>(line)] = 0;
    for (CdsMemoryArray* block : GetMemoryArrayList().GetBlocks())
        for (int line = 0; line < CdsMemoryArray::kLines; ++line)
            block->SetStatusQueryStringInitialized(line, FALSE);
    return TRUE;
}

std::unique_ptr<CdsMemoryArrayDlg> CDeviceObject::NewMemoryArrayDlg() const
{
    return std::make_unique<CMemoryArrayDlg>(GetFrameKind());
}

std::unique_ptr<CdsTimeoutDlg> CDeviceObject::NewTimeoutDlg() const { return std::make_unique<CTimeoutDlg>(); }

CdsMemoryArray* CDeviceObject::NewMemoryArray() { return new CMemoryArray; }

CdsMemoryArray* CDeviceObject::NewMemoryArray(const CdsMemoryArray& src)
{
    // A text that only begins like a device ("Words" is not W) is no address.
    if (!MelsecAddressProblem(src.GetAddr()).empty())
        return nullptr;
    const MelsecDevice* device = MelsecFindDevice(src.GetAddr());
    if (!device || GetMemoryArrayByAddr(src.GetAddr(), src.GetTypeData()))
        return nullptr;
    auto* block = new CMemoryArray;
    static_cast<CdsMemoryArray&>(*block) = src;
    block->SetTypeDataWord(static_cast<SHORT>(device->code));
    if (!device->writable)
        block->SetWriteAllowed(FALSE);
    return block;
}

BOOL CDeviceObject::InitMemoryArray(CdsMemoryArray* pArray)
{
    return CdsDeviceObject::InitMemoryArray(pArray) ? TRUE : FALSE;
}

std::string CDeviceObject::GetWriteRefusal(const CdsMemoryObject& point) const
{
    const auto* source = dynamic_cast<const McCommandSource*>(&point);
    return source ? source->McWriteRefusal() : std::string();
}

int CDeviceObject::UpdateStatus(const BYTE*, int, const tagTHREADINFO*) { return 1; }

char* CDeviceObject::GetMonitorQueryString(const tagTHREADINFO* pLine, bool bRebuild)
{
    char* buffer = GetMonitorQueryBuffer(pLine);
    if (!bRebuild)
        return buffer;
    auto& length = m_nMonitorLength[static_cast<std::size_t>(GetLineIndex(pLine))];
    length = 0;
    std::memset(buffer, 0, kMonitorQuerySize);
    McBuffer frame;
    if (!McBuildBatchRead(frame, GetTarget(), kMonitorDevice, 0, 1) || frame.size() >= kMonitorQuerySize)
        return buffer;
    std::memcpy(buffer, frame.data(), frame.size());
    length = static_cast<int>(frame.size());
    return buffer;
}

int CDeviceObject::GetMonitorQueryStringLen(const tagTHREADINFO* pLine, const char*)
{
    return m_nMonitorLength[static_cast<std::size_t>(GetLineIndex(pLine))].load();
}

int CDeviceObject::GetMonitorResponseStringLen(const tagTHREADINFO* pLine) const
{
    if (GetFrameKind() != McFrameKind::E1)
        return CdsDeviceObject::GetMonitorResponseStringLen(pLine);
    return static_cast<int>(McResponseHeaderLength(McFrameKind::E1, IsAscii()) + McExpectedData1E(IsAscii(), 1));
}
