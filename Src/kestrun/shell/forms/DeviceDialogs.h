#pragma once
// The device ("Device") and block ("Memory") dialogs as forms. Each holds the
// values it edits; on OK it reads its fields, and a caller's apply step may
// still refuse them (a name or address another device or block has), which
// keeps the dialog open with that message.
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/forms/DialogForm.h"

class CdsDeviceObjectDlg : public shell::DialogForm {
public:
    enum { IDD = 23298 };
    enum ControlId {
        IDC_NAME = 23300,
        IDC_DESCRIPTION = 23303,
        IDC_ADDRESS = 23304,
        IDC_SYSTEM_TYPE = 23305,
        IDC_PORT = 23306,
        IDC_PROTOCOL = 23307,
        IDC_SETTING = 23308,
        IDC_OPTIONS = 23341,
    };

    explicit CdsDeviceObjectDlg(UINT nTemplateId = IDD);

    shell::DeviceDialogFields m_values;

protected:
    void ShowValues() override;
    // The fields, then the caller's apply step.
    bool TakeValues() override;
    // The fields into values; false (refused) when one cannot be read.
    virtual bool TakeFields(shell::DeviceDialogFields& values);
};

class CdsMemoryArrayDlg : public shell::DialogForm {
public:
    enum { IDD = 23299 };
    enum ControlId {
        IDC_NAME = 23302,
        IDC_DATA_TYPE = 23342,
        IDC_LENGTH = 23343,
        IDC_PRIORITY = 23344,
        IDC_READ_ALLOWED = 23345,
        IDC_WRITE_ALLOWED = 23346,
        IDC_SCAN_TIME = 23347,
        IDC_DESCRIPTION = 23348,
    };

    explicit CdsMemoryArrayDlg(UINT nTemplateId = IDD);

    shell::BlockDialogFields m_values;

protected:
    void ShowValues() override;
    bool TakeValues() override;
    virtual bool TakeFields(shell::BlockDialogFields& values);
    // The DataType field: here the type data word as a number.
    virtual void ShowDataType();
    virtual bool TakeDataType(shell::BlockDialogFields& values);
};
