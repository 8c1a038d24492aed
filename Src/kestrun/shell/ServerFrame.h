#pragma once
// The main window of a server program. For now it carries the server options:
// their statics, getters and setters. Statics are read by many threads, so they
// are atomics; only the getters and setters touch the registry.
#include "kestrun/shell/OptionHost.h"

#include <atomic>
#include <mutex>
#include <string>

class CdsServerFrame {
public:
    CdsServerFrame();
    virtual ~CdsServerFrame();
    CdsServerFrame(const CdsServerFrame&) = delete;
    CdsServerFrame& operator=(const CdsServerFrame&) = delete;

    // Timers, prompts and folders for the setters; null means none.
    void SetOptionHost(shell::OptionHost* host);

    // Registry section of the options: "Options".
    static const char* GetProfileOption();

    // Loads every option static (and the three string copies) from the registry,
    // then sets the service-mode static from the application mode.
    void LoadOptions(bool serviceHelperMode);

    // Getters read the registry (never the statics); setters write it, then the
    // static. Setters return false when the value could not be stored; the
    // static still takes the new value.
    int GetAutoCloseOnNoClient() const;
    bool SetAutoCloseOnNoClient(int value);
    int GetBackgroundThread() const;
    bool SetBackgroundThread(int value);
    int GetCaseSensitive() const;
    bool SetCaseSensitive(int value);
    unsigned long GetCheckMonitorInterval() const;
    bool SetCheckMonitorInterval(unsigned long value);
    unsigned long GetClientUpdateTime() const;
    bool SetClientUpdateTime(unsigned long value);
    int GetColdStart() const;
    bool SetColdStart(int value);
    int GetConfirmOnQuit() const;
    bool SetConfirmOnQuit(int value);
    int GetDataTypeFormat() const;
    bool SetDataTypeFormat(int value);
    unsigned long GetDataUpdateTime() const;
    bool SetDataUpdateTime(unsigned long value);
    int GetEnableDotSubset() const;
    bool SetEnableDotSubset(int value);
    int GetEventQueueSize() const;
    bool SetEventQueueSize(int value);
    int GetExtendedDataTypeAsFloat() const;
    bool SetExtendedDataTypeAsFloat(int value);
    int GetFixSocketLeakage() const;
    bool SetFixSocketLeakage(int value);
    int GetLoadFileOnStartup() const;
    bool SetLoadFileOnStartup(int value);
    std::string GetLoadFilePathName() const;
    bool SetLoadFilePathName(const std::string& value);
    unsigned long GetLogAutoSavePeriod() const;
    bool SetLogAutoSavePeriod(unsigned long value);
    std::string GetLogFolder() const;
    // Stores the folder; with create set and the folder missing, asks (unless
    // quiet) and creates it. False when it was not stored or not created.
    bool SetLogFolder(const std::string& folder, int create, int quiet);
    int GetLogToFile() const;
    bool SetLogToFile(int value);
    int GetMinimizeOnStartup() const;
    bool SetMinimizeOnStartup(int value);
    std::string GetNullStringValue() const;
    bool SetNullStringValue(const std::string& value);
    int GetOnlineOnLoad() const;
    bool SetOnlineOnLoad(int value);
    int GetReadbackModifiedBlock() const;
    bool SetReadbackModifiedBlock(int value);
    static int GetSingleInstance();
    static bool SetSingleInstance(int value);
    int GetStringBigEndian() const;
    bool SetStringBigEndian(int value);
    int GetTraceLevel() const;
    bool SetTraceLevel(int value);
    int GetUpdateSameValue() const;
    bool SetUpdateSameValue(int value);
    int GetUseDynamicScan() const;
    bool SetUseDynamicScan(int value);
    int GetUseIoctl() const;
    bool SetUseIoctl(int value);
    int GetUseServiceMode() const;
    bool SetUseServiceMode(int value);
    int GetUseSystemMode() const;
    bool SetUseSystemMode(int value);
    int GetUseSystemTime() const;
    bool SetUseSystemTime(int value);
    int GetViewActions() const;
    bool SetViewActions(int value);
    int GetViewCommands() const;
    bool SetViewCommands(int value);
    int GetViewErrors() const;
    bool SetViewErrors(int value);
    int GetViewEvents() const;
    bool SetViewEvents(int value);
    int GetViewInitValues() const;
    bool SetViewInitValues(int value);
    unsigned long GetWaitTimeInitialData() const;
    bool SetWaitTimeInitialData(unsigned long value);
    int GetWildSearchOnTagCreate() const;
    bool SetWildSearchOnTagCreate(int value);

    // The window's copies of the string options, safe to read from any thread.
    std::string LoadFilePathName() const;
    std::string LogFolder() const;
    std::string NullStringValue() const;

    // Option mirrors.
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

    // The main window writes its status panes.
    static std::atomic<int> g_bEnableStatusBarUpdating;

private:
    shell::OptionHost& Host() const;

    shell::OptionHost* host_ = nullptr;
    mutable std::mutex stringsMutex_;
    std::string m_strLoadFilePathName;
    std::string m_strLogFolder;
    std::string m_strNullStringValue;
};
