// The add-item dialog's form, with the item properties and validation results it opens.
#include "quillet/forms/ItemForms.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ErrorText.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/VariantText.h"

#include "platform/com/Bstr.h"

#include <algorithm>

namespace {

constexpr const char* kNoProperties = "No available Item Properties for this Item.";
constexpr const char* kPropertiesFailed = "Failed to get the Item Properties for this Item.";

// The one text of a one-dimensional BSTR array of exactly one element.
std::optional<std::string> OnlyText(const VARIANT& v)
{
    const SAFEARRAY* a = v.parray();
    if (v.vt() != (VT_ARRAY | VT_BSTR) || !a || a->count() != 1) return std::nullopt;
    return com::fromBstr(a->at(0).bstrVal());
}

} // namespace

std::string ReadItemProperties(CQuilletDoc& doc, IOPCItemProperties* properties, const std::string& itemId,
                               std::vector<CItemProperty>& out)
{
    out.clear();
    if (!properties) return kNoProperties;
    const std::u16string id = com::toBstr(itemId);
    std::vector<DWORD> ids;
    std::vector<std::u16string> descriptions;
    std::vector<VARTYPE> types;
    HRESULT hr = doc.CheckCall(properties->QueryAvailableProperties(id, ids, descriptions, types));
    if (FAILED(hr) || ids.empty()) return kNoProperties;
    std::vector<VARIANT> values;
    std::vector<std::u16string> itemIds;
    std::vector<HRESULT> valueErrors, idErrors;
    if (FAILED(doc.CheckCall(properties->GetItemProperties(id, ids, values, valueErrors))) ||
        FAILED(doc.CheckCall(properties->LookupItemIDs(id, ids, itemIds, idErrors))))
        return kPropertiesFailed;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        CItemProperty p;
        p.id = ids[i];
        if (i < descriptions.size()) p.description = com::fromBstr(descriptions[i]);
        if (i < values.size()) p.value = values[i];
        if (i < itemIds.size()) p.itemId = com::fromBstr(itemIds[i]);
        out.push_back(std::move(p));
    }
    return {};
}

// ---- add item ----

CAddItemDlg::CAddItemDlg(CGroup& group, CItem& itemTemplate) : group(group), itemTemplate(itemTemplate)
{
    NewEntry();
    m_current = 0;
    Show();
}

CAddItemDlg::~CAddItemDlg() = default;

void CAddItemDlg::Open()
{
    CQuilletDoc& doc = group.GetDocument();
    message = doc.Texts().Text(quillet::IDS_ADD_ITEM_HINT);
    opc::ComPtr<IUnknown> server(doc.GetServer());
    m_browser = std::make_unique<CAddressBrowser>(doc.Ui(), doc.BrowseSetup());
    m_browser->notify = [this](UINT m) { OnBrowser(m); };
    const bool remote = !doc.GetNode().empty();
    m_browser->ShowConnectedServer(server, remote ? doc.GetProgID() : std::string(),
                                   remote ? doc.GetNode() : std::string());
    m_properties = server.as<IOPCItemProperties>(IID_IOPCItemProperties);
}

CItem& CAddItemDlg::NewEntry()
{
    m_entries.push_back(std::make_unique<CItem>(itemTemplate));
    m_entries.back()->SetItemID({});
    return *m_entries.back();
}

bool CAddItemDlg::ArrayEnabled() const { return quillet::AddItemTypes()[type] != VT_EMPTY; }

void CAddItemDlg::Store()
{
    if (m_current < 0 || std::size_t(m_current) >= m_entries.size()) return;
    CItem& entry = *m_entries[m_current];
    const VARTYPE vt = quillet::AddItemTypes()[type];
    // VT_EMPTY asks for the canonical type: there is no array of it.
    const VARTYPE requested = vt | (array && vt != VT_EMPTY ? VT_ARRAY : 0);
    entry.SetAccessPath(accessPath);
    entry.SetItemID(itemName);
    entry.SetRequestedType(requested);
    entry.SetActive(active);
    entry.SetAccessRights(accessRights);
    itemTemplate.SetAccessPath(accessPath);
    itemTemplate.SetRequestedType(requested);
    itemTemplate.SetActive(active);
}

void CAddItemDlg::Show()
{
    if (m_current < 0 || std::size_t(m_current) >= m_entries.size()) return;
    const CItem& entry = *m_entries[m_current];
    accessPath = entry.GetAccessPath();
    itemName = entry.GetItemID();
    array = (entry.GetRequestedType() & VT_ARRAY) != 0;
    type = quillet::FindType(quillet::AddItemTypes(), entry.GetRequestedType()).value_or(0);
    active = entry.IsActive();
    accessRights = entry.GetAccessRights();
    accessText = quillet::AccessRightsText(accessRights);
}

void CAddItemDlg::Select(int index)
{
    if (index < 0 || std::size_t(index) >= m_entries.size()) return;
    Store();
    m_current = index;
    Show();
}

void CAddItemDlg::SetItemName(std::string name)
{
    itemName = std::move(name);
    // The list shows the entry's new text at once.
    if (m_current >= 0 && std::size_t(m_current) < m_entries.size()) m_entries[m_current]->SetItemID(itemName);
}

void CAddItemDlg::ChooseType(int index)
{
    if (index < 0 || std::size_t(index) >= quillet::AddItemTypes().size()) return;
    type = index;
}

void CAddItemDlg::AddEntry()
{
    Store();
    NewEntry();
    m_current = int(m_entries.size()) - 1;
    Show();
}

void CAddItemDlg::DropEmpty()
{
    CItem* shown = m_current >= 0 && std::size_t(m_current) < m_entries.size() ? m_entries[m_current].get() : nullptr;
    std::erase_if(m_entries, [](const auto& item) { return item->GetItemID().empty(); });
    // The list and the entries stay in step: the entry shown stays shown when it is kept.
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto& e) { return e.get() == shown; });
    m_current = it != m_entries.end() ? int(it - m_entries.begin()) : int(m_entries.size()) - 1;
}

void CAddItemDlg::Confirm()
{
    Store();
    DropEmpty();
}

std::vector<std::unique_ptr<CItem>> CAddItemDlg::TakeItems()
{
    std::erase_if(m_entries, [](const auto& item) { return item->GetItemID().empty(); });
    m_current = -1;
    return std::exchange(m_entries, {});
}

void CAddItemDlg::Validate()
{
    CQuilletDoc& doc = group.GetDocument();
    Store();
    DropEmpty();
    if (m_entries.empty()) {
        // A dialog always shows an entry.
        NewEntry();
        m_current = 0;
    }
    Show();
    if (m_entries.size() == 1 && m_entries[0]->GetItemID().empty()) return;
    if (!group.m_itemMgt) return doc.ShowError(E_NOINTERFACE);
    quillet::WaitCursor wait(doc.Ui());
    std::vector<OPCITEMDEF> defs;
    std::vector<std::string> ids;
    for (const auto& e : m_entries) {
        defs.push_back({com::toBstr(e->GetAccessPath()), com::toBstr(e->GetItemID()), e->IsActive(),
                        e->GetClientHandle(), {}, e->GetRequestedType()});
        ids.push_back(e->GetItemID());
    }
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    const HRESULT hr = doc.CheckCall(group.m_itemMgt->ValidateItems(defs, FALSE, results, errors));
    if (FAILED(hr)) return doc.ShowError(hr);
    CValidationResultsDlg form(doc, ids, results, errors);
    doc.Ui().RunDialog(form);
}

void CAddItemDlg::ShowProperties()
{
    if (!CanShowProperties()) return;
    CQuilletDoc& doc = group.GetDocument();
    CItemPropertiesDlg form(doc, itemName, m_properties);
    if (form.Open()) doc.Ui().RunDialog(form);
}

DWORD CAddItemDlg::ReadAccessRights(const std::string& itemId)
{
    if (!m_properties) return 0;
    CQuilletDoc& doc = group.GetDocument();
    std::vector<CItemProperty> properties;
    std::string failure = ReadItemProperties(doc, m_properties.get(), itemId, properties);
    if (failure.empty()) {
        for (const CItemProperty& p : properties) {
            if (p.description != "Item Access Rights") continue;
            VARIANT text;
            if (FAILED(com::changeType(p.value, VT_BSTR, text))) break;
            return DWORD(quillet::LeadingInteger(com::fromBstr(text.bstrVal())));
        }
        failure = kNoProperties;
    }
    doc.Ui().MessageBox(failure);
    return 0;
}

void CAddItemDlg::OnBrowser(UINT browserMessage)
{
    switch (browserMessage) {
    case CAddressBrowser::kLeafSelected: {
        const VARIANT ids = m_browser->SelectedItemIds();
        if (ids.vt() == VT_EMPTY) {
            SetItemName({});
            accessPath.clear();
        } else if (auto id = OnlyText(ids)) {
            SetItemName(*id);
            accessRights = ReadAccessRights(*id);
            accessText = quillet::AccessRightsText(accessRights);
            if (auto path = OnlyText(m_browser->AccessPaths(*id))) accessPath = *path;
        }
        break;
    }
    case CAddressBrowser::kLeafActivated: AddEntry(); break;
    case CAddressBrowser::kBranchSelected:
        SetItemName({});
        accessPath.clear();
        break;
    default: break;
    }
}

// ---- item properties ----

bool CItemPropertiesDlg::Open()
{
    std::vector<CItemProperty> properties;
    const std::string failure = ReadItemProperties(m_doc, m_properties.get(), itemId, properties);
    if (!failure.empty()) {
        m_doc.Ui().MessageBox(failure);
        return false;
    }
    rows.clear();
    for (const CItemProperty& p : properties) {
        VARIANT text;
        const std::string value = SUCCEEDED(com::changeType(p.value, VT_BSTR, text)) ? com::fromBstr(text.bstrVal())
                                                                                     : std::string();
        rows.push_back({p.description, value, p.itemId});
    }
    return true;
}

// ---- validation results ----

CValidationResultsDlg::CValidationResultsDlg(CQuilletDoc& doc, const std::vector<std::string>& itemIds,
                                             const std::vector<OPCITEMRESULT>& results,
                                             const std::vector<HRESULT>& errors)
{
    for (std::size_t i = 0; i < itemIds.size(); ++i) {
        const HRESULT error = i < errors.size() ? errors[i] : (i < results.size() ? S_OK : E_FAIL);
        if (FAILED(error)) {
            std::u16string text;
            const bool known = doc.GetServer() && SUCCEEDED(doc.CheckCall(doc.GetServer()->GetErrorString(error, 0, text)));
            rows.push_back({itemIds[i], "Error", known ? com::fromBstr(text) : "Error", "", ""});
            continue;
        }
        const OPCITEMRESULT& r = results[i];
        rows.push_back({itemIds[i], quillet::HexCode(r.hServer), quillet::TypeName(r.vtCanonicalDataType),
                        quillet::AccessRightsName(r.dwAccessRights), std::to_string(r.blob.size())});
    }
}
