#include "kestrun/shell/FormConfigDialogs.h"

#include <atomic>

#include "kestrun/shell/MessageBox.h"

namespace shell {

namespace {

std::atomic<ConfigFormFactory*> g_factory{nullptr};

// Shows the form filled with the fields; on OK the fields take its values.
template <typename Form, typename Fields>
bool Edit(std::unique_ptr<Form> pForm, Fields& fields)
{
    if (!pForm)
        return false;
    pForm->m_values = fields;
    if (pForm->DoModal() != IDOK)
        return false;
    fields = pForm->m_values;
    return true;
}

} // namespace

std::unique_ptr<CdsDeviceObjectDlg> ConfigFormFactory::NewDeviceObjectDlg() const
{
    return std::make_unique<CdsDeviceObjectDlg>();
}

std::unique_ptr<CdsMemoryArrayDlg> ConfigFormFactory::NewMemoryArrayDlg() const
{
    return std::make_unique<CdsMemoryArrayDlg>();
}

std::unique_ptr<CdsTimeoutDlg> ConfigFormFactory::NewTimeoutDlg() const { return std::make_unique<CdsTimeoutDlg>(); }

std::unique_ptr<CdsCommandDiagDlg> ConfigFormFactory::NewCommandDiagDlg() const
{
    return std::make_unique<CdsCommandDiagDlg>();
}

std::unique_ptr<CdsRedundancyDlg> ConfigFormFactory::NewRedundancyDlg() const
{
    return std::make_unique<CdsRedundancyDlg>();
}

ConfigFormFactory* InstallConfigFormFactory(ConfigFormFactory* factory) { return g_factory.exchange(factory); }

const ConfigFormFactory& CurrentConfigFormFactory()
{
    static const ConfigFormFactory framework; // stateless
    const ConfigFormFactory* factory = g_factory.load();
    return factory ? *factory : framework;
}

bool FormConfigDialogs::EditDevice(DeviceDialogFields& fields, bool)
{
    return Edit(CurrentConfigFormFactory().NewDeviceObjectDlg(), fields);
}

bool FormConfigDialogs::EditBlock(BlockDialogFields& fields, bool)
{
    return Edit(CurrentConfigFormFactory().NewMemoryArrayDlg(), fields);
}

bool FormConfigDialogs::EditTimeouts(TimeoutDialogFields& fields)
{
    return Edit(CurrentConfigFormFactory().NewTimeoutDlg(), fields);
}

bool FormConfigDialogs::EditCommandDiag(CommandDiagDialogFields& fields)
{
    return Edit(CurrentConfigFormFactory().NewCommandDiagDlg(), fields);
}

bool FormConfigDialogs::EditRedundancy(RedundancyDialogFields& fields)
{
    return Edit(CurrentConfigFormFactory().NewRedundancyDlg(), fields);
}

} // namespace shell
