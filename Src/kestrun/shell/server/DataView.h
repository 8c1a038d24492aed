#pragma once
// The data view as a core object: the upper pane of the main window. It holds
// the device list and the block list of the active device (sorted, each line
// naming its object), the active device and block, the configuration commands
// with their enablement, the online and offline commands, the device hints
// 303/304 that line threads send, the online request made when a document is
// loaded, and the client-update timer that carries that request out and gives
// the OPC bridge its close check and the DDE toolkit its working time. Its
// window only shows the lists and forwards the user's choices.
//
// Application thread only.
#include <atomic>
#include <cstdint>
#include <memory>

#include "kestrun/shell/server/DataViewList.h"
#include "kestrun/shell/app/ProcessWide.h"
#include "kestrun/shell/app/View.h"
#include "kestrun/shell/app/Windows.h"

class CdsDeviceObject;
class CdsMemoryArray;
class CdsServerDoc;

class CdsDataView : public shell::View {
public:
    // Delay of an online request: at least this long after it was made.
    static constexpr std::uint64_t kOnlineDelayMs = 1000;
    static constexpr std::uint64_t kServiceOnlineDelayMs = 5000;
    // Tab stops of the lists, in dialog units: the columns of a block line
    // (name, address, count, access ...) line up.
    static constexpr int kDeviceTabStop = 20;
    static constexpr int kBlockTabStop = 50;

    enum class Command {
        NewDevice,      // "Add Topic..."
        EditDevice,     // "Edit Topic..."
        DeleteDevice,   // "Delete Topic"
        NewBlock,       // "Add Item..."
        EditBlock,      // "Edit Item..."
        DeleteBlock,    // "Delete Item"
        PortSetup,      // "Channel Setup..."
        Timeouts,       // "Timeout Setup..."
        CommandDiag,    // "Command Diagnostic..."
        Redundancy,     // "Redundancy..."
        Online,         // "&Online"
        Offline,        // "O&ffline"
    };

    CdsDataView();
    ~CdsDataView() override;

    // The data view of the process, or null.
    static CdsDataView* GetDataView() { return s_pView.load(); }

    CdsServerDoc* GetServerDoc() const;
    void SetWindow(std::unique_ptr<shell::DataWindow> pWindow) { m_pWindow = std::move(pWindow); }

    // Lists filled, the first listed device active, the client-update timer started.
    void OnInitialUpdate() override;
    void OnUpdate(shell::View* pSender, int nCode, CdsHint* pHint) override;
    void OnTimer(UINT_PTR nId) override;

    // --- lists and selection ---
    const CdsDataViewList& GetDeviceList() const { return m_devices; }
    const CdsDataViewList& GetBlockList() const { return m_blocks; }
    // "%s\t%s" of name and description; the block line of name, address, item
    // count, access, priority, scan time and description.
    static std::string DeviceLine(const CdsDeviceObject& device);
    static std::string BlockLine(const CdsMemoryArray& block);
    // "r/w", "read", "write" or "n/a".
    static const char* AccessText(const CdsMemoryArray& block);
    // Every device but system devices, then the active device's blocks.
    void FillDeviceList();
    void FillBlockList();
    CdsDeviceObject* GetActiveDevice() const { return m_pActiveDevice; }
    CdsMemoryArray* GetActiveBlock() const { return m_pActiveBlock; }
    // Rows of the active device and block; -1 when none is shown.
    int GetDeviceSelection() const;
    int GetBlockSelection() const;
    // A line chosen in a list makes its object active (system objects never).
    void SelectDeviceRow(int nRow);
    void SelectBlockRow(int nRow);
    void SetActiveDevice(CdsDeviceObject* pDevice);
    void SetActiveBlock(CdsMemoryArray* pBlock);
    // A right click while neither list has the focus beeps.
    void OnContextMenu(bool bDeviceListFocused, bool bBlockListFocused);
    // The window gives the keyboard focus to the device list, or the block list.
    void FocusList(bool bBlocks);

    // --- commands ---
    bool IsCommandEnabled(Command command) const;
    bool IsCommandChecked(Command command) const;
    void OnCommand(Command command);
    void OnConfigNewDevice();
    void OnConfigEditDevice();
    void OnConfigDeleteDevice();
    void OnConfigNewMemory();
    void OnConfigEditMemory();
    void OnConfigDeleteMemory();
    void OnSerialSetup();
    void OnSetTimeOut();
    void OnCommandDiag();
    void OnRedundancy();
    // The document goes online; on success hint 507 to the other views and the
    // device list is refilled. An online document stays online.
    void OnModeOnline();
    // The document goes offline; on success hint 508 to the other views.
    void OnModeOffline();

    // --- online request and timer ---
    // Recorded and carried out by the first timer tick at least 1000 ms later
    // (5000 ms in service mode).
    void RequestOnline(int nState, int nArgument);
    bool IsOnlineRequested() const { return m_bOnlineRequested; }
    // Restarts timer 1 with "Client Update Time".
    void StartClientUpdateTimer();
    void StopClientUpdateTimer();

protected:
    void OnDestroy() override;

private:
    std::uint64_t NowMs() const;
    void ProcessOnlineRequest();
    void Repaint();
    // Whether configuration commands may run: a document that is offline.
    bool IsOfflineDocument() const;
    // The document is modified and its bridges look at the map again.
    void Edited();
    // Reads the devices the time-out, diagnostics or redundancy values go to.
    template <typename Fn>
    void ForTargetDevices(bool bAll, Fn&& fn);

    static inline std::atomic<CdsDataView*> s_pView{nullptr};

    shell::ProcessWide<CdsDataView> m_processWide{s_pView, this};
    std::unique_ptr<shell::DataWindow> m_pWindow;
    CdsDataViewList m_devices{kDeviceTabStop};
    CdsDataViewList m_blocks{kBlockTabStop};
    CdsDeviceObject* m_pActiveDevice = nullptr;   // one of the document's map, or null
    CdsMemoryArray* m_pActiveBlock = nullptr;     // one of the active device's, or null
    bool m_bBusy = false; // a client-update tick runs; set for good once the window goes
    bool m_bOnlineRequested = false;
    int m_nRequestedState = 0;
    int m_nRequestedArgument = 1;
    std::uint64_t m_nRequestedAtMs = 0;
};
