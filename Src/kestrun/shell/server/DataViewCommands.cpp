// The data view's configuration commands: devices and blocks added, edited and
// deleted, the port, time-out, command diagnostics and redundancy settings.
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "kestrun/comm/config/CommConfig.h"
#include "kestrun/model/DeviceMap.h"
#include "kestrun/model/DeviceObject.h"
#include "kestrun/model/Hint.h"
#include "kestrun/model/ItemName.h"
#include "kestrun/shell/forms/ConfigDialogs.h"
#include "kestrun/shell/server/DataView.h"
#include "kestrun/shell/server/LogView.h"
#include "kestrun/shell/forms/DeviceDialogs.h"
#include "kestrun/shell/forms/DeviceSettingsDialogs.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/server/ServerDoc.h"
#include "kestrun/shell/server/ServerFrame.h"

namespace {

std::string NameCase(const std::string& text)
{
    return kestrun::ApplyNameCase(text, CdsServerFrame::CaseSensitive());
}

shell::DeviceDialogFields FieldsOf(const CdsDeviceObject& device)
{
    shell::DeviceDialogFields f;
    f.strName = device.m_strName;
    f.strDescription = device.m_strDescription;
    f.nSystemType = device.m_nDeviceType;
    f.strAddress = device.m_strAddress;
    f.strPort = device.m_strPort;
    f.strProtocol = device.m_strProtocol;
    f.strSetting = device.m_strSetting;
    f.strOptions = device.m_strOptions;
    return f;
}

void Apply(CdsDeviceObject& device, const shell::DeviceDialogFields& f)
{
    device.m_strName = f.strName;
    device.m_strDescription = f.strDescription;
    device.m_nDeviceType = f.nSystemType;
    device.m_strAddress = f.strAddress;
    device.m_strPort = f.strPort;
    device.m_strProtocol = f.strProtocol;
    device.m_strSetting = f.strSetting;
    device.m_strOptions = f.strOptions;
}

shell::BlockDialogFields FieldsOf(const CdsMemoryArray& block)
{
    shell::BlockDialogFields f;
    f.strName = block.GetName();
    f.nDataType = block.GetTypeDataWord();
    f.nLength = block.GetMaxMemories();
    f.nPriority = block.GetPriority();
    f.bReadAllowed = block.IsReadAllowed();
    f.bWriteAllowed = block.IsWriteAllowed();
    f.nScanTime = block.GetScanTime();
    f.strDescription = block.GetDescription();
    f.strAddress = block.GetAddr();
    f.nValueType = block.GetDefaultDataType();
    return f;
}

bool SameFields(const shell::DeviceDialogFields& a, const shell::DeviceDialogFields& b)
{
    return std::tie(a.strName, a.strDescription, a.nSystemType, a.strAddress, a.strPort, a.strProtocol, a.strSetting,
                    a.strOptions) == std::tie(b.strName, b.strDescription, b.nSystemType, b.strAddress, b.strPort,
                                              b.strProtocol, b.strSetting, b.strOptions);
}

// What a block's dialog can change, to tell an OK that changed nothing.
auto BlockState(const CdsMemoryArray& block)
{
    return std::make_tuple(block.GetName(), block.GetTypeDataWord(), block.GetMaxMemories(), block.GetLength(),
                           block.GetPriority(), block.IsReadAllowed(), block.IsWriteAllowed(), block.GetScanTime(),
                           block.GetDescription(), block.GetAddr(), block.GetDefaultDataType(), block.IsForceDouble());
}

// The settings of the time-out, command-diagnostics and redundancy dialogs.
auto DeviceSettings(const CdsDeviceObject& d)
{
    return std::make_tuple(d.m_nRetries, d.m_nRetryDelay, d.m_nResetDelay, d.m_nReadTimeout, d.m_nWriteTimeout,
                           d.m_nMaxErrors, d.m_bCommandDiag, d.m_nCommandDiagValidateTime, d.m_bDuplicateUpdate,
                           d.m_bAutoSwitching, d.m_bBackupCommLog, d.m_bSwitchOnCommError, d.m_bSwitchOnCpuError,
                           d.m_bSwitchOnRedundancyChange, d.m_bSwitchOnRunChange, d.m_nCheckInterval, d.m_bFastSwitch);
}

// DeviceSettings of each device the enumeration gives, in its order.
template <typename ForEach>
auto SettingsOf(const ForEach& forEach)
{
    std::vector<decltype(DeviceSettings(std::declval<const CdsDeviceObject&>()))> settings;
    forEach([&settings](const CdsDeviceObject& device) { settings.push_back(DeviceSettings(device)); });
    return settings;
}

// What the block holds where it is not what was typed: the log says so, as the
// dialog takes it without a word.
void ReportAdjusted(const shell::BlockDialogFields& typed, const CdsMemoryArray& block)
{
    const std::string& name = block.GetName();
    auto say = [](const std::string& text) { ShowLogMessage(LOG_INFO, text.c_str()); };
    if (!typed.strName.empty() && typed.strName != name && NameCase(typed.strName) == name)
        say("Item name " + typed.strName + " is kept as " + name +
            ": names are upper-case while option \"Case Sensitive\" is off.\r\n");
    if (typed.nScanTime != block.GetScanTime())
        say("Item " + name + ": Scantime " + std::to_string(typed.nScanTime) +
            " is outside 100 to 10000 ms; it is read every " + std::to_string(block.GetScanTime()) + " ms.\r\n");
    if (typed.nPriority != block.GetPriority())
        say("Item " + name + ": Priority " + std::to_string(typed.nPriority) + " is outside 0 to 9; it keeps " +
            std::to_string(block.GetPriority()) + ".\r\n");
}

// The settings every block takes as they are.
void ApplyCommon(CdsMemoryArray& block, const shell::BlockDialogFields& f)
{
    block.SetName(f.strName);
    block.SetTypeDataWord(static_cast<SHORT>(f.nDataType));
    block.SetPriority(f.nPriority);
    block.SetReadAllowed(f.bReadAllowed);
    block.SetWriteAllowed(f.bWriteAllowed);
    block.SetScanTime(f.nScanTime);
    block.SetDescription(f.strDescription);
}

// Item count and type change only when the dialog changed them: what was
// shown unchanged leaves the block exactly as it was.
void ApplyChanged(CdsMemoryArray& block, const shell::BlockDialogFields& old, const shell::BlockDialogFields& f)
{
    ApplyCommon(block, f);
    if (f.nLength != old.nLength) {
        block.SetLength(f.nLength);
        block.SetMaxMemories(static_cast<int>(f.nLength));
    }
    if (f.nValueType != old.nValueType) {
        block.SetDefaultDataType(f.nValueType);
        block.SetForceDouble(FALSE);
    }
}

// Why the map would not take a device with these values: its topic or its
// key belongs to another device, or the device refused the settings.
std::string WhyRefused(const CdsDeviceMap& map, const CdsDeviceObject* pDevice, const shell::DeviceDialogFields& f)
{
    const std::string name = NameCase(f.strName);
    if (name.empty())
        return "a topic needs a name.";
    if (name.front() == '$')
        return "names beginning with \"$\" belong to the server's own topics.";
    if (const CdsDeviceObject* holder = CdsDeviceMap::GetDeviceObjectByTopic(name); holder && holder != pDevice)
        return "another topic is named " + name + ".";
    if (const CdsDeviceObject* holder = map.GetDeviceObjectByAddr(f.strPort, f.strAddress, f.nSystemType);
        holder && holder != pDevice)
        return "topic " + holder->m_strName + " has the same port, address and system type.";
    if (f.strPort.empty() && f.strAddress.empty())
        return "a topic needs a port or an address.";
    return "the device refuses these settings.";
}

} // namespace

bool CdsDataView::IsOfflineDocument() const
{
    const CdsServerDoc* pDoc = GetServerDoc();
    return pDoc && pDoc->IsOffline();
}

bool CdsDataView::IsCommandEnabled(Command command) const
{
    switch (command) {
    case Command::NewDevice:
        return IsOfflineDocument();
    case Command::EditDevice:
    case Command::DeleteDevice:
    case Command::NewBlock:
    case Command::PortSetup:
    case Command::Timeouts:
    case Command::CommandDiag:
    case Command::Redundancy:
        return IsOfflineDocument() && m_pActiveDevice;
    case Command::EditBlock:
    case Command::DeleteBlock:
        return IsOfflineDocument() && m_pActiveBlock;
    case Command::Online:
    case Command::Offline:
        return GetServerDoc() != nullptr;
    }
    return false;
}

bool CdsDataView::IsCommandChecked(Command command) const
{
    const CdsServerDoc* pDoc = GetServerDoc();
    if (command == Command::Online)
        return pDoc && pDoc->IsOnline();
    if (command == Command::Offline)
        return pDoc && pDoc->IsOffline();
    return false;
}

void CdsDataView::OnCommand(Command command)
{
    if (!IsCommandEnabled(command))
        return;
    switch (command) {
    case Command::NewDevice: OnConfigNewDevice(); break;
    case Command::EditDevice: OnConfigEditDevice(); break;
    case Command::DeleteDevice: OnConfigDeleteDevice(); break;
    case Command::NewBlock: OnConfigNewMemory(); break;
    case Command::EditBlock: OnConfigEditMemory(); break;
    case Command::DeleteBlock: OnConfigDeleteMemory(); break;
    case Command::PortSetup: OnSerialSetup(); break;
    case Command::Timeouts: OnSetTimeOut(); break;
    case Command::CommandDiag: OnCommandDiag(); break;
    case Command::Redundancy: OnRedundancy(); break;
    case Command::Online: OnModeOnline(); break;
    case Command::Offline: OnModeOffline(); break;
    }
}

void CdsDataView::Edited()
{
    if (CdsServerDoc* pDoc = GetServerDoc()) {
        pDoc->SetModifiedFlag(true);
        pDoc->OnDeviceMapEdited();
    }
}

template <typename Fn>
void CdsDataView::ForTargetDevices(bool bAll, Fn&& fn)
{
    CdsServerDoc* pDoc = GetServerDoc();
    CdsDeviceMap* pMap = pDoc ? pDoc->GetDeviceMap(FALSE) : nullptr;
    if (!bAll || !pMap) {
        if (m_pActiveDevice)
            fn(*m_pActiveDevice);
        return;
    }
    for (const auto& [key, device] : pMap->GetDevices())
        if (!device->IsSystemDevice())
            fn(*device);
}

// --- devices ---

void CdsDataView::OnConfigNewDevice()
{
    CdsServerDoc* pDoc = GetServerDoc();
    CdsDeviceMap* pMap = pDoc ? pDoc->GetDeviceMap(TRUE) : nullptr;
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsDeviceObjectDlg> pDlg = pMap && pDialogs ? pMap->NewDeviceObjectDlg() : nullptr;
    if (!pDlg)
        return;
    CdsDeviceObject* pDevice = nullptr;
    shell::DeviceDialogFields& f = pDlg->m_values;
    // The map takes the device while the dialog is open, so a refusal keeps it open.
    f.apply = [&](const shell::DeviceDialogFields& values) -> std::string {
        pDevice = pMap->NewDeviceObject(values.strPort, values.strAddress, values.nSystemType);
        if (pDevice) {
            Apply(*pDevice, values);
            pDevice = pMap->AddDeviceObject(pDevice, TRUE);
        }
        if (pDevice)
            return {};
        return "Topic " + NameCase(values.strName) + " is not added: " + WhyRefused(*pMap, nullptr, values);
    };
    // Whatever the dialog answers, a device the map took stays.
    pDialogs->EditDevice(*pDlg, true);
    if (!pDevice)
        return;
    Edited();
    FillDeviceList();
    SetActiveDevice(pDevice);
    CdsHint hint = CdsHint::ForText(pDevice->m_strName);
    pDoc->UpdateAllViews(this, HINT_TOPIC_ADDED, &hint);
}

void CdsDataView::OnConfigEditDevice()
{
    CdsServerDoc* pDoc = GetServerDoc();
    CdsDeviceMap* pMap = pDoc ? pDoc->GetDeviceMap(FALSE) : nullptr;
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsDeviceObjectDlg> pDlg =
        pMap && m_pActiveDevice && pDialogs ? pMap->NewDeviceObjectDlg() : nullptr;
    if (!pDlg)
        return;
    CdsDeviceObject& device = *m_pActiveDevice;
    const shell::DeviceDialogFields old = FieldsOf(device);
    shell::DeviceDialogFields& f = pDlg->m_values;
    f = old;
    bool bChanged = false;
    // The device is registered again under its new key and topic, or keeps its old values.
    f.apply = [&](const shell::DeviceDialogFields& values) -> std::string {
        bChanged = pMap->ChangeDeviceObject(&device, [&] { Apply(device, values); }, [&] { Apply(device, old); });
        if (bChanged)
            return {};
        return "Topic " + old.strName + " keeps its settings: " + WhyRefused(*pMap, &device, values);
    };
    pDialogs->EditDevice(*pDlg, false);
    // OK with the values as they were changes nothing.
    if (!bChanged || SameFields(FieldsOf(device), old))
        return;
    Edited();
    FillDeviceList();
}

void CdsDataView::OnConfigDeleteDevice()
{
    CdsServerDoc* pDoc = GetServerDoc();
    CdsDeviceObject* pDevice = m_pActiveDevice;
    if (!pDoc || !pDevice)
        return;
    m_pActiveDevice = nullptr;
    m_pActiveBlock = nullptr;
    pDoc->DeleteDevice(pDevice);
    pDoc->SetModifiedFlag(true);
    FillDeviceList();
}

// --- blocks ---

void CdsDataView::OnConfigNewMemory()
{
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    CdsDeviceObject* pDevice = m_pActiveDevice;
    std::unique_ptr<CdsMemoryArrayDlg> pDlg = pDevice && pDialogs ? pDevice->NewMemoryArrayDlg() : nullptr;
    if (!pDlg)
        return;
    CdsMemoryArray* pBlock = nullptr;
    shell::BlockDialogFields& f = pDlg->m_values;
    f.apply = [&](const shell::BlockDialogFields& values) -> std::string {
        // A dialog without an address of its own names the block by its address.
        const std::string name = NameCase(values.strName);
        const std::string address = NameCase(values.bEditsAddress ? values.strAddress : values.strName);
        if (address.empty())
            return "Item " + name + " is not added: it needs the address where it reads.";
        // A template the device copies into a block of its own class.
        CdsMemoryArray templ(-1);
        shell::BlockDialogFields named = values;
        named.strName = name;
        ApplyCommon(templ, named);
        templ.SetAddr(address);
        templ.SetLength(named.nLength);
        templ.SetMaxMemories(static_cast<int>(named.nLength));
        templ.SetDefaultDataType(named.nValueType);
        pBlock = pDevice->AddMemoryArray(templ, true);
        if (pBlock) {
            ReportAdjusted(values, *pBlock);
            return {};
        }
        for (const CdsMemoryArray* other : pDevice->GetMemoryArrayList().GetBlocks())
            if (NameCase(other->GetName()) == name && other->GetTypeData() == templ.GetTypeData())
                return "Item " + name + " is not added: the topic has an item of that name and type.";
        if (const CdsMemoryArray* holder = pDevice->GetMemoryArrayByAddr(address))
            return "Item " + name + " is not added: item " + holder->GetName() + " of the topic reads at " +
                   address + ".";
        return "Item " + name + " is not added: '" + address + "' is no address topic " + pDevice->m_strName +
               " can read.";
    };
    pDialogs->EditBlock(*pDlg, true);
    if (!pBlock)
        return;
    Edited();
    FillBlockList();
    SetActiveBlock(pBlock);
    CdsHint hint = CdsHint::ForText(pDevice->m_strName, pBlock->GetName());
    GetServerDoc()->UpdateAllViews(this, HINT_ITEM_ADDED, &hint);
}

void CdsDataView::OnConfigEditMemory()
{
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsMemoryArrayDlg> pDlg =
        m_pActiveDevice && m_pActiveBlock && pDialogs ? m_pActiveDevice->NewMemoryArrayDlg() : nullptr;
    if (!pDlg)
        return;
    CdsDeviceObject& device = *m_pActiveDevice;
    CdsMemoryArray& block = *m_pActiveBlock;
    const shell::BlockDialogFields old = FieldsOf(block);
    const std::string oldAddress = block.GetAddr();
    const int oldCount = block.GetMaxMemories();
    const LONG oldLength = block.GetLength();
    const int oldType = block.GetDefaultDataType();
    const BOOL oldForceDouble = block.IsForceDouble();
    const auto before = BlockState(block);
    shell::BlockDialogFields& f = pDlg->m_values;
    f = old;
    // A block named by its address, as "Add Item" makes one without an address
    // field, reads where its name says: so it does after the edit.
    const bool bNamedByAddress = NameCase(old.strName) == NameCase(oldAddress);
    bool bChanged = false;
    f.apply = [&](const shell::BlockDialogFields& values) -> std::string {
        const auto change = [&] {
            ApplyChanged(block, old, values);
            if (values.bEditsAddress) {
                if (values.strAddress != old.strAddress)
                    block.SetAddr(values.strAddress);
            } else if (bNamedByAddress) {
                block.SetAddr(NameCase(values.strName));
            }
        };
        const auto undo = [&] {
            ApplyCommon(block, old);
            block.SetAddr(oldAddress);
            block.SetMaxMemories(oldCount);
            block.SetLength(oldLength);
            block.SetDefaultDataType(oldType);
            block.SetForceDouble(oldForceDouble);
        };
        bChanged = device.ChangeMemoryArray(&block, change, undo);
        if (bChanged) {
            ReportAdjusted(values, block);
            // The next poll builds the read request for the new settings.
            for (int line = 0; line < CdsMemoryArray::kLines; ++line)
                block.SetStatusQueryStringInitialized(line, FALSE);
            return {};
        }
        return "Item " + old.strName + " keeps its settings: the topic has another item of the new name and type.";
    };
    pDialogs->EditBlock(*pDlg, false);
    // OK with the values as they were changes nothing.
    if (!bChanged || BlockState(block) == before)
        return;
    Edited();
    FillBlockList();
}

void CdsDataView::OnConfigDeleteMemory()
{
    CdsServerDoc* pDoc = GetServerDoc();
    CdsMemoryArray* pBlock = m_pActiveBlock;
    if (!pDoc || !m_pActiveDevice || !pBlock)
        return;
    m_pActiveBlock = nullptr;
    pDoc->DeleteBlock(m_pActiveDevice, pBlock);
    pDoc->SetModifiedFlag(true);
    FillBlockList();
}

// --- device settings ---

void CdsDataView::OnSerialSetup()
{
    CdsCommConfig* pConfig = m_pActiveDevice ? m_pActiveDevice->GetPrimaryMasterConfig() : nullptr;
    if (pConfig && pConfig->DoConfigDialog({}) == COMM_DLG_OK)
        GetServerDoc()->SetModifiedFlag(true);
}

void CdsDataView::OnSetTimeOut()
{
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsTimeoutDlg> pDlg = m_pActiveDevice && pDialogs ? m_pActiveDevice->NewTimeoutDlg() : nullptr;
    if (!pDlg)
        return;
    const CdsDeviceObject& active = *m_pActiveDevice;
    shell::TimeoutDialogFields& f = pDlg->m_values;
    f.nRetries = active.m_nRetries;
    f.dwRetryDelay = static_cast<DWORD>(active.m_nRetryDelay);
    f.dwResetDelay = static_cast<DWORD>(active.m_nResetDelay);
    f.dwReadTimeout = static_cast<DWORD>(active.m_nReadTimeout);
    f.dwWriteTimeout = static_cast<DWORD>(active.m_nWriteTimeout);
    f.nMaxErrors = active.m_nMaxErrors;
    if (!pDialogs->EditTimeouts(*pDlg))
        return;
    const auto targets = [this, &f](auto&& fn) { ForTargetDevices(f.bUpdateAll, fn); };
    const auto before = SettingsOf(targets);
    ForTargetDevices(f.bUpdateAll, [&f](CdsDeviceObject& device) {
        device.m_nRetries = f.nRetries;
        device.m_nRetryDelay = static_cast<LONG>(f.dwRetryDelay);
        device.m_nResetDelay = static_cast<LONG>(f.dwResetDelay);
        device.m_nReadTimeout = static_cast<LONG>(f.dwReadTimeout);
        device.m_nWriteTimeout = static_cast<LONG>(f.dwWriteTimeout);
        device.m_nMaxErrors = f.nMaxErrors;
    });
    CdsHint hint = CdsHint::ForObject(m_pActiveDevice);
    GetServerDoc()->UpdateAllViews(this, HINT_TIMEOUTS_CHANGED, &hint);
    if (SettingsOf(targets) != before)
        GetServerDoc()->SetModifiedFlag(true);
}

void CdsDataView::OnCommandDiag()
{
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsCommandDiagDlg> pDlg =
        m_pActiveDevice && pDialogs ? m_pActiveDevice->NewCommandDiagDlg() : nullptr;
    if (!pDlg)
        return;
    shell::CommandDiagDialogFields& f = pDlg->m_values;
    f.bEnable = m_pActiveDevice->m_bCommandDiag;
    f.nValidateTime = m_pActiveDevice->m_nCommandDiagValidateTime;
    f.pDevice = m_pActiveDevice;
    if (!pDialogs->EditCommandDiag(*pDlg))
        return;
    const auto targets = [this, &f](auto&& fn) { ForTargetDevices(f.bUpdateAll, fn); };
    const auto before = SettingsOf(targets);
    // Each device also through the dialog's hook, which a program's dialog extends.
    ForTargetDevices(f.bUpdateAll, [&f, &pDlg](CdsDeviceObject& device) {
        device.m_bCommandDiag = f.bEnable;
        device.m_nCommandDiagValidateTime = f.nValidateTime;
        pDlg->OnUpdateDevice(device);
    });
    CdsHint hint = CdsHint::ForObject(m_pActiveDevice);
    GetServerDoc()->UpdateAllViews(this, HINT_COMMAND_DIAG_CHANGED, &hint);
    if (SettingsOf(targets) != before)
        GetServerDoc()->SetModifiedFlag(true);
}

void CdsDataView::OnRedundancy()
{
    shell::ConfigDialogs* pDialogs = shell::CurrentConfigDialogs();
    std::unique_ptr<CdsRedundancyDlg> pDlg =
        m_pActiveDevice && pDialogs ? m_pActiveDevice->NewRedundancyDlg() : nullptr;
    if (!pDlg)
        return;
    const CdsDeviceObject& active = *m_pActiveDevice;
    shell::RedundancyDialogFields& f = pDlg->m_values;
    f.bDuplicateUpdate = active.m_bDuplicateUpdate;
    f.bAutoSwitching = active.m_bAutoSwitching;
    f.bBackupCommLog = active.m_bBackupCommLog;
    f.bSwitchOnCommError = active.m_bSwitchOnCommError;
    f.bSwitchOnCpuError = active.m_bSwitchOnCpuError;
    f.bSwitchOnRedundancyChange = active.m_bSwitchOnRedundancyChange;
    f.bSwitchOnRunChange = active.m_bSwitchOnRunChange;
    f.nCheckInterval = active.m_nCheckInterval;
    f.bFastSwitch = active.m_bFastSwitch;
    f.pDevice = m_pActiveDevice;
    if (!pDialogs->EditRedundancy(*pDlg))
        return;
    const auto targets = [this, &f](auto&& fn) { ForTargetDevices(f.bUpdateAll, fn); };
    const auto before = SettingsOf(targets);
    // The dialog applies itself, so a program's dialog decides what a device takes.
    ForTargetDevices(f.bUpdateAll, [&pDlg](CdsDeviceObject& device) { pDlg->OnUpdateDevice(device); });
    CdsHint hint = CdsHint::ForObject(m_pActiveDevice);
    GetServerDoc()->UpdateAllViews(this, HINT_REDUNDANCY_CHANGED, &hint);
    if (SettingsOf(targets) != before)
        GetServerDoc()->SetModifiedFlag(true);
}
