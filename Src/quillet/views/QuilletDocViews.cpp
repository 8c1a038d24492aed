// The document's commands that work on the views of its window.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/views/ItemView.h"
#include "quillet/views/LoggerView.h"

void CQuilletDoc::OnExpertMode()
{
    m_bExpertMode = !m_bExpertMode;
    if (m_pItemView) m_pItemView->SwitchColumnSet(m_bExpertMode);
    UpdateAllViews();
}

void CQuilletDoc::OnClearLog()
{
    if (m_pLoggerView) m_pLoggerView->Clear();
}

void CQuilletDoc::OnAsyncIO2Refresh()
{
    CGroup* group = m_pItemView ? m_pItemView->SelectedGroup() : nullptr;
    if (group) AsyncIO2Refresh(*group, m_pItemView->ReadSource());
}
