#pragma once
// The data view as a core object: the upper pane of the main window. Here it
// carries the online and offline commands, the device hints 303/304 that line
// threads send, and the client-update timer that gives the OPC bridge its
// close check and the DDE toolkit its working time. The device and block
// lists are shown by its window.
#include <atomic>
#include <memory>

#include "kestrun/shell/ProcessWide.h"
#include "kestrun/shell/View.h"
#include "kestrun/shell/Windows.h"

class CdsServerDoc;

class CdsDataView : public shell::View {
public:
    CdsDataView();
    ~CdsDataView() override;

    // The data view of the process, or null.
    static CdsDataView* GetDataView() { return s_pView.load(); }

    CdsServerDoc* GetServerDoc() const;
    void SetWindow(std::unique_ptr<shell::DataWindow> pWindow) { m_pWindow = std::move(pWindow); }

    void OnInitialUpdate() override;
    void OnUpdate(shell::View* pSender, int nCode, CdsHint* pHint) override;
    void OnTimer(UINT_PTR nId) override;

    // Restarts timer 1 with "Client Update Time".
    void StartClientUpdateTimer();
    void StopClientUpdateTimer();

    // The document goes online; on success hint 507 to the other views, on
    // failure the offline command runs.
    void OnModeOnline();
    // The document goes offline; on success hint 508 to the other views.
    void OnModeOffline();

protected:
    void OnDestroy() override;

private:
    static inline std::atomic<CdsDataView*> s_pView{nullptr};

    shell::ProcessWide<CdsDataView> m_processWide{s_pView, this};
    std::unique_ptr<shell::DataWindow> m_pWindow;
    bool m_bBusy = false; // a client-update tick runs; set for good once the window goes
};
