#pragma once
// The configuration dialogs as forms: each edit makes the form of its dialog
// through the installed factory, fills it, shows it through the installed
// FormPresenter and reads it back on OK. A server program installs a factory
// of its own to substitute its subclasses.
#include <memory>

#include "kestrun/shell/ConfigDialogs.h"
#include "kestrun/shell/DeviceDialogs.h"
#include "kestrun/shell/DeviceSettingsDialogs.h"

namespace shell {

class ConfigFormFactory {
public:
    virtual ~ConfigFormFactory() = default;
    virtual std::unique_ptr<CdsDeviceObjectDlg> NewDeviceObjectDlg() const;
    virtual std::unique_ptr<CdsMemoryArrayDlg> NewMemoryArrayDlg() const;
    virtual std::unique_ptr<CdsTimeoutDlg> NewTimeoutDlg() const;
    virtual std::unique_ptr<CdsCommandDiagDlg> NewCommandDiagDlg() const;
    virtual std::unique_ptr<CdsRedundancyDlg> NewRedundancyDlg() const;
};

// The factory in use (null: the framework's own forms). Returns the previous
// one; the caller keeps the new one alive.
ConfigFormFactory* InstallConfigFormFactory(ConfigFormFactory* factory);
const ConfigFormFactory& CurrentConfigFormFactory();

class FormConfigDialogs : public ConfigDialogs {
public:
    bool EditDevice(DeviceDialogFields& fields, bool bNew) override;
    bool EditBlock(BlockDialogFields& fields, bool bNew) override;
    bool EditTimeouts(TimeoutDialogFields& fields) override;
    bool EditCommandDiag(CommandDiagDialogFields& fields) override;
    bool EditRedundancy(RedundancyDialogFields& fields) override;
};

} // namespace shell
