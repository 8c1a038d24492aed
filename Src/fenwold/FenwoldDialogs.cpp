#include "fenwold/FenwoldDialogs.h"

#include <algorithm>

#include "fenwold/ElementAddress.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/comm/DialogNumber.h"

namespace {

// Frame settings worked out as a station works them out.
class FrameProbe : public McStation {
public:
    std::string_view GetStationAddress() const override { return {}; }
};

bool IsQnAType(LONG nType) { return nType == 3 || nType == 4; }

} // namespace

// --- device ---

CDeviceObjectDlg::CDeviceObjectDlg() : CdsDeviceObjectDlg(IDD)
{
    InsertBefore(IDC_ADDRESS,
                 MakeField(IDC_FRAME_KIND, shell::FieldKind::Choice, "Frame :", "Communication Port", GetFrameChoices()));
}

const std::vector<std::string>& CDeviceObjectDlg::GetFrameChoices()
{
    static const std::vector<std::string> choices{"1E binary", "1E ASCII", "3E binary",
                                                  "3E ASCII",  "4E binary", "4E ASCII"};
    return choices;
}

int CDeviceObjectDlg::FrameChoiceOf(LONG nType, const std::string& strProtocol)
{
    FrameProbe probe;
    std::string protocol = strProtocol;
    if (!probe.ConfigureFrame(nType, protocol))
        return -1;
    const int ascii = probe.IsAscii() ? 1 : 0;
    switch (probe.GetFrameKind()) {
    case McFrameKind::E1: return k1EBinary + ascii;
    case McFrameKind::E3: return k3EBinary + ascii;
    case McFrameKind::E4: return k4EBinary + ascii;
    }
    return -1;
}

void CDeviceObjectDlg::ApplyFrameChoice(int nChoice, LONG& nType, std::string& strProtocol)
{
    if (nChoice < 0 || nChoice > k4EAscii || FrameChoiceOf(nType, strProtocol) == nChoice)
        return;
    const bool oneE = nChoice <= k1EAscii;
    // A QnA type speaks 3E/4E, types 1, 2 and 5 speak 1E: keep the type when it fits.
    if (oneE && (IsQnAType(nType) || nType < 1 || nType > 5))
        nType = 1;
    else if (!oneE && !IsQnAType(nType))
        nType = 4;
    const char digit = oneE ? '1' : (nChoice <= k3EAscii ? '3' : '4');
    strProtocol = std::string(nChoice % 2 ? "ASCII MC" : "MC") + digit;
}

void CDeviceObjectDlg::ShowFrameChoice()
{
    const std::optional<std::int32_t> type = ParseDialogInt(GetText(IDC_SYSTEM_TYPE));
    SetChoice(IDC_FRAME_KIND, type ? FrameChoiceOf(*type, GetText(IDC_PROTOCOL)) : -1);
}

void CDeviceObjectDlg::ShowValues()
{
    CdsDeviceObjectDlg::ShowValues();
    ShowFrameChoice();
}

void CDeviceObjectDlg::OnCommand(int nId)
{
    if (nId == IDC_SYSTEM_TYPE || nId == IDC_PROTOCOL) {
        ShowFrameChoice();
        return;
    }
    if (nId != IDC_FRAME_KIND)
        return;
    LONG type = ParseDialogInt(GetText(IDC_SYSTEM_TYPE)).value_or(0);
    std::string protocol = GetText(IDC_PROTOCOL);
    ApplyFrameChoice(GetChoice(IDC_FRAME_KIND), type, protocol);
    SetText(IDC_SYSTEM_TYPE, std::to_string(type));
    SetText(IDC_PROTOCOL, protocol);
}

bool CDeviceObjectDlg::TakeFields(shell::DeviceDialogFields& values)
{
    if (!CdsDeviceObjectDlg::TakeFields(values))
        return false;
    if (values.nSystemType < 1 || values.nSystemType > 5)
        return Refuse(IDC_SYSTEM_TYPE, "System Type must be 1 to 5: types 1, 2 and 5 speak 1E frames, "
                                       "3 and 4 (QnA) 3E or 4E frames.");
    return true;
}

// --- block ---

CMemoryArrayDlg::CMemoryArrayDlg() : CdsMemoryArrayDlg(IDD)
{
    InsertBefore(IDC_DATA_TYPE, MakeField(IDC_DEVICE, shell::FieldKind::Choice, "Device :", "Profile", GetDeviceNames()));
    InsertBefore(IDC_DATA_TYPE, MakeField(IDC_START, shell::FieldKind::Edit, "Start :", "Profile"));
    // The device decides the data type word.
    EnableField(IDC_DATA_TYPE, false);
}

const std::vector<std::string>& CMemoryArrayDlg::GetDeviceNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (WORD code = 0; code <= 0xFF; ++code)
            if (const MelsecDevice* device = MelsecDeviceByCode(code))
                list.emplace_back(device->name);
        return list;
    }();
    return names;
}

void CMemoryArrayDlg::ShowDeviceAndStart()
{
    const std::optional<MelsecAddress> address = ParseMelsecAddress(GetText(IDC_NAME));
    const MelsecDevice* device = address ? MelsecDeviceByCode(address->deviceCode) : nullptr;
    const std::vector<std::string>& names = GetDeviceNames();
    const auto it = device ? std::find(names.begin(), names.end(), device->name) : names.end();
    SetChoice(IDC_DEVICE, it == names.end() ? -1 : static_cast<int>(it - names.begin()));
    SetText(IDC_START, address ? FormatDeviceNumber(address->deviceCode, address->number, address->digits) : "");
    if (device)
        SetText(IDC_DATA_TYPE, std::to_string(device->code));
}

void CMemoryArrayDlg::ShowValues()
{
    CdsMemoryArrayDlg::ShowValues();
    ShowDeviceAndStart();
}

void CMemoryArrayDlg::OnCommand(int nId)
{
    if (nId == IDC_NAME) {
        ShowDeviceAndStart();
        return;
    }
    if (nId != IDC_DEVICE && nId != IDC_START)
        return;
    const int choice = GetChoice(IDC_DEVICE);
    if (choice < 0)
        return;
    const std::string& name = GetDeviceNames()[static_cast<std::size_t>(choice)];
    std::string start = GetText(IDC_START);
    if (start.empty())
        start = "0";
    SetText(IDC_NAME, name + start);
    if (const MelsecDevice* device = MelsecFindDevice(name))
        SetText(IDC_DATA_TYPE, std::to_string(device->code));
}

bool CMemoryArrayDlg::TakeFields(shell::BlockDialogFields& values)
{
    if (!CdsMemoryArrayDlg::TakeFields(values))
        return false;
    const std::optional<MelsecAddress> address = ParseMelsecAddress(values.strName);
    if (!address)
        return Refuse(IDC_NAME, "Item Name " + values.strName +
                                    " is no MELSEC address: a device (D, M, X ...) and its first element, "
                                    "for example D100, M0 or X1F0.");
    if (values.nLength < 1)
        return Refuse(IDC_LENGTH, "Length must be 1 or more.");
    const DWORD last = MelsecMaxDeviceNumber(address->deviceCode);
    if (address->number > last || static_cast<DWORD>(values.nLength - 1) > last - address->number) {
        std::string_view name;
        MelsecDeviceName(address->deviceCode, name);
        return Refuse(IDC_LENGTH, "The range of " + values.strName + " ends beyond the last element of device " +
                                      std::string(name) + " (" +
                                      FormatDeviceNumber(address->deviceCode, last, 0) + ").");
    }
    values.nDataType = address->deviceCode;
    return true;
}

// --- factory ---

std::unique_ptr<CdsDeviceObjectDlg> CFenwoldDialogForms::NewDeviceObjectDlg() const
{
    return std::make_unique<CDeviceObjectDlg>();
}

std::unique_ptr<CdsMemoryArrayDlg> CFenwoldDialogForms::NewMemoryArrayDlg() const
{
    return std::make_unique<CMemoryArrayDlg>();
}

std::unique_ptr<CdsTimeoutDlg> CFenwoldDialogForms::NewTimeoutDlg() const { return std::make_unique<CTimeoutDlg>(); }

void InstallFenwoldDialogs()
{
    static CFenwoldDialogForms forms; // stateless
    shell::InstallConfigFormFactory(&forms);
}

std::unique_ptr<CdsOptionDlg> NewFenwoldOptionDlg()
{
    auto pDlg = std::make_unique<CdsOptionDlg>();
    pDlg->SetFileFilter(kFenwoldOptionFilter);
    return pDlg;
}
