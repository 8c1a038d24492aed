#pragma once
// The connection's message log as a list: the entries the document queued, moved into
// rows on each update, at most kMaxRows of them. Application thread only.
#include "quillet/doc/DocListener.h"
#include "quillet/views/ListModel.h"

#include <ctime>
#include <string>
#include <vector>

class CQuilletDoc;

class CLoggerView : public CDocListener {
public:
    // More rows than this clear the list.
    static constexpr std::size_t kMaxRows = 20000;
    struct Row {
        std::string event;  // label and message
        std::string time;   // "%H:%M:%S"
    };

    // Registers with the document as its log view.
    explicit CLoggerView(CQuilletDoc& doc);
    ~CLoggerView() override;
    CLoggerView(const CLoggerView&) = delete;
    CLoggerView& operator=(const CLoggerView&) = delete;
    // The log view registered with the document; null while it has none.
    static CLoggerView* Of(const CQuilletDoc& doc);

    // Takes the queued entries into rows.
    void OnUpdate() override;
    // Deletes every row; the document's entries are not touched.
    void Clear();

    const std::vector<Row>& Rows() const { return m_rows; }
    // Where the next entry goes; always the row count.
    std::size_t NextRow() const { return m_rows.size(); }
    // The last row inserted, for the widget to scroll to; -1 when none.
    int LastInserted() const { return m_nLastInserted; }
    void SetListener(quillet::ListListener* listener) { m_listener = listener; }

private:
    CQuilletDoc& m_doc;
    std::vector<Row> m_rows;
    int m_nLastInserted = -1;
    quillet::ListListener* m_listener = nullptr;
};
