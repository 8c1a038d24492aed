#include "quillet/views/MainFrame.h"

#include "quillet/forms/ItemForms.h"
#include "quillet/views/QuilletApp.h"
#include "quillet/text/ResourceIds.h"
#include "quillet/forms/ServerForms.h"
#include "quillet/text/StringTable.h"

#include "platform/win/DebugOutput.h"
#include "platform/win/Folders.h"
#include "platform/win/RecoveryCopy.h"
#include "quillet/doc/LogCategory.h"
#include "quillet/doc/QuilletDoc.h"
#include "quillet/text/TextFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

// The line with its control characters written out, for standard error and the log.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte != 0x7F) {
            out.push_back(ch);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        out += escaped;
    }
    return out;
}

} // namespace

using namespace quillet::cmd;

namespace {
// The file dialog filter of set-up files, from the document template string.
std::string SetupFilter(const quillet::StringTable& texts)
{
    std::string_view t = texts.Text(quillet::IDS_DOC_TEMPLATE);
    std::vector<std::string_view> parts;
    for (std::size_t at; (at = t.find('\n')) != std::string_view::npos; t.remove_prefix(at + 1))
        parts.push_back(t.substr(0, at));
    parts.push_back(t);
    if (parts.size() < 5) return "All Files (*.*)|*.*||";
    return std::string(parts[3]) + "|*" + std::string(parts[4]) + "|All Files (*.*)|*.*||";
}
} // namespace

CMainFrame::CMainFrame(CQuilletApp& app) : m_app(app)
{
    auto& c = m_commands;
    c.Add(ID_SERVER_CONNECT, [this] { OnConnect(); });
    c.Add(ID_FILE_NEW, [] {});  // a connection is made with Connect
    c.Add(ID_FILE_OPEN, [this] { OnFileOpen(); });
    auto active = [this] { return ActiveDocument() != nullptr; };
    c.Add(ID_FILE_SAVE, [this] { OnFileSave(); }, active);
    c.Add(ID_FILE_SAVE_AS, [this] { OnFileSaveAs(); }, active);
    c.Add(ID_FILE_CLOSE, [this] { OnFileClose(); }, active);
    c.Add(ID_APP_ABOUT, [this] { OnAbout(); });
    for (UINT id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id) {
        const std::size_t index = id - ID_FILE_MRU_FIRST;
        c.Add(id, [this, index] { OnRecentFile(index); },
              [this, index] { return !m_app.RecentFiles().HoldsPlaceholder() && !m_app.RecentFiles()[index].empty(); });
    }
}

std::vector<UINT> CMainFrame::CommandIds() const
{
    std::vector<UINT> ids = m_commands.Ids();
    ids.push_back(ID_APP_EXIT);
    return ids;
}

CommandRoute CMainFrame::Route(UINT id, const quillet::CommandTable* window)
{
    if (id == ID_APP_EXIT) return CommandRoute::Exit;
    return window && window->Has(id) ? CommandRoute::Window : CommandRoute::Frame;
}

std::string CMainFrame::Title() const { return std::string(m_app.Host().documents.texts.Text(quillet::IDS_MAIN_TITLE)); }

CQuilletDoc* CMainFrame::ActiveDocument() const { return m_app.FrameOf(m_pActive) ? m_pActive : nullptr; }

CQuilletDoc* CMainFrame::OnConnect()
{
    const CQuilletHost& host = m_app.Host().documents;
    CServerSelectForm form(m_app.GetServerList(), m_app.IsDcomEnabled(), host.ui, host.texts, m_app.Activation());
    if (!host.ui.RunDialog(form)) return nullptr;
    quillet::WaitCursor wait(host.ui);
    const CServerSelectForm::Choice choice = form.Result();
    if (CQuilletDoc* open = m_app.FindConnection(choice.progId, choice.node)) {
        // The server's own connection, once lost, is made again with its groups and items.
        if (open->IsConnected() && open->GetServer()) return nullptr;
        if (!m_app.Reconnect(*open)) return nullptr;
        m_pActive = open;
        return open;
    }
    CQuilletDoc* doc = m_app.ConnectToServer(choice.progId, choice.node, choice.clsid);
    if (doc) m_pActive = doc;
    return doc;
}

std::string CMainFrame::RecentFileText(std::size_t index) const { return m_app.RecentFiles().EntryText(index); }

bool CMainFrame::Save(CQuilletDoc& doc, bool askName)
{
    std::string path = doc.GetPathName();
    if (m_bQuitting) return SaveRecoveryCopy(doc);
    if (askName || path.empty()) {
        const CQuilletHost& host = m_app.Host().documents;
        quillet::FileDialogSpec spec{false, "csv", path, SetupFilter(host.texts)};
        auto chosen = host.ui.FileDialog(spec);
        if (!chosen) return false;
        path = *chosen;
    }
    return m_app.SaveDocument(doc, path);
}

bool CMainFrame::SaveRecoveryCopy(CQuilletDoc& doc)
{
    const std::string name = doc.GetPathName().empty() ? doc.GetTitle() : doc.GetPathName();
    std::string stem = std::filesystem::path(name).filename().string();
    if (const std::size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0) stem.resize(dot);
    if (doc.GetPathName().empty()) stem = "Untitled";
    std::string error;
    const std::filesystem::path path = win::CreateRecoveryFile(win::folders::dataFolder() / "quillet", stem, ".csv",
                                                               std::chrono::system_clock::now(), error);
    if (!path.empty()) {
        if (const std::error_code written = quillet::ReplaceTextFile(path.string(), doc.SetupText()))
            error = written.message();
    }
    const bool saved = !path.empty() && error.empty();
    const std::string line = Printable(saved ? "Unsaved changes to " + name + " were saved to " + path.string() + "."
                                             : "Unsaved changes to " + name +
                                                   " could not be saved to a recovery copy: " + error);
    win::OutputDebugString(line);
    doc.WriteLog(quillet::LOG_SERVER, line);
    if (saved) doc.SetModifiedFlag(false);
    return saved;
}

bool CMainFrame::OnFileSave()
{
    CQuilletDoc* doc = ActiveDocument();
    return doc && Save(*doc, false);
}

bool CMainFrame::OnFileSaveAs()
{
    CQuilletDoc* doc = ActiveDocument();
    return doc && Save(*doc, true);
}

bool CMainFrame::CloseActive()
{
    CQuilletDoc* doc = ActiveDocument();
    if (!doc) return true;
    if (doc->IsModified() && m_bQuitting) {
        // Closed all the same when even the copy fails: nobody is there to decide.
        SaveRecoveryCopy(*doc);
    } else if (doc->IsModified()) {
        const CQuilletHost& host = m_app.Host().documents;
        const std::string name = doc->GetPathName().empty() ? doc->GetTitle() : doc->GetPathName();
        switch (host.ui.MessageBox(quillet::FormatText(host.texts.Text(quillet::IDS_ASK_SAVE), name),
                                   quillet::PromptButtons::YesNoCancel)) {
        case quillet::PromptAnswer::Yes:
            if (!Save(*doc, false)) return false;
            break;
        case quillet::PromptAnswer::No: break;
        default: return false;
        }
    }
    m_app.CloseDocument(doc);
    m_pActive = nullptr;
    return true;
}

void CMainFrame::OnFileClose() { CloseActive(); }

bool CMainFrame::CloseDocument(CQuilletDoc& doc)
{
    m_pActive = &doc;
    // A document of another application is not closed here.
    return ActiveDocument() && CloseActive();
}

bool CMainFrame::CloseAll()
{
    while (!m_app.Connections().empty())
        if (!CloseDocument(*m_app.Connections().back())) return false;
    return true;
}

void CMainFrame::Open(const std::string& path)
{
    if (CQuilletDoc* doc = m_app.OpenDocumentFile(path)) m_pActive = doc;
}

void CMainFrame::OnFileOpen()
{
    if (!CloseActive()) return;
    const CQuilletHost& host = m_app.Host().documents;
    quillet::FileDialogSpec spec{true, "csv", {}, SetupFilter(host.texts)};
    if (auto path = host.ui.FileDialog(spec)) Open(*path);
}

void CMainFrame::OnRecentFile(std::size_t index)
{
    if (index >= CRecentFileList::kSize || !CloseActive()) return;
    // A copy: opening reorders the list.
    const std::string path = m_app.RecentFiles()[index];
    if (path.empty() || m_app.RecentFiles().HoldsPlaceholder()) return;
    Open(path);
}

void CMainFrame::OnAbout()
{
    CAboutForm form;
    m_app.Host().documents.ui.RunDialog(form);
}
