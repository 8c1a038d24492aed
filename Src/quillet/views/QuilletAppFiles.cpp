// Opening and saving set-up files.
#include "quillet/views/QuilletApp.h"

#include "quillet/doc/SetupFile.h"
#include "quillet/text/StringTable.h"
#include "quillet/text/TextFile.h"
#include "quillet/text/UiServices.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

namespace {
// One spelling per file for the recent-file list: "x.csv", "./x.csv" and its full path
// are the same entry.
std::string ListedPath(const std::string& path)
{
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}
} // namespace

CQuilletDoc* CQuilletApp::OpenDocumentFile(const std::string& path)
{
    const quillet::StringTable& texts = m_host.documents.texts;
    std::string why;
    auto text = quillet::ReadTextFile(path, &why);
    if (!text) {
        m_host.documents.ui.MessageBox(quillet::FormatText(texts.Text(quillet::IDS_OPEN_FAILED), path) + "\n" + why);
        return nullptr;
    }
    m_recentFiles.RemovePlaceholder();
    m_recentFiles.Add(ListedPath(path));

    CQuilletDoc* doc = nullptr;
    std::vector<CGroup*> slots;
    std::map<CGroup*, std::vector<std::unique_ptr<CItem>>> pending;
    for (const quillet::SetupRecord& record : quillet::ParseSetupFile(*text)) {
        if (auto* s = std::get_if<quillet::SetupServer>(&record)) {
            doc = ConnectToServer(s->progId, s->node, s->clsid);
            if (!doc) break;
            slots.assign(std::size_t(s->groupCount), nullptr);
            if (s->mmi) {
                const auto& m = *s->mmi;
                FrameOf(doc)->Groups().SetMmi({BOOL(m[0]), BOOL(m[1]), DWORD(m[2])});
                if (s->logMask) doc->SetLogMask(*s->logMask);
                if (s->logFile) doc->SetLogFileName(*s->logFile);
            }
        } else if (auto* g = std::get_if<quillet::SetupGroup>(&record)) {
            if (!doc) continue;
            auto group = std::make_unique<CGroup>(*doc);
            group->SetName(g->name);
            group->m_dwRequestedRate = g->updateRate;
            group->SetTimeBias(g->timeBias);
            group->SetDeadband(g->deadband);
            group->m_bTimeStamps = g->timeStamps;
            group->SetActive(g->active);
            group->SetAdviseMode(g->adviseMode);
            group->m_bAllowTimeOut = g->allowTimeOut;
            CGroup* added = doc->AddServerGroup(std::move(group), g->timeStamps);
            if (!added) continue;
            if (slots.size() <= std::size_t(g->index)) slots.resize(std::size_t(g->index) + 1);
            slots[std::size_t(g->index)] = added;
        } else if (auto* i = std::get_if<quillet::SetupItem>(&record)) {
            if (!doc || i->group < 0 || std::size_t(i->group) >= slots.size() || !slots[std::size_t(i->group)])
                continue;
            auto item = std::make_unique<CItem>(*doc);
            item->SetAccessPath(i->accessPath);
            item->SetItemID(i->itemId);
            item->SetActive(i->active);
            item->SetRequestedType(i->dataType);
            pending[slots[std::size_t(i->group)]].push_back(std::move(item));
        }
    }
    if (!doc) return nullptr;
    for (CGroup* group : slots) {
        if (!group || pending[group].empty()) continue;
        if (!group->m_itemMgt) {
            doc->ShowError(E_NOINTERFACE);
            continue;
        }
        FrameOf(doc)->Items().AddItemsToServer(*group, std::move(pending[group]));
    }
    doc->SetPathName(path);
    doc->SetModifiedFlag(false);
    return doc;
}

bool CQuilletApp::SaveDocument(CQuilletDoc& doc, const std::string& path)
{
    if (!doc.SaveConnection(path)) return false;
    m_recentFiles.RemovePlaceholder();
    m_recentFiles.Add(ListedPath(path));
    return true;
}
