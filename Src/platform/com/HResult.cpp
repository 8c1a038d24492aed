#include "platform/com/HResult.h"

#include <algorithm>
#include <array>

namespace com {
namespace {

struct CodeText {
    HRESULT code;
    std::string_view name;
    std::string_view text;
};

// The texts of the OPC DA standard for its own result codes.
constexpr std::array kOpcCodes{
    CodeText{OPC_E_INVALIDHANDLE, "OPC_E_INVALIDHANDLE", "The value of the handle is invalid."},
    CodeText{OPC_E_BADTYPE, "OPC_E_BADTYPE",
             "The server cannot convert the data between the requested data type and the "
             "canonical data type."},
    CodeText{OPC_E_PUBLIC, "OPC_E_PUBLIC", "The requested operation cannot be done on a public group."},
    CodeText{OPC_E_BADRIGHTS, "OPC_E_BADRIGHTS", "The Items AccessRights do not allow the operation."},
    CodeText{OPC_E_UNKNOWNITEMID, "OPC_E_UNKNOWNITEMID",
             "The item is no longer available in the server address space"},
    CodeText{OPC_E_INVALIDITEMID, "OPC_E_INVALIDITEMID",
             "The item definition doesn't conform to the server's syntax."},
    CodeText{OPC_E_INVALIDFILTER, "OPC_E_INVALIDFILTER", "The filter string was not valid"},
    CodeText{OPC_E_UNKNOWNPATH, "OPC_E_UNKNOWNPATH", "The item's access path is not known to the server."},
    CodeText{OPC_E_RANGE, "OPC_E_RANGE", "The value was out of range."},
    CodeText{OPC_E_DUPLICATENAME, "OPC_E_DUPLICATENAME", "Duplicate name not allowed."},
    CodeText{OPC_S_UNSUPPORTEDRATE, "OPC_S_UNSUPPORTEDRATE",
             "The server does not support the requested data rate but will use the closest "
             "available rate."},
    CodeText{OPC_S_CLAMP, "OPC_S_CLAMP", "A value passed to WRITE was accepted but the output was clamped."},
    CodeText{OPC_S_INUSE, "OPC_S_INUSE",
             "The operation cannot be completed because the object still has references that exist."},
    CodeText{OPC_E_INVALIDCONFIGFILE, "OPC_E_INVALIDCONFIGFILE",
             "The server's configuration file is an invalid format."},
    CodeText{OPC_E_NOTFOUND, "OPC_E_NOTFOUND", "The server could not locate the requested object."},
    CodeText{OPC_E_INVALID_PID, "OPC_E_INVALID_PID", "The specified property ID is not valid for the item."},
};

constexpr std::array kSystemCodes{
    CodeText{S_OK, "S_OK", "The operation completed successfully."},
    CodeText{S_FALSE, "S_FALSE", "The operation completed with a false result."},
    CodeText{E_UNEXPECTED, "E_UNEXPECTED", "Catastrophic failure"},
    CodeText{E_NOTIMPL, "E_NOTIMPL", "Not implemented"},
    CodeText{E_NOINTERFACE, "E_NOINTERFACE", "No such interface supported"},
    CodeText{E_POINTER, "E_POINTER", "Invalid pointer"},
    CodeText{E_ABORT, "E_ABORT", "Operation aborted"},
    CodeText{E_FAIL, "E_FAIL", "Unspecified error"},
    CodeText{E_PENDING, "E_PENDING", "The data necessary to complete this operation is not yet available."},
    CodeText{E_ACCESSDENIED, "E_ACCESSDENIED", "Access is denied."},
    CodeText{E_HANDLE, "E_HANDLE", "The handle is invalid."},
    CodeText{E_OUTOFMEMORY, "E_OUTOFMEMORY",
             "Not enough memory resources are available to complete this operation."},
    CodeText{E_INVALIDARG, "E_INVALIDARG", "The parameter is incorrect."},
    CodeText{CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION",
             "Class does not support aggregation (or class object is remote)"},
    CodeText{CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE", "ClassFactory cannot supply requested class"},
    CodeText{CLASS_E_NOTLICENSED, "CLASS_E_NOTLICENSED", "Class is not licensed for use"},
    CodeText{REGDB_E_READREGDB, "REGDB_E_READREGDB", "Could not read key from registry"},
    CodeText{REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB", "Could not write key to registry"},
    CodeText{REGDB_E_KEYMISSING, "REGDB_E_KEYMISSING", "Could not find the key in the registry"},
    CodeText{REGDB_E_INVALIDVALUE, "REGDB_E_INVALIDVALUE", "Invalid value for registry"},
    CodeText{REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "Class not registered"},
    CodeText{REGDB_E_IIDNOTREG, "REGDB_E_IIDNOTREG", "Interface not registered"},
    CodeText{CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "CoInitialize has not been called."},
    CodeText{CO_E_ALREADYINITIALIZED, "CO_E_ALREADYINITIALIZED", "CoInitialize has already been called."},
    CodeText{CO_E_CLASSSTRING, "CO_E_CLASSSTRING", "Invalid class string"},
    CodeText{CO_E_APPNOTFOUND, "CO_E_APPNOTFOUND", "Application not found"},
    CodeText{CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "DLL for class not found"},
    CodeText{CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "Error in the DLL"},
    CodeText{CO_E_OBJNOTCONNECTED, "CO_E_OBJNOTCONNECTED", "Object is not connected to server"},
    CodeText{CO_E_APPDIDNTREG, "CO_E_APPDIDNTREG",
             "Application was launched but it didn't register a class factory"},
    CodeText{CO_E_CLASS_CREATE_FAILED, "CO_E_CLASS_CREATE_FAILED", "Attempt to create a class object failed"},
    CodeText{CO_E_SCM_ERROR, "CO_E_SCM_ERROR", "OLE service could not bind object"},
    CodeText{CO_E_BAD_PATH, "CO_E_BAD_PATH", "Bad path to object"},
    CodeText{CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE", "Server execution failed"},
    CodeText{CO_E_SERVER_STOPPING, "CO_E_SERVER_STOPPING", "Object server is stopping when OLE service contacts it"},
    CodeText{RPC_E_CALL_REJECTED, "RPC_E_CALL_REJECTED", "Call was rejected by callee."},
    CodeText{RPC_E_SERVER_DIED, "RPC_E_SERVER_DIED",
             "The server is not available and disappeared; all connections are invalid. The call may "
             "have executed."},
    CodeText{RPC_E_CALL_CANCELED, "RPC_E_CALL_CANCELED", "Call was canceled by the message filter."},
    CodeText{RPC_E_SERVER_DIED_DNE, "RPC_E_SERVER_DIED_DNE",
             "The server is not available and disappeared; all connections are invalid. The call did "
             "not execute."},
    CodeText{RPC_E_SERVERFAULT, "RPC_E_SERVERFAULT", "The server threw an exception."},
    CodeText{RPC_E_CHANGED_MODE, "RPC_E_CHANGED_MODE", "Cannot change thread mode after it is set."},
    CodeText{RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED", "The object invoked has disconnected from its clients."},
    CodeText{RPC_E_SERVERCALL_RETRYLATER, "RPC_E_SERVERCALL_RETRYLATER",
             "The message filter indicated that the application is busy."},
    CodeText{RPC_E_WRONG_THREAD, "RPC_E_WRONG_THREAD",
             "The application called an interface that was marshalled for a different thread."},
    CodeText{RPC_E_TIMEOUT, "RPC_E_TIMEOUT", "This operation returned because the timeout period expired."},
    CodeText{RPC_S_SERVER_UNAVAILABLE, "RPC_S_SERVER_UNAVAILABLE", "The RPC server is unavailable."},
    CodeText{RPC_S_CALL_FAILED, "RPC_S_CALL_FAILED", "The remote procedure call failed."},
    CodeText{CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION", "There is no connection for this connection ID"},
    CodeText{CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT",
             "This implementation's limit for advisory connections has been reached"},
    CodeText{CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT", "Connection attempt failed"},
    CodeText{CONNECT_E_OVERRIDDEN, "CONNECT_E_OVERRIDDEN", "Must use a derived interface to connect"},
    CodeText{DISP_E_UNKNOWNINTERFACE, "DISP_E_UNKNOWNINTERFACE", "Unknown interface."},
    CodeText{DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND", "Member not found."},
    CodeText{DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND", "Parameter not found."},
    CodeText{DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH", "Type mismatch."},
    CodeText{DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME", "Unknown name."},
    CodeText{DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS", "No named arguments."},
    CodeText{DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE", "Bad variable type."},
    CodeText{DISP_E_EXCEPTION, "DISP_E_EXCEPTION", "Exception occurred."},
    CodeText{DISP_E_OVERFLOW, "DISP_E_OVERFLOW", "Out of present range."},
    CodeText{DISP_E_BADINDEX, "DISP_E_BADINDEX", "Invalid index."},
    CodeText{DISP_E_ARRAYISLOCKED, "DISP_E_ARRAYISLOCKED", "Memory is locked."},
    CodeText{DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT", "Invalid number of parameters."},
    CodeText{DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL", "Parameter not optional."},
    CodeText{DISP_E_DIVBYZERO, "DISP_E_DIVBYZERO", "Division by zero."},
};

template <std::size_t N>
const CodeText* find(const std::array<CodeText, N>& table, HRESULT hr) noexcept
{
    auto it = std::find_if(table.begin(), table.end(), [hr](const CodeText& c) { return c.code == hr; });
    return it == table.end() ? nullptr : &*it;
}

} // namespace

std::string_view opcResultText(HRESULT hr) noexcept
{
    const CodeText* c = find(kOpcCodes, hr);
    return c ? c->text : std::string_view{};
}

std::string_view systemErrorText(HRESULT hr) noexcept
{
    const CodeText* c = find(kSystemCodes, hr);
    return c ? c->text : std::string_view{};
}

std::string_view errorText(HRESULT hr) noexcept
{
    std::string_view text = opcResultText(hr);
    return text.empty() ? systemErrorText(hr) : text;
}

std::string_view errorName(HRESULT hr) noexcept
{
    if (const CodeText* c = find(kOpcCodes, hr))
        return c->name;
    if (const CodeText* c = find(kSystemCodes, hr))
        return c->name;
    return {};
}

} // namespace com
