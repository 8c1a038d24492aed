#include "kestrun/shell/forms/DeviceSettingsDialogs.h"

#include "kestrun/model/DeviceObject.h"
#include "kestrun/shell/app/MessageBox.h"

namespace {
constexpr const char* kMs = "milliseconds";
} // namespace

CdsTimeoutDlg::CdsTimeoutDlg(UINT nTemplateId) : DialogForm(nTemplateId, "Set Timout Values")
{
    AddEdit(IDC_READ_TIMEOUT, "ReadTimeout:", "Timeout", true, kMs);
    AddEdit(IDC_WRITE_TIMEOUT, "Write Timeout:", "Timeout", true, kMs);
    AddEdit(IDC_RETRIES, "Number of retries", "On Error", true);
    AddEdit(IDC_RETRY_DELAY, "Delay time on retries", "On Error", true, kMs);
    AddEdit(IDC_MAX_ERRORS, "Max Number of errors before reset", "On Error", true);
    AddEdit(IDC_RESET_DELAY, "Delay time on reset", "On Error", true, kMs);
    AddCheck(IDC_UPDATE_ALL, kUpdateAllText, {});
}

void CdsTimeoutDlg::ShowValues()
{
    SetText(IDC_RETRIES, std::to_string(m_values.nRetries));
    SetCheck(IDC_UPDATE_ALL, m_values.bUpdateAll != FALSE);
    SetText(IDC_RETRY_DELAY, std::to_string(m_values.dwRetryDelay));
    SetText(IDC_RESET_DELAY, std::to_string(m_values.dwResetDelay));
    SetText(IDC_READ_TIMEOUT, std::to_string(m_values.dwReadTimeout));
    SetText(IDC_WRITE_TIMEOUT, std::to_string(m_values.dwWriteTimeout));
    SetText(IDC_MAX_ERRORS, std::to_string(m_values.nMaxErrors));
}

bool CdsTimeoutDlg::TakeValues()
{
    // In the order the values are declared, so the first bad one is named.
    std::optional<LONG> retries = TakeInt(IDC_RETRIES);
    std::optional<DWORD> retryDelay = retries ? TakeUnsigned(IDC_RETRY_DELAY) : std::nullopt;
    std::optional<DWORD> resetDelay = retryDelay ? TakeUnsigned(IDC_RESET_DELAY) : std::nullopt;
    std::optional<DWORD> readTimeout = resetDelay ? TakeUnsigned(IDC_READ_TIMEOUT) : std::nullopt;
    std::optional<DWORD> writeTimeout = readTimeout ? TakeUnsigned(IDC_WRITE_TIMEOUT) : std::nullopt;
    std::optional<LONG> maxErrors = writeTimeout ? TakeInt(IDC_MAX_ERRORS) : std::nullopt;
    if (!maxErrors)
        return false;
    m_values.nRetries = *retries;
    m_values.bUpdateAll = GetCheck(IDC_UPDATE_ALL) ? TRUE : FALSE;
    m_values.dwRetryDelay = *retryDelay;
    m_values.dwResetDelay = *resetDelay;
    m_values.dwReadTimeout = *readTimeout;
    m_values.dwWriteTimeout = *writeTimeout;
    m_values.nMaxErrors = *maxErrors;
    return true;
}

CdsCommandDiagDlg::CdsCommandDiagDlg(UINT nTemplateId) : DialogForm(nTemplateId, "Command Diagnostics")
{
    AddCheck(IDC_ENABLE, "Enable Command Diagnostics", {});
    AddEdit(IDC_VALIDATE_TIME, "Command Diagnostic Validate Time:", {}, true, kMs);
    AddCheck(IDC_UPDATE_ALL, kUpdateAllText, {});
}

bool CdsCommandDiagDlg::OnInitDialog()
{
    if (!m_values.pDevice)
        return false;
    m_values.bEnable = m_values.pDevice->m_bCommandDiag;
    m_values.nValidateTime = m_values.pDevice->m_nCommandDiagValidateTime;
    return DialogForm::OnInitDialog();
}

void CdsCommandDiagDlg::OnUpdateDevice(CdsDeviceObject& device) const
{
    device.m_bCommandDiag = m_values.bEnable;
    device.m_nCommandDiagValidateTime = m_values.nValidateTime;
}

void CdsCommandDiagDlg::ShowValues()
{
    SetCheck(IDC_ENABLE, m_values.bEnable != FALSE);
    SetText(IDC_VALIDATE_TIME, std::to_string(m_values.nValidateTime));
    SetCheck(IDC_UPDATE_ALL, m_values.bUpdateAll != FALSE);
}

bool CdsCommandDiagDlg::TakeValues()
{
    std::optional<LONG> validate = TakeIntInRange(IDC_VALIDATE_TIME, kMinValidateTime, kMaxValidateTime);
    if (!validate)
        return false;
    m_values.bEnable = GetCheck(IDC_ENABLE) ? TRUE : FALSE;
    m_values.nValidateTime = *validate;
    m_values.bUpdateAll = GetCheck(IDC_UPDATE_ALL) ? TRUE : FALSE;
    return true;
}

CdsRedundancyDlg::CdsRedundancyDlg(UINT nTemplateId) : DialogForm(nTemplateId, "Redundancy Options")
{
    AddCheck(IDC_DUPLICATE_UPDATE, "Enable Duplicate Update", {});
    AddCheck(IDC_AUTO_SWITCHING, "Enable Redundancy Auto Switching", {});
    AddCheck(IDC_BACKUP_LOG, "Show Backup Communication Log", {});
    AddCheck(IDC_SWITCH_COMM_ERROR, "Communication Errors", "Switch Master On");
    AddCheck(IDC_SWITCH_CPU_ERROR, "CPU Errors", "Switch Master On");
    AddCheck(IDC_SWITCH_REDUNDANCY, "Redundancy Status Change", "Switch Master On");
    AddCheck(IDC_SWITCH_RUN, "Run Status Change", "Switch Master On");
    AddEdit(IDC_CHECK_INTERVAL, "Check Interval :", {}, true, kMs);
    AddCheck(IDC_FAST_SWITCH, "Fast Switch with No Delay", {});
    AddCheck(IDC_UPDATE_ALL, kUpdateAllText, {});
}

bool CdsRedundancyDlg::OnInitDialog()
{
    const CdsDeviceObject* pDevice = m_values.pDevice;
    if (!pDevice)
        return false;
    shell::RedundancyDialogFields& v = m_values;
    v.bDuplicateUpdate = pDevice->m_bDuplicateUpdate;
    v.bAutoSwitching = pDevice->m_bAutoSwitching;
    v.bBackupCommLog = pDevice->m_bBackupCommLog;
    v.bSwitchOnCommError = pDevice->m_bSwitchOnCommError;
    v.bSwitchOnCpuError = pDevice->m_bSwitchOnCpuError;
    v.bSwitchOnRedundancyChange = pDevice->m_bSwitchOnRedundancyChange;
    v.bSwitchOnRunChange = pDevice->m_bSwitchOnRunChange;
    v.nCheckInterval = pDevice->m_nCheckInterval;
    v.bFastSwitch = pDevice->m_bFastSwitch;
    if (!pDevice->HasRedundancyLines()) {
        svcMessageBox("Device does not support redundancy!", shell::MB_OK | shell::MB_ICONWARNING, shell::IDOK);
        return DialogForm::OnInitDialog();
    }
    // Conditions the device cannot report could never switch.
    const std::pair<bool, BOOL*> reports[] = {
        {pDevice->IsErrorStatusAvailable(), &v.bSwitchOnCpuError},
        {pDevice->IsRunStatusAvailable(), &v.bSwitchOnRunChange},
        {pDevice->IsMasterStatusAvailable(), &v.bSwitchOnRedundancyChange},
    };
    for (const auto& [available, pValue] : reports)
        if (!available)
            *pValue = FALSE;
    DialogForm::OnInitDialog();
    EnableField(IDC_SWITCH_CPU_ERROR, pDevice->IsErrorStatusAvailable());
    EnableField(IDC_SWITCH_RUN, pDevice->IsRunStatusAvailable());
    EnableField(IDC_SWITCH_REDUNDANCY, pDevice->IsMasterStatusAvailable());
    return true;
}

void CdsRedundancyDlg::OnUpdateDevice(CdsDeviceObject& device) const
{
    const shell::RedundancyDialogFields& v = m_values;
    device.m_bDuplicateUpdate = v.bDuplicateUpdate;
    device.m_bAutoSwitching = v.bAutoSwitching;
    device.m_bBackupCommLog = v.bBackupCommLog;
    device.m_bSwitchOnCommError = v.bSwitchOnCommError;
    device.m_bSwitchOnCpuError = v.bSwitchOnCpuError;
    device.m_bSwitchOnRedundancyChange = v.bSwitchOnRedundancyChange;
    device.m_bSwitchOnRunChange = v.bSwitchOnRunChange;
    device.m_nCheckInterval = v.nCheckInterval;
    device.m_bFastSwitch = v.bFastSwitch;
}

void CdsRedundancyDlg::ShowValues()
{
    const shell::RedundancyDialogFields& v = m_values;
    SetCheck(IDC_DUPLICATE_UPDATE, v.bDuplicateUpdate != FALSE);
    SetCheck(IDC_AUTO_SWITCHING, v.bAutoSwitching != FALSE);
    SetCheck(IDC_BACKUP_LOG, v.bBackupCommLog != FALSE);
    SetCheck(IDC_SWITCH_COMM_ERROR, v.bSwitchOnCommError != FALSE);
    SetCheck(IDC_SWITCH_CPU_ERROR, v.bSwitchOnCpuError != FALSE);
    SetCheck(IDC_SWITCH_REDUNDANCY, v.bSwitchOnRedundancyChange != FALSE);
    SetCheck(IDC_SWITCH_RUN, v.bSwitchOnRunChange != FALSE);
    SetText(IDC_CHECK_INTERVAL, std::to_string(v.nCheckInterval));
    SetCheck(IDC_FAST_SWITCH, v.bFastSwitch != FALSE);
    SetCheck(IDC_UPDATE_ALL, v.bUpdateAll != FALSE);
}

bool CdsRedundancyDlg::TakeValues()
{
    std::optional<LONG> interval = TakeInt(IDC_CHECK_INTERVAL);
    if (!interval)
        return false;
    shell::RedundancyDialogFields& v = m_values;
    v.bDuplicateUpdate = GetCheck(IDC_DUPLICATE_UPDATE) ? TRUE : FALSE;
    v.bAutoSwitching = GetCheck(IDC_AUTO_SWITCHING) ? TRUE : FALSE;
    v.bBackupCommLog = GetCheck(IDC_BACKUP_LOG) ? TRUE : FALSE;
    v.bSwitchOnCommError = GetCheck(IDC_SWITCH_COMM_ERROR) ? TRUE : FALSE;
    v.bSwitchOnCpuError = GetCheck(IDC_SWITCH_CPU_ERROR) ? TRUE : FALSE;
    v.bSwitchOnRedundancyChange = GetCheck(IDC_SWITCH_REDUNDANCY) ? TRUE : FALSE;
    v.bSwitchOnRunChange = GetCheck(IDC_SWITCH_RUN) ? TRUE : FALSE;
    v.nCheckInterval = *interval;
    v.bFastSwitch = GetCheck(IDC_FAST_SWITCH) ? TRUE : FALSE;
    v.bUpdateAll = GetCheck(IDC_UPDATE_ALL) ? TRUE : FALSE;
    return true;
}
