#pragma once
// The time-out ("Set Timout Values"), command diagnostics and redundancy
// dialogs as forms over the values they edit. The last two are given the
// active device: without one they end as Cancel and show nothing.
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/forms/DialogForm.h"

class CdsDeviceObject;

// The check box all three share.
inline constexpr int IDC_UPDATE_ALL = 23297;
inline constexpr const char* kUpdateAllText = "Update All Devices with same parameters";

class CdsTimeoutDlg : public shell::DialogForm {
public:
    enum { IDD = 23307 };
    enum ControlId {
        IDC_READ_TIMEOUT = 23308,
        IDC_WRITE_TIMEOUT = 23309,
        IDC_RETRIES = 23310,
        IDC_RETRY_DELAY = 23311,
        IDC_MAX_ERRORS = 23312,
        IDC_RESET_DELAY = 23314,
    };

    explicit CdsTimeoutDlg(UINT nTemplateId = IDD);

    shell::TimeoutDialogFields m_values;

protected:
    void ShowValues() override;
    bool TakeValues() override;
};

class CdsCommandDiagDlg : public shell::DialogForm {
public:
    enum { IDD = 24009 };
    enum ControlId { IDC_VALIDATE_TIME = 24010, IDC_ENABLE = 24011 };
    static constexpr LONG kMinValidateTime = 1000;
    static constexpr LONG kMaxValidateTime = 30000;

    explicit CdsCommandDiagDlg(UINT nTemplateId = IDD);

    // Without a device: false. Otherwise enable and validate time come from it.
    bool OnInitDialog() override;
    // Writes enable and validate time to the device. The data view calls it on
    // OK for each device the values go to; a program's dialog may do more.
    virtual void OnUpdateDevice(CdsDeviceObject& device) const;

    shell::CommandDiagDialogFields m_values;

protected:
    void ShowValues() override;
    bool TakeValues() override;
};

class CdsRedundancyDlg : public shell::DialogForm {
public:
    enum { IDD = 24304 };
    enum ControlId {
        IDC_AUTO_SWITCHING = 23305,
        IDC_SWITCH_COMM_ERROR = 23307,
        IDC_SWITCH_REDUNDANCY = 23308,
        IDC_SWITCH_CPU_ERROR = 23309,
        IDC_SWITCH_RUN = 23310,
        IDC_CHECK_INTERVAL = 23311,
        IDC_BACKUP_LOG = 23312,
        IDC_DUPLICATE_UPDATE = 23313,
        IDC_FAST_SWITCH = 23349,
    };

    explicit CdsRedundancyDlg(UINT nTemplateId = IDD);

    // Without a device: false. Otherwise the nine values come from it; a device
    // without redundancy lines is told so ("Device does not support
    // redundancy!") and the dialog shows all the same; the switch conditions
    // the device cannot report are cleared and disabled.
    bool OnInitDialog() override;
    // Writes the nine values to the device: on OK the data view applies the
    // dialog through it to each device the values go to.
    virtual void OnUpdateDevice(CdsDeviceObject& device) const;

    shell::RedundancyDialogFields m_values;

protected:
    void ShowValues() override;
    bool TakeValues() override;
};
