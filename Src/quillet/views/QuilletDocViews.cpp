// The document's commands that work on the views of its window.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/views/ItemView.h"
#include "quillet/views/LoggerView.h"

void CQuilletDoc::OnExpertMode()
{
    m_bExpertMode = !m_bExpertMode;
    if (CItemView* items = CItemView::Of(*this)) items->SwitchColumnSet(m_bExpertMode);
    UpdateAllViews();
}

void CQuilletDoc::OnClearLog()
{
    if (CLoggerView* log = CLoggerView::Of(*this)) log->Clear();
}

void CQuilletDoc::OnAsyncIO2Refresh()
{
    CItemView* items = CItemView::Of(*this);
    CGroup* group = items ? items->SelectedGroup() : nullptr;
    if (group) AsyncIO2Refresh(*group, items->ReadSource());
}
