#pragma once
// The "Set Options" dialog as a form. The main window fills it from the option
// statics and stores every value through the option setters on OK. Its two
// "..." buttons pick the file loaded at start-up and the log folder, and
// store each at once. A server program may set the file filter.
#include <string>

#include "kestrun/shell/forms/DialogForm.h"

class CdsServerFrame;

class CdsOptionDlg : public shell::DialogForm {
public:
    enum { IDD = 23296 };
    enum ControlId {
        IDC_DATA_UPDATE_TIME = 23301,
        IDC_CLIENT_UPDATE_TIME = 23302,
        IDC_EVENT_QUEUE_SIZE = 23303,
        IDC_MINIMIZE_ON_STARTUP = 23304,
        IDC_CONFIRM_ON_QUIT = 23305,
        IDC_ONLINE_ON_LOAD = 23306,
        IDC_UPDATE_SAME_VALUE = 23307,
        IDC_AUTO_CLOSE = 23308,
        IDC_LOAD_FILE_ON_STARTUP = 23309,
        IDC_LOAD_FILE_PATH = 23310,
        IDC_LOG_FOLDER = 23311,
        IDC_BACKGROUND_THREAD = 23312,
        IDC_LOG_AUTOSAVE_PERIOD = 23313,
        IDC_DYNAMIC_SCAN = 23314,
        IDC_BROWSE_LOG_FOLDER = 23318,
        IDC_BROWSE_LOAD_FILE = 23319,
        IDC_SERVICE_MODE = 23351,
        IDC_CHECK_MONITOR_INTERVAL = 23352,
        IDC_READBACK_MODIFIED_BLOCK = 24013,
    };
    static constexpr const char* kDefaultFilter = "Config file (*.*)|*.*|All Files (*.*)|*.*||";

    // The frame whose options the buttons store; none: they store nothing.
    explicit CdsOptionDlg(CdsServerFrame* pFrame = nullptr, UINT nTemplateId = IDD);

    void SetFrame(CdsServerFrame* pFrame) { m_pFrame = pFrame; }
    void SetFileFilter(std::string strFilter) { m_strFileFilter = std::move(strFilter); }
    const std::string& GetFileFilter() const { return m_strFileFilter; }

    // The service-mode box shows the static and cannot be changed.
    bool OnInitDialog() override;
    void OnCommand(int nId) override;

    int m_bBackgroundThread = 0;
    int m_bServiceMode = 0;
    int m_bOnlineOnLoad = 0;
    int m_bMinimizeOnStartup = 0;
    unsigned long m_dwDataUpdateTime = 0;
    unsigned long m_dwCheckMonitorInterval = 10000;
    int m_bConfirmOnQuit = 0;
    unsigned long m_dwClientUpdateTime = 0;
    int m_nEventQueueSize = 0;
    int m_bUpdateSameValue = 0;
    int m_bDynamicScan = 0;
    int m_bAutoCloseOnNoClient = 0;
    int m_bLoadFileOnStartup = 0;
    int m_bReadbackModifiedBlock = 0;
    std::string m_strLoadFilePathName;
    std::string m_strLogFolder;
    unsigned long m_dwLogAutoSavePeriod = 0;

protected:
    void ShowValues() override;
    bool TakeValues() override;

private:
    void OnBrowseLoadFile();
    void OnBrowseLogFolder();

    CdsServerFrame* m_pFrame;
    std::string m_strFileFilter;
};
