#include "fenwold/FenwoldDialogs.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "fenwold/BlockRange.h"
#include "fenwold/McStation.h"
#include "fenwold/MelsecDevice.h"
#include "kestrun/comm/config/DialogNumber.h"
#include "platform/dde/BrisantTypes.h"
#include "kestrun/shell/server/CsvFile.h"

namespace {

// Frame settings worked out as a station works them out.
class FrameProbe : public McStation {
public:
    std::string_view GetStationAddress() const override { return {}; }
};

bool IsQnAType(LONG nType) { return nType == 3 || nType == 4; }

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

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

CMemoryArrayDlg::CMemoryArrayDlg(McFrameKind kind) : CdsMemoryArrayDlg(IDD), m_kind(kind)
{
    InsertBefore(IDC_DATA_TYPE, MakeField(IDC_DEVICE, shell::FieldKind::Choice, "Device :", "Profile", GetDeviceNames()));
    InsertBefore(IDC_DATA_TYPE, MakeField(IDC_START, shell::FieldKind::Edit, "Start :", "Profile"));
    // The device gives the data type word; the list is the items' type.
    Replace(MakeField(IDC_DATA_TYPE, shell::FieldKind::Choice, "DataType :", "Profile", GetDataTypeNames()));
    // A new item starts as one word read at the usual pace; editing one shows its own values.
    m_values.nValueType = BRISANT_WORD;
    m_values.nLength = 1;
    m_values.nScanTime = 1000;
}

const std::vector<std::string>& CMemoryArrayDlg::GetDeviceNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (WORD code = 0; code <= 0xFF; ++code)
            if (const MelsecDevice* device = MelsecDeviceByCode(code))
                list.emplace_back(device->name);
        // By name: a typed letter selects the device of that one letter (D, not DX) first.
        std::sort(list.begin(), list.end());
        return list;
    }();
    return names;
}

const std::vector<int>& CMemoryArrayDlg::GetDataTypes()
{
    // Mixed, and the types a read of consecutive elements can be planned for.
    static const std::vector<int> types{-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11};
    return types;
}

const std::vector<std::string>& CMemoryArrayDlg::GetDataTypeNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (int type : GetDataTypes())
            list.push_back(CdsCsvFile::DataTypeText(type));
        return list;
    }();
    return names;
}

std::string CMemoryArrayDlg::AddressOfFields() const
{
    const int choice = GetChoice(IDC_DEVICE);
    if (choice < 0)
        return {};
    return GetDeviceNames()[static_cast<std::size_t>(choice)] + Upper(Trimmed(GetText(IDC_START)));
}

void CMemoryArrayDlg::ShowValues()
{
    CdsMemoryArrayDlg::ShowValues();
    const std::string& address = m_values.strAddress;
    const MelsecDevice* device = MelsecFindDevice(address);
    const std::vector<std::string>& names = GetDeviceNames();
    const auto it = device ? std::find(names.begin(), names.end(), device->name) : names.end();
    SetChoice(IDC_DEVICE, it == names.end() ? -1 : static_cast<int>(it - names.begin()));
    SetText(IDC_START, device ? address.substr(std::string_view(device->name).size()) : std::string());
    m_nShownDevice = GetChoice(IDC_DEVICE);
    m_strShownStart = GetText(IDC_START);
    m_strFieldsAddress = AddressOfFields();
}

void CMemoryArrayDlg::ShowDataType()
{
    const std::vector<int>& types = GetDataTypes();
    const auto it = std::find(types.begin(), types.end(), m_values.nValueType);
    SetChoice(IDC_DATA_TYPE, it == types.end() ? -1 : static_cast<int>(it - types.begin()));
}

bool CMemoryArrayDlg::TakeDataType(shell::BlockDialogFields& values)
{
    // No choice (a type the list does not offer) keeps the block's type.
    const int choice = GetChoice(IDC_DATA_TYPE);
    if (choice >= 0)
        values.nValueType = GetDataTypes()[static_cast<std::size_t>(choice)];
    return true;
}

void CMemoryArrayDlg::OnCommand(int nId)
{
    if (nId != IDC_DEVICE && nId != IDC_START)
        return;
    // A name that was the address (or none) goes on naming it.
    const std::string address = AddressOfFields();
    const std::string name = GetText(IDC_NAME);
    if (name.empty() || Upper(name) == m_strFieldsAddress)
        SetText(IDC_NAME, address);
    m_strFieldsAddress = address;
}

bool CMemoryArrayDlg::TakeFields(shell::BlockDialogFields& values)
{
    const shell::BlockDialogFields shown = m_values;
    if (!CdsMemoryArrayDlg::TakeFields(values))
        return false;
    values.bEditsAddress = true;
    const bool bAddressKept = GetChoice(IDC_DEVICE) == m_nShownDevice && GetText(IDC_START) == m_strShownStart;
    if (!bAddressKept) {
        const int choice = GetChoice(IDC_DEVICE);
        if (choice < 0)
            return Refuse(IDC_DEVICE, "Choose the device the item reads: D, M, X ...");
        const MelsecDevice* device = MelsecFindDevice(GetDeviceNames()[static_cast<std::size_t>(choice)]);
        const std::string start = Trimmed(GetText(IDC_START));
        const std::string address = AddressOfFields();
        // "D" and "X5" would make DX5, an element of another device.
        if (!device || start.empty() || MelsecFindDevice(address) != device ||
            !MelsecAddressProblem(address).empty())
            return Refuse(IDC_START, "Start '" + start + "' is no element of device " +
                                         std::string(device ? device->name : "") + ": give its " +
                                         (device && device->hexNumbered ? "hexadecimal" : "decimal") +
                                         " number, for example " + (device ? device->name : "") + "0.");
        values.strAddress = address;
        values.nDataType = device->code;
    }
    if (values.strAddress.empty()) // a new item with neither chosen
        return Refuse(IDC_DEVICE, "Choose the device the item reads: D, M, X ...");
    if (values.strName.empty())
        values.strName = values.strAddress;
    // A range shown as it was is taken as it was.
    if (bAddressKept && values.nLength == shown.nLength && values.nValueType == shown.nValueType)
        return true;
    if (values.nLength < 1)
        return Refuse(IDC_LENGTH, "Length must be 1 or more.");
    if (const std::string problem = MelsecBlockProblem(values.strAddress, values.nValueType, values.nLength, m_kind);
        !problem.empty())
        return Refuse(problem.rfind("Length", 0) == 0 ? static_cast<int>(IDC_LENGTH) : static_cast<int>(IDC_START),
                      "Item " + values.strName + ": " + problem + ".");
    return true;
}

std::unique_ptr<CdsOptionDlg> NewFenwoldOptionDlg()
{
    auto pDlg = std::make_unique<CdsOptionDlg>();
    pDlg->SetFileFilter(kFenwoldOptionFilter);
    return pDlg;
}
