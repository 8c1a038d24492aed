// The main window's option dialog and its icon in the notification area.
#include "kestrun/shell/server/ServerFrame.h"

#include "kestrun/comm/handler/LineMode.h"
#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/OptionDlg.h"
#include "kestrun/shell/server/TaskbarIcon.h"

namespace {
// The icon's id among the program's icons.
constexpr UINT kTrayIconId = 1;
} // namespace

std::unique_ptr<CdsOptionDlg> CdsServerFrame::NewOptionDlg() { return std::make_unique<CdsOptionDlg>(); }

void CdsServerFrame::OnEditOption()
{
    std::unique_ptr<CdsOptionDlg> pDlg = NewOptionDlg();
    if (!pDlg)
        return;
    CdsOptionDlg& d = *pDlg;
    d.SetFrame(this);
    d.m_bBackgroundThread = g_bBackgroundThread;
    d.m_bServiceMode = g_bUseServiceMode;
    d.m_bOnlineOnLoad = g_bOnlineOnLoad;
    d.m_bMinimizeOnStartup = g_bMinimizeOnStartup;
    d.m_dwDataUpdateTime = g_dwDataUpdateTime;
    d.m_dwCheckMonitorInterval = g_dwCheckMonitorInterval;
    d.m_dwClientUpdateTime = g_dwClientUpdateTime;
    d.m_dwLogAutoSavePeriod = g_dwLogAutoSavePeriod;
    d.m_bConfirmOnQuit = g_bConfirmOnQuit;
    d.m_nEventQueueSize = g_nEventQueueSize;
    d.m_bUpdateSameValue = g_bUpdateSameValue;
    d.m_bDynamicScan = g_bUseDynamicScan;
    d.m_bAutoCloseOnNoClient = g_bAutoCloseOnNoClient;
    d.m_bLoadFileOnStartup = g_bLoadFileOnStartup;
    d.m_bReadbackModifiedBlock = g_bReadbackModifiedBlock;
    d.m_strLoadFilePathName = LoadFilePathName();
    d.m_strLogFolder = LogFolder();
    if (d.DoModal() != shell::IDOK)
        return;
    SetBackgroundThread(d.m_bBackgroundThread);
    // Running lines keep the mode they were started in until the next online.
    if (CdsLineMode::IsLatched() && CdsLineMode::IsBackgroundThread(0) != (d.m_bBackgroundThread != 0))
        ShowLogMessage(LOG_INFO, "The option \"Background Thread\" takes effect when the server goes online next.\r\n");
    SetUseServiceMode(d.m_bServiceMode);
    SetOnlineOnLoad(d.m_bOnlineOnLoad);
    SetMinimizeOnStartup(d.m_bMinimizeOnStartup);
    SetDataUpdateTime(d.m_dwDataUpdateTime);
    SetCheckMonitorInterval(d.m_dwCheckMonitorInterval);
    SetClientUpdateTime(d.m_dwClientUpdateTime);
    SetLogAutoSavePeriod(d.m_dwLogAutoSavePeriod);
    SetConfirmOnQuit(d.m_bConfirmOnQuit);
    SetEventQueueSize(d.m_nEventQueueSize);
    SetUpdateSameValue(d.m_bUpdateSameValue);
    SetUseDynamicScan(d.m_bDynamicScan);
    SetAutoCloseOnNoClient(d.m_bAutoCloseOnNoClient);
    SetLoadFileOnStartup(d.m_bLoadFileOnStartup);
    SetReadbackModifiedBlock(d.m_bReadbackModifiedBlock);
    SetLoadFilePathName(d.m_strLoadFilePathName);
    SetLogFolder(d.m_strLogFolder, 0, 0);
}

void CdsServerFrame::InitTaskBar()
{
    shell::Application* pApp = GetApplication();
    shell::WindowFactory* pFactory = pApp ? pApp->GetWindowFactory() : nullptr;
    std::unique_ptr<shell::TrayWindow> pTray = pFactory ? pFactory->CreateTrayWindow() : nullptr;
    if (!pTray || !GetDispatcher())
        return;
    m_pTaskBar = std::make_unique<shell::CdsTaskBar>();
    m_pTaskBar->Create(kTrayIconId, *GetDispatcher(), std::move(pTray));
    m_pTaskBar->SetOwner(this);
    const std::string caption = svcGetCaption();
    m_pTaskBar->SetTooltipText(caption.empty() ? pApp->GetAppName() : caption, false);
}

bool CdsServerFrame::IsTaskBarAvailable() const { return m_pTaskBar && m_pTaskBar->IsAvailable(); }

void CdsServerFrame::OnToggleShow()
{
    if (!m_pTaskBar)
        return;
    if (m_pTaskBar->IsShowing()) {
        m_pTaskBar->Hide();
        return;
    }
    m_pTaskBar->SetIcon(shell::CdsTaskBar::IDI_TRAY, true);
    m_pTaskBar->Show();
}

void CdsServerFrame::OnTrayIcon()
{
    // Hidden without an icon to come back by, the window could not be found again.
    if (!IsTaskBarAvailable())
        return;
    if (!m_pTaskBar->IsShowing())
        OnToggleShow();
    if (m_pTaskBar->IsShowing())
        ShowWindow(false);
}
