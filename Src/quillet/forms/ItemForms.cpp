// The forms of the item state, client handle and data type dialogs.
#include "quillet/forms/ItemForms.h"

#include "quillet/forms/DataTypes.h"
#include "quillet/text/ErrorText.h"
#include "quillet/text/StringTable.h"

#include <algorithm>
#include <numeric>

CItemStateDlg::CItemStateDlg(std::vector<CItem*> list) : items(std::move(list))
{
    const auto active = std::count_if(items.begin(), items.end(), [](CItem* i) { return i->IsActive(); });
    activeFirst = std::size_t(active) * 2 <= items.size();
}

// ---- client handles ----

CClientHandlesDlg::CClientHandlesDlg(const quillet::StringTable& texts, const std::vector<CItem*>& items,
                                     const std::vector<std::unique_ptr<CItem>>& copies)
    : message(texts.Text(quillet::IDS_HANDLES_HINT))
{
    for (CItem* item : items) oldHandles.push_back(item->GetClientHandle());
    for (const auto& copy : copies) newHandles.push_back(copy->GetClientHandle());
    if (items.size() != copies.size()) {
        message = texts.Text(quillet::IDS_HANDLES_BAD_COUNT);
        okEnabled = false;
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        rows.push_back({items[i]->GetItemID(), quillet::HexCode(oldHandles[i]), quillet::HexCode(newHandles[i])});
}

// ---- data types ----

CDataTypeDlg::CDataTypeDlg(std::vector<CItem*> list) : items(std::move(list)), m_order(items.size())
{
    for (CItem* item : items) types.push_back(item->GetRequestedType());
    std::iota(m_order.begin(), m_order.end(), std::size_t(0));
    // As a sorted list box orders: letters without regard to case, equal names as added.
    const auto folded = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int(c); };
    std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
        const std::string &x = items[a]->GetItemID(), &y = items[b]->GetItemID();
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [&](char p, char q) {
            return folded(static_cast<unsigned char>(p)) < folded(static_cast<unsigned char>(q));
        });
    });
    if (!items.empty()) {
        row = 0;
        Show();
    }
}

std::vector<std::string> CDataTypeDlg::RowTexts() const
{
    std::vector<std::string> texts;
    for (std::size_t i : m_order) texts.push_back(items[i]->GetItemID());
    return texts;
}

void CDataTypeDlg::Show()
{
    const VARTYPE vt = types[m_order[row]];
    itemId = items[m_order[row]]->GetItemID();
    array = (vt & VT_ARRAY) != 0;
    // A type the list lacks shows no entry and is kept unless another is chosen.
    type = quillet::FindType(quillet::SortedTypes(), vt).value_or(-1);
}

void CDataTypeDlg::Store()
{
    if (row < 0 || std::size_t(row) >= m_order.size()) return;
    VARTYPE& vt = types[m_order[row]];
    const VARTYPE element = type >= 0 ? quillet::SortedTypes()[type] : VARTYPE(vt & ~VT_ARRAY);
    vt = element | (array ? VT_ARRAY : 0);
}

void CDataTypeDlg::SelectRow(int index)
{
    if (index < 0 || std::size_t(index) >= m_order.size()) return;
    Store();
    row = index;
    Show();
}
