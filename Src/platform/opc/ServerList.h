#pragma once
// This machine's OPC servers as the registry lists them: ProgID -> CLSID
// ("<ProgID>\CLSID"), and the server list that reads the classes and their
// "Implemented Categories" from HKEY_CLASSES_ROOT. A client asks it for this machine;
// a server hands it to a remote node's client.
#include "platform/opc/Interfaces.h"

#include <string_view>

namespace registry { class Registry; }

namespace opc {

HRESULT CLSIDFromProgID(std::u16string_view progId, CLSID* clsid, registry::Registry* reg = nullptr);

// The OPC server list of this machine (CLSID_OPCServerList).
ComPtr<IOPCServerList> createServerList(registry::Registry* reg = nullptr);

} // namespace opc
