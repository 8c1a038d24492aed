#pragma once
// The configuration dialogs as forms: each is shown through the installed
// FormPresenter and read back on OK.
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/forms/DeviceSettingsDialogs.h"

namespace shell {

class FormConfigDialogs : public ConfigDialogs {
public:
    bool EditDevice(CdsDeviceObjectDlg& dialog, bool bNew) override;
    bool EditBlock(CdsMemoryArrayDlg& dialog, bool bNew) override;
    bool EditTimeouts(CdsTimeoutDlg& dialog) override;
    bool EditCommandDiag(CdsCommandDiagDlg& dialog) override;
    bool EditRedundancy(CdsRedundancyDlg& dialog) override;
};

} // namespace shell
