#pragma once
// The item list of a connection window without its widget: one row per item of the
// group selected in the group tree, with the columns of the current set, refreshed
// from a timer; and every item operation of the test client (add, remove, activate,
// client handles, data types, reads and writes on both roads, refresh, import) with
// the transaction watchdog. The document loader and the event triggers call the
// operations too. Application thread only.
//
// Rows name their items by client handle, so a row whose item went meanwhile shows
// nothing rather than freed memory.
#include "quillet/forms/Columns.h"
#include "quillet/doc/DocListener.h"
#include "quillet/doc/Group.h"
#include "quillet/views/ListModel.h"
#include "quillet/doc/TimerWindow.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CQuilletDoc;

class CItemView : public CDocListener {
public:
    static constexpr UINT_PTR kWatchdogTimer = 5150;
    static constexpr DWORD kWatchdogPeriodMs = 2000;
    static constexpr std::uint64_t kTransactionTimeoutMs = 10000;
    // A pass stops once more rows than this were added.
    static constexpr int kMaxNewRowsPerPass = 250;
    static constexpr DWORD kMinRefreshMs = 10, kMaxRefreshMs = 5000;

    struct Row {
        OPCHANDLE hItem = 0;
        int image = 0;  // 0 read/write, 1 read only, 2 write only; +3 inactive
        std::array<std::string, quillet::COL_COUNT> cells;  // by column id
    };

    // The initial update: registers with the document, builds the columns of the
    // document's mode, starts the refresh and one-second timers.
    explicit CItemView(CQuilletDoc& doc);
    ~CItemView() override;
    CItemView(const CItemView&) = delete;
    CItemView& operator=(const CItemView&) = delete;
    // The item list registered with the document; null while it has none.
    static CItemView* Of(const CQuilletDoc& doc);

    // ---- the list ----
    const std::vector<Row>& Rows() const { return m_rows; }
    // The column ids shown, left to right.
    const std::vector<int>& ShownColumns() const { return m_shown; }
    CColumnSet& CurrentColumns() { return m_bExpert ? m_expert : m_normal; }
    void SetListener(quillet::ListListener* listener) { m_listener = listener; }
    // What the widget shows; without a widget every row counts as visible.
    void SetViewport(int topRow, int rowsPerPage);
    void SetSelection(std::vector<int> rows) { m_selection = std::move(rows); }
    const std::vector<int>& Selection() const { return m_selection; }
    // The items of the selected rows, in row order.
    std::vector<CItem*> SelectedItems() const;
    // The group shown: the group tree's selection.
    CGroup* SelectedGroup() const;

    // The refresh pass (each document update).
    void OnUpdate() override;
    // Rows go; the next pass rebuilds them (a new group selected, the last removed).
    void DeleteAllRows();
    void SetRefreshAll() { m_bRefreshAll = true; }
    void BuildColumns();
    void SwitchColumnSet(bool expert);

    OPCDATASOURCE ReadSource() const { return m_source; }
    DWORD RefreshPeriod() const { return m_dwRefreshMs; }
    // A period of 10..5000 ms re-arms the refresh timer; others are refused.
    bool SetRefreshPeriod(DWORD ms);
    bool IsWatchdogRunning() const { return m_watchdogId != 0; }
    // The add-item dialog starts each new entry as a copy of this.
    CItem& AddItemTemplate() { return *m_template; }

    // ---- commands ----
    void OnAddItem();
    void OnRemoveItems();
    void OnActiveState();
    void OnReadFromCache();
    void OnChangeHandles();
    void OnSetDatatype();
    void OnSyncRead();
    void OnSyncWrite();
    void OnAsyncRead();
    void OnAsyncWrite();
    void OnAsyncRefresh();
    void OnAsyncIO2Read();
    void OnAsyncIO2Write();
    void OnImportItems();
    void OnItemColumns();
    void OnViewUpdateTimer();
    // Update rules.
    bool CanAddItem() const;
    bool CanRemoveItems() const;
    bool CanActOnSelection() const;  // connected, rows selected, a group selected
    bool CanAsyncIO() const;         // ... and the group advises IDataObject
    bool CanAsyncRefresh() const;

    // ---- operations ----
    // Adds the items to the server and those it takes to the group; the others are
    // destroyed. A group's pseudo item is never sent.
    void AddItemsToServer(CGroup& group, std::vector<std::unique_ptr<CItem>> items);
    void RemoveItems(CGroup& group, const std::vector<CItem*>& items);
    // E_INVALIDARG without a group.
    HRESULT SetItemsActive(const std::vector<CItem*>& items, CGroup* group, BOOL active);
    void ChangeClientHandles(CGroup& group, const std::vector<CItem*>& items);
    void SetDatatypes(CGroup& group, const std::vector<CItem*>& items, const std::vector<VARTYPE>& types);
    void AsyncRead(const std::vector<CItem*>& items, CGroup& group, OPCDATASOURCE source);
    void SyncRead(const std::vector<CItem*>& items, CGroup& group, OPCDATASOURCE source);
    void AsyncIO2Read(const std::vector<CItem*>& items, CGroup& group);
    void AsyncWrite(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values);
    void AsyncIO2Write(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values);
    void SyncWrite(const std::vector<OPCHANDLE>& handles, CGroup& group, const std::vector<VARIANT>& values);
    void AsyncRefresh(CGroup& group, OPCDATASOURCE source);
    // The item records of a set-up file, added to the group; false when the file
    // cannot be read.
    bool ImportItems(CGroup& group, const std::string& path);

    // A pending transaction of the group: the watchdog runs while there are some.
    void StartWatchdog(const CGroup& group) override;
    // One watchdog tick.
    void OnWatchdog();

private:
    void OnTimer(UINT_PTR id);
    void OnSecond();
    void WriteRow(CItem& item, bool newRow);
    // The request's items without the pseudo item; the box when none is left.
    std::vector<CItem*> Requested(const std::vector<CItem*>& items, CGroup& group) const;
    // The server's text of a per-item error; none when the server has none.
    std::optional<std::string> ItemErrorText(HRESULT error) const;
    void PurgeFromEvents(CGroup& group, OPCHANDLE hItem, OPCHANDLE replacement = 0);
    // A failed call's box (while display messages is on) and log line.
    void ReportCall(HRESULT hr, CGroup& group, DWORD category, std::string_view prefix);
    // "<server text> on item <server handle>" for each failed entry: a read's
    // (category 0) in a box, a write's in its category's log and, on request, a box.
    void ReportItemErrors(const std::vector<OPCHANDLE>& handles, const std::vector<HRESULT>& errors, CGroup& group,
                          DWORD category);
    // An asynchronous read on a road: call sends it (handles, the record's client
    // handle) and gives the server's id.
    using ReadCall = std::function<HRESULT(const std::vector<OPCHANDLE>& handles, DWORD clientId, DWORD* id,
                                           std::vector<HRESULT>& errors)>;
    void StartRead(const std::vector<CItem*>& items, CGroup& group, CTransaction::Road road, const ReadCall& call);
    // The request went out: the record is pending under id and the watchdog watches.
    void Started(CGroup& group, std::unique_ptr<CTransaction> record, DWORD id, DWORD category,
                 std::string_view idPrefix);
    // "No Items to be written" (always, or while display messages is on) for none.
    bool HasWriteItems(const std::vector<OPCHANDLE>& handles, bool always) const;

    CQuilletDoc& m_doc;
    CColumnSet m_normal;
    CColumnSet m_expert;
    bool m_bExpert = false;
    std::vector<int> m_shown;
    std::vector<Row> m_rows;
    std::vector<int> m_selection;
    int m_nTopRow = 0;
    int m_nRowsPerPage = 1 << 20;
    bool m_bRefreshAll = true;
    bool m_bRateColumnsDue = true;
    OPCDATASOURCE m_source = OPC_DS_CACHE;
    DWORD m_dwRefreshMs = 250;
    UINT_PTR m_refreshId;
    UINT_PTR m_secondId;
    UINT_PTR m_watchdogId = 0;
    std::unique_ptr<CItem> m_template;
    quillet::ListListener* m_listener = nullptr;
    quillet::TimerWindow m_window;  // last: its timers stop before the rest goes
};
