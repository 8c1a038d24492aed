#include "kestrun/shell/app/Document.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/app/PathText.h"
#include "kestrun/comm/handler/EngineMessages.h"
#include "kestrun/shell/app/EscapeControls.h"
#include "kestrun/shell/app/View.h"
#include "kestrun/shell/app/StandardFolders.h"
#include "platform/afx/Archive.h"
#include "platform/afx/File.h"
#include "platform/win/RegularFile.h"
#include "platform/win/DebugOutput.h"
#include "platform/win/RecoveryCopy.h"

namespace shell {

Document::Document() = default;

Document::~Document()
{
    for (View* pView : m_views)
        pView->SetDocument(nullptr);
}

void Document::SetPathName(const std::string& strPath, bool bAddToRecent)
{
    m_strPathName = strPath;
    if (bAddToRecent && m_pApp && !strPath.empty())
        m_pApp->AddToRecentFileList(strPath);
}

std::string Document::GetTitle() const
{
    std::string title = m_strPathName;
    if (title.empty())
        return "Untitled";
    GetAppFileName(title);
    return title;
}

bool Document::SaveModified()
{
    if (!IsModified())
        return true;
    const bool stopping = m_pApp && m_pApp->IsStopRequested();
    const int answer =
        stopping ? IDYES : svcMessageBox("Save changes to " + GetTitle() + "?", MB_YESNOCANCEL | MB_ICONQUESTION, IDYES);
    if (answer == IDCANCEL)
        return false;
    if (answer != IDYES)
        return true;
    // A signal may have come while the question was up: nobody is there to
    // pick a file, and the user's own file is not written over unasked.
    if (m_pApp && m_pApp->IsStopRequested())
        return SaveRecoveryCopy();
    return DoFileSave();
}

std::string Document::RecoveryExtension() const
{
    const std::string title = GetTitle();
    const std::size_t dot = title.rfind('.');
    return dot == std::string::npos || dot == 0 || m_strPathName.empty() ? std::string() : title.substr(dot);
}

bool Document::SaveRecoveryCopy()
{
    std::string title = m_strPathName.empty() ? std::string() : GetTitle();
    const std::string ext = RecoveryExtension();
    if (!ext.empty() && title.size() > ext.size())
        title.resize(title.size() - ext.size());
    std::string error;
    const std::filesystem::path path =
        win::CreateRecoveryFile(GetDataFolder(1), title, ext, std::chrono::system_clock::now(), error);
    if (!path.empty() && WriteRecoveryCopy(path.string(), error)) {
        SetModifiedFlag(false);
        const std::string line =
            kestrun::EscapeControls("Unsaved changes to " + GetTitle() + " were saved to " + path.string() + ".");
        win::OutputDebugString(line);
        LogRecoveryLine(LOG_INFO, line + "\r\n");
        return true;
    }
    const std::string line =
        kestrun::EscapeControls("Unsaved changes to " + GetTitle() + " could not be saved to a recovery copy: " + error);
    win::OutputDebugString(line);
    LogRecoveryLine(LOG_ERROR, line + "\r\n");
    return false;
}

bool Document::DoFileSave()
{
    std::string path = m_strPathName;
    if (!path.empty() && !IsArchivePath(path))
        path.clear(); // a file of another format is never written over
    if (path.empty() && (!m_pApp || !m_pApp->PromptForSaveFileName(GetTitle(), path) || path.empty()))
        return false;
    if (!OnSaveDocument(path))
        return false;
    SetPathName(path);
    return true;
}

bool Document::OnNewDocument()
{
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool Document::OnOpenDocument(const std::string& strPath)
{
    DeleteContents();
    SetModifiedFlag(false);
    // A document is a regular file with something in it: a pipe, a device or an
    // empty file is refused before it is read, never taken for no configuration.
    const win::RegularFile checked = win::OpenRegularFile(strPath, O_RDONLY, win::kMaxDocumentBytes, false);
    if (checked.fd < 0) {
        svcMessageBox("Cannot open " + strPath + ": " + checked.reason, MB_OK | MB_ICONERROR, IDOK);
        return false;
    }
    ::close(checked.fd); // read below through the archive's own file
    try {
        CFile file(strPath, CFile::modeRead | CFile::shareDenyWrite);
        CArchive ar(&file, CArchive::load);
        Serialize(ar);
        ar.Close();
    } catch (const CException& e) {
        DeleteContents();
        svcMessageBox("Cannot open " + strPath + ": " + e.what(), MB_OK | MB_ICONERROR, IDOK);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool Document::WriteCopy(const std::string& strPath, std::string& strError)
{
    try {
        CFile file(strPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        CArchive ar(&file, CArchive::store);
        Serialize(ar);
        ar.Close();
        file.Close();
    } catch (const CException& e) {
        strError = e.what();
        return false;
    }
    return true;
}

bool Document::OnSaveDocument(const std::string& strPath)
{
    std::string error;
    if (!WriteCopy(strPath, error)) {
        svcMessageBox("Cannot save " + strPath + ": " + error, MB_OK | MB_ICONERROR, IDOK);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void Document::OnCloseDocument()
{
    DeleteContents();
    const std::vector<View*> views = m_views;
    for (View* pView : views)
        RemoveView(pView);
}

void Document::AddView(View* pView)
{
    if (!pView || std::find(m_views.begin(), m_views.end(), pView) != m_views.end())
        return;
    m_views.push_back(pView);
    pView->SetDocument(this);
}

void Document::RemoveView(View* pView)
{
    auto it = std::find(m_views.begin(), m_views.end(), pView);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    pView->SetDocument(nullptr);
}

void Document::UpdateAllViews(View* pSender, int nCode, CdsHint* pHint)
{
    const std::vector<View*> views = m_views; // a view may go while it is told
    for (View* pView : views) {
        if (pView != pSender && std::find(m_views.begin(), m_views.end(), pView) != m_views.end())
            pView->OnUpdate(pSender, nCode, pHint);
    }
}

} // namespace shell
