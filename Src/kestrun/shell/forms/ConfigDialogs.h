#pragma once
// How the data view shows its configuration dialogs: the device, block
// ("Memory"), time-out, command diagnostics and redundancy dialogs. The device
// map and the device make each dialog (a program's own class where it has
// one), the caller fills its values and reads them back on OK. A desktop
// installs the presenter; without one every dialog is cancelled and nothing
// changes.
#include <functional>
#include <string>

#include "platform/win/WinTypes.h"

class CdsDeviceObject;
class CdsDeviceObjectDlg;
class CdsMemoryArrayDlg;
class CdsTimeoutDlg;
class CdsCommandDiagDlg;
class CdsRedundancyDlg;

namespace shell {

struct DeviceDialogFields {
    std::string strName;
    std::string strDescription;
    LONG nSystemType = 0;       // the device type number
    std::string strAddress;
    std::string strPort;
    std::string strProtocol;
    std::string strSetting;
    std::string strOptions;
    // Takes the values into the configuration on OK; a refusal's message
    // otherwise (nothing changed, the dialog stays open). Set by the caller.
    std::function<std::string(const DeviceDialogFields&)> apply;
};

struct BlockDialogFields {
    std::string strName;
    int nDataType = 0;          // the block's type data word
    LONG nLength = 0;           // items the block holds
    int nPriority = 0;
    BOOL bReadAllowed = TRUE;
    BOOL bWriteAllowed = TRUE;
    int nScanTime = 0;
    std::string strDescription;
    // As for devices: the block takes the values on OK, or a refusal's message.
    std::function<std::string(const BlockDialogFields&)> apply;
    // Where the block reads. A dialog that edits it sets bEditsAddress; without
    // one a block named by its address reads where its name says.
    std::string strAddress;
    bool bEditsAddress = false;
    int nValueType = -1;        // the data type of the block's items (-1: mixed)
};

struct TimeoutDialogFields {
    LONG nRetries = 0;
    BOOL bUpdateAll = FALSE;    // every device of the document takes the values
    DWORD dwRetryDelay = 0;     // ms
    DWORD dwResetDelay = 0;     // ms
    DWORD dwReadTimeout = 0;    // ms
    DWORD dwWriteTimeout = 0;   // ms
    LONG nMaxErrors = 0;
};

struct CommandDiagDialogFields {
    BOOL bEnable = FALSE;
    LONG nValidateTime = 0;     // ms; the dialog accepts 1000 to 30000
    BOOL bUpdateAll = FALSE;
    const CdsDeviceObject* pDevice = nullptr;
};

struct RedundancyDialogFields {
    BOOL bDuplicateUpdate = FALSE;
    BOOL bAutoSwitching = FALSE;
    BOOL bBackupCommLog = FALSE;
    BOOL bSwitchOnCommError = FALSE;
    BOOL bSwitchOnCpuError = FALSE;
    BOOL bSwitchOnRedundancyChange = FALSE;
    BOOL bSwitchOnRunChange = FALSE;
    LONG nCheckInterval = 0;    // ms
    BOOL bFastSwitch = FALSE;
    BOOL bUpdateAll = TRUE;
    const CdsDeviceObject* pDevice = nullptr;
};

class ConfigDialogs {
public:
    virtual ~ConfigDialogs() = default;
    // Each shows the dialog, filled from its values, on the application
    // thread; true for OK (its values then hold what was entered, and the
    // device and block dialogs have had them taken through apply).
    virtual bool EditDevice(CdsDeviceObjectDlg& dialog, bool bNew) = 0;
    virtual bool EditBlock(CdsMemoryArrayDlg& dialog, bool bNew) = 0;
    virtual bool EditTimeouts(CdsTimeoutDlg& dialog) = 0;
    virtual bool EditCommandDiag(CdsCommandDiagDlg& dialog) = 0;
    virtual bool EditRedundancy(CdsRedundancyDlg& dialog) = 0;
    virtual void Beep() {}
};

// The dialogs in use (null: none). Returns the previous ones; the caller keeps
// the new ones alive.
ConfigDialogs* InstallConfigDialogs(ConfigDialogs* pDialogs);
ConfigDialogs* CurrentConfigDialogs();

} // namespace shell
