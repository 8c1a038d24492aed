#include "quillet/views/LoggerView.h"

#include "quillet/doc/LogCategory.h"
#include "quillet/doc/QuilletDoc.h"

CLoggerView::CLoggerView(CQuilletDoc& doc) : m_doc(doc) { m_doc.SetLoggerView(this); }

CLoggerView::~CLoggerView() { m_doc.SetLoggerView(nullptr); }

CLoggerView* CLoggerView::Of(const CQuilletDoc& doc) { return dynamic_cast<CLoggerView*>(doc.LoggerView()); }

void CLoggerView::OnUpdate()
{
    std::vector<quillet::CLogEntry> entries = m_doc.TakeLogEntries();
    if (entries.empty()) return;
    const int first = int(m_rows.size());
    for (const quillet::CLogEntry& e : entries)
        m_rows.push_back({quillet::DisplayText(m_doc.Texts(), e), quillet::LogTimeText(e.time)});
    m_nLastInserted = int(m_rows.size()) - 1;
    if (m_listener) m_listener->RowsInserted(first, int(entries.size()));
    // The whole list goes, and the next entry is row 0 again.
    if (m_rows.size() > kMaxRows) Clear();
}

void CLoggerView::Clear()
{
    m_rows.clear();
    m_nLastInserted = -1;
    if (m_listener) m_listener->RowsReset();
}
