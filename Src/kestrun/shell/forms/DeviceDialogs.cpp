#include "kestrun/shell/forms/DeviceDialogs.h"

CdsDeviceObjectDlg::CdsDeviceObjectDlg(UINT nTemplateId) : DialogForm(nTemplateId, "Device")
{
    AddEdit(IDC_NAME, "Name :", "Profile");
    AddEdit(IDC_DESCRIPTION, "Description:", "Profile");
    AddEdit(IDC_SYSTEM_TYPE, "System Type :", "Profile");
    AddEdit(IDC_ADDRESS, "Address :", "Communication Port");
    AddEdit(IDC_PROTOCOL, "Protocol :", "Communication Port");
    AddEdit(IDC_PORT, "Port :", "Communication Port");
    AddEdit(IDC_SETTING, "Settings :", "Communication Port");
    AddEdit(IDC_OPTIONS, "Options :", "Communication Port");
}

void CdsDeviceObjectDlg::ShowValues()
{
    SetText(IDC_NAME, m_values.strName);
    SetText(IDC_DESCRIPTION, m_values.strDescription);
    SetText(IDC_SYSTEM_TYPE, std::to_string(m_values.nSystemType));
    SetText(IDC_ADDRESS, m_values.strAddress);
    SetText(IDC_PROTOCOL, m_values.strProtocol);
    SetText(IDC_PORT, m_values.strPort);
    SetText(IDC_SETTING, m_values.strSetting);
    SetText(IDC_OPTIONS, m_values.strOptions);
}

bool CdsDeviceObjectDlg::TakeFields(shell::DeviceDialogFields& values)
{
    std::optional<LONG> type = TakeInt(IDC_SYSTEM_TYPE);
    if (!type)
        return false;
    values.strName = GetText(IDC_NAME);
    values.strDescription = GetText(IDC_DESCRIPTION);
    values.nSystemType = *type;
    values.strAddress = GetText(IDC_ADDRESS);
    values.strProtocol = GetText(IDC_PROTOCOL);
    values.strPort = GetText(IDC_PORT);
    values.strSetting = GetText(IDC_SETTING);
    values.strOptions = GetText(IDC_OPTIONS);
    return true;
}

bool CdsDeviceObjectDlg::TakeValues()
{
    return TakeAndApply(m_values, IDC_NAME, [this](shell::DeviceDialogFields& values) { return TakeFields(values); });
}

CdsMemoryArrayDlg::CdsMemoryArrayDlg(UINT nTemplateId) : DialogForm(nTemplateId, "Memory")
{
    AddEdit(IDC_NAME, "Item Name :", "Profile");
    AddEdit(IDC_DATA_TYPE, "DataType :", "Profile");
    AddEdit(IDC_LENGTH, "Length :", "Profile");
    AddEdit(IDC_DESCRIPTION, "Description :", "Profile");
    AddEdit(IDC_PRIORITY, "Priority :", "Options");
    AddEdit(IDC_SCAN_TIME, "Scantime :", "Options");
    AddCheck(IDC_READ_ALLOWED, "Read Allowed", "Options");
    AddCheck(IDC_WRITE_ALLOWED, "Write Allowed", "Options");
}

void CdsMemoryArrayDlg::ShowValues()
{
    SetText(IDC_NAME, m_values.strName);
    ShowDataType();
    SetText(IDC_LENGTH, std::to_string(m_values.nLength));
    SetText(IDC_PRIORITY, std::to_string(m_values.nPriority));
    SetCheck(IDC_READ_ALLOWED, m_values.bReadAllowed != FALSE);
    SetCheck(IDC_WRITE_ALLOWED, m_values.bWriteAllowed != FALSE);
    SetText(IDC_SCAN_TIME, std::to_string(m_values.nScanTime));
    SetText(IDC_DESCRIPTION, m_values.strDescription);
}

void CdsMemoryArrayDlg::ShowDataType() { SetText(IDC_DATA_TYPE, std::to_string(m_values.nDataType)); }

bool CdsMemoryArrayDlg::TakeDataType(shell::BlockDialogFields& values)
{
    const std::optional<LONG> type = TakeInt(IDC_DATA_TYPE);
    if (type)
        values.nDataType = *type;
    return type.has_value();
}

bool CdsMemoryArrayDlg::TakeFields(shell::BlockDialogFields& values)
{
    if (!TakeDataType(values))
        return false;
    std::optional<LONG> length = TakeInt(IDC_LENGTH);
    std::optional<LONG> priority = length ? TakeInt(IDC_PRIORITY) : std::nullopt;
    std::optional<LONG> scanTime = priority ? TakeInt(IDC_SCAN_TIME) : std::nullopt;
    if (!scanTime)
        return false;
    values.strName = GetText(IDC_NAME);
    values.nLength = *length;
    values.nPriority = *priority;
    values.bReadAllowed = GetCheck(IDC_READ_ALLOWED) ? TRUE : FALSE;
    values.bWriteAllowed = GetCheck(IDC_WRITE_ALLOWED) ? TRUE : FALSE;
    values.nScanTime = *scanTime;
    values.strDescription = GetText(IDC_DESCRIPTION);
    return true;
}

bool CdsMemoryArrayDlg::TakeValues()
{
    return TakeAndApply(m_values, IDC_NAME, [this](shell::BlockDialogFields& values) { return TakeFields(values); });
}
