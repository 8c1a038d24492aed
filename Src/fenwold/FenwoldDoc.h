#pragma once
// The MELSEC server's document: the framework's server document holding a map
// of MELSEC devices; its temporary device, block and CSV file are the
// program's own. The file is the framework's archive; nothing is added to it.
#include "kestrun/shell/server/ServerDoc.h"

class CFenwoldDoc : public CdsServerDoc {
public:
    CdsDeviceMap* NewDevices() override;
    void CreateTmpObjects() override;
    // The document's commands: Import and Export. True when handled.
    bool OnCommand(UINT nId);
};
