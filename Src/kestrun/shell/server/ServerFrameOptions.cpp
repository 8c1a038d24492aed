// The server options: registry values of the section "Options" and their statics.
#include "kestrun/shell/server/ServerFrame.h"

#include "platform/registry/Profile.h"

#include <cstdio>
#include <mutex>

namespace {

constexpr const char* kSection = "Options";

int ReadInt(const char* entry, int defaultValue)
{
    return static_cast<int>(shell::CurrentProfile().GetProfileInt(kSection, entry, defaultValue));
}

bool WriteInt(const char* entry, int value)
{
    return shell::CurrentProfile().WriteProfileInt(kSection, entry, value);
}

unsigned long ReadTime(const char* entry, unsigned long defaultValue)
{
    return shell::CurrentProfile().GetProfileInt(kSection, entry, static_cast<int>(defaultValue));
}

bool WriteTime(const char* entry, unsigned long value)
{
    return shell::CurrentProfile().WriteProfileInt(kSection, entry, static_cast<int>(value));
}

// Times that drive a timer: 0 would mean a timer that never rests, so it counts as 1.
unsigned long AtLeastOne(unsigned long value)
{
    return value == 0 ? 1 : value;
}

std::string ReadString(const char* entry, const std::string& defaultValue)
{
    return shell::CurrentProfile().GetProfileString(kSection, entry, defaultValue);
}

bool WriteString(const char* entry, const std::string& value)
{
    return shell::CurrentProfile().WriteProfileString(kSection, entry, value);
}

// Stores a text option and the window's copy of it, which other threads read under `mutex`.
bool WriteKeptString(const char* entry, const std::string& value, std::mutex& mutex, std::string& kept)
{
    bool stored = WriteString(entry, value);
    std::lock_guard guard(mutex);
    kept = value;
    return stored;
}

constexpr const char* kAutoCloseOnNoClient = "Auto Close On No Client";
constexpr const char* kBackgroundThread = "Enable Background Thread";
constexpr const char* kCaseSensitive = "Case Sensitive";
constexpr const char* kCheckMonitorInterval = "Check Monitor Interval";
constexpr const char* kClientUpdateTime = "Client Update Time";
constexpr const char* kColdStart = "Cold Start On Online";
constexpr const char* kConfirmOnQuit = "Confirm On Quit";
constexpr const char* kDataTypeFormat = "DataType Format";
constexpr const char* kDataUpdateTime = "Data Update Time";
constexpr const char* kEnableDotSubset = "Enable Dot Subset Address";
constexpr const char* kEventQueueSize = "Event Queue Size";
constexpr const char* kExtendedDataTypeAsFloat = "Extended DataType As Float";
constexpr const char* kFixSocketLeakage = "Fix Socket Memory Leakage on XP";
constexpr const char* kLoadFileOnStartup = "Load File On Startup";
constexpr const char* kLoadFilePathName = "Load File PathName";
constexpr const char* kLogAutoSavePeriod = "Logfile Autosave Period";
constexpr const char* kLogFolder = "Log Folder";
constexpr const char* kLogToFile = "Log To File";
constexpr const char* kMinimizeOnStartup = "Minimize On Startup";
constexpr const char* kNullStringValue = "Null String Value";
constexpr const char* kOnlineOnLoad = "Restore Online Status On Loading";
constexpr const char* kReadbackModifiedBlock = "Readback Modified Block";
constexpr const char* kSingleInstance = "Single Instance";
constexpr const char* kStringBigEndian = "String BigEndian";
constexpr const char* kTraceLevel = "Trace Level";
constexpr const char* kUpdateSameValue = "Update Same Value";
constexpr const char* kUseDynamicScan = "Enable Dynamic Scan";
constexpr const char* kUseIoctl = "Use IOCTL";
constexpr const char* kUseServiceMode = "Use Service Mode";
constexpr const char* kUseSystemMode = "Enable System Mode";
constexpr const char* kUseSystemTime = "Enable System Time";
constexpr const char* kViewActions = "View Actions";
constexpr const char* kViewCommands = "View Commands";
constexpr const char* kViewErrors = "View Errrs";  // the stored name, spelt as shipped
constexpr const char* kViewEvents = "View Events";
constexpr const char* kViewInitValues = "View Initial Values";
constexpr const char* kWaitTimeInitialData = "Waiting Time for Initial Data";
constexpr const char* kWildSearchOnTagCreate = "Wild Search On Tag Create";

} // namespace

// A plain integer option: the getter reads the registry, the setter writes it and the static.
#define TESSARO_INT_OPTION(Name, key, defaultValue, staticName)                                    \
    int CdsServerFrame::Get##Name() const { return ReadInt(key, defaultValue); }                   \
    bool CdsServerFrame::Set##Name(int value)                                                      \
    {                                                                                              \
        bool stored = WriteInt(key, value);                                                        \
        staticName.store(value);                                                                   \
        return stored;                                                                             \
    }

TESSARO_INT_OPTION(AutoCloseOnNoClient, kAutoCloseOnNoClient, 0, g_bAutoCloseOnNoClient)
TESSARO_INT_OPTION(BackgroundThread, kBackgroundThread, 1, g_bBackgroundThread)
TESSARO_INT_OPTION(CaseSensitive, kCaseSensitive, 0, g_bCaseSensitive)
TESSARO_INT_OPTION(ColdStart, kColdStart, 0, g_bColdStart)
TESSARO_INT_OPTION(ConfirmOnQuit, kConfirmOnQuit, 1, g_bConfirmOnQuit)
TESSARO_INT_OPTION(DataTypeFormat, kDataTypeFormat, 2, g_nDataTypeFormat)
TESSARO_INT_OPTION(EnableDotSubset, kEnableDotSubset, 1, g_bEnableDotSubset)
TESSARO_INT_OPTION(EventQueueSize, kEventQueueSize, 0, g_nEventQueueSize)
TESSARO_INT_OPTION(ExtendedDataTypeAsFloat, kExtendedDataTypeAsFloat, 0, g_bExtendedDataTypeAsFloat)
TESSARO_INT_OPTION(FixSocketLeakage, kFixSocketLeakage, 1, g_bFixSocketLeakage)
TESSARO_INT_OPTION(LoadFileOnStartup, kLoadFileOnStartup, 0, g_bLoadFileOnStartup)
TESSARO_INT_OPTION(LogToFile, kLogToFile, 0, g_bLogToFile)
TESSARO_INT_OPTION(MinimizeOnStartup, kMinimizeOnStartup, 1, g_bMinimizeOnStartup)
TESSARO_INT_OPTION(OnlineOnLoad, kOnlineOnLoad, 1, g_bOnlineOnLoad)
TESSARO_INT_OPTION(ReadbackModifiedBlock, kReadbackModifiedBlock, 1, g_bReadbackModifiedBlock)
TESSARO_INT_OPTION(StringBigEndian, kStringBigEndian, 1, g_bStringBigEndian)
TESSARO_INT_OPTION(TraceLevel, kTraceLevel, 0, g_nTraceLevel)
TESSARO_INT_OPTION(UpdateSameValue, kUpdateSameValue, 1, g_bUpdateSameValue)
TESSARO_INT_OPTION(UseDynamicScan, kUseDynamicScan, 0, g_bUseDynamicScan)
TESSARO_INT_OPTION(UseIoctl, kUseIoctl, 0, g_bUseIoctl)
TESSARO_INT_OPTION(UseServiceMode, kUseServiceMode, 0, g_bUseServiceMode)
TESSARO_INT_OPTION(UseSystemMode, kUseSystemMode, 1, g_bUseSystemMode)
TESSARO_INT_OPTION(UseSystemTime, kUseSystemTime, 1, g_bUseSystemTime)
TESSARO_INT_OPTION(ViewActions, kViewActions, 0, g_bViewActions)
TESSARO_INT_OPTION(ViewCommands, kViewCommands, 1, g_bViewCommands)
TESSARO_INT_OPTION(ViewErrors, kViewErrors, 1, g_bViewErrors)
TESSARO_INT_OPTION(ViewEvents, kViewEvents, 1, g_bViewEvents)
TESSARO_INT_OPTION(ViewInitValues, kViewInitValues, 0, g_bViewInitValues)
TESSARO_INT_OPTION(WildSearchOnTagCreate, kWildSearchOnTagCreate, 0, g_bWildSearchOnTagCreate)

#undef TESSARO_INT_OPTION

const char* CdsServerFrame::GetProfileOption()
{
    return kSection;
}

int CdsServerFrame::GetSingleInstance()
{
    return ReadInt(kSingleInstance, 1);
}

bool CdsServerFrame::SetSingleInstance(int value)
{
    bool stored = WriteInt(kSingleInstance, value);
    g_bSingleInstance.store(value);
    return stored;
}

// Times.

unsigned long CdsServerFrame::GetCheckMonitorInterval() const
{
    return AtLeastOne(ReadTime(kCheckMonitorInterval, 10000));
}

bool CdsServerFrame::SetCheckMonitorInterval(unsigned long value)
{
    value = AtLeastOne(value);
    bool stored = WriteTime(kCheckMonitorInterval, value);
    g_dwCheckMonitorInterval.store(value);
    return stored;
}

unsigned long CdsServerFrame::GetClientUpdateTime() const
{
    return AtLeastOne(ReadTime(kClientUpdateTime, 250));
}

bool CdsServerFrame::SetClientUpdateTime(unsigned long value)
{
    value = AtLeastOne(value);
    bool stored = WriteTime(kClientUpdateTime, value);
    g_dwClientUpdateTime.store(value);
    Host().StartClientUpdateTimer(value);
    return stored;
}

unsigned long CdsServerFrame::GetDataUpdateTime() const
{
    return AtLeastOne(ReadTime(kDataUpdateTime, 10));
}

bool CdsServerFrame::SetDataUpdateTime(unsigned long value)
{
    value = AtLeastOne(value);
    bool stored = WriteTime(kDataUpdateTime, value);
    g_dwDataUpdateTime.store(value);
    Host().StartDataUpdateTimer(value);
    return stored;
}

unsigned long CdsServerFrame::GetLogAutoSavePeriod() const
{
    return ReadTime(kLogAutoSavePeriod, 60000);
}

bool CdsServerFrame::SetLogAutoSavePeriod(unsigned long value)
{
    bool stored = WriteTime(kLogAutoSavePeriod, value);
    g_dwLogAutoSavePeriod.store(value);
    // 0 stands for "never save on a timer", not for a timer of 0 ms.
    if (value == 0)
        Host().StopLogUpdateTimer();
    else
        Host().StartLogUpdateTimer(value);
    return stored;
}

unsigned long CdsServerFrame::GetWaitTimeInitialData() const
{
    return ReadTime(kWaitTimeInitialData, 5000);
}

bool CdsServerFrame::SetWaitTimeInitialData(unsigned long value)
{
    bool stored = WriteTime(kWaitTimeInitialData, value);
    g_dwWaitTimeInitialData.store(value);
    return stored;
}

// Strings: the window keeps a copy of each.

std::string CdsServerFrame::GetLoadFilePathName() const
{
    return ReadString(kLoadFilePathName, {});
}

bool CdsServerFrame::SetLoadFilePathName(const std::string& value)
{
    return WriteKeptString(kLoadFilePathName, value, stringsMutex_, m_strLoadFilePathName);
}

std::string CdsServerFrame::GetNullStringValue() const
{
    return ReadString(kNullStringValue, {});
}

bool CdsServerFrame::SetNullStringValue(const std::string& value)
{
    return WriteKeptString(kNullStringValue, value, stringsMutex_, m_strNullStringValue);
}

std::string CdsServerFrame::GetLogFolder() const
{
    return ReadString(kLogFolder, Host().DefaultLogFolder());
}

bool CdsServerFrame::SetLogFolder(const std::string& folder, int create, int quiet)
{
    bool stored = WriteKeptString(kLogFolder, folder, stringsMutex_, m_strLogFolder);
    if (folder.empty() || !create || Host().FolderExists(folder))
        return stored;
    if (!quiet) {
        std::string question = "Create folder (" + folder + ")?";
        if (!Host().AskYesNo(question))
            return stored;
    }
    if (!Host().CreateFolder(folder)) {
        Host().ShowMessage("Cannot create folder!");
        return false;
    }
    return stored;
}

std::string CdsServerFrame::LoadFilePathName() const
{
    std::lock_guard guard(stringsMutex_);
    return m_strLoadFilePathName;
}

std::string CdsServerFrame::LogFolder() const
{
    std::lock_guard guard(stringsMutex_);
    return m_strLogFolder;
}

std::string CdsServerFrame::NullStringValue() const
{
    std::lock_guard guard(stringsMutex_);
    return m_strNullStringValue;
}

void CdsServerFrame::LoadOptions(bool serviceHelperMode)
{
    g_bBackgroundThread.store(GetBackgroundThread());
    g_bOnlineOnLoad.store(GetOnlineOnLoad());
    g_bMinimizeOnStartup.store(GetMinimizeOnStartup());
    g_dwDataUpdateTime.store(GetDataUpdateTime());
    g_dwCheckMonitorInterval.store(GetCheckMonitorInterval());
    g_dwClientUpdateTime.store(GetClientUpdateTime());
    g_dwLogAutoSavePeriod.store(GetLogAutoSavePeriod());
    g_dwWaitTimeInitialData.store(GetWaitTimeInitialData());
    g_nEventQueueSize.store(GetEventQueueSize());
    g_bConfirmOnQuit.store(GetConfirmOnQuit());
    g_bUpdateSameValue.store(GetUpdateSameValue());
    g_bAutoCloseOnNoClient.store(GetAutoCloseOnNoClient());
    g_bLoadFileOnStartup.store(GetLoadFileOnStartup());
    {
        std::string loadFile = GetLoadFilePathName();
        std::string logFolder = GetLogFolder();
        std::string nullString = GetNullStringValue();
        std::lock_guard guard(stringsMutex_);
        m_strLoadFilePathName = std::move(loadFile);
        m_strLogFolder = std::move(logFolder);
        m_strNullStringValue = std::move(nullString);
    }
    g_bViewEvents.store(GetViewEvents());
    g_bViewCommands.store(GetViewCommands());
    g_bViewErrors.store(GetViewErrors());
    g_bViewActions.store(GetViewActions());
    g_bViewInitValues.store(GetViewInitValues());
    g_nTraceLevel.store(GetTraceLevel());
    g_bLogToFile.store(GetLogToFile());
    g_bUseIoctl.store(GetUseIoctl());
    g_bCaseSensitive.store(GetCaseSensitive());
    g_bColdStart.store(GetColdStart());
    g_bWildSearchOnTagCreate.store(GetWildSearchOnTagCreate());
    g_bUseSystemMode.store(GetUseSystemMode());
    g_bUseSystemTime.store(GetUseSystemTime());
    g_bUseDynamicScan.store(GetUseDynamicScan());
    g_bEnableDotSubset.store(GetEnableDotSubset());
    g_bReadbackModifiedBlock.store(GetReadbackModifiedBlock());
    g_bExtendedDataTypeAsFloat.store(GetExtendedDataTypeAsFloat());
    g_bFixSocketLeakage.store(GetFixSocketLeakage());
    g_bStringBigEndian.store(GetStringBigEndian());
    g_nDataTypeFormat.store(GetDataTypeFormat());
    g_bUseServiceMode.store(serviceHelperMode ? 1 : 0);
}
