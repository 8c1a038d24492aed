#pragma once
// Result codes of COM and OPC DA, with their published values.
#include <cstdint>
#include <string_view>

using HRESULT = std::int32_t;
using SCODE = HRESULT;

constexpr bool SUCCEEDED(HRESULT hr) noexcept { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) noexcept { return hr < 0; }

// Builds an HRESULT from severity, facility and code, as MAKE_HRESULT does.
constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) noexcept
{
    return static_cast<HRESULT>((static_cast<std::uint32_t>(severity) << 31) |
                                ((static_cast<std::uint32_t>(facility) & 0x7FFFu) << 16) |
                                (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

inline constexpr unsigned FACILITY_WIN32 = 7;

// A Win32 error number as an HRESULT (0 stays S_OK).
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) noexcept
{
    return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                            : MAKE_HRESULT(1, FACILITY_WIN32, error & 0xFFFFu);
}

namespace com {
constexpr HRESULT hr(std::uint32_t value) noexcept { return static_cast<HRESULT>(value); }
}

// General COM codes.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_UNEXPECTED = com::hr(0x8000FFFF);
inline constexpr HRESULT E_NOTIMPL = com::hr(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = com::hr(0x80004002);
inline constexpr HRESULT E_POINTER = com::hr(0x80004003);
inline constexpr HRESULT E_ABORT = com::hr(0x80004004);
inline constexpr HRESULT E_FAIL = com::hr(0x80004005);
inline constexpr HRESULT E_PENDING = com::hr(0x8000000A);
inline constexpr HRESULT E_ACCESSDENIED = com::hr(0x80070005);
inline constexpr HRESULT E_HANDLE = com::hr(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = com::hr(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = com::hr(0x80070057);

// Class factories and class registration.
inline constexpr HRESULT CLASS_E_NOAGGREGATION = com::hr(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = com::hr(0x80040111);
inline constexpr HRESULT CLASS_E_NOTLICENSED = com::hr(0x80040112);
inline constexpr HRESULT REGDB_E_READREGDB = com::hr(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = com::hr(0x80040151);
inline constexpr HRESULT REGDB_E_KEYMISSING = com::hr(0x80040152);
inline constexpr HRESULT REGDB_E_INVALIDVALUE = com::hr(0x80040153);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = com::hr(0x80040154);
inline constexpr HRESULT REGDB_E_IIDNOTREG = com::hr(0x80040155);

// COM run time and activation.
inline constexpr HRESULT CO_E_NOTINITIALIZED = com::hr(0x800401F0);
inline constexpr HRESULT CO_E_ALREADYINITIALIZED = com::hr(0x800401F1);
inline constexpr HRESULT CO_E_CLASSSTRING = com::hr(0x800401F3);
inline constexpr HRESULT CO_E_APPNOTFOUND = com::hr(0x800401F5);
inline constexpr HRESULT CO_E_DLLNOTFOUND = com::hr(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = com::hr(0x800401F9);
inline constexpr HRESULT CO_E_OBJNOTCONNECTED = com::hr(0x800401FD);
inline constexpr HRESULT CO_E_APPDIDNTREG = com::hr(0x800401FE);
inline constexpr HRESULT CO_E_CLASS_CREATE_FAILED = com::hr(0x80080001);
inline constexpr HRESULT CO_E_SCM_ERROR = com::hr(0x80080002);
inline constexpr HRESULT CO_E_BAD_PATH = com::hr(0x80080004);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = com::hr(0x80080005);
inline constexpr HRESULT CO_E_SERVER_STOPPING = com::hr(0x80080008);

// Remote calls.
inline constexpr HRESULT RPC_E_CALL_REJECTED = com::hr(0x80010001);
inline constexpr HRESULT RPC_E_CALL_CANCELED = com::hr(0x80010002);
inline constexpr HRESULT RPC_E_SERVER_DIED = com::hr(0x80010007);
inline constexpr HRESULT RPC_E_SERVER_DIED_DNE = com::hr(0x80010012);
inline constexpr HRESULT RPC_E_SERVERFAULT = com::hr(0x80010105);
inline constexpr HRESULT RPC_E_CHANGED_MODE = com::hr(0x80010106);
inline constexpr HRESULT RPC_E_DISCONNECTED = com::hr(0x80010108);
inline constexpr HRESULT RPC_E_SERVERCALL_RETRYLATER = com::hr(0x8001010A);
inline constexpr HRESULT RPC_E_WRONG_THREAD = com::hr(0x8001010E);
inline constexpr HRESULT RPC_E_TIMEOUT = com::hr(0x8001011F);
// Win32 errors 1722 and 1726 as HRESULTs.
inline constexpr HRESULT RPC_S_SERVER_UNAVAILABLE = com::hr(0x800706BA);
inline constexpr HRESULT RPC_S_CALL_FAILED = com::hr(0x800706BE);

// Connection points.
inline constexpr HRESULT CONNECT_E_NOCONNECTION = com::hr(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = com::hr(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = com::hr(0x80040202);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = com::hr(0x80040203);

// Automation and VARIANT conversion.
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = com::hr(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = com::hr(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = com::hr(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = com::hr(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = com::hr(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = com::hr(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = com::hr(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = com::hr(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = com::hr(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = com::hr(0x8002000B);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = com::hr(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = com::hr(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = com::hr(0x8002000F);
inline constexpr HRESULT DISP_E_DIVBYZERO = com::hr(0x80020012);

// OPC DA 1.0a / 2.0.
inline constexpr HRESULT OPC_E_INVALIDHANDLE = com::hr(0xC0040001);
inline constexpr HRESULT OPC_E_BADTYPE = com::hr(0xC0040004);
inline constexpr HRESULT OPC_E_PUBLIC = com::hr(0xC0040005);
inline constexpr HRESULT OPC_E_BADRIGHTS = com::hr(0xC0040006);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = com::hr(0xC0040007);
inline constexpr HRESULT OPC_E_INVALIDITEMID = com::hr(0xC0040008);
inline constexpr HRESULT OPC_E_INVALIDFILTER = com::hr(0xC0040009);
inline constexpr HRESULT OPC_E_UNKNOWNPATH = com::hr(0xC004000A);
inline constexpr HRESULT OPC_E_RANGE = com::hr(0xC004000B);
inline constexpr HRESULT OPC_E_DUPLICATENAME = com::hr(0xC004000C);
inline constexpr HRESULT OPC_S_UNSUPPORTEDRATE = com::hr(0x0004000D);
inline constexpr HRESULT OPC_S_CLAMP = com::hr(0x0004000E);
inline constexpr HRESULT OPC_S_INUSE = com::hr(0x0004000F);
inline constexpr HRESULT OPC_E_INVALIDCONFIGFILE = com::hr(0xC0040010);
inline constexpr HRESULT OPC_E_NOTFOUND = com::hr(0xC0040011);
inline constexpr HRESULT OPC_E_INVALID_PID = com::hr(0xC0040203);

namespace com {

// Text of an OPC DA result code (OPC_E_INVALIDHANDLE .. OPC_E_NOTFOUND, OPC_S_*,
// OPC_E_INVALID_PID); empty for any other code.
std::string_view opcResultText(HRESULT hr) noexcept;

// Text of a COM / Win32 code as the system message table gives it; empty when unknown.
std::string_view systemErrorText(HRESULT hr) noexcept;

// The OPC text first, then the system text; empty when neither knows the code.
std::string_view errorText(HRESULT hr) noexcept;

// The constant's name ("E_FAIL", "OPC_E_RANGE" ...); empty when unknown. For logs and tests.
std::string_view errorName(HRESULT hr) noexcept;

} // namespace com
