#include "quillet/ItemForms.h"

#include "quillet/VariantText.h"

#include <algorithm>

bool CAddGroupForm::IsValid() const
{
    return settings.timeBias >= 0 && settings.timeBias <= 1000 && settings.deadband >= 0 && settings.deadband <= 100;
}

CItem& CAddItemForm::NewEntry()
{
    m_entries.push_back(std::make_unique<CItem>(itemTemplate));
    m_entries.back()->SetItemID({});
    return *m_entries.back();
}

std::vector<std::unique_ptr<CItem>> CAddItemForm::TakeItems()
{
    std::erase_if(m_entries, [](const auto& item) { return item->GetItemID().empty(); });
    return std::exchange(m_entries, {});
}

CWriteItemForm::CWriteItemForm(std::vector<CItem*> list) : items(std::move(list))
{
    for (CItem* item : items) {
        handles.push_back(item->GetServerHandle());
        const auto& value = item->Values(ValueRoad::Subscription).value;
        values.push_back(value ? *value : VARIANT());
    }
}

void CWriteItemForm::SetValue(std::size_t index, std::string_view text, VARTYPE vt)
{
    if (index < values.size()) values[index] = quillet::TextToVariant(text, vt);
}

CItemStateForm::CItemStateForm(std::vector<CItem*> list) : items(std::move(list))
{
    const auto active = std::count_if(items.begin(), items.end(), [](CItem* i) { return i->IsActive(); });
    activeFirst = std::size_t(active) * 2 <= items.size();
}

CClientHandlesForm::CClientHandlesForm(const std::vector<CItem*>& items, const std::vector<std::unique_ptr<CItem>>& copies)
{
    for (CItem* item : items) oldHandles.push_back(item->GetClientHandle());
    for (const auto& copy : copies) newHandles.push_back(copy->GetClientHandle());
}

CDataTypeForm::CDataTypeForm(std::vector<CItem*> list) : items(std::move(list))
{
    for (CItem* item : items) types.push_back(item->GetRequestedType());
}
