#include "kestrun/options/ServerOptions.h"

// The defaults, until the main window loads the options.
std::atomic<int> CdsServerOptions::g_bAutoCloseOnNoClient{0};
std::atomic<int> CdsServerOptions::g_bBackgroundThread{1};
std::atomic<int> CdsServerOptions::g_bCaseSensitive{0};
std::atomic<unsigned long> CdsServerOptions::g_dwCheckMonitorInterval{10000};
std::atomic<unsigned long> CdsServerOptions::g_dwClientUpdateTime{250};
std::atomic<int> CdsServerOptions::g_bColdStart{0};
std::atomic<int> CdsServerOptions::g_bConfirmOnQuit{1};
std::atomic<int> CdsServerOptions::g_nDataTypeFormat{2};
std::atomic<unsigned long> CdsServerOptions::g_dwDataUpdateTime{10};
std::atomic<int> CdsServerOptions::g_bEnableDotSubset{1};
std::atomic<int> CdsServerOptions::g_nEventQueueSize{0};
std::atomic<int> CdsServerOptions::g_bExtendedDataTypeAsFloat{0};
std::atomic<int> CdsServerOptions::g_bFixSocketLeakage{1};
std::atomic<int> CdsServerOptions::g_bLoadFileOnStartup{0};
std::atomic<unsigned long> CdsServerOptions::g_dwLogAutoSavePeriod{60000};
std::atomic<int> CdsServerOptions::g_bLogToFile{0};
std::atomic<int> CdsServerOptions::g_bMinimizeOnStartup{1};
std::atomic<int> CdsServerOptions::g_bOnlineOnLoad{1};
std::atomic<int> CdsServerOptions::g_bReadbackModifiedBlock{1};
std::atomic<int> CdsServerOptions::g_bSingleInstance{1};
std::atomic<int> CdsServerOptions::g_bStringBigEndian{1};
std::atomic<int> CdsServerOptions::g_nTraceLevel{0};
std::atomic<int> CdsServerOptions::g_bUpdateSameValue{1};
std::atomic<int> CdsServerOptions::g_bUseDynamicScan{0};
std::atomic<int> CdsServerOptions::g_bUseIoctl{0};
std::atomic<int> CdsServerOptions::g_bUseServiceMode{0};
std::atomic<int> CdsServerOptions::g_bUseSystemMode{1};
std::atomic<int> CdsServerOptions::g_bUseSystemTime{1};
std::atomic<int> CdsServerOptions::g_bViewActions{0};
std::atomic<int> CdsServerOptions::g_bViewCommands{1};
std::atomic<int> CdsServerOptions::g_bViewErrors{1};
std::atomic<int> CdsServerOptions::g_bViewEvents{1};
std::atomic<int> CdsServerOptions::g_bViewInitValues{0};
std::atomic<unsigned long> CdsServerOptions::g_dwWaitTimeInitialData{5000};
std::atomic<int> CdsServerOptions::g_bWildSearchOnTagCreate{0};
