#include "kestrun/shell/forms/FormConfigDialogs.h"

#include <memory>

#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/shell/app/MessageBox.h"

// The framework's dialogs, as the device map and the device make them. They
// are defined here, with the dialog classes, so the model needs none of them.

std::unique_ptr<CdsDeviceObjectDlg> CdsDeviceMap::NewDeviceObjectDlg() const
{
    return std::make_unique<CdsDeviceObjectDlg>();
}

std::unique_ptr<CdsTimeoutDlg> CdsDeviceObject::NewTimeoutDlg() const { return std::make_unique<CdsTimeoutDlg>(); }

std::unique_ptr<CdsMemoryArrayDlg> CdsDeviceObject::NewMemoryArrayDlg() const
{
    return std::make_unique<CdsMemoryArrayDlg>();
}

std::unique_ptr<CdsCommandDiagDlg> CdsDeviceObject::NewCommandDiagDlg() const
{
    return std::make_unique<CdsCommandDiagDlg>();
}

std::unique_ptr<CdsRedundancyDlg> CdsDeviceObject::NewRedundancyDlg() const
{
    return std::make_unique<CdsRedundancyDlg>();
}

namespace shell {

bool FormConfigDialogs::EditDevice(CdsDeviceObjectDlg& dialog, bool) { return dialog.DoModal() == IDOK; }

bool FormConfigDialogs::EditBlock(CdsMemoryArrayDlg& dialog, bool) { return dialog.DoModal() == IDOK; }

bool FormConfigDialogs::EditTimeouts(CdsTimeoutDlg& dialog) { return dialog.DoModal() == IDOK; }

bool FormConfigDialogs::EditCommandDiag(CdsCommandDiagDlg& dialog) { return dialog.DoModal() == IDOK; }

bool FormConfigDialogs::EditRedundancy(CdsRedundancyDlg& dialog) { return dialog.DoModal() == IDOK; }

} // namespace shell
