#pragma once
// The group tree of a connection window without its widget: one entry per group of
// the document, whose selection decides what the item view shows; the group commands;
// and the MMI emulation, a timer that selects the groups in turn and may keep only the
// shown group active. The event triggers run their timers on this view's window.
// Application thread only.
//
// Entries and the cycle name their groups by client handle, so a group removed by any
// road is simply no longer found.
#include "quillet/views/ListModel.h"
#include "quillet/doc/DocListener.h"
#include "quillet/doc/TimerWindow.h"

#include "platform/opc/OpcTypes.h"

#include <string>
#include <vector>

class CGroup;
class CQuilletDoc;

class CGroupView : public CDocListener {
public:
    struct Entry {
        OPCHANDLE hGroup = 0;
        std::string label;  // "<name> (Actual Rate: <revised rate>)"
        int image = 0;
    };
    struct MmiSettings {
        BOOL onlyDisplayedActive = FALSE;
        BOOL enabled = FALSE;
        DWORD seconds = 10;
    };

    // Registers with the document as its group tree.
    explicit CGroupView(CQuilletDoc& doc);
    ~CGroupView() override;
    CGroupView(const CGroupView&) = delete;
    CGroupView& operator=(const CGroupView&) = delete;
    // The group tree registered with the document; null while it has none.
    static CGroupView* Of(const CQuilletDoc& doc);

    const std::vector<Entry>& Entries() const { return m_entries; }
    int Selection() const;
    CGroup* SelectedGroup() const;
    void SetListener(quillet::ListListener* listener) { m_listener = listener; }

    // Adds entries for new groups (selecting each), redraws changed ones, drops those
    // of groups that went.
    void OnUpdate() override;
    // A new selection (or the same again): the item list starts over and, while the
    // activation flag is set, only this group stays active.
    void Select(int index);

    // ---- commands ----
    void OnCounterReset();
    void OnRemoveGroup();
    void OnGetState();
    void OnEnumerateItems();
    void OnMmiEmulation();
    void OnConfigureEvents();
    bool CanCounterReset() const { return !m_entries.empty(); }
    bool CanRemoveGroup() const;
    bool CanActOnSelection() const;  // connected and an entry selected
    bool CanMmiEmulation() const;
    bool CanConfigureEvents() const { return SelectedGroup() != nullptr; }

    // ---- MMI emulation ----
    const MmiSettings& Mmi() const { return m_mmi; }
    // Stores and applies the settings; seconds outside 1..3600 (a damaged file) keep
    // the default of 10.
    void SetMmi(MmiSettings settings);
    bool IsCycling() const { return m_bCycling; }
    UINT_PTR CycleTimerId() const { return m_cycleTimerId; }

    // The window the event triggers' timers run on.
    quillet::TimerWindow& Window() { return m_window; }

    // The picture of a group's entry: by active state and subscription.
    static int EntryImage(const CGroup& group);
    static std::string EntryLabel(const CGroup& group, std::string_view actualRate);

private:
    void OnTimer(UINT_PTR id);
    void OnCycleTick();
    void ApplyMmi();
    void StopCycle();
    void ActivateOnly(CGroup& selected);
    bool SetGroupActive(CGroup& group, BOOL active);
    int IndexOf(OPCHANDLE hGroup) const;

    CQuilletDoc& m_doc;
    std::vector<Entry> m_entries;
    OPCHANDLE m_hSelected = 0;
    MmiSettings m_mmi;
    bool m_bActivation = false;  // selecting makes the group the only active one
    bool m_bCycling = false;
    bool m_bInCycleTick = false;
    UINT_PTR m_cycleTimerId;
    OPCHANDLE m_hCyclePos = 0;   // the group the next tick selects; 0: the first
    quillet::ListListener* m_listener = nullptr;
    quillet::TimerWindow m_window;  // last: its timers stop before the rest goes
};
