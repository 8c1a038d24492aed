// The document's commands that run dialogs.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/forms/ConfigForms.h"
#include "quillet/forms/GroupForms.h"
#include "quillet/forms/ServerForms.h"

void CQuilletDoc::OnAddGroupCommand()
{
    CAddGroupDlg form;
    if (!CanAddGroup() || !Ui().RunDialog(form) || !form.IsValid()) return;
    quillet::WaitCursor wait(Ui());
    OnAddGroup(form.settings);
}

void CQuilletDoc::OnServerStatus()
{
    OPCSERVERSTATUS status;
    if (!GetServerStatus(status)) return;
    CServerStatusForm form(status);
    Ui().RunDialog(form);
}

void CQuilletDoc::OnServerDialog(UINT dialogId)
{
    if (!m_server) return;
    if (dialogId == quillet::dlg::IDD_GROUP_BY_NAME) {
        CGroupByNameDlg form(*this);
        Ui().RunDialog(form);
    } else if (dialogId == quillet::dlg::IDD_GROUP_ENUM) {
        CGroupEnumDlg form(*this);
        Ui().RunDialog(form);
        form.ClearList();
    } else if (dialogId == quillet::dlg::IDD_ERROR_STRING) {
        CErrorStringDlg form(*this);
        Ui().RunDialog(form);
    }
    UpdateAllViews();
}

void CQuilletDoc::OnConfigureLogger()
{
    CLogConfigDlg form(GetLogMask(), GetLogFileName());
    if (Ui().RunDialog(form)) ConfigureLog(form.path, form.Mask());
}
