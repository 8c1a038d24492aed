// MMI emulation: the groups are selected in turn, and the timer ticks of the event
// triggers are handed to their events.
#include "quillet/views/GroupView.h"

#include "quillet/doc/Group.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/views/EventForms.h"
#include "quillet/doc/QuilletDoc.h"

void CGroupView::OnMmiEmulation()
{
    CMMIEmulationDlg form;
    form.onlyDisplayedActive = m_mmi.onlyDisplayedActive;
    form.enabled = m_mmi.enabled;
    form.seconds = m_mmi.seconds;
    form.secondsText = std::to_string(form.seconds);
    if (!m_doc.Ui().RunDialog(form) || !form.IsValid()) return;
    SetMmi({form.onlyDisplayedActive, form.enabled, form.seconds});
    // The settings are part of the set-up file.
    m_doc.SetModifiedFlag();
}

void CGroupView::SetMmi(MmiSettings settings)
{
    if (settings.seconds < CMMIEmulationDlg::kMinSeconds || settings.seconds > CMMIEmulationDlg::kMaxSeconds)
        settings.seconds = MmiSettings{}.seconds;
    m_mmi = settings;
    ApplyMmi();
}

void CGroupView::ApplyMmi()
{
    const int selection = Selection();
    if (m_mmi.enabled) {
        m_mmi.onlyDisplayedActive = TRUE;
        m_bActivation = true;
        Select(selection);
        m_window.Start(m_cycleTimerId, m_mmi.seconds * 1000);
        m_bCycling = true;
    } else {
        StopCycle();
        m_bActivation = m_mmi.onlyDisplayedActive != FALSE;
        if (m_bActivation) Select(selection);
    }
}

void CGroupView::StopCycle()
{
    m_window.Stop(m_cycleTimerId);
    m_bCycling = false;
}

void CGroupView::OnTimer(UINT_PTR id)
{
    if (m_bCycling && id == m_cycleTimerId) return OnCycleTick();
    for (auto& group : m_doc.Groups())
        for (auto& event : group->Events())
            if (event->OnTimer(id)) return;
}

void CGroupView::OnCycleTick()
{
    // A tick while the last one's box is still open is dropped; a server that went
    // away ends the emulation instead of failing on every group each period.
    if (m_bInCycleTick) return;
    if (!m_doc.IsConnected() || !m_doc.GetServer()) {
        StopCycle();
        m_mmi.enabled = FALSE;
        return;
    }
    const auto& groups = m_doc.Groups();
    if (groups.empty()) return;
    auto at = groups.begin();
    for (auto it = groups.begin(); it != groups.end(); ++it)
        if ((*it)->GetClientHandle() == m_hCyclePos) at = it;
    CGroup& group = **at;
    auto next = std::next(at);
    m_hCyclePos = next == groups.end() ? 0 : (*next)->GetClientHandle();
    m_bActivation = true;
    m_bInCycleTick = true;
    Select(IndexOf(group.GetClientHandle()));
    m_bInCycleTick = false;
}
