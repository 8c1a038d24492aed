#include "platform/opc/OpcTypes.h"

namespace {
constexpr GUID make(DWORD d1, WORD d2, WORD d3, std::array<BYTE, 8> d4) { return GUID{d1, d2, d3, d4}; }
constexpr std::array<BYTE, 8> kOle{0xC0, 0, 0, 0, 0, 0, 0, 0x46};
constexpr std::array<BYTE, 8> kOpc10{0x96, 0x75, 0x00, 0x20, 0xAF, 0xD8, 0xAD, 0xB3};
constexpr std::array<BYTE, 8> kOpc20{0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB};
constexpr std::array<BYTE, 8> kCp{0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07};
constexpr std::array<BYTE, 8> kList{0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00};
constexpr std::array<BYTE, 8> kCat{0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB};
} // namespace

const IID IID_IUnknown = make(0x00000000, 0, 0, kOle);
const IID IID_IOPCServer = make(0x39C13A4D, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCBrowseServerAddressSpace = make(0x39C13A4F, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCGroupStateMgt = make(0x39C13A50, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCSyncIO = make(0x39C13A52, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCAsyncIO = make(0x39C13A53, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCItemMgt = make(0x39C13A54, 0x011E, 0x11D0, kOpc10);
const IID IID_IEnumOPCItemAttributes = make(0x39C13A55, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCDataCallback = make(0x39C13A70, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCAsyncIO2 = make(0x39C13A71, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCItemProperties = make(0x39C13A72, 0x011E, 0x11D0, kOpc10);
const IID IID_IOPCShutdown = make(0xF31DFDE1, 0x07B6, 0x11D2, kOpc20);
const IID IID_IOPCCommon = make(0xF31DFDE2, 0x07B6, 0x11D2, kOpc20);
const IID IID_IOPCServerList = make(0x13486D50, 0x4821, 0x11D2, kList);
const IID IID_IEnumString = make(0x00000101, 0, 0, kOle);
const IID IID_IEnumUnknown = make(0x00000100, 0, 0, kOle);
const IID IID_IEnumGUID = make(0x0002E000, 0, 0, kOle);
const IID IID_IDataObject = make(0x0000010E, 0, 0, kOle);
const IID IID_IAdviseSink = make(0x0000010F, 0, 0, kOle);
const IID IID_IConnectionPointContainer = make(0xB196B284, 0xBAB4, 0x101A, kCp);
const IID IID_IConnectionPoint = make(0xB196B286, 0xBAB4, 0x101A, kCp);
const IID IID_IEnumConnectionPoints = make(0xB196B285, 0xBAB4, 0x101A, kCp);
const IID IID_IEnumConnections = make(0xB196B287, 0xBAB4, 0x101A, kCp);
const CLSID CLSID_OPCServerList = make(0x13486D51, 0x4821, 0x11D2, kList);
const CATID CATID_OPCDAServer10 = make(0x63D5F430, 0xCFE4, 0x11D1, kCat);
const CATID CATID_OPCDAServer20 = make(0x63D5F432, 0xCFE4, 0x11D1, kCat);

CLIPFORMAT RegisterClipboardFormat(std::string_view name) noexcept
{
    if (name == "OPCSTMFORMATDATA") return CF_OPCSTMFORMATDATA;
    if (name == "OPCSTMFORMATDATATIME") return CF_OPCSTMFORMATDATATIME;
    if (name == "OPCSTMFORMATWRITECOMPLETE") return CF_OPCSTMFORMATWRITECOMPLETE;
    return 0;
}
