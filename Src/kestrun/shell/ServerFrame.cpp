#include "kestrun/shell/ServerFrame.h"

// Until the main window loads the options, the statics hold the defaults.
std::atomic<int> CdsServerFrame::g_bAutoCloseOnNoClient{0};
std::atomic<int> CdsServerFrame::g_bBackgroundThread{1};
std::atomic<int> CdsServerFrame::g_bCaseSensitive{0};
std::atomic<unsigned long> CdsServerFrame::g_dwCheckMonitorInterval{10000};
std::atomic<unsigned long> CdsServerFrame::g_dwClientUpdateTime{250};
std::atomic<int> CdsServerFrame::g_bColdStart{0};
std::atomic<int> CdsServerFrame::g_bConfirmOnQuit{1};
std::atomic<int> CdsServerFrame::g_nDataTypeFormat{2};
std::atomic<unsigned long> CdsServerFrame::g_dwDataUpdateTime{10};
std::atomic<int> CdsServerFrame::g_bEnableDotSubset{1};
std::atomic<int> CdsServerFrame::g_nEventQueueSize{0};
std::atomic<int> CdsServerFrame::g_bExtendedDataTypeAsFloat{0};
std::atomic<int> CdsServerFrame::g_bFixSocketLeakage{1};
std::atomic<int> CdsServerFrame::g_bLoadFileOnStartup{0};
std::atomic<unsigned long> CdsServerFrame::g_dwLogAutoSavePeriod{60000};
std::atomic<int> CdsServerFrame::g_bLogToFile{0};
std::atomic<int> CdsServerFrame::g_bMinimizeOnStartup{1};
std::atomic<int> CdsServerFrame::g_bOnlineOnLoad{1};
std::atomic<int> CdsServerFrame::g_bReadbackModifiedBlock{1};
std::atomic<int> CdsServerFrame::g_bSingleInstance{1};
std::atomic<int> CdsServerFrame::g_bStringBigEndian{1};
std::atomic<int> CdsServerFrame::g_nTraceLevel{0};
std::atomic<int> CdsServerFrame::g_bUpdateSameValue{1};
std::atomic<int> CdsServerFrame::g_bUseDynamicScan{0};
std::atomic<int> CdsServerFrame::g_bUseIoctl{0};
std::atomic<int> CdsServerFrame::g_bUseServiceMode{0};
std::atomic<int> CdsServerFrame::g_bUseSystemMode{1};
std::atomic<int> CdsServerFrame::g_bUseSystemTime{1};
std::atomic<int> CdsServerFrame::g_bViewActions{0};
std::atomic<int> CdsServerFrame::g_bViewCommands{1};
std::atomic<int> CdsServerFrame::g_bViewErrors{1};
std::atomic<int> CdsServerFrame::g_bViewEvents{1};
std::atomic<int> CdsServerFrame::g_bViewInitValues{0};
std::atomic<unsigned long> CdsServerFrame::g_dwWaitTimeInitialData{5000};
std::atomic<int> CdsServerFrame::g_bWildSearchOnTagCreate{0};

std::atomic<int> CdsServerFrame::g_bEnableStatusBarUpdating{1};

CdsServerFrame::CdsServerFrame() = default;
CdsServerFrame::~CdsServerFrame() = default;

void CdsServerFrame::SetOptionHost(shell::OptionHost* host)
{
    host_ = host;
}

shell::OptionHost& CdsServerFrame::Host() const
{
    static shell::OptionHost none;  // stateless: does nothing, answers No
    return host_ ? *host_ : none;
}
