// Item operations that change the group's items: add, import, remove, activate, new
// client handles and new data types.
#include "quillet/views/ItemView.h"

#include "quillet/text/CsvText.h"
#include "quillet/text/ErrorText.h"
#include "quillet/doc/GroupEvent.h"
#include "quillet/forms/ItemForms.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/TextFile.h"
#include "quillet/text/VariantText.h"

#include "platform/com/Bstr.h"

#include <algorithm>

using quillet::HexCode;

namespace {

// The result of entry i: the call's own when all succeeded, else the entry's; an
// entry the server left out counts as failed.
HRESULT EntryResult(HRESULT hr, const std::vector<HRESULT>& errors, std::size_t i)
{
    if (i < errors.size()) return errors[i];
    return hr == S_OK ? S_OK : E_FAIL;
}

std::vector<OPCHANDLE> ServerHandles(const std::vector<CItem*>& items)
{
    std::vector<OPCHANDLE> handles;
    for (CItem* item : items) handles.push_back(item->GetServerHandle());
    return handles;
}

} // namespace

std::optional<std::string> CItemView::ItemErrorText(HRESULT error) const
{
    std::u16string text;
    if (!m_doc.GetServer() || FAILED(m_doc.CheckCall(m_doc.GetServer()->GetErrorString(error, 0, text))))
        return std::nullopt;
    return com::fromBstr(text);
}

void CItemView::PurgeFromEvents(CGroup& group, OPCHANDLE hItem, OPCHANDLE replacement)
{
    for (auto& event : group.Events()) event->ReplaceItem(hItem, replacement);
}

// ---- add ----

void CItemView::AddItemsToServer(CGroup& group, std::vector<std::unique_ptr<CItem>> items)
{
    std::erase_if(items, [](const auto& item) { return !item; });
    // A group loaded without items asks the server for nothing.
    if (items.empty() || !group.m_itemMgt) return;
    quillet::WaitCursor wait(m_doc.Ui());
    std::vector<OPCITEMDEF> defs;
    for (const auto& item : items)
        defs.push_back({com::toBstr(item->GetAccessPath()), com::toBstr(item->GetItemID()), item->IsActive(),
                        item->GetClientHandle(), {}, item->GetRequestedType()});
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    const HRESULT hr = m_doc.CheckCall(group.m_itemMgt->AddItems(defs, results, errors));
    if (FAILED(hr)) {
        m_doc.ShowError(hr);
        return;
    }
    std::vector<CItem*> added;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const HRESULT error = i < results.size() ? EntryResult(hr, errors, i) : E_FAIL;
        CItem& item = *items[i];
        if (FAILED(error)) {
            if (auto text = ItemErrorText(error)) {
                m_doc.Ui().MessageBox(*text + " on item " + item.GetItemID());
                item.ItemLog(quillet::LOG_ITEM_ADD, *text);
            }
            continue;
        }
        item.SetServerHandle(results[i].hServer);
        item.SetCanonicalType(results[i].vtCanonicalDataType);
        item.SetAccessRights(results[i].dwAccessRights);
        added.push_back(&item);
        group.Items().push_back(std::move(items[i]));
    }
    // A big batch logs one line, through an item that is still there.
    if (items.size() < 100) {
        for (CItem* item : added) item->ItemLog(quillet::LOG_ITEM_ADD, {});
    } else if (!added.empty()) {
        added.back()->ItemLog(quillet::LOG_ITEM_ADD, "Added " + std::to_string(items.size()) + " items ");
    }
    m_doc.UpdateAllViews();
}

void CItemView::OnAddItem()
{
    CGroup* group = SelectedGroup();
    if (!group) return;
    CAddItemDlg form(*group, *m_template);
    if (!m_doc.Ui().RunDialog(form)) return;
    auto items = form.TakeItems();
    if (items.empty()) return;
    AddItemsToServer(*group, std::move(items));
    m_doc.SetModifiedFlag();
}

bool CItemView::ImportItems(CGroup& group, const std::string& path)
{
    auto text = quillet::ReadTextFile(path);
    if (!text || text->empty()) return false;
    std::vector<std::unique_ptr<CItem>> items;
    for (std::string_view line : quillet::NonBlankLines(*text)) {
        const auto fields = quillet::SplitCsvLine(line);
        if (fields.size() < 6 || quillet::LeadingInteger(fields[0]) != 3) continue;
        auto item = std::make_unique<CItem>(m_doc);
        item->SetAccessPath(fields[2]);
        item->SetItemID(fields[3]);
        item->SetActive(quillet::LeadingInteger(fields[4]) != 0);
        item->SetRequestedType(VARTYPE(quillet::LeadingInteger(fields[5])));
        items.push_back(std::move(item));
    }
    if (items.empty()) return true;
    if (!group.m_itemMgt) {
        m_doc.ShowError(E_NOINTERFACE);
        return true;
    }
    AddItemsToServer(group, std::move(items));
    m_doc.SetModifiedFlag();
    return true;
}

void CItemView::OnImportItems()
{
    CGroup* group = SelectedGroup();
    if (!group) return;
    quillet::FileDialogSpec spec{true, "csv", {}, "Comma Separated Files (*.csv)|*.csv|All Files (*.*)|*.*||"};
    if (auto path = m_doc.Ui().FileDialog(spec)) ImportItems(*group, *path);
}

// ---- remove ----

void CItemView::RemoveItems(CGroup& group, const std::vector<CItem*>& selected)
{
    std::vector<CItem*> items;
    for (CItem* item : selected)
        if (group.IsServerItem(item)) items.push_back(item);
    if (items.empty() || !group.m_itemMgt) return;
    std::vector<HRESULT> errors;
    const HRESULT hr = m_doc.CheckCall(group.m_itemMgt->RemoveItems(ServerHandles(items), errors));
    if (FAILED(hr)) {
        m_doc.ReportError(hr);
        group.GroupLog(quillet::LOG_ITEM_REMOVE, "HR=" + HexCode(DWORD(hr)));
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        CItem* item = items[i];
        if (const HRESULT error = EntryResult(hr, errors, i); FAILED(error)) {
            if (auto text = ItemErrorText(error)) {
                m_doc.Ui().MessageBox(*text + " on item " + item->GetItemID());
                item->ItemLog(quillet::LOG_ITEM_REMOVE, *text);
            }
            continue;
        }
        // No event may name it any more, and nothing logs through it once it is gone.
        PurgeFromEvents(group, item->GetClientHandle());
        item->ItemLog(quillet::LOG_ITEM_REMOVE, {});
        group.Items().remove_if([&](const auto& owned) { return owned.get() == item; });
    }
    // The rows of the items that went go too; the others move up.
    std::erase_if(m_rows, [&](const Row& row) { return !m_doc.Handles().Find<CItem>(row.hItem); });
    for (std::size_t row = 0; row < m_rows.size(); ++row) m_doc.Handles().Find<CItem>(m_rows[row].hItem)->SetRow(int(row));
    m_selection.clear();
    if (m_listener) m_listener->RowsReset();
    m_doc.UpdateAllViews();
    m_doc.SetModifiedFlag();
}

void CItemView::OnRemoveItems()
{
    if (CGroup* group = SelectedGroup()) RemoveItems(*group, SelectedItems());
}

// ---- active state ----

HRESULT CItemView::SetItemsActive(const std::vector<CItem*>& selected, CGroup* group, BOOL active)
{
    if (!group) return E_INVALIDARG;
    std::vector<CItem*> items;
    for (CItem* item : selected)
        if (group->IsServerItem(item)) items.push_back(item);
    if (items.empty() || !group->m_itemMgt) return S_OK;
    std::vector<HRESULT> errors;
    const HRESULT hr = m_doc.CheckCall(group->m_itemMgt->SetActiveState(ServerHandles(items), active, errors));
    if (FAILED(hr)) {
        m_doc.ReportError(hr);
        group->GroupLog(quillet::LOG_GROUP_ERROR, std::string(m_doc.Texts().Text(quillet::IDS_SET_ACTIVE_STATE)) + ":" +
                                                      quillet::ErrorText(m_doc.Texts(), hr));
        return hr;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (const HRESULT error = EntryResult(hr, errors, i); FAILED(error)) {
            if (auto text = ItemErrorText(error)) {
                if (m_doc.m_bDisplayMessages) m_doc.Ui().MessageBox(*text + " on item " + items[i]->GetItemID());
                items[i]->ItemLog(quillet::LOG_ITEM_ERROR, *text);
            }
            continue;
        }
        items[i]->SetActive(active);
    }
    return hr;
}

void CItemView::OnActiveState()
{
    CGroup* group = SelectedGroup();
    CItemStateDlg form(SelectedItems());
    if (group && m_doc.Ui().RunDialog(form)) SetItemsActive(form.items, group, form.active);
}

// ---- client handles ----

void CItemView::ChangeClientHandles(CGroup& group, const std::vector<CItem*>& selected)
{
    std::vector<CItem*> items;
    std::vector<std::unique_ptr<CItem>> copies;
    for (CItem* item : selected)
        if (group.IsServerItem(item)) {
            items.push_back(item);
            copies.push_back(std::make_unique<CItem>(*item));
        }
    if (items.empty() || !group.m_itemMgt) return;
    CClientHandlesDlg form(m_doc.Texts(), items, copies);
    if (!m_doc.Ui().RunDialog(form)) return;
    std::vector<HRESULT> errors;
    const HRESULT hr =
        m_doc.CheckCall(group.m_itemMgt->SetClientHandles(ServerHandles(items), form.newHandles, errors));
    if (FAILED(hr)) {
        m_doc.ShowError(hr);
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        CItem* old = items[i];
        if (const HRESULT error = EntryResult(hr, errors, i); FAILED(error)) {
            if (auto text = ItemErrorText(error)) m_doc.Ui().MessageBox(*text + " on item " + old->GetItemID());
            continue;
        }
        // The copy takes the old item's place in the list, the row and the events.
        auto it = std::find_if(group.Items().begin(), group.Items().end(), [&](const auto& o) { return o.get() == old; });
        if (it == group.Items().end()) continue;
        CItem* copy = copies[i].get();
        if (old->GetRow() >= 0 && std::size_t(old->GetRow()) < m_rows.size())
            m_rows[old->GetRow()].hItem = copy->GetClientHandle();
        PurgeFromEvents(group, old->GetClientHandle(), copy->GetClientHandle());
        *it = std::move(copies[i]);
    }
}

void CItemView::OnChangeHandles()
{
    if (CGroup* group = SelectedGroup()) ChangeClientHandles(*group, SelectedItems());
}

// ---- data types ----

void CItemView::SetDatatypes(CGroup& group, const std::vector<CItem*>& items, const std::vector<VARTYPE>& types)
{
    std::vector<CItem*> sent;
    std::vector<VARTYPE> sentTypes;
    for (std::size_t i = 0; i < items.size() && i < types.size(); ++i)
        if (group.IsServerItem(items[i])) {
            sent.push_back(items[i]);
            sentTypes.push_back(types[i]);
        }
    if (sent.empty() || !group.m_itemMgt) return;
    std::vector<HRESULT> errors;
    const HRESULT hr = m_doc.CheckCall(group.m_itemMgt->SetDatatypes(ServerHandles(sent), sentTypes, errors));
    if (FAILED(hr)) {
        m_doc.ShowError(hr);
        return;
    }
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (const HRESULT error = EntryResult(hr, errors, i); FAILED(error)) {
            if (auto text = ItemErrorText(error)) m_doc.Ui().MessageBox(*text + " on item " + sent[i]->GetItemID());
            continue;
        }
        sent[i]->SetRequestedType(sentTypes[i]);
    }
    m_doc.SetModifiedFlag();
}

void CItemView::OnSetDatatype()
{
    CGroup* group = SelectedGroup();
    CDataTypeDlg form(SelectedItems());
    if (group && m_doc.Ui().RunDialog(form)) SetDatatypes(*group, form.items, form.types);
}
