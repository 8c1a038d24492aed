#pragma once
// The forms of the item dialogs the views open: adding items (with validation, item
// properties and the address-space browser), the active state, client handles,
// requested data types and the item enumeration. The write dialog's form has a file
// of its own (WriteItemDlg.h). Each form holds the dialog's fields and steps and makes
// its own server calls through the document; its window only shows it.
#include "quillet/forms/AddressBrowser.h"
#include "quillet/doc/Group.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/text/UiServices.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CQuilletDoc;

// A list column of a dialog: its title and width in pixels.
struct CListColumn {
    const char* title;
    int width;
};

// One property of an item as the server describes it.
struct CItemProperty {
    DWORD id = 0;
    std::string description;
    VARIANT value;
    std::string itemId;
};

// Every available property of an item with its value and item id. The message a
// dialog shows when there are none or they cannot be read; empty on success.
std::string ReadItemProperties(CQuilletDoc& doc, IOPCItemProperties* properties, const std::string& itemId,
                               std::vector<CItemProperty>& out);

// "Add New OPC Item": new entries start as copies of the view's template with an
// empty item id; OK keeps the entries that have one.
class CAddItemDlg final : public quillet::DialogForm {
public:
    // The dialog opens with one new entry, selected.
    CAddItemDlg(CGroup& group, CItem& itemTemplate);
    ~CAddItemDlg() override;
    UINT DialogId() const override { return quillet::dlg::IDD_ADD_ITEM; }

    // Opening: the browser shows the connected server, and its item properties are kept.
    void Open();
    CAddressBrowser* Browser() const { return m_browser.get(); }

    CItem& NewEntry();
    std::vector<std::unique_ptr<CItem>>& Entries() { return m_entries; }
    int Current() const { return m_current; }
    // The fields go back into the entry shown, then the entry index is shown.
    void Select(int index);
    void SetItemName(std::string name);
    void ChooseType(int index);
    // "&Add Item": a new entry after the current one's fields are kept.
    void AddEntry();
    // OK: the fields kept and the entries without an item id dropped.
    void Confirm();
    std::vector<std::unique_ptr<CItem>> TakeItems();
    // "&Validate": the entries as the server would take them, in the results dialog.
    void Validate();
    // "&Item Properties" of the item name.
    void ShowProperties();

    bool ArrayEnabled() const;
    bool CanValidate() const { return !itemName.empty(); }
    bool CanShowProperties() const { return !itemName.empty() && m_properties; }

    // The fields of the entry shown.
    std::string accessPath;
    std::string itemName;
    BOOL active = TRUE;
    int type = 0;  // index of AddItemTypes()
    bool array = false;
    DWORD accessRights = 0;
    std::string accessText;
    std::string message;

    CGroup& group;
    CItem& itemTemplate;

private:
    void Store();
    void Show();
    void DropEmpty();
    void OnBrowser(UINT message);
    DWORD ReadAccessRights(const std::string& itemId);

    std::vector<std::unique_ptr<CItem>> m_entries;
    int m_current = -1;
    opc::ComPtr<IOPCItemProperties> m_properties;
    std::unique_ptr<CAddressBrowser> m_browser;
};

// "Item Properties" of one item id.
class CItemPropertiesDlg final : public quillet::DialogForm {
public:
    static constexpr CListColumn kColumns[] = {{"Property Name", 134}, {"Property Value", 133}, {"Property Item Id", 133}};
    CItemPropertiesDlg(CQuilletDoc& doc, std::string itemId, opc::ComPtr<IOPCItemProperties> properties)
        : itemId(std::move(itemId)), m_doc(doc), m_properties(std::move(properties)) {}
    UINT DialogId() const override { return quillet::dlg::IDD_ITEM_PROPERTIES; }
    // Reads the rows; false (after the reason in a box) when the dialog closes at once.
    bool Open();
    std::string itemId;
    std::vector<std::array<std::string, 3>> rows;

private:
    CQuilletDoc& m_doc;
    opc::ComPtr<IOPCItemProperties> m_properties;
};

// "Validation Results": what the server answered for each entry.
class CValidationResultsDlg final : public quillet::DialogForm {
public:
    static constexpr CListColumn kColumns[] = {
        {"Item Name", 70}, {"Server Handle", 90}, {"Data Type", 90}, {"Access Rights", 90}, {"Blob Size", 90}};
    CValidationResultsDlg(CQuilletDoc& doc, const std::vector<std::string>& itemIds,
                          const std::vector<OPCITEMRESULT>& results, const std::vector<HRESULT>& errors);
    UINT DialogId() const override { return quillet::dlg::IDD_VALIDATION_RESULTS; }
    std::vector<std::array<std::string, 5>> rows;
};

// "Item State": confirmed with Active or Inactive.
class CItemStateDlg final : public quillet::DialogForm {
public:
    explicit CItemStateDlg(std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_ITEM_STATE; }
    std::vector<CItem*> items;
    bool activeFirst;   // at most half of the items are active: Active is the default button
    BOOL active = TRUE; // the button chosen
};

// "Change Client Handles": old and new handles, confirmed or not.
class CClientHandlesDlg final : public quillet::DialogForm {
public:
    static constexpr CListColumn kColumns[] = {{"Item Name", 70}, {"Old Handle", 90}, {"New Handle", 90}};
    CClientHandlesDlg(const quillet::StringTable& texts, const std::vector<CItem*>& items,
                      const std::vector<std::unique_ptr<CItem>>& copies);
    UINT DialogId() const override { return quillet::dlg::IDD_CLIENT_HANDLES; }
    std::vector<OPCHANDLE> oldHandles;
    std::vector<OPCHANDLE> newHandles;
    std::vector<std::array<std::string, 3>> rows;
    std::string message;
    bool okEnabled = true;
};

// "Change Data Type": one requested type per item, in item order; the rows are sorted
// by item id.
class CDataTypeDlg final : public quillet::DialogForm {
public:
    explicit CDataTypeDlg(std::vector<CItem*> items);
    UINT DialogId() const override { return quillet::dlg::IDD_DATA_TYPE; }
    // Keeps the row shown, then shows row.
    void SelectRow(int row);
    void Confirm() { Store(); }
    std::vector<std::string> RowTexts() const;

    std::vector<CItem*> items;
    std::vector<VARTYPE> types;
    int row = -1;
    std::string itemId;
    int type = -1;  // index of SortedTypes(); -1: a type the list lacks, kept as it is
    bool array = false;

private:
    void Store();
    void Show();
    std::vector<std::size_t> m_order;  // item index of each row
};

// "Item Enumeration": the server's item attributes of a group, fetched in batches of
// growing size and shown one at a time as the server has them now.
class CItemEnumDlg final : public quillet::DialogForm {
public:
    // Opened for a group, or on an enumerator (a clone).
    CItemEnumDlg(CQuilletDoc& doc, CGroup& group);
    CItemEnumDlg(CQuilletDoc& doc, opc::ComPtr<IEnumOPCItemAttributes> enumerator);
    UINT DialogId() const override { return quillet::dlg::IDD_ITEM_ENUM; }
    void Open();
    void Show(int index);
    // A second dialog on a clone of the enumerator.
    void Clone();

    std::vector<std::string> itemIds;
    int selected = -1;
    // The fields 1055..1063 as texts, and the active check.
    std::string accessPath, itemId, clientHandle, serverHandle, accessRights, blobSize, requestedType, canonicalType;
    BOOL active = FALSE;
    std::string message;
    bool canClone = false;
    std::vector<std::size_t> batches;  // how many records each Next brought

private:
    void List();
    CQuilletDoc& m_doc;
    CGroup* m_group = nullptr;
    opc::ComPtr<IEnumOPCItemAttributes> m_enum;
};

// The about box.
class CAboutForm final : public quillet::DialogForm {
public:
    UINT DialogId() const override { return quillet::dlg::IDD_ABOUT; }
};
