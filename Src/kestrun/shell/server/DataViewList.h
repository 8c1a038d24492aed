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

    // Columns after a tab start at the next multiple of nTabStop dialog units
    // (0: the toolkit's own tab width).
    explicit CdsDataViewList(int nTabStop = 0) : m_nTabStop(nTabStop) {}
    int GetTabStop() const { return m_nTabStop; }
    // Pixels of a distance in dialog units for a font whose 52 letters (A-Z,
    // a-z) take nLettersWidth pixels: a dialog unit is a quarter of the
    // font's average character width, rounded as a dialog rounds it.
    static int DialogUnitsToPixels(int nDialogUnits, int nLettersWidth);
    static constexpr const char* kAverageLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

    void Clear() { m_rows.clear(); }
    // Inserted in text order, after lines of an equal text.
    void Add(std::string text, CObject* pObject);
    // The list made of these rows, in text order, rows of an equal text in the
    // order given: what Add row by row gives, without a shift per row.
    void Assign(std::vector<Row> rows);
    // The row of the object, or -1.
    int Find(const CObject* pObject) const;
    // The object of a row, or null outside the list.
    CObject* At(int nRow) const;
    const std::vector<Row>& Rows() const { return m_rows; }
    int GetCount() const { return static_cast<int>(m_rows.size()); }

private:
    int m_nTabStop;
    std::vector<Row> m_rows;
};
