#pragma once
// The document of a single-document application: its file, its modified flag,
// the save question and the views that show it. It runs on the application
// thread; views on other threads are reached through their windows' messages.
#include <string>
#include <vector>

#include "platform/afx/Object.h"

class CdsHint;

namespace shell {

class Application;
class View;

class Document : public CObject {
public:
    Document();
    ~Document() override;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    void SetApplication(Application* pApp) { m_pApp = pApp; }
    Application* GetApplication() const { return m_pApp; }

    const std::string& GetPathName() const { return m_strPathName; }
    // Also enters the path into the application's recent files.
    void SetPathName(const std::string& strPath, bool bAddToRecent = true);
    // The file name of the path, or "Untitled".
    std::string GetTitle() const;

    virtual bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

    // Asks "Save changes to %s?" (Yes/No/Cancel, default Yes) when the document
    // is modified. Yes saves; a save that fails counts as Cancel. True when the
    // caller may go on (saved, No, or nothing to save), false for Cancel.
    // Once a signal asked the program to end nobody is asked: the answer is
    // Yes and the save goes to a recovery copy (SaveRecoveryCopy).
    virtual bool SaveModified();
    // Writes the contents to a new file under the data folder's "recovery"
    // folder, never over the document's own file; the path or the failure goes
    // to standard error and the log. The document keeps its path and is no
    // longer modified when the copy was written.
    bool SaveRecoveryCopy();
    // Writes a recovery copy to the path; the base writes the archive.
    virtual bool WriteRecoveryCopy(const std::string& strPath, std::string& strError)
    {
        return WriteCopy(strPath, strError);
    }
    // The recovery copy's extension (with its dot); the base keeps the file's.
    virtual std::string RecoveryExtension() const;
    // A line of the document's own (what became of a recovery copy) for the
    // program's log, the kind one of the engine's log kinds and the text with
    // its line end. The base keeps no log: the line went to the debugger
    // output already.
    virtual void LogRecoveryLine(int /*nKind*/, const std::string& /*strText*/) {}
    // Saves to the document's path; without one (or when it names a file of
    // another format) the application is asked for a name, and without a name
    // nothing is saved (false).
    bool DoFileSave();
    // Whether the document's own format may be written to the path.
    virtual bool IsArchivePath(const std::string& /*strPath*/) const { return true; }

    // A fresh, empty document: contents cleared, no path, not modified.
    virtual bool OnNewDocument();
    // Clears the contents and reads the file through Serialize; false (and a
    // message box) when it cannot be read, the contents then cleared again.
    virtual bool OnOpenDocument(const std::string& strPath);
    // Writes the file through Serialize; false (and a message box) on failure.
    virtual bool OnSaveDocument(const std::string& strPath);
    // Writes the contents to the file through Serialize and changes nothing
    // else (path, modified flag); false with the reason on failure.
    bool WriteCopy(const std::string& strPath, std::string& strError);
    // Clears the contents; the views are gone afterwards.
    virtual void OnCloseDocument();
    virtual void DeleteContents() {}

    // Views in the order they were added; a view adds itself when attached.
    void AddView(View* pView);
    void RemoveView(View* pView);
    const std::vector<View*>& GetViews() const { return m_views; }
    // Every view but the sender gets OnUpdate, in order, on this thread.
    void UpdateAllViews(View* pSender, int nCode = 0, CdsHint* pHint = nullptr);

private:
    Application* m_pApp = nullptr;
    std::string m_strPathName;
    bool m_bModified = false;
    std::vector<View*> m_views; // not owned: the frame owns its views
};

} // namespace shell
