#include "kestrun/shell/server/OptionDlg.h"

#include "kestrun/shell/app/FileDialogEx.h"
#include "kestrun/shell/forms/FolderPicker.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerFrame.h"

namespace {

constexpr const char* kMs = "milliseconds";

struct CheckBinding {
    int nId;
    int CdsOptionDlg::*pMember;
};

// The check boxes and the values they show, in exchange order.
constexpr CheckBinding kChecks[] = {
    {CdsOptionDlg::IDC_BACKGROUND_THREAD, &CdsOptionDlg::m_bBackgroundThread},
    {CdsOptionDlg::IDC_SERVICE_MODE, &CdsOptionDlg::m_bServiceMode},
    {CdsOptionDlg::IDC_ONLINE_ON_LOAD, &CdsOptionDlg::m_bOnlineOnLoad},
    {CdsOptionDlg::IDC_MINIMIZE_ON_STARTUP, &CdsOptionDlg::m_bMinimizeOnStartup},
    {CdsOptionDlg::IDC_CONFIRM_ON_QUIT, &CdsOptionDlg::m_bConfirmOnQuit},
    {CdsOptionDlg::IDC_UPDATE_SAME_VALUE, &CdsOptionDlg::m_bUpdateSameValue},
    {CdsOptionDlg::IDC_DYNAMIC_SCAN, &CdsOptionDlg::m_bDynamicScan},
    {CdsOptionDlg::IDC_AUTO_CLOSE, &CdsOptionDlg::m_bAutoCloseOnNoClient},
    {CdsOptionDlg::IDC_LOAD_FILE_ON_STARTUP, &CdsOptionDlg::m_bLoadFileOnStartup},
    {CdsOptionDlg::IDC_READBACK_MODIFIED_BLOCK, &CdsOptionDlg::m_bReadbackModifiedBlock},
};

} // namespace

CdsOptionDlg::CdsOptionDlg(CdsServerFrame* pFrame, UINT nTemplateId)
    : DialogForm(nTemplateId, "Set Options"), m_pFrame(pFrame)
{
    AddCheck(IDC_BACKGROUND_THREAD, "Background Thread", "Update");
    AddEdit(IDC_DATA_UPDATE_TIME, "Data Update Time:", "Update", true, kMs);
    AddEdit(IDC_CHECK_MONITOR_INTERVAL, "Check Monitor Interval:", "Update", true, kMs);
    AddEdit(IDC_CLIENT_UPDATE_TIME, "Client Refresh Time:", "Update", true, kMs);
    AddEdit(IDC_EVENT_QUEUE_SIZE, "Command Queue Size:", "Update");
    AddCheck(IDC_DYNAMIC_SCAN, "Dynamic Scan", "Update");
    AddCheck(IDC_READBACK_MODIFIED_BLOCK, "Read Modified Block Immediately", "Update");
    AddCheck(IDC_UPDATE_SAME_VALUE, "Update Same Value", "Update");
    AddCheck(IDC_SERVICE_MODE, "Run Service Mode", "Options");
    AddCheck(IDC_ONLINE_ON_LOAD, "Restore Online Status On Load", "Options");
    AddCheck(IDC_MINIMIZE_ON_STARTUP, "Minimize on Startup", "Options");
    AddCheck(IDC_CONFIRM_ON_QUIT, "Confirm On Quit", "Options");
    AddCheck(IDC_AUTO_CLOSE, "Auto Close On No Client", "Options");
    AddCheck(IDC_LOAD_FILE_ON_STARTUP, "Open File On Startup", "Options");
    AddEdit(IDC_LOAD_FILE_PATH, {}, "Options");
    AddButton(IDC_BROWSE_LOAD_FILE, "...", "Options");
    AddEdit(IDC_LOG_FOLDER, "Log Folder:", "Log");
    AddButton(IDC_BROWSE_LOG_FOLDER, "...", "Log");
    AddEdit(IDC_LOG_AUTOSAVE_PERIOD, "Auto Save Period:", "Log", true, "milliseconds (0 = Infinite)");
}

bool CdsOptionDlg::OnInitDialog()
{
    DialogForm::OnInitDialog();
    EnableField(IDC_SERVICE_MODE, false);
    return true;
}

void CdsOptionDlg::ShowValues()
{
    for (const CheckBinding& check : kChecks)
        SetCheck(check.nId, this->*check.pMember != 0);
    SetText(IDC_DATA_UPDATE_TIME, std::to_string(m_dwDataUpdateTime));
    SetText(IDC_CHECK_MONITOR_INTERVAL, std::to_string(m_dwCheckMonitorInterval));
    SetText(IDC_CLIENT_UPDATE_TIME, std::to_string(m_dwClientUpdateTime));
    SetText(IDC_EVENT_QUEUE_SIZE, std::to_string(m_nEventQueueSize));
    SetText(IDC_LOAD_FILE_PATH, m_strLoadFilePathName);
    SetText(IDC_LOG_FOLDER, m_strLogFolder);
    SetText(IDC_LOG_AUTOSAVE_PERIOD, std::to_string(m_dwLogAutoSavePeriod));
}

bool CdsOptionDlg::TakeValues()
{
    std::optional<DWORD> dataUpdate = TakeUnsigned(IDC_DATA_UPDATE_TIME);
    std::optional<DWORD> checkMonitor = dataUpdate ? TakeUnsigned(IDC_CHECK_MONITOR_INTERVAL) : std::nullopt;
    std::optional<DWORD> clientUpdate = checkMonitor ? TakeUnsigned(IDC_CLIENT_UPDATE_TIME) : std::nullopt;
    std::optional<LONG> queueSize = clientUpdate ? TakeInt(IDC_EVENT_QUEUE_SIZE) : std::nullopt;
    std::optional<DWORD> autoSave = queueSize ? TakeUnsigned(IDC_LOG_AUTOSAVE_PERIOD) : std::nullopt;
    if (!autoSave)
        return false;
    for (const CheckBinding& check : kChecks)
        this->*check.pMember = GetCheck(check.nId) ? 1 : 0;
    m_dwDataUpdateTime = *dataUpdate;
    m_dwCheckMonitorInterval = *checkMonitor;
    m_dwClientUpdateTime = *clientUpdate;
    m_nEventQueueSize = *queueSize;
    m_strLoadFilePathName = GetText(IDC_LOAD_FILE_PATH);
    m_strLogFolder = GetText(IDC_LOG_FOLDER);
    m_dwLogAutoSavePeriod = *autoSave;
    return true;
}

void CdsOptionDlg::OnCommand(int nId)
{
    if (nId == IDC_BROWSE_LOAD_FILE)
        OnBrowseLoadFile();
    else if (nId == IDC_BROWSE_LOG_FOLDER)
        OnBrowseLogFolder();
}

void CdsOptionDlg::OnBrowseLoadFile()
{
    const std::string start = m_pFrame ? m_pFrame->GetLoadFilePathName() : m_strLoadFilePathName;
    if (!TakeValues())
        return;
    shell::CFileDialogEx dialog(true, "*", {}, shell::OFN_HIDEREADONLY | shell::OFN_OVERWRITEPROMPT,
                                m_strFileFilter.empty() ? kDefaultFilter : m_strFileFilter);
    dialog.SetInitialDir(start);
    if (dialog.DoModal() != shell::IDOK)
        return;
    m_strLoadFilePathName = dialog.GetPathName();
    ShowValues();
    // Stored at once: Cancel keeps it.
    if (m_pFrame)
        m_pFrame->SetLoadFilePathName(m_strLoadFilePathName);
}

void CdsOptionDlg::OnBrowseLogFolder()
{
    const std::string folder = m_pFrame ? m_pFrame->GetLogFolder() : m_strLogFolder;
    // A missing folder is made without asking, so the picker can show it.
    if (m_pFrame)
        m_pFrame->SetLogFolder(folder, 1, 1);
    if (!TakeValues())
        return;
    shell::COXFolderPickerDlg picker(folder, {}, true, true, true, false, {}, true);
    if (picker.DoModal() != shell::IDOK)
        return;
    m_strLogFolder = picker.GetFolderPath();
    ShowValues();
    if (m_pFrame)
        m_pFrame->SetLogFolder(m_strLogFolder, 0, 0);
}
