#pragma once
// The forms of the group view's configuration dialogs: the event triggers of a group
// (each event edited in its own dialog) and the MMI emulation settings. They only
// collect settings; the events and the emulation run elsewhere.
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include "platform/opc/OpcTypes.h"

#include <memory>
#include <string>
#include <vector>

class CGroup;
class CGroupEvent;
class CGroupView;
class CItemView;
namespace quillet { class StringTable; }

// "Configure Event": one new or existing event of a group.
class CEventConfigDlg final : public quillet::DialogForm {
public:
    struct Entry {
        OPCHANDLE hItem;
        std::string name;
        bool selected;
    };
    // A new event, made on OK and taken by the caller.
    CEventConfigDlg(CGroup& group, CGroupView& groupView);
    // An existing event, changed in place on OK.
    CEventConfigDlg(CGroup& group, CGroupEvent& event);
    ~CEventConfigDlg() override;
    UINT DialogId() const override { return quillet::dlg::IDD_EVENT_CONFIG; }

    // OK: a field that does not parse gets the framework's prompt (in prompt) and keeps
    // its value; the event is made or changed all the same.
    void Confirm(std::string& prompt);
    // The event a confirmed new-event dialog made; null otherwise or once taken.
    std::unique_ptr<CGroupEvent> TakeEvent();

    std::string name;
    std::string intervalText;
    int type = 0;  // index of the event types, which is their type number
    BOOL onlyIfActive = TRUE;
    // The group's items, the pseudo item left out.
    std::vector<Entry> items;

private:
    CGroup& m_group;
    CGroupView* m_view = nullptr;
    CGroupEvent* m_event = nullptr;
    DWORD m_interval = 0;
    std::unique_ptr<CGroupEvent> m_made;
};

// "Configure Event Triggers for Group": the dialog edits the group's events in place
// and hands the views to each new event.
class CEventTriggersDlg final : public quillet::DialogForm {
public:
    struct Row {
        std::string name, type, time;
    };
    CEventTriggersDlg(CGroup& group, CGroupView& groupView, CItemView& itemView)
        : group(group), groupView(groupView), itemView(itemView) {}
    UINT DialogId() const override { return quillet::dlg::IDD_EVENT_TRIGGERS; }
    // One row per event of the group, in list order.
    std::vector<Row> Rows(const quillet::StringTable& texts) const;
    // "&Add Event...", "&Edit..." (or a double click) and "&Remove..": each needs a
    // selected row but the first.
    void AddEvent();
    void EditEvent();
    void RemoveEvent();

    CGroup& group;
    CGroupView& groupView;
    CItemView& itemView;
    int selected = -1;

private:
    CGroupEvent* SelectedEvent() const;
};

// "MMI Emulation Configuration".
class CMMIEmulationDlg final : public quillet::DialogForm {
public:
    static constexpr DWORD kMinSeconds = 1, kMaxSeconds = 3600;
    UINT DialogId() const override { return quillet::dlg::IDD_MMI_EMULATION; }
    bool IsValid() const { return seconds >= kMinSeconds && seconds <= kMaxSeconds; }
    // While emulation is on, only the displayed group is active and the seconds count.
    bool OnlyDisplayedEnabled() const { return !enabled; }
    bool SecondsEnabled() const { return enabled != FALSE; }
    void SetEnabled(BOOL on);
    // OK: the seconds text read and checked; false (and the prompt) keeps the dialog open.
    bool Exchange(const quillet::StringTable& texts, std::string& prompt);

    BOOL onlyDisplayedActive = FALSE;
    BOOL enabled = FALSE;
    DWORD seconds = 10;
    std::string secondsText;  // filled by the dialog from seconds when it opens
};
