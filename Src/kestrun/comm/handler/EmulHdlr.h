#pragma once
// A handler without a port: its lines run the normal cycles, but nothing is
// sent and every port test succeeds. Values come from the server program's own
// device, block and point classes.
#include "kestrun/comm/handler/CommHdlr.h"

class CdsEmulHdlr : public CdsCommHdlr {
public:
    CdsEmulHdlr();

    BOOL OpenCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    // Nothing to close; no log line.
    BOOL CloseCommPort(CdsDeviceObject* pDevice, tagTHREADINFO* pLine) override;
    BOOL IsPortOpen(tagTHREADINFO* pLine) override;
};
