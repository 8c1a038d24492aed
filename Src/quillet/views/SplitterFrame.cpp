#include "quillet/views/SplitterFrame.h"

#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/ResourceIds.h"

using namespace quillet::cmd;

CSplitterFrame::CSplitterFrame(CQuilletDoc& doc)
    : m_doc(doc), m_groupView(doc), m_itemView(doc), m_loggerView(doc)
{
    AddDocumentCommands();
    AddViewCommands();
    m_commands.Add(ID_MESSAGE_LOG, [this] { OnMessageLog(); }, {}, [this] { return m_bLogShown; });
}

void CSplitterFrame::OnCreateClient(int width, int height)
{
    m_nHeight = height;
    m_layout.col0 = width / 3;
    m_layout.col0Min = kMinPane;
    m_layout.col1 = width - m_layout.col0;
    // The upper row fills the pane while the log is hidden.
    m_layout.row0 = m_bLogShown ? height * 5 / 6 : height;
    m_layout.row0Min = m_bLogShown ? kMinPane : 0;
    m_layout.row1 = height - m_layout.row0;
}

void CSplitterFrame::OnMessageLog()
{
    m_bLogShown = !m_bLogShown;
    m_layout.row0 = m_bLogShown ? m_nHeight * 2 / 3 : m_nHeight;
    m_layout.row0Min = m_bLogShown ? kMinPane : 0;
    m_layout.row1 = m_nHeight - m_layout.row0;
}

CGroup* CSplitterFrame::AdvisedGroup() const { return m_groupView.SelectedGroup(); }

void CSplitterFrame::AddDocumentCommands()
{
    CQuilletDoc& d = m_doc;
    auto connected = [&d] { return d.CanAddGroup(); };
    auto mode = [this](DWORD m) { return AdvisedGroup() && AdvisedGroup()->GetAdviseMode() == m; };
    auto& c = m_commands;
    c.Add(ID_ADD_GROUP, [&d] { d.OnAddGroupCommand(); }, connected);
    c.Add(ID_SERVER_STATUS, [&d] { d.OnServerStatus(); });
    c.Add(ID_GET_GROUP_BY_NAME, [&d] { d.OnServerDialog(quillet::dlg::IDD_GROUP_BY_NAME); },
          [&d, connected] { return connected() && !d.Groups().empty(); });
    c.Add(ID_GET_ERROR_STRING, [&d] { d.OnServerDialog(quillet::dlg::IDD_ERROR_STRING); }, connected);
    c.Add(ID_GROUP_ENUM, [&d] { d.OnServerDialog(quillet::dlg::IDD_GROUP_ENUM); }, connected);
    c.Add(ID_EXPERT_MODE, [&d] { d.OnExpertMode(); }, {}, [&d] { return d.m_bExpertMode != FALSE; });
    c.AddDisabled(ID_ENABLE_LOG_VIEW, [&d] { return d.m_bLogViewShown != FALSE; });
    c.Add(ID_CONFIGURE_LOGGER, [&d] { d.OnConfigureLogger(); }, [&d] { return d.m_bLogViewShown != FALSE; });
    c.Add(ID_DISPLAY_MESSAGES, [&d] { d.m_bDisplayMessages = !d.m_bDisplayMessages; }, {},
          [&d] { return d.m_bDisplayMessages != FALSE; });
    c.Add(ID_CLEAR_LOG, [&d] { d.OnClearLog(); });
    c.Add(ID_ADVISE_NONE, [this] { m_doc.AdviseNone(*AdvisedGroup()); },
          [this, connected] { return connected() && AdvisedGroup(); }, [mode] { return mode(ADVISE_NONE); });
    c.Add(ID_ADVISE_DATAOBJECT_TIME, [this] { m_doc.AdviseDataObject(*AdvisedGroup(), TRUE); },
          [this] { return m_doc.CanAdviseDataObject(AdvisedGroup()); },
          [this, mode] { return mode(ADVISE_DATAOBJECT) && AdvisedGroup()->m_bTimeStamps; });
    c.Add(ID_ADVISE_DATAOBJECT, [this] { m_doc.AdviseDataObject(*AdvisedGroup(), FALSE); },
          [this] { return m_doc.CanAdviseDataObject(AdvisedGroup()); },
          [this, mode] { return mode(ADVISE_DATAOBJECT) && !AdvisedGroup()->m_bTimeStamps; });
    c.Add(ID_ADVISE_CONNECTIONPOINT, [this] { m_doc.AdviseConnectionPoint(*AdvisedGroup()); },
          [this] { return m_doc.CanAdviseConnectionPoint(AdvisedGroup()); },
          [mode] { return mode(ADVISE_CONNECTIONPOINT); });
    c.Add(ID_ASYNCIO2_ENABLE, [this] { m_doc.ToggleAsyncIO2Enable(*AdvisedGroup()); },
          [this] { return m_doc.CanUseAsyncIO2(AdvisedGroup()); },
          [this] { return AdvisedGroup() && AdvisedGroup()->m_bSubscriptionEnabled; });
    auto io2Selection = [this] { return m_doc.CanUseAsyncIO2(AdvisedGroup()) && !m_itemView.Selection().empty(); };
    c.Add(ID_ASYNCIO2_READ, [this] { m_itemView.OnAsyncIO2Read(); }, io2Selection);
    c.Add(ID_ASYNCIO2_WRITE, [this] { m_itemView.OnAsyncIO2Write(); }, io2Selection);
    c.Add(ID_ASYNCIO2_REFRESH, [&d] { d.OnAsyncIO2Refresh(); }, [this] { return m_doc.CanAsyncIO2Refresh(AdvisedGroup()); });
}

void CSplitterFrame::AddViewCommands()
{
    CGroupView& g = m_groupView;
    CItemView& i = m_itemView;
    auto& c = m_commands;
    // Group view.
    c.Add(ID_REMOVE_GROUP, [&g] { g.OnRemoveGroup(); }, [&g] { return g.CanRemoveGroup(); });
    c.Add(ID_COUNTER_RESET, [&g] { g.OnCounterReset(); }, [&g] { return g.CanCounterReset(); });
    c.Add(ID_GET_STATE, [&g] { g.OnGetState(); }, [&g] { return g.CanActOnSelection(); });
    c.Add(ID_ENUMERATE_ITEMS, [&g] { g.OnEnumerateItems(); }, [&g] { return g.CanActOnSelection(); });
    c.Add(ID_MMI_EMULATION, [&g] { g.OnMmiEmulation(); }, [&g] { return g.CanMmiEmulation(); },
          [&g] { return g.Mmi().enabled != FALSE; });
    c.Add(ID_CONFIGURE_EVENTS, [&g] { g.OnConfigureEvents(); }, [&g] { return g.CanConfigureEvents(); });
    c.AddDisabled(ID_ADVISE_GROUPS);
    // Item view; "Add Item" is both views': the stricter rule (a group selected) holds.
    c.Add(ID_ADD_ITEM, [&i] { i.OnAddItem(); }, [&i] { return i.CanAddItem(); });
    c.Add(ID_REMOVE_ITEMS, [&i] { i.OnRemoveItems(); }, [&i] { return i.CanRemoveItems(); });
    c.Add(ID_ACTIVE_STATE, [&i] { i.OnActiveState(); }, [&i] { return i.CanActOnSelection(); });
    c.Add(ID_READ_FROM_CACHE, [&i] { i.OnReadFromCache(); }, {}, [&i] { return i.ReadSource() == OPC_DS_CACHE; });
    c.Add(ID_CHANGE_HANDLES, [&i] { i.OnChangeHandles(); }, [&i] { return i.CanActOnSelection(); });
    c.Add(ID_SET_DATATYPE, [&i] { i.OnSetDatatype(); }, [&i] { return i.CanActOnSelection(); });
    c.Add(ID_SYNC_READ, [&i] { i.OnSyncRead(); }, [&i] { return i.CanActOnSelection(); });
    c.Add(ID_SYNC_WRITE, [&i] { i.OnSyncWrite(); }, [&i] { return i.CanActOnSelection(); });
    c.Add(ID_ASYNCIO_READ, [&i] { i.OnAsyncRead(); }, [&i] { return i.CanAsyncIO(); });
    c.Add(ID_ASYNCIO_WRITE, [&i] { i.OnAsyncWrite(); }, [&i] { return i.CanAsyncIO(); });
    c.Add(ID_ASYNCIO_REFRESH, [&i] { i.OnAsyncRefresh(); }, [&i] { return i.CanAsyncRefresh(); });
    c.Add(ID_IMPORT_ITEMS, [&i] { i.OnImportItems(); }, [&i] { return i.CanAddItem(); });
    c.Add(ID_ITEM_COLUMNS, [&i] { i.OnItemColumns(); });
    c.Add(ID_VIEW_UPDATE_TIMER, [&i] { i.OnViewUpdateTimer(); });
    c.Add(ID_EDIT_COPY, [] {});
}
