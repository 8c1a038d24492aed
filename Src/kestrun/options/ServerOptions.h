#pragma once
// The server's option mirrors: the values of the "Options" registry section
// as the model, the lines and the shell read them. The main window loads and
// stores them (CdsServerFrame derives from this class); everything below the
// shell reads them here, so it needs no window.
//
// Threads: read by many threads, written by the application thread (and by
// tests), hence atomics. Until the options are loaded they hold the defaults.
#include <atomic>

class CdsServerOptions {
public:
    // Item, block and device names keep their case ("Case Sensitive").
    static bool CaseSensitive() { return g_bCaseSensitive.load() != 0; }

    static std::atomic<int> g_bAutoCloseOnNoClient;
    static std::atomic<int> g_bBackgroundThread;
    static std::atomic<int> g_bCaseSensitive;
    static std::atomic<unsigned long> g_dwCheckMonitorInterval;
    static std::atomic<unsigned long> g_dwClientUpdateTime;
    static std::atomic<int> g_bColdStart;
    static std::atomic<int> g_bConfirmOnQuit;
    static std::atomic<int> g_nDataTypeFormat;
    static std::atomic<unsigned long> g_dwDataUpdateTime;
    static std::atomic<int> g_bEnableDotSubset;
    static std::atomic<int> g_nEventQueueSize;
    static std::atomic<int> g_bExtendedDataTypeAsFloat;
    static std::atomic<int> g_bFixSocketLeakage;
    static std::atomic<int> g_bLoadFileOnStartup;
    static std::atomic<unsigned long> g_dwLogAutoSavePeriod;
    static std::atomic<int> g_bLogToFile;
    static std::atomic<int> g_bMinimizeOnStartup;
    static std::atomic<int> g_bOnlineOnLoad;
    static std::atomic<int> g_bReadbackModifiedBlock;
    static std::atomic<int> g_bSingleInstance;
    static std::atomic<int> g_bStringBigEndian;
    static std::atomic<int> g_nTraceLevel;
    static std::atomic<int> g_bUpdateSameValue;
    static std::atomic<int> g_bUseDynamicScan;
    static std::atomic<int> g_bUseIoctl;
    static std::atomic<int> g_bUseServiceMode;
    static std::atomic<int> g_bUseSystemMode;
    static std::atomic<int> g_bUseSystemTime;
    static std::atomic<int> g_bViewActions;
    static std::atomic<int> g_bViewCommands;
    static std::atomic<int> g_bViewErrors;
    static std::atomic<int> g_bViewEvents;
    static std::atomic<int> g_bViewInitValues;
    static std::atomic<unsigned long> g_dwWaitTimeInitialData;
    static std::atomic<int> g_bWildSearchOnTagCreate;
};
