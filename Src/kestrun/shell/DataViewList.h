#pragma once
// One list of the data view as a core object: lines of text, each naming the
// object it shows, kept sorted by text (case aside) as the view's sorted list
// boxes keep them. A line is found again by its object, never by its text:
// blocks may be unnamed or share a name.
#include <string>
#include <vector>

class CObject;

class CdsDataViewList {
public:
    struct Row {
        std::string text;
        CObject* pObject = nullptr;   // not owned
    };

    void Clear() { m_rows.clear(); }
    // Inserted in text order, after lines of an equal text.
    void Add(std::string text, CObject* pObject);
    // The row of the object, or -1.
    int Find(const CObject* pObject) const;
    // The object of a row, or null outside the list.
    CObject* At(int nRow) const;
    const std::vector<Row>& Rows() const { return m_rows; }
    int GetCount() const { return static_cast<int>(m_rows.size()); }

private:
    std::vector<Row> m_rows;
};
