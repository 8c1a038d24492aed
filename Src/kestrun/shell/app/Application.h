#pragma once
// The application of a single-document program: its run loop is a dispatcher
// (a headless loop, the desktop's, or a test's manual one), its settings live
// in a registry profile, and one template makes its document and main window.
// Everything here runs on the application thread.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrun/shell/app/CommandLineInfo.h"
#include "kestrun/shell/app/RecentFileList.h"
#include "platform/win/Clock.h"
#include "platform/win/Dispatcher.h"

namespace registry {
class Profile;
class Registry;
} // namespace registry

namespace shell {

class Document;
class Frame;
class WindowFactory;

// How the single document and its main window are made, and the file type
// that file dialogs offer for it ("Fenwold Files (*.mme)" and ".mme").
struct DocTemplate {
    DocTemplate() = default;
    DocTemplate(std::function<std::unique_ptr<Document>()> makeDocument, std::function<std::unique_ptr<Frame>()> makeFrame,
                std::string filterName = {}, std::string filterExt = {})
        : newDocument(std::move(makeDocument)), newFrame(std::move(makeFrame)), strFilterName(std::move(filterName)),
          strFilterExt(std::move(filterExt))
    {
    }

    std::function<std::unique_ptr<Document>()> newDocument;
    std::function<std::unique_ptr<Frame>()> newFrame;
    std::string strFilterName;
    std::string strFilterExt;
};

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // --- set up by whoever runs the application, before InitInstance ---
    void SetDispatcher(win::Dispatcher* pDispatcher) { m_pDispatcher = pDispatcher; }
    win::Dispatcher* GetDispatcher() const { return m_pDispatcher; }
    void SetClock(const win::Clock* pClock) { m_pClock = pClock; }
    const win::Clock& GetClock() const;
    // Null: no windows at all.
    void SetWindowFactory(WindowFactory* pFactory) { m_pWindows = pFactory; }
    WindowFactory* GetWindowFactory() const { return m_pWindows; }
    // Null: the registry of the environment.
    void SetRegistry(registry::Registry* pRegistry) { m_pRegistry = pRegistry; }
    registry::Registry& GetRegistry() const;
    // The arguments, the program's name first.
    void SetArguments(std::vector<std::string> args) { m_args = std::move(args); }
    const std::vector<std::string>& GetArguments() const { return m_args; }
    // The arguments after the program's name, joined by blanks.
    std::string GetCommandLine() const;
    const std::string& GetAppName() const { return m_strAppName; }
    void SetAppName(std::string strName) { m_strAppName = std::move(strName); }
    std::string GetExeName() const;

    // --- life ---
    virtual bool InitInstance() { return true; }
    // Frees the document and the main window; the result is the exit code.
    virtual int ExitInstance();
    int GetExitCode() const { return m_nExitCode; }
    // Whether the code was set on purpose (Quit, or a command-line step that
    // ends the program before its loop runs).
    bool HasExitCode() const { return m_bExitCodeSet; }
    // Ends the loop with the code.
    void Quit(int nExitCode);
    // A signal asked the program to end (any thread). A long load on the
    // application thread gives up at once, so the Quit it posted is not kept
    // waiting, and what a save question would write goes to a recovery copy.
    void RequestStop() { m_bStopRequested.store(true); }
    bool IsStopRequested() const { return m_bStopRequested.load(); }

    // --- profile: HKEY_CURRENT_USER\Software\<key>\<application name> ---
    void SetRegistryKey(const std::string& strKey);
    // The profile; the environment's default one until SetRegistryKey.
    registry::Profile& GetProfile();
    UINT GetProfileInt(const std::string& section, const std::string& entry, int nDefault);
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& strDefault = {});
    bool WriteProfileInt(const std::string& section, const std::string& entry, int nValue);
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);

    // --- recent files ---
    void LoadStdProfileSettings(int nMaxMRU = 4);
    void AddToRecentFileList(const std::string& strPath);
    const RecentFileList* GetRecentFileList() const { return m_pRecentFiles.get(); }

    // --- the document ---
    void SetDocTemplate(DocTemplate docTemplate) { m_template = std::move(docTemplate); }
    const DocTemplate& GetDocTemplate() const { return m_template; }
    void ParseCommandLine(CommandLineInfo& info) const { info.Parse(m_args); }
    // New or open as the command line says; false for the registration
    // commands and when the document or its window could not be made.
    bool ProcessShellCommand(const CommandLineInfo& info);
    // Makes the document and main window on first use; asks the save question
    // when a document is there already. Empty path: a new document. Null on
    // failure (a new document and window made for it are gone again).
    Document* OpenDocumentFile(const std::string& strPath);
    Document* GetDocument() const { return m_pDocument.get(); }
    Frame* GetMainFrame() const { return m_pFrame.get(); }
    // The frame's close: closes the document, destroys the windows and ends
    // the loop. The objects stay until ExitInstance.
    void CloseMainFrame(int nExitCode);

    // A file name to save an untitled document under, picked in a save dialog
    // that offers the document's type; none without a desktop.
    virtual bool PromptForSaveFileName(const std::string& strTitle, std::string& strPath);
    // Commands the main window did not handle; true when handled. File New
    // and File Open (an open dialog that offers the document's type).
    virtual bool OnCommand(UINT nId);

protected:
    void SetExitCode(int nCode)
    {
        m_nExitCode = nCode;
        m_bExitCodeSet = true;
    }

private:
    std::atomic<bool> m_bStopRequested{false};
    win::Dispatcher* m_pDispatcher = nullptr;
    const win::Clock* m_pClock = nullptr;
    WindowFactory* m_pWindows = nullptr;
    registry::Registry* m_pRegistry = nullptr;
    std::vector<std::string> m_args;
    std::string m_strAppName;
    int m_nExitCode = 0;
    bool m_bExitCodeSet = false;
    std::unique_ptr<registry::Profile> m_pProfile;
    std::unique_ptr<RecentFileList> m_pRecentFiles;
    DocTemplate m_template;
    // Order matters: the frame (and its views) go before the document.
    std::unique_ptr<Document> m_pDocument;
    std::unique_ptr<Frame> m_pFrame;
};

} // namespace shell
