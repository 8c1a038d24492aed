#pragma once
// OPC DA 1.0a / 2.0 data types, constants and interface ids.
#include "platform/com/Guid.h"
#include "platform/com/Time.h"
#include "platform/com/Variant.h"
#include "platform/win/WinTypes.h"

#include <string>
#include <vector>

using OPCHANDLE = DWORD;
using LCID = DWORD;
using CLIPFORMAT = WORD;

enum OPCDATASOURCE : DWORD { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 };
enum OPCBROWSETYPE : DWORD { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 };
enum OPCNAMESPACETYPE : DWORD { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 };
enum OPCBROWSEDIRECTION : DWORD { OPC_BROWSE_UP = 1, OPC_BROWSE_DOWN = 2, OPC_BROWSE_TO = 3 };
enum OPCEUTYPE : DWORD { OPC_NOENUM = 0, OPC_ANALOG = 1, OPC_ENUMERATED = 2 };
enum OPCSERVERSTATE : DWORD {
    OPC_STATUS_RUNNING = 1,
    OPC_STATUS_FAILED = 2,
    OPC_STATUS_NOCONFIG = 3,
    OPC_STATUS_SUSPENDED = 4,
    OPC_STATUS_TEST = 5,
};
enum OPCENUMSCOPE : DWORD {
    OPC_ENUM_PRIVATE_CONNECTIONS = 1,
    OPC_ENUM_PUBLIC_CONNECTIONS = 2,
    OPC_ENUM_ALL_CONNECTIONS = 3,
    OPC_ENUM_PRIVATE = 4,
    OPC_ENUM_PUBLIC = 5,
    OPC_ENUM_ALL = 6,
};

// Locales: the system's and the user's default, the neutral one, and US English.
inline constexpr LCID LOCALE_NEUTRAL = 0x0000;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_EN_US = 0x0409;

inline constexpr DWORD OPC_READABLE = 1;
inline constexpr DWORD OPC_WRITEABLE = 2;

inline constexpr WORD OPC_QUALITY_BAD = 0x00;
inline constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
inline constexpr WORD OPC_QUALITY_GOOD = 0xC0;
inline constexpr WORD OPC_QUALITY_CONFIG_ERROR = 0x04;
inline constexpr WORD OPC_QUALITY_NOT_CONNECTED = 0x08;
inline constexpr WORD OPC_QUALITY_COMM_FAILURE = 0x18;
inline constexpr WORD OPC_QUALITY_OUT_OF_SERVICE = 0x1C;

// Data advise and connection results of OLE.
inline constexpr HRESULT OLE_E_NOCONNECTION = com::hr(0x80040004);
inline constexpr HRESULT DV_E_FORMATETC = com::hr(0x80040064);
inline constexpr HRESULT DV_E_TYMED = com::hr(0x80040069);
// A remote call whose data could not be read.
inline constexpr HRESULT RPC_E_INVALID_DATA = com::hr(0x8001000F);

// Data advise (IDataObject) formats and media.
inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD TYMED_HGLOBAL = 1;
inline constexpr DWORD ADVF_PRIMEFIRST = 2;

struct OPCITEMDEF {
    std::u16string szAccessPath;
    std::u16string szItemID;
    BOOL bActive = TRUE;
    OPCHANDLE hClient = 0;
    std::vector<BYTE> blob;
    VARTYPE vtRequestedDataType = VT_EMPTY;
};

struct OPCITEMRESULT {
    OPCHANDLE hServer = 0;
    VARTYPE vtCanonicalDataType = VT_EMPTY;
    DWORD dwAccessRights = 0;
    std::vector<BYTE> blob;
};

struct OPCITEMSTATE {
    OPCHANDLE hClient = 0;
    FILETIME ftTimeStamp{};
    WORD wQuality = OPC_QUALITY_BAD;
    VARIANT vDataValue;
};

struct OPCSERVERSTATUS {
    FILETIME ftStartTime{};
    FILETIME ftCurrentTime{};
    FILETIME ftLastUpdateTime{};
    OPCSERVERSTATE dwServerState = OPC_STATUS_RUNNING;
    DWORD dwGroupCount = 0;
    DWORD dwBandWidth = 0;
    WORD wMajorVersion = 0;
    WORD wMinorVersion = 0;
    WORD wBuildNumber = 0;
    std::u16string szVendorInfo;
};

struct OPCITEMATTRIBUTES {
    std::u16string szAccessPath;
    std::u16string szItemID;
    BOOL bActive = FALSE;
    OPCHANDLE hClient = 0;
    OPCHANDLE hServer = 0;
    DWORD dwAccessRights = 0;
    std::vector<BYTE> blob;
    VARTYPE vtRequestedDataType = VT_EMPTY;
    VARTYPE vtCanonicalDataType = VT_EMPTY;
    OPCEUTYPE dwEUType = OPC_NOENUM;
    VARIANT vEUInfo;
};

// What a data advise asks for; only cfFormat and tymed matter here.
struct FORMATETC {
    CLIPFORMAT cfFormat = 0;
    DWORD dwAspect = DVASPECT_CONTENT;
    LONG lindex = -1;
    DWORD tymed = TYMED_HGLOBAL;
};

// A global memory block handed to IAdviseSink::OnDataChange; the bytes are the
// caller's for the duration of the call.
struct STGMEDIUM {
    DWORD tymed = TYMED_HGLOBAL;
    std::vector<BYTE> hGlobal;
};

// Clipboard format numbers of the three OPC DA 1.0 streams. They are fixed here, so
// every process agrees on them without a shared table.
inline constexpr CLIPFORMAT CF_OPCSTMFORMATDATA = 0xC101;
inline constexpr CLIPFORMAT CF_OPCSTMFORMATDATATIME = 0xC102;
inline constexpr CLIPFORMAT CF_OPCSTMFORMATWRITECOMPLETE = 0xC103;
// "OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME", "OPCSTMFORMATWRITECOMPLETE" give their
// numbers; any other name gives 0 (no other formats are known).
CLIPFORMAT RegisterClipboardFormat(std::string_view name) noexcept;

// Interface ids.
extern const IID IID_IUnknown;
extern const IID IID_IOPCServer;
extern const IID IID_IOPCCommon;
extern const IID IID_IOPCBrowseServerAddressSpace;
extern const IID IID_IOPCGroupStateMgt;
extern const IID IID_IOPCSyncIO;
extern const IID IID_IOPCAsyncIO;
extern const IID IID_IOPCItemMgt;
extern const IID IID_IEnumOPCItemAttributes;
extern const IID IID_IOPCDataCallback;
extern const IID IID_IOPCAsyncIO2;
extern const IID IID_IOPCItemProperties;
extern const IID IID_IOPCShutdown;
extern const IID IID_IOPCServerList;
extern const IID IID_IEnumString;
extern const IID IID_IEnumUnknown;
extern const IID IID_IEnumGUID;
extern const IID IID_IDataObject;
extern const IID IID_IAdviseSink;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;
extern const IID IID_IEnumConnectionPoints;
extern const IID IID_IEnumConnections;
// Classes and categories.
extern const CLSID CLSID_OPCServerList;
extern const CATID CATID_OPCDAServer10;
extern const CATID CATID_OPCDAServer20;
