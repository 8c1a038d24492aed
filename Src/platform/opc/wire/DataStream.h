#pragma once
// The OPC DA 1.0 data-advise streams in the published byte layout, little-endian:
//   data:  header (20) = total size, item count, client group handle, transaction id,
//          status; then per item client handle, value offset, quality (WORD), reserved
//          (WORD) (12 bytes) plus the FILETIME time stamp in the time format (20 bytes);
//          then the values, each a 16-byte VARIANT cell followed, for VT_BSTR, by a DWORD
//          length without the terminator (bytes in the data format, UTF-16 characters in
//          the time format) and the UTF-16 text with its terminating zero; for arrays by
//          a 24-byte SAFEARRAY descriptor (dims WORD 1, features WORD, element size DWORD,
//          locks DWORD, data DWORD 0, element count DWORD, lower bound LONG) and the
//          elements back to back (strings each as above).
//   write complete: header (16) = item count, client group handle, transaction id,
//          status; then per item client handle and result (8 bytes).
#include "platform/opc/OpcTypes.h"

#include <span>
#include <vector>

namespace opc {

struct StreamItem {
    OPCHANDLE hClient = 0;
    WORD quality = 0;
    FILETIME timestamp{};
    VARIANT value;
};

struct StreamWriteResult {
    OPCHANDLE hClient = 0;
    HRESULT error = S_OK;
};

// Builds a data stream; withTime selects the OPCSTMFORMATDATATIME layout.
std::vector<BYTE> buildDataStream(OPCHANDLE hClientGroup, DWORD transactionId, HRESULT status,
                                  std::span<const StreamItem> items, bool withTime);
std::vector<BYTE> buildWriteCompleteStream(OPCHANDLE hClientGroup, DWORD transactionId, HRESULT status,
                                           std::span<const StreamWriteResult> items);

struct DataStreamContent {
    OPCHANDLE hClientGroup = 0;
    DWORD transactionId = 0;
    HRESULT status = S_OK;
    std::vector<StreamItem> items;
};
struct WriteCompleteContent {
    OPCHANDLE hClientGroup = 0;
    DWORD transactionId = 0;
    HRESULT status = S_OK;
    std::vector<StreamWriteResult> items;
};
// Readers that check every offset and count against the block: E_INVALIDARG for a
// block that is cut short or points outside itself.
HRESULT parseDataStream(std::span<const BYTE> block, bool withTime, DataStreamContent& out);
HRESULT parseWriteCompleteStream(std::span<const BYTE> block, WriteCompleteContent& out);

} // namespace opc
