#pragma once
// The server document: it owns the configuration, one device map, stores it
// as an archive (the map's record, then the 32-bit online-on-load value) and
// switches it online and offline. The server program derives its own document
// and makes its device map in NewDevices.
//
// Application thread only; other threads reach the document through the main
// window's commands.
#include <atomic>

#include "kestrun/shell/Document.h"
#include "platform/win/WinTypes.h"

class CArchive;
class CdsDeviceMap;
class CdsServerFrame;

class CdsServerDoc : public shell::Document {
public:
    CdsServerDoc();
    ~CdsServerDoc() override;

    // The map of the document in use, for look-ups without a document at hand.
    static CdsDeviceMap* GetDevices() { return g_pDevices.load(); }

    // The program's device map; the base makes none.
    virtual CdsDeviceMap* NewDevices() { return nullptr; }
    // 0 when the document already holds a map; else adopts the given one (when
    // there is one) and publishes it; 1.
    virtual int InitDevices(CdsDeviceMap* pMap);
    // The map; with create set and none held, a new one from NewDevices.
    CdsDeviceMap* GetDeviceMap(BOOL bCreate);

    BOOL IsOnline() const { return m_bOnline; }
    BOOL IsOffline() const { return !m_bOnline; }
    // With force clear and no change: 0. Otherwise the frame's PreSystemOnline,
    // going offline stops the data timer, every device follows, going online
    // starts it, then PostSystemOnline; 1. The line mode is latched for the
    // time the document is online.
    int SetOnline(int bOnline, int bForce);

    // The modified flag is the configuration-edited flag: only an edited
    // configuration asks to be saved; going online or offline edits nothing.
    bool IsDirty() const { return IsModified(); }
    int GetOnlineOnLoad() const { return m_nOnlineOnLoad; }

    void Serialize(CArchive& ar) override;
    bool OnOpenDocument(const std::string& strPath) override;
    // Hint 504, offline, the map destroyed.
    void DeleteContents() override;

protected:
    CdsServerFrame* GetServerFrame() const;

private:
    void DestroyDeviceMap();

    static inline std::atomic<CdsDeviceMap*> g_pDevices{nullptr};

    CdsDeviceMap* m_pDevices = nullptr; // owned; freed through Destroy
    LONG m_nOnlineOnLoad = 1;
    BOOL m_bOnline = FALSE;
};
