#pragma once
// The server's own configuration dialogs: the device dialog also edits the
// station's frame kind (1E/3E/4E, binary or ASCII, written into the system
// type and protocol it is made from), the block dialog the range the block
// reads (device and first element: its address and data type word; length:
// its item count) and the type of its items. The time-out dialog is the
// framework's. The server's device map and devices make them.
#include <memory>
#include <string>
#include <vector>

#include "fenwold/McFrame.h"
#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/forms/DeviceSettingsDialogs.h"
#include "kestrun/shell/server/OptionDlg.h"

class CDeviceObjectDlg : public CdsDeviceObjectDlg {
public:
    enum { IDC_FRAME_KIND = 23340 };
    // The choices, by frame kind and code.
    enum FrameChoice { k1EBinary, k1EAscii, k3EBinary, k3EAscii, k4EBinary, k4EAscii };

    CDeviceObjectDlg();

    static const std::vector<std::string>& GetFrameChoices();
    // The choice a device type and protocol give; -1 for a type outside 1..5.
    static int FrameChoiceOf(LONG nType, const std::string& strProtocol);
    // Type and protocol changed as little as needed to give the choice.
    static void ApplyFrameChoice(int nChoice, LONG& nType, std::string& strProtocol);

    void OnCommand(int nId) override;

protected:
    void ShowValues() override;
    bool TakeFields(shell::DeviceDialogFields& values) override;

private:
    void ShowFrameChoice();
};

class CMemoryArrayDlg : public CdsMemoryArrayDlg {
public:
    enum { IDC_DEVICE = 23350, IDC_START = 23353 };

    // The range is checked against what one read request of the device's frame kind carries.
    explicit CMemoryArrayDlg(McFrameKind kind = McFrameKind::E3);

    // The device names, sorted by name.
    static const std::vector<std::string>& GetDeviceNames();
    // The data types offered, as the CSV file writes them, and their codes.
    static const std::vector<std::string>& GetDataTypeNames();
    static const std::vector<int>& GetDataTypes();

    void OnCommand(int nId) override;

protected:
    // Device and start show the block's address, DataType the type of its items.
    void ShowValues() override;
    void ShowDataType() override;
    bool TakeDataType(shell::BlockDialogFields& values) override;
    // A changed device or start must make an element's address, which gives the
    // device code; a changed range must be one the PLC can read. What is shown
    // unchanged is taken as it was.
    bool TakeFields(shell::BlockDialogFields& values) override;

private:
    // The address that device and start make; empty without a device.
    std::string AddressOfFields() const;

    McFrameKind m_kind;
    int m_nShownDevice = -1;
    std::string m_strShownStart;
    std::string m_strFieldsAddress; // what device and start made when last looked at
};

class CTimeoutDlg : public CdsTimeoutDlg {
public:
    CTimeoutDlg() : CdsTimeoutDlg(IDD) {}
};

// The option dialog with the server's file filter, for the main window's NewOptionDlg.
inline constexpr const char* kFenwoldOptionFilter = "Melsec Ethernet Config file (*.mme)|*.mme|All Files (*.*)|*.*||";
std::unique_ptr<CdsOptionDlg> NewFenwoldOptionDlg();
