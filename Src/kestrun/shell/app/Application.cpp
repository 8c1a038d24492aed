#include "kestrun/shell/app/Application.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>

#include "kestrun/shell/app/Document.h"
#include "kestrun/shell/app/FileDialogEx.h"
#include "kestrun/shell/app/Frame.h"
#include "kestrun/shell/app/OptionHost.h"
#include "kestrun/shell/app/ShellIds.h"
#include "platform/registry/Profile.h"
#include "platform/registry/Registry.h"

namespace shell {

Application::Application() : m_strAppName(program_invocation_short_name) {}

Application::~Application()
{
    m_pFrame.reset();
    m_pDocument.reset();
    if (m_pProfile && &CurrentProfile() == m_pProfile.get())
        SetCurrentProfile(nullptr);
}

const win::Clock& Application::GetClock() const { return m_pClock ? *m_pClock : win::SystemClock::instance(); }

std::string Application::GetCommandLine() const
{
    std::string line;
    for (std::size_t i = 1; i < m_args.size(); ++i) {
        if (i > 1)
            line += ' ';
        line += m_args[i];
    }
    return line;
}

std::string Application::GetExeName() const
{
    if (m_args.empty())
        return program_invocation_short_name;
    const std::string& program = m_args.front();
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? program : program.substr(slash + 1);
}

int Application::ExitInstance()
{
    m_pFrame.reset();
    m_pDocument.reset();
    return m_nExitCode;
}

registry::Registry& Application::GetRegistry() const
{
    return m_pRegistry ? *m_pRegistry : registry::Registry::Default();
}

void Application::Quit(int nExitCode)
{
    SetExitCode(nExitCode);
    if (m_pDispatcher)
        m_pDispatcher->quit(nExitCode);
}

void Application::SetRegistryKey(const std::string& strKey)
{
    auto profile = std::make_unique<registry::Profile>(GetRegistry(), strKey, m_strAppName);
    SetCurrentProfile(profile.get());
    m_pProfile = std::move(profile); // the old one (if any) goes after the switch
}

registry::Profile& Application::GetProfile() { return m_pProfile ? *m_pProfile : CurrentProfile(); }

UINT Application::GetProfileInt(const std::string& section, const std::string& entry, int nDefault)
{
    return GetProfile().GetProfileInt(section, entry, nDefault);
}

std::string Application::GetProfileString(const std::string& section, const std::string& entry,
                                          const std::string& strDefault)
{
    return GetProfile().GetProfileString(section, entry, strDefault);
}

bool Application::WriteProfileInt(const std::string& section, const std::string& entry, int nValue)
{
    return GetProfile().WriteProfileInt(section, entry, nValue);
}

bool Application::WriteProfileString(const std::string& section, const std::string& entry, const std::string& value)
{
    return GetProfile().WriteProfileString(section, entry, value);
}

void Application::LoadStdProfileSettings(int nMaxMRU)
{
    m_pRecentFiles = std::make_unique<RecentFileList>(nMaxMRU);
    m_pRecentFiles->ReadList(GetProfile());
}

void Application::AddToRecentFileList(const std::string& strPath)
{
    if (!m_pRecentFiles)
        return;
    m_pRecentFiles->Add(strPath);
    m_pRecentFiles->WriteList(GetProfile());
}

bool Application::ProcessShellCommand(const CommandLineInfo& info)
{
    switch (info.m_nShellCommand) {
    case CommandLineInfo::FileNew:
        return OpenDocumentFile({}) != nullptr;
    case CommandLineInfo::FileOpen:
        return OpenDocumentFile(info.m_strFileName) != nullptr;
    case CommandLineInfo::FileNothing:
        return true;
    case CommandLineInfo::AppRegister:
    case CommandLineInfo::AppUnregister:
        return false;
    }
    return false;
}

Document* Application::OpenDocumentFile(const std::string& strPath)
{
    const bool bCreated = !m_pDocument;
    if (bCreated) {
        if (!m_template.newDocument || !m_template.newFrame)
            return nullptr;
        m_pDocument = m_template.newDocument();
        if (!m_pDocument)
            return nullptr;
        m_pDocument->SetApplication(this);
        m_pFrame = m_template.newFrame();
        if (!m_pFrame || !m_pFrame->Create(*this, m_pDocument.get())) {
            m_pFrame.reset();
            m_pDocument.reset();
            return nullptr;
        }
    } else if (!m_pDocument->SaveModified()) {
        return nullptr;
    }

    const bool bOpened = strPath.empty() ? m_pDocument->OnNewDocument() : m_pDocument->OnOpenDocument(strPath);
    if (!bOpened) {
        if (bCreated) {
            m_pFrame->DestroyWindow();
            m_pFrame.reset();
            m_pDocument.reset();
        } else {
            m_pDocument->OnNewDocument(); // an empty document, not a half-read one
        }
        return nullptr;
    }
    if (!strPath.empty())
        m_pDocument->SetPathName(strPath);
    if (bCreated)
        m_pFrame->InitialUpdateFrame();
    return m_pDocument.get();
}

void Application::CloseMainFrame(int nExitCode)
{
    if (m_pDocument)
        m_pDocument->OnCloseDocument();
    if (m_pFrame)
        m_pFrame->DestroyWindow();
    Quit(nExitCode);
}

bool Application::PromptForSaveFileName(const std::string& strTitle, std::string& strPath)
{
    strPath = strTitle == "Untitled" ? std::string() : strTitle;
    // A document read from a file of another kind (an imported CSV) is proposed
    // under its own kind's extension, the one the dialog's filter shows.
    const std::string& ext = m_template.strFilterExt;
    if (!strPath.empty() && ext.size() > 1) {
        std::filesystem::path proposed(strPath);
        const std::string wanted = ext.front() == '.' ? ext : "." + ext;
        std::string current = proposed.extension().string();
        std::transform(current.begin(), current.end(), current.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string lowerWanted = wanted;
        std::transform(lowerWanted.begin(), lowerWanted.end(), lowerWanted.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (current != lowerWanted)
            strPath = proposed.replace_extension(wanted).string();
    }
    return CDocManagerEx::DoPromptFileName(strPath, "Save As", OFN_OVERWRITEPROMPT, false, {m_template});
}

bool Application::OnCommand(UINT nId)
{
    if (nId == ID_FILE_NEW)
        return OpenDocumentFile({}) != nullptr;
    if (nId == ID_FILE_OPEN) {
        std::string path;
        if (CDocManagerEx::DoPromptFileName(path, "Open", OFN_FILEMUSTEXIST, true, {m_template}))
            OpenDocumentFile(path);
        return true;
    }
    return false;
}

} // namespace shell
