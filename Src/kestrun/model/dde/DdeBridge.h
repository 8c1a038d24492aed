#pragma once
// The DDE bridge: the toolkit's action callback for everything DDE clients do.
// It keeps a topic record per conversation topic (a device) and an item record
// per item (a data point), answers the toolkit's start, timer, list and
// information actions, pushes changed values, turns pokes into queued writes
// or system commands, and asks for the server to close.
//
// Threads: everything here runs on the application thread, inside the
// toolkit's idle call or from the document and application around it; nothing
// is locked.
//
// Ownership: the bridge owns its records (blocks of the toolkit heap). A device
// and a point point back to their record and unlink it when they go; records
// keep their own copies of the names. After the server's close the records are
// unlinked from the model and marked dead; a dead record is freed by its destroy
// action or once the toolkit has exited, and any other action on it returns 0
// without touching the model.
#include <string>
#include <unordered_map>
#include <vector>

#include "kestrun/model/DdeItemRecord.h"
#include "kestrun/model/DdeTopicRecord.h"
#include "kestrun/model/dde/DdeRefusalLog.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/win/Clock.h"

class CdsDeviceMap;
class CdsDeviceObject;
class CdsHint;
class CdsMemoryObject;

namespace kestrun {

// What the application, its document and views give the bridge.
class DdeBridgeHost {
public:
    virtual ~DdeBridgeHost() = default;
    // The application's registration name and company; false without an application object.
    virtual bool GetServerIdentity(std::string& strRegName, std::string& strCompany) = 0;
    // The toolkit's vendor-information request on the action's text field; its result.
    virtual long FillServerVendorInfo(_BRISANT_DATAACTION& /*action*/) { return 0; }
    // Clears "Confirm On Quit" and posts the close of the main window (headless:
    // the end of the application's loop). It must only post: the toolkit's idle
    // pass that asked is still running.
    virtual void PostCloseServer() = 0;
    // A view hint: the document's UpdateAllViews, or message 0x465 without a
    // document. The record borrows; a sink that keeps it makes a copy.
    virtual void UpdateViews(int nCode, const CdsHint& hint) = 0;
    // The "Null String Value" option's text.
    virtual std::string GetNullStringValue() { return {}; }
};

// The options the bridge reads, as they stand now.
struct DdeBridgeOptions {
    DWORD clientUpdateMs = 250;
    DWORD initialDataWaitMs = 0;
    bool updateSameValue = false;
    bool viewActions = false;
    bool autoCloseOnNoClient = false;
    static DdeBridgeOptions Current();
};

// Data type code -> the code the "DataType Format" option above 1 would give:
// 6..16 and 18..22 are raised by one, others stay. The bridge hands the
// toolkit the codes unmapped, since the toolkit reads each value by its code.
int MapDataTypeFormat(int nType);

class DdeBridge {
public:
    // The clock times the counting of repeated refusals; it outlives the bridge.
    explicit DdeBridge(DdeBridgeHost& host, const win::Clock& clock = win::SystemClock::instance());
    // Frees every record left; uninstalls itself.
    ~DdeBridge();
    DdeBridge(const DdeBridge&) = delete;
    DdeBridge& operator=(const DdeBridge&) = delete;

    // The bridge the toolkit's callback reaches; returns the one it replaces.
    static DdeBridge* Install(DdeBridge* pBridge);
    static DdeBridge* Installed();
    // The callback handed to the toolkit (the document's BrisantSystemAction
    // forwards here): the installed bridge's Action, 0 without one.
    static long SystemAction(int nAction, _BRISANT_DATAACTION* pAction);

    // One toolkit action; codes not handled return 0.
    long Action(int nAction, _BRISANT_DATAACTION* pAction);

    // The map whose devices the browse information lists; null: none. Call it
    // whenever the document takes or drops a map.
    void SetDeviceMap(CdsDeviceMap* pMap);
    // After a document was loaded in place, reset or edited: topics and items
    // whose device or point went are linked again by name to the new ones (a
    // topic by its device's name, an item by the client's item text, when the
    // new point has the type the toolkit knows); the rest stay unlinked and their
    // clients get quality 0 at the next timer. The browse information is built
    // again for the map.
    void OnDeviceMapChanged();
    // The server's close (an execute "CLOSE SERVER", the last client leaving
    // with "Auto Close On No Client", the "$DoExit" command): every record is
    // unlinked and marked dead, then the host posts the close.
    void DoCloseServer();
    // The toolkit has exited (no action follows): frees every record.
    void OnToolkitExit();
    // Logs the counts of repeated refusals not logged yet: the log goes before the toolkit.
    void FlushRefusals() { m_refusals.Flush(true); }

    int GetClientCount() const { return m_nClientCount; }
    int GetItemCount() const { return m_nItemCount; }
    HBRISANTHEAP GetHeap() const { return m_hHeap; }
    DWORD GetServerId() const { return m_dwServerId; }
    DdeTopicRecord* GetTopicList() const { return m_pTopics; }
    bool IsClosing() const { return m_bClosing; }
    bool IsBrowseBuilt() const { return m_bBrowseBuilt; }

private:
    struct ActionEntry;
    static const ActionEntry* FindAction(int nAction);

    long OnServerInfo(_BRISANT_DATAACTION& a);
    long OnStart(_BRISANT_DATAACTION& a);
    long OnStop(_BRISANT_DATAACTION& a);
    long OnExecute(_BRISANT_DATAACTION& a);
    long OnTopicDestroyed(_BRISANT_DATAACTION& a);
    long OnTimer(_BRISANT_DATAACTION& a);
    long OnItemActivated(_BRISANT_DATAACTION& a);
    long OnItemDeactivated(_BRISANT_DATAACTION& a);
    long OnItemDestroyed(_BRISANT_DATAACTION& a);
    long OnItemGenerate(_BRISANT_DATAACTION& a);
    long OnPoke(_BRISANT_DATAACTION& a);
    long OnReadNow(_BRISANT_DATAACTION& a);
    long OnToolkitError(_BRISANT_DATAACTION& a);
    long OnTopicGenerate(_BRISANT_DATAACTION& a);
    long OnFirstTopic(_BRISANT_DATAACTION& a);
    long OnNextTopic(_BRISANT_DATAACTION& a);
    long OnUserError(_BRISANT_DATAACTION& a);
    long OnSystemRequest(_BRISANT_DATAACTION& a);
    long OnVendorInfo(_BRISANT_DATAACTION& a);
    long OnDataTypeQuery(_BRISANT_DATAACTION& a);
    long OnAccepted(_BRISANT_DATAACTION& a);
    long OnClientConnected(_BRISANT_DATAACTION& a);
    long OnClientDisconnected(_BRISANT_DATAACTION& a);
    long OnBrowseInfo(_BRISANT_DATAACTION& a);

    DdeTopicRecord* DoTopicGenerate(const _BRISANT_DATAACTION& a);
    DdeItemRecord* DoItemGenerate(_BRISANT_DATAACTION& a);
    bool DoItemData(_BRISANT_DATAACTION& a);
    void DoTimerFired(_BRISANT_DATAACTION& a);
    // Reads the point for the toolkit and pushes it with its quality; false when
    // the toolkit did not take it (nothing to read yet). An item whose clients
    // have not seen the point's quality gets the value as it stands with it,
    // though another item of the point took the point's news first.
    bool PushValue(_BRISANT_DATAACTION& a, DdeItemRecord& item, CdsMemoryObject& point,
                   const DdeBridgeOptions& options, const char* pszNull);
    void DoUpdateBrowseInfo(DWORD dwServerId);

    // The type the toolkit reads a point's values by: its own, else its block's.
    static int PointType(const CdsMemoryObject& point);
    // The point an item text names in the device (made on demand when nothing
    // does), or null.
    CdsMemoryObject* ResolvePoint(CdsDeviceObject& device, const std::string& strItem);
    void LinkItem(DdeItemRecord& item, CdsMemoryObject* pPoint);
    // Unlinks from the device or point, ends the item's block uses, marks dead
    // and takes it out of the live list; the record stays allocated.
    void KillTopic(DdeTopicRecord& topic);
    void KillItem(DdeItemRecord& item);
    void DestroyItem(DdeItemRecord& item);
    void DestroyTopic(DdeTopicRecord& topic);

    // Records come from the toolkit heap; the map knows each live one and its kind.
    enum class RecordKind { Topic, Item };
    template <typename Record>
    Record* NewRecord(DWORD dwServerId);
    template <typename Record>
    void FreeRecord(Record* pRecord);
    DdeTopicRecord* AsTopic(void* p) const;
    DdeItemRecord* AsItem(void* p) const;
    void FreeAll();

    // Refusals (400-499) go through the refusal log, the rest straight to the host.
    void SendHint(int nCode, const CdsHint& hint);
    void SendActionHint(int nCode, const _BRISANT_DATAACTION& a, int nNumber, const std::string& strItem = {});

    DdeBridgeHost& m_host;
    DdeRefusalLog m_refusals;
    CdsDeviceMap* m_pMap = nullptr;
    std::unordered_map<const void*, RecordKind> m_records;   // every record not yet freed
    DdeTopicRecord* m_pTopics = nullptr;    // head of the live topic list
    std::vector<std::string> m_topicNames;  // the System topic's list while it is given
    HBRISANTHEAP m_hHeap = 0;
    DWORD m_dwServerId = 0;
    int m_nClientCount = 0;
    int m_nItemCount = 0;
    bool m_bInActionTimer = false;   // a timer pass runs, or the server closes
    bool m_bBrowseBuilt = false;
    bool m_bBrowseAsked = false;   // the toolkit asked for the browse information
    bool m_bClosing = false;         // no new topics or items from now on
    std::string m_strItemRefusal;    // why the last item was not made, for the toolkit to read
};

} // namespace kestrun
