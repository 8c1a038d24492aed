// The group tree: entries, selection and the group commands.
#include "quillet/views/GroupView.h"

#include "quillet/doc/Group.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/views/EventForms.h"
#include "quillet/forms/GroupForms.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/views/ItemView.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include <atomic>

namespace {
// The cycle's timer id is the number of group views made so far in the program.
std::atomic<UINT_PTR> s_groupViews{0};
} // namespace

CGroupView::CGroupView(CQuilletDoc& doc)
    : m_doc(doc), m_cycleTimerId(++s_groupViews), m_window(doc.Dispatcher(), [this](UINT_PTR id) { OnTimer(id); })
{
    m_doc.SetGroupView(this);
}

CGroupView::~CGroupView() { m_doc.SetGroupView(nullptr); }

CGroupView* CGroupView::Of(const CQuilletDoc& doc) { return dynamic_cast<CGroupView*>(doc.GroupView()); }

int CGroupView::EntryImage(const CGroup& group)
{
    // One rule for new and redrawn entries.
    const bool advised = group.GetAdviseMode() != ADVISE_NONE;
    if (group.IsActive()) return advised ? 2 : 0;
    return advised ? 1 : 3;
}

std::string CGroupView::EntryLabel(const CGroup& group, std::string_view actualRate)
{
    return group.GetName() + " (" + std::string(actualRate) + ": " + std::to_string(long(group.m_dwRevisedRate)) + ")";
}

int CGroupView::IndexOf(OPCHANDLE hGroup) const
{
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].hGroup == hGroup) return int(i);
    return -1;
}

int CGroupView::Selection() const { return m_hSelected ? IndexOf(m_hSelected) : -1; }

CGroup* CGroupView::SelectedGroup() const { return m_hSelected ? m_doc.Handles().Find<CGroup>(m_hSelected) : nullptr; }

void CGroupView::OnUpdate()
{
    const std::size_t before = m_entries.size();
    std::erase_if(m_entries, [&](const Entry& e) { return !m_doc.Handles().Find<CGroup>(e.hGroup); });
    if (m_entries.size() != before && m_listener) m_listener->RowsReset();
    const std::string_view rate = m_doc.Texts().Text(quillet::IDS_ACTUAL_RATE);
    for (auto& owned : m_doc.Groups()) {
        CGroup& group = *owned;
        const int index = IndexOf(group.GetClientHandle());
        if (index < 0) {
            m_entries.push_back({group.GetClientHandle(), EntryLabel(group, rate), EntryImage(group)});
            group.m_bChanged = FALSE;
            if (m_listener) m_listener->RowsInserted(int(m_entries.size()) - 1, 1);
            Select(int(m_entries.size()) - 1);
        } else if (group.m_bChanged) {
            m_entries[index].label = EntryLabel(group, rate);
            m_entries[index].image = EntryImage(group);
            group.m_bChanged = FALSE;
            if (m_listener) m_listener->RowChanged(index);
        }
    }
}

void CGroupView::Select(int index)
{
    if (index < 0 || std::size_t(index) >= m_entries.size()) return;
    m_hSelected = m_entries[index].hGroup;
    CGroup* group = SelectedGroup();
    if (!group) return;
    for (auto& item : group->Items()) {
        item->SetRow(-1);
        item->Values(ValueRoad::Subscription).valueChanged = TRUE;
        item->m_bRowNeedsRefresh = TRUE;
    }
    if (CItemView* items = CItemView::Of(m_doc)) items->DeleteAllRows();
    if (m_bActivation) ActivateOnly(*group);
    m_doc.UpdateAllViews();
}

bool CGroupView::SetGroupActive(CGroup& group, BOOL active)
{
    auto state = group.m_itemMgt.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    DWORD revised = 0;
    const HRESULT hr = state ? m_doc.CheckCall(state->SetState(nullptr, &revised, &active, nullptr, nullptr, nullptr, nullptr))
                             : E_NOINTERFACE;
    if (FAILED(hr)) {
        m_doc.ShowError(hr);
        return false;
    }
    group.SetActive(active);
    return true;
}

void CGroupView::ActivateOnly(CGroup& selected)
{
    // A server that is gone is asked nothing: no box for every group.
    if (!m_doc.IsConnected() || !m_doc.GetServer()) return;
    if (!selected.IsActive()) SetGroupActive(selected, TRUE);
    for (auto& group : m_doc.Groups()) {
        if (!m_doc.IsConnected()) return;
        if (group.get() != &selected) SetGroupActive(*group, FALSE);
    }
}

// ---- commands ----

bool CGroupView::CanRemoveGroup() const { return m_doc.IsConnected() && !m_entries.empty() && SelectedGroup(); }
bool CGroupView::CanActOnSelection() const { return m_doc.IsConnected() && SelectedGroup(); }
bool CGroupView::CanMmiEmulation() const { return m_doc.IsConnected(); }

void CGroupView::OnCounterReset()
{
    for (auto& group : m_doc.Groups()) group->ResetUpdateCount();
    if (CGroup* group = SelectedGroup()) group->ResetRunAverages();
}

void CGroupView::OnRemoveGroup()
{
    CGroup* group = SelectedGroup();
    if (!group) return;
    int index = Selection();
    m_doc.RemoveGroup(group);
    m_entries.erase(m_entries.begin() + index);
    m_hSelected = 0;
    m_hCyclePos = 0;
    if (m_listener) m_listener->RowsReset();
    if (CItemView* items = CItemView::Of(m_doc)) items->DeleteAllRows();
    // The tree selects a neighbour, as a tree control does when its selection goes.
    if (!m_entries.empty()) Select(std::min(index, int(m_entries.size()) - 1));
    m_doc.UpdateAllViews();
    m_doc.SetModifiedFlag();
}

void CGroupView::OnGetState()
{
    CGroup* group = SelectedGroup();
    if (!group) return;
    auto state = group->m_itemMgt.as<IOPCGroupStateMgt>(IID_IOPCGroupStateMgt);
    if (!state) return m_doc.ShowError(E_NOINTERFACE);
    CGroupStateDlg form(m_doc, std::move(state));
    form.Open();
    m_doc.Ui().RunDialog(form);
    m_doc.UpdateAllViews();
}

void CGroupView::OnEnumerateItems()
{
    if (CGroup* group = SelectedGroup()) {
        CItemEnumDlg form(m_doc, *group);
        form.Open();
        m_doc.Ui().RunDialog(form);
    }
}

void CGroupView::OnConfigureEvents()
{
    CGroup* group = SelectedGroup();
    CItemView* items = CItemView::Of(m_doc);
    if (!group || !items) return;
    CEventTriggersDlg form(*group, *this, *items);
    m_doc.Ui().RunDialog(form);
}
