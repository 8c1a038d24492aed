#include "quillet/views/EventForms.h"

#include "quillet/forms/FieldExchange.h"
#include "quillet/doc/Group.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/views/GroupView.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"

#include <algorithm>
#include <climits>

namespace {
constexpr DWORD kNewEventIntervalMs = 10000;
} // namespace

// ---- one event ----

CEventConfigDlg::CEventConfigDlg(CGroup& group, CGroupView& groupView)
    : name(group.GetDocument().Texts().Text(quillet::IDS_NEW_EVENT))
    , intervalText(std::to_string(kNewEventIntervalMs))
    , m_group(group)
    , m_view(&groupView)
    , m_interval(kNewEventIntervalMs)
{
    // The pseudo item is no item of the server: no event may name it.
    for (auto& item : group.Items())
        if (group.IsServerItem(item.get())) items.push_back({item->GetClientHandle(), item->GetItemID(), false});
}

CEventConfigDlg::CEventConfigDlg(CGroup& group, CGroupEvent& event)
    : name(event.GetName())
    , intervalText(std::to_string(long(LONG(event.GetInterval()))))
    , onlyIfActive(event.OnlyIfActive())
    , m_group(group)
    , m_event(&event)
    , m_interval(event.GetInterval())
{
    if (event.GetType() <= EVENT_TOGGLE_ACTIVE) type = int(event.GetType());
    const auto& chosen = event.Items();
    for (auto& item : group.Items())
        if (group.IsServerItem(item.get()))
            items.push_back({item->GetClientHandle(), item->GetItemID(),
                             std::find(chosen.begin(), chosen.end(), item->GetClientHandle()) != chosen.end()});
}

CEventConfigDlg::~CEventConfigDlg() = default;

std::unique_ptr<CGroupEvent> CEventConfigDlg::TakeEvent() { return std::move(m_made); }

void CEventConfigDlg::Confirm(std::string& prompt)
{
    long long interval = 0;
    if (quillet::ExchangeInteger(m_group.GetDocument().Texts(), intervalText, 0, INT_MAX, interval, prompt))
        m_interval = DWORD(interval);
    std::vector<OPCHANDLE> chosen;
    for (const Entry& e : items)
        if (e.selected) chosen.push_back(e.hItem);
    if (m_event) {
        m_event->SetName(name);
        m_event->SetInterval(m_interval);
        m_event->SetOnlyIfActive(onlyIfActive);
        m_event->SetItems(std::move(chosen));
        m_event->SetType(DWORD(type));
    } else if (m_view) {
        m_made = std::make_unique<CGroupEvent>(DWORD(type), name, std::move(chosen), m_interval, m_group,
                                               m_view->Window(), onlyIfActive);
    }
}

// ---- the group's events ----

std::vector<CEventTriggersDlg::Row> CEventTriggersDlg::Rows(const quillet::StringTable& texts) const
{
    std::vector<Row> rows;
    for (auto& event : group.Events())
        rows.push_back({event->GetName(), CGroupEvent::TypeName(texts, event->GetType()),
                        std::to_string(long(LONG(event->GetInterval())))});
    return rows;
}

CGroupEvent* CEventTriggersDlg::SelectedEvent() const
{
    if (selected < 0 || std::size_t(selected) >= group.Events().size()) return nullptr;
    return std::next(group.Events().begin(), selected)->get();
}

void CEventTriggersDlg::AddEvent()
{
    CEventConfigDlg form(group, groupView);
    if (!group.GetDocument().Ui().RunDialog(form)) return;
    if (auto event = form.TakeEvent()) group.Events().push_back(std::move(event));
}

void CEventTriggersDlg::EditEvent()
{
    if (CGroupEvent* event = SelectedEvent()) {
        CEventConfigDlg form(group, *event);
        group.GetDocument().Ui().RunDialog(form);
    }
}

void CEventTriggersDlg::RemoveEvent()
{
    CGroupEvent* event = SelectedEvent();
    if (!event) return;
    // The event stops its timer as it goes.
    group.Events().remove_if([&](const auto& e) { return e.get() == event; });
    selected = -1;
}

// ---- MMI emulation ----

void CMMIEmulationDlg::SetEnabled(BOOL on)
{
    enabled = on;
    if (enabled) onlyDisplayedActive = TRUE;
}

bool CMMIEmulationDlg::Exchange(const quillet::StringTable& texts, std::string& prompt)
{
    long long value = 0;
    if (!quillet::ExchangeInteger(texts, secondsText, kMinSeconds, kMaxSeconds, value, prompt)) return false;
    seconds = DWORD(value);
    return true;
}
