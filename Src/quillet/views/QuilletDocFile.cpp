// The document as its set-up file, with the MMI settings of its group tree.
#include "quillet/doc/QuilletDoc.h"

#include "quillet/views/GroupView.h"
#include "quillet/doc/SetupFile.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/TextFile.h"
#include "quillet/text/UiServices.h"

std::string CQuilletDoc::SetupText() const
{
    using namespace quillet;
    SetupServer server;
    server.progId = m_strProgID;
    server.node = m_strNode;
    server.groupCount = long(m_groups.size());
    const CGroupView* groups = CGroupView::Of(*this);
    const CGroupView::MmiSettings mmi = groups ? groups->Mmi() : CGroupView::MmiSettings{};
    server.mmi = {long(mmi.onlyDisplayedActive), long(mmi.enabled), long(mmi.seconds)};
    server.logMask = GetLogMask();
    server.logFile = GetLogFileName();
    server.clsid = m_clsid;
    std::string text = SetupLine(server);
    long index = 0;
    for (const auto& group : m_groups) {
        text += SetupLine(SetupGroup{index, group->GetName(), group->m_dwRequestedRate, group->GetTimeBias(),
                                     group->GetDeadband(), group->m_bTimeStamps, group->IsActive(),
                                     group->GetAdviseMode(), group->m_bAllowTimeOut, DWORD(group->Items().size())});
        // The pseudo item is the client's own: it is never stored.
        for (const auto& item : group->Items())
            if (group->IsServerItem(item.get()))
                text += SetupLine(SetupItem{index, item->GetAccessPath(), item->GetItemID(), item->IsActive(),
                                            item->GetCanonicalType()});
        ++index;
    }
    return text;
}

bool CQuilletDoc::SaveConnection(const std::string& path)
{
    if (std::error_code error = quillet::ReplaceTextFile(path, SetupText())) {
        Ui().MessageBox(quillet::FormatText(Texts().Text(quillet::IDS_SAVE_FAILED), path) + "\n" + error.message());
        return false;
    }
    m_strPathName = path;
    SetModifiedFlag(false);
    return true;
}
