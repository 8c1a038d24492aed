#include "kestrun/shell/server/DataViewList.h"

#include <algorithm>
#include <cctype>

namespace {

bool LessNoCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

void CdsDataViewList::Add(std::string text, CObject* pObject)
{
    auto at = std::upper_bound(m_rows.begin(), m_rows.end(), text,
                               [](const std::string& t, const Row& row) { return LessNoCase(t, row.text); });
    m_rows.insert(at, Row{std::move(text), pObject});
}

void CdsDataViewList::Assign(std::vector<Row> rows)
{
    m_rows = std::move(rows);
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const Row& a, const Row& b) { return LessNoCase(a.text, b.text); });
}

int CdsDataViewList::Find(const CObject* pObject) const
{
    if (!pObject)
        return -1;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].pObject == pObject)
            return static_cast<int>(i);
    return -1;
}

CObject* CdsDataViewList::At(int nRow) const
{
    return nRow >= 0 && nRow < GetCount() ? m_rows[static_cast<std::size_t>(nRow)].pObject : nullptr;
}

int CdsDataViewList::DialogUnitsToPixels(int nDialogUnits, int nLettersWidth)
{
    const int baseUnit = (nLettersWidth / 26 + 1) / 2; // the average character width, rounded
    return (nDialogUnits * baseUnit + 2) / 4;
}
