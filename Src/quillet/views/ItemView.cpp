// The item list: columns, rows, the refresh pass and the view's timers.
#include "quillet/views/ItemView.h"

#include "quillet/forms/ConfigForms.h"
#include "quillet/views/GroupView.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include <atomic>

namespace {
// Refresh and one-second timer ids, shared by every item view of the program.
std::atomic<UINT_PTR> s_nextTimerId{1};

int RowImage(const CItem& item)
{
    const DWORD rights = item.GetAccessRights();
    const int image = rights == OPC_READABLE ? 1 : rights == OPC_WRITEABLE ? 2 : 0;
    return item.IsActive() ? image : image + 3;
}
} // namespace

CItemView::CItemView(CQuilletDoc& doc)
    : m_doc(doc)
    , m_normal(quillet::NormalColumns(doc.Texts()))
    , m_expert(quillet::ExpertColumns(doc.Texts()))
    , m_bExpert(doc.m_bExpertMode)
    , m_refreshId(s_nextTimerId++)
    , m_secondId(s_nextTimerId++)
    , m_template(std::make_unique<CItem>(doc))
    , m_window(doc.Dispatcher(), [this](UINT_PTR id) { OnTimer(id); })
{
    m_doc.SetItemView(this);
    BuildColumns();
    m_window.Start(m_refreshId, m_dwRefreshMs);
    m_window.Start(m_secondId, 1000);
}

CItemView::~CItemView() { m_doc.SetItemView(nullptr); }

CItemView* CItemView::Of(const CQuilletDoc& doc) { return dynamic_cast<CItemView*>(doc.ItemView()); }

CGroup* CItemView::SelectedGroup() const
{
    const CGroupView* groups = CGroupView::Of(m_doc);
    return groups ? groups->SelectedGroup() : nullptr;
}

void CItemView::SetViewport(int topRow, int rowsPerPage)
{
    m_nTopRow = std::max(topRow, 0);
    m_nRowsPerPage = std::max(rowsPerPage, 0);
}

std::vector<CItem*> CItemView::SelectedItems() const
{
    std::vector<int> rows = m_selection;
    std::sort(rows.begin(), rows.end());
    std::vector<CItem*> items;
    for (int row : rows)
        if (row >= 0 && std::size_t(row) < m_rows.size())
            if (CItem* item = m_doc.Handles().Find<CItem>(m_rows[row].hItem)) items.push_back(item);
    return items;
}

void CItemView::BuildColumns()
{
    m_shown = quillet::ArrangeColumns(CurrentColumns());
    m_bRefreshAll = true;
    if (m_listener) m_listener->ColumnsReset();
}

void CItemView::SwitchColumnSet(bool expert)
{
    for (CColumnInfo& c : CurrentColumns())
        if (c.enabled) c.width = 100;
    m_bExpert = expert;
    BuildColumns();
}

bool CItemView::SetRefreshPeriod(DWORD ms)
{
    if (ms < kMinRefreshMs || ms > kMaxRefreshMs) return false;
    m_dwRefreshMs = ms;
    m_window.Start(m_refreshId, ms);
    return true;
}

void CItemView::DeleteAllRows()
{
    m_rows.clear();
    m_selection.clear();
    m_bRefreshAll = true;
    if (m_listener) m_listener->RowsReset();
}

void CItemView::OnUpdate()
{
    CGroup* group = SelectedGroup();
    if (!group) return;
    const long long last = (long long)m_nTopRow + m_nRowsPerPage;
    int added = 0;
    for (auto& owned : group->Items()) {
        CItem& item = *owned;
        if (item.GetRow() > last || added > kMaxNewRowsPerPass) break;
        if (item.GetRow() < 0 || std::size_t(item.GetRow()) >= m_rows.size()) {
            item.SetRow(int(m_rows.size()));
            m_rows.push_back(Row{item.GetClientHandle(), 0, {}});
            ++added;
            WriteRow(item, true);
            if (m_listener) m_listener->RowsInserted(item.GetRow(), 1);
        } else {
            WriteRow(item, false);
        }
    }
    m_bRefreshAll = false;
    m_bRateColumnsDue = false;
}

void CItemView::WriteRow(CItem& item, bool newRow)
{
    using namespace quillet;
    Row& row = m_rows[item.GetRow()];
    bool changed = newRow;
    if (newRow || item.m_bAttributesChanged) {
        row.image = RowImage(item);
        row.cells[COL_ITEMID] = item.GetItemID();
        item.m_bAttributesChanged = FALSE;
        changed = true;
    }
    if (item.GetRow() >= m_nTopRow) {
        // Which change flag of the item stands for a column; cleared as it is drawn.
        auto due = [&](BOOL& flag) { return std::exchange(flag, FALSE) || m_bRefreshAll; };
        for (int id : m_shown) {
            bool write = m_bRefreshAll;
            if (id == COL_ACCESS_PATH) write = due(item.m_bNewEntry);
            else if (id == COL_UPDATE_RATE || id == COL_RUN_AVERAGE) write = m_bRateColumnsDue || m_bRefreshAll;
            else if (id == COL_HSERVER) write = due(item.m_bRowNeedsRefresh);
            else if (id >= COL_SUB_VALUE && id <= COL_SYNC_UPDATES) {
                CValueSet& set = item.Values(id >= COL_SYNC_VALUE    ? ValueRoad::SyncRead
                                             : id >= COL_ASYNC_VALUE ? ValueRoad::AsyncRead
                                                                     : ValueRoad::Subscription);
                BOOL* flags[] = {&set.valueChanged, &set.timeChanged, &set.qualityChanged, &set.received};
                write = due(*flags[(id - COL_SUB_VALUE) % 4]);
            }
            if (!write) continue;
            row.cells[id] = CellText(m_doc.Texts(), item, id);
            changed = true;
        }
    }
    if (changed && !newRow && m_listener) m_listener->RowChanged(item.GetRow());
}

void CItemView::OnTimer(UINT_PTR id)
{
    if (id == m_refreshId) m_doc.UpdateAllViews();
    else if (id == m_secondId) OnSecond();
    else if (id == kWatchdogTimer) OnWatchdog();
}

void CItemView::OnSecond()
{
    for (auto& group : m_doc.Groups()) group->RefreshPeriod();
    m_bRateColumnsDue = true;
}

// ---- commands that only concern the view ----

void CItemView::OnReadFromCache() { m_source = m_source == OPC_DS_CACHE ? OPC_DS_DEVICE : OPC_DS_CACHE; }

void CItemView::OnItemColumns()
{
    CSelectColumnsDlg form(CurrentColumns());
    if (!m_doc.Ui().RunDialog(form)) return;
    form.Apply();
    BuildColumns();
}

void CItemView::OnViewUpdateTimer()
{
    CUpdateTimerDlg form(m_doc.Texts(), m_dwRefreshMs);
    if (m_doc.Ui().RunDialog(form)) SetRefreshPeriod(form.Period());
}
