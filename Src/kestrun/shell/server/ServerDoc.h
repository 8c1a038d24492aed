#pragma once
// The server document: it owns the configuration, one device map, stores it
// as an archive (the map's record, then the 32-bit online-on-load value) or
// imports and exports it as CSV text, and switches it online and offline. It
// hands its map to the OPC and DDE bridges and takes it back from them before
// the map goes. The server program derives its own document and makes its
// device map in NewDevices and its temporary device, block and CSV file in
// CreateTmpObjects.
//
// Application thread only; other threads reach the document through the fs
// statics, which post to the main window.
//
// Ownership: the document owns its map and its temporary objects. A map, device
// or block it lets go of is cut off from every client at once and handed to
// the application's keeper (CdsRetiredObjects), which frees it once no line
// thread and no queued hint can reach it any more.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "kestrun/shell/app/Document.h"
#include "platform/dde/BrisantTypes.h"
#include "platform/win/WinTypes.h"

class CArchive;
class CdsCsvFile;
class CdsDeviceMap;
class CdsDeviceObject;
class CdsHint;
class CdsMemoryArray;
class CdsServerFrame;

namespace shell {
class ServiceController;
}

class CdsServerDoc : public shell::Document {
public:
    CdsServerDoc();
    ~CdsServerDoc() override;

    // The map of the document in use, for look-ups without a document at hand.
    static CdsDeviceMap* GetDevices() { return g_pDevices.load(); }

    // --- the program's objects ---
    // Each makes the temporary objects first (CreateTmpObjects).
    virtual CdsDeviceObject* GetTempDeviceObject();
    virtual CdsMemoryArray* GetTempMemoryArray();
    virtual CdsCsvFile* GetTempCsvFile();
    // The program's device map; the base makes none.
    virtual CdsDeviceMap* NewDevices() { return nullptr; }
    // 0 when the document already holds a map; else adopts the given one (when
    // there is one), publishes it and hands it to the bridges; 1.
    virtual int InitDevices(CdsDeviceMap* pMap);
    // Makes the missing temporary device, block and CSV file; the base makes none.
    virtual void CreateTmpObjects() {}
    // Destroys the temporary device and block and deletes the CSV file object.
    virtual void RemoveTmpObjects();

    // The map; with create set and none held, a new one from NewDevices.
    CdsDeviceMap* GetDeviceMap(BOOL bCreate);

    BOOL IsOnline() const { return m_bOnline; }
    BOOL IsOffline() const { return !m_bOnline; }
    // With force clear and no change: 0. Otherwise, with "Use Service Mode" on,
    // the service's switch (SetServiceOnline); else the frame's PreSystemOnline,
    // going offline stops the data timer, every device follows, going online
    // starts it, then PostSystemOnline; 1. The line mode is latched for the
    // time the document is online.
    int SetOnline(int bOnline, int bForce);

    // The modified flag is the configuration-edited flag: only an edited
    // configuration asks to be saved; going online or offline edits nothing.
    bool IsDirty() const { return IsModified(); }
    int GetOnlineOnLoad() const { return m_nOnlineOnLoad; }
    // The path last chosen in the CSV file dialog.
    const std::string& GetCsvPath() const { return m_strCsvPath; }

    void Serialize(CArchive& ar) override;
    // The base, then in service-helper mode with the service online the
    // document counts as online.
    bool OnNewDocument() override;
    // A path holding ".csv" or ".CSV" after its first character is imported;
    // any other is read as an archive. Then the topics are rebuilt and hint
    // 503 is posted to every view.
    bool OnOpenDocument(const std::string& strPath) override;
    // A CSV path is not written as an archive: the user is told to export.
    bool OnSaveDocument(const std::string& strPath) override;
    bool IsArchivePath(const std::string& strPath) const override { return !IsCsvPath(strPath); }
    // A document read from a CSV file is recovered as CSV, any other as an
    // archive with the template's extension.
    bool WriteRecoveryCopy(const std::string& strPath, std::string& strError) override;
    std::string RecoveryExtension() const override;
    // Into the log view.
    void LogRecoveryLine(int nKind, const std::string& strText) override;
    // Hint 504, offline, the map let go of, the temporary objects destroyed.
    void DeleteContents() override;

    // --- CSV ---
    // The file dialog for a CSV file in the configuration folder; Cancel -> 0,
    // else the chosen path becomes the CSV path -> 1. bSave: the export's dialog.
    virtual int GetCSVFilePath(int bSave);
    // The save question (Cancel stops), the dialog, then the import; hint 501
    // with the path when it succeeded. A file that cannot be read leaves the
    // configuration as it was, with an Error line and a box.
    void OnFileImport();
    // The dialog, then the heading, the devices, the blocks and the tail; hint
    // 502 with the path when the file was written, else an Error line and a box.
    void OnFileExport();
    // Opens the file first (failure: 0, nothing changed), then clears the
    // document and reads the file line by line into a new map. Lines that
    // cannot be imported are logged and skipped. 1 when the document holds the
    // new map. bAppend is not used.
    int ImportFromCsvFile(const std::string& strPath, int bAppend);
    // Whether the path is taken as a CSV file.
    static bool IsCsvPath(const std::string& strPath);

    // --- reaching the document without one at hand ---
    // Posts message 0x465 with the code and an owned hint naming the object to
    // every view of the document.
    void SendUpdateMessage(int nCode, CObject* pObject);
    static CdsServerDoc* GetActiveDoc();
    static void ResetDocument(CdsServerDoc* pDoc);
    static BOOL fsSetOnline(int bOnline);
    static BOOL fsCloseDocument();
    static BOOL fsResetDocument();
    static BOOL fsOpenDocument(const std::string& strPath);
    // The DDE bridge's close, then quit without asking.
    static BOOL fsCloseServer();
    // The views' hint sink: on the application thread every view of the active
    // document hears it at once; from other threads (or without a document) an
    // owned copy is posted to the log view, which passes it on.
    static void fsUpdateViews(int nCode, const CdsHint& hint);

    // --- the DDE side ---
    // The toolkit's action callback of the program; forwards to the bridge.
    static long BrisantSystemAction(int nAction, _BRISANT_DATAACTION* pAction);
    // The bridge's close: records let go of, the main window's close posted.
    static void DoCloseServer();
    static int GetClientCount();
    static int GetItemCount();

    // --- changing the configuration (the data view's commands) ---
    // The map's devices were added, renamed or edited: the bridges look again.
    void OnDeviceMapEdited();
    // The device (or block) is taken out of the map (or its device), cut off
    // from every client and handed to the keeper.
    void DeleteDevice(CdsDeviceObject* pDevice);
    void DeleteBlock(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock);
    // Whether the device is one of the map's (a pointer compare; nothing is read).
    bool HoldsDevice(const CObject* pObject) const;
    // Whether this is the application's document, whose map the bridges serve.
    bool IsServedDocument() const;

    // --- the service of the server's name (service-helper mode) ---
    // Whether the service exists and its state can be asked; the state now.
    BOOL IsServiceOpened() const;
    BOOL IsServiceRunning() const;
    BOOL IsServicePaused() const;
    BOOL IsServiceStopped() const;
    // Starts the service with the temporary copy of the configuration; a
    // service that runs already counts as started.
    BOOL ServiceStart();
    // Stops the services that need it, then the service; 0 when one of them
    // could not be stopped.
    BOOL ServiceStop();
    BOOL ServicePause();
    BOOL ServiceContinue();
    // The temporary copy handed to the service; empty while none is saved.
    const std::string& GetServiceFileName() const { return m_strServiceFile; }

protected:
    CdsServerFrame* GetServerFrame() const;
    // The service's online switch (service-helper mode). Online: the service
    // opened, the configuration copied to a temporary file whose name starts
    // with "$$$" (the document's path and modified flag stay), "Load File On
    // Startup" set, the service started with the copy. A second online keeps
    // the first copy's name and the options it saved. Offline: the service
    // stopped, the options written back, the copy deleted, the controller
    // closed; a stop that fails keeps all of that and the document online.
    // 1 on success; failures go to the debugger output.
    virtual int SetServiceOnline(int bOnline);
    // Whether the service runs (opened first when needed).
    virtual BOOL IsServiceOnline();
    // Runs stop; line threads left behind by their stop wait are kept by the keeper.
    void StopLines(const std::function<void()>& stop);

    // The temporary objects, made by CreateTmpObjects.
    void SetTempObjects(CdsDeviceObject* pDevice, CdsMemoryArray* pBlock, std::unique_ptr<CdsCsvFile> pFile);
    CdsDeviceObject* m_pTmpDevice = nullptr; // owned; freed through Destroy
    CdsMemoryArray* m_pTmpBlock = nullptr;   // owned; freed through Destroy
    std::unique_ptr<CdsCsvFile> m_pTmpCsvFile;

private:
    // Takes the map from the bridges and the process, then retires it.
    void ReleaseDeviceMap(bool bServed);
    // Served: clients let go (under the OPC callback's lock), a new hint epoch,
    // then the keeper takes free. Otherwise free runs at once.
    static void Retire(const std::function<void()>& detach, std::function<void()> free, bool bServed);
    int ImportLines(CdsCsvFile& file, CdsDeviceMap& map, const std::string& strPath);
    bool ExportTo(CdsCsvFile& file);
    // A fresh temporary device (line configurations without port ids) and block.
    void RenewTempObjects();
    void DestroyTempDeviceAndBlock();

    // Every device of the map online, with the OPC clients held off the map.
    void GoOnline();
    bool OpenServiceHdlr();
    void CloseServiceHdlr();
    int SaveDocumentAndStatus();
    void RestoreDocumentAndStatus();
    bool QueryServiceState(DWORD& dwState) const;

    static inline std::atomic<CdsDeviceMap*> g_pDevices{nullptr};

    CdsDeviceMap* m_pDevices = nullptr; // owned; retired through the keeper
    LONG m_nOnlineOnLoad = 1;
    BOOL m_bOnline = FALSE;
    // Set while DeleteContents takes the map offline: it goes right after.
    bool m_bClosing = false;
    std::string m_strCsvPath;

    std::unique_ptr<shell::ServiceController> m_pService; // null while closed
    bool m_bServiceSaved = false;                          // the options point the service at the copy
    int m_nSavedLoadFileOnStartup = 0;
    std::string m_strSavedLoadFilePathName = "$$$";        // "$$$": nothing saved
    std::string m_strServiceFile;
};
