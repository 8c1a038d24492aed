#pragma once
// The forms of the item and group dialogs the views open: the fields a dialog gives
// back to the command that opened it. Their windows and the dialogs' own steps are
// built on top; the commands only rely on what stands here.
#include "quillet/Group.h"
#include "quillet/ResourceIds.h"
#include "quillet/UiServices.h"

#include <memory>
#include <string>
#include <vector>

class CGroupView;
class CItemView;
class CQuilletDoc;

// "Add New Group": the settings of the new group.
class CAddGroupForm final : public quillet::DialogForm {
public:
    UINT DialogId() const override { return quillet::dlg::IDD_ADD_GROUP; }
    // The time bias must lie in 0..1000 and the deadband in 0..100.
    bool IsValid() const;
    CGroupSettings settings;
};

// "Add New OPC Item": new entries start as copies of the view's template with an
// empty item id; OK keeps the entries that have one.
class CAddItemForm final : public quillet::DialogForm {
public:
    CAddItemForm(CGroup& group, CItem& itemTemplate) : group(group), itemTemplate(itemTemplate) {}
    UINT DialogId() const override { return quillet::dlg::IDD_ADD_ITEM; }
    CItem& NewEntry();
    std::vector<std::unique_ptr<CItem>>& Entries() { return m_entries; }
    std::vector<std::unique_ptr<CItem>> TakeItems();

    CGroup& group;
    CItem& itemTemplate;

private:
    std::vector<std::unique_ptr<CItem>> m_entries;
};

// "Write Item": one value per item, starting as the item's latest subscription value.
class CWriteItemForm final : public quillet::DialogForm {
public:
    explicit CWriteItemForm(std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_WRITE_ITEM; }
    // The typed text as a value of type vt.
    void SetValue(std::size_t index, std::string_view text, VARTYPE vt);

    std::vector<CItem*> items;
    std::vector<OPCHANDLE> handles;
    std::vector<VARIANT> values;
};

// "Item State": confirmed with Active or Inactive.
class CItemStateForm final : public quillet::DialogForm {
public:
    explicit CItemStateForm(std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_ITEM_STATE; }
    std::vector<CItem*> items;
    bool activeFirst;   // at most half of the items are active: Active is the default button
    BOOL active = TRUE; // the button chosen
};

// "Change Client Handles": old and new handles, confirmed or not.
class CClientHandlesForm final : public quillet::DialogForm {
public:
    CClientHandlesForm(const std::vector<CItem*>& items, const std::vector<std::unique_ptr<CItem>>& copies);
    UINT DialogId() const override { return quillet::dlg::IDD_CLIENT_HANDLES; }
    std::vector<OPCHANDLE> oldHandles;
    std::vector<OPCHANDLE> newHandles;
};

// "Change Data Type": one requested type per item, in item order.
class CDataTypeForm final : public quillet::DialogForm {
public:
    explicit CDataTypeForm(std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_DATA_TYPE; }
    std::vector<CItem*> items;
    std::vector<VARTYPE> types;
};

// "MMI Emulation Configuration".
class CMmiForm final : public quillet::DialogForm {
public:
    static constexpr DWORD kMinSeconds = 1, kMaxSeconds = 3600;
    UINT DialogId() const override { return quillet::dlg::IDD_MMI_EMULATION; }
    bool IsValid() const { return seconds >= kMinSeconds && seconds <= kMaxSeconds; }
    BOOL onlyDisplayedActive = FALSE;
    BOOL enabled = FALSE;
    DWORD seconds = 10;
};

// "Configure Event Triggers for Group": the dialog edits the group's events in place
// and hands the views to each new event.
class CEventTriggersForm final : public quillet::DialogForm {
public:
    CEventTriggersForm(CGroup& group, CGroupView& groupView, CItemView& itemView)
        : group(group), groupView(groupView), itemView(itemView) {}
    UINT DialogId() const override { return quillet::dlg::IDD_EVENT_TRIGGERS; }
    CGroup& group;
    CGroupView& groupView;
    CItemView& itemView;
};

// Dialogs that do their own work with the server (group state, group by name, group
// enumeration, error strings, item enumeration, about): what they are opened on.
class CServerDialogForm final : public quillet::DialogForm {
public:
    CServerDialogForm(UINT dialogId, CQuilletDoc* doc, CGroup* group = nullptr) : m_id(dialogId), doc(doc), group(group) {}
    UINT DialogId() const override { return m_id; }

private:
    UINT m_id;

public:
    CQuilletDoc* doc;
    CGroup* group;
    opc::ComPtr<IOPCGroupStateMgt> groupState;  // the group state dialog's interface
};
