#pragma once
// The main window of a single-document application as a core object: a window
// key of the dispatcher that takes commands, timers and private messages, the
// views it owns, and, on a desktop, the window that shows it. Other threads
// reach it only by posting or sending to its window key.
#include <memory>
#include <vector>

#include "kestrun/shell/app/DispatcherWindow.h"
#include "kestrun/shell/app/MenuModel.h"
#include "kestrun/shell/app/View.h"
#include "kestrun/shell/app/Windows.h"
#include "platform/afx/Object.h"
#include "platform/win/Dispatcher.h"

namespace shell {

class Application;
class Document;

class Frame : public CObject, public DispatcherWindow {
public:
    Frame();
    ~Frame() override;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // Registers the window, then OnCreate (-1 refuses) and OnCreateClient
    // (false refuses); a refused frame is destroyed again. Application thread.
    bool Create(Application& app, Document* pDocument);
    // Views first (each OnDestroy, window gone), then OnDestroy and the frame's
    // own window. Safe to call twice.
    void DestroyWindow();

    Application* GetApplication() const { return m_pApp; }
    Document* GetActiveDocument() const { return m_pDocument; }
    FrameWindow* GetFrameWindow() const { return m_pWindow.get(); }

    // Every view's OnInitialUpdate, in order.
    void InitialUpdateFrame();
    // Without a window only the flag changes.
    void ShowWindow(bool bVisible);
    bool IsWindowVisible() const;

    // A command to the frame's own window; false when it is gone.
    bool PostCommand(UINT nId);

    // Routes timers, commands (unhandled ones go to the application) and close.
    virtual LRESULT OnMessage(win::Message& msg);

    // --- menus and bars ---
    // The menu bar and toolbar the window shows; none by default.
    virtual const MenuBarModel* GetMenuBar() const { return nullptr; }
    // What the command looks like now. The frame answers the toolbar and
    // status bar commands itself; every other command stays enabled here.
    virtual void OnUpdateCommand(UINT nId, CommandState& state) const;
    // The command's prompt: the status text, then after "\n" the tool tip.
    virtual std::string GetCommandPrompt(UINT /*nId*/) const { return {}; }
    bool IsControlBarVisible(UINT nBarId) const;
    // The window's title now; empty leaves the window's own.
    virtual std::string GetWindowTitle() const { return {}; }

protected:
    virtual int OnCreate() { return 0; }
    // Makes the views (AddView).
    virtual bool OnCreateClient() { return true; }
    virtual void OnDestroy() {}
    virtual void OnTimer(UINT_PTR /*nId*/) {}
    // True when the frame handled the command.
    virtual bool OnCommand(UINT /*nId*/) { return false; }
    // The base closes the document and the frame and ends the application.
    virtual void OnClose();

    // Takes the view, makes its window and adds it to the document.
    View* AddView(std::unique_ptr<View> pView);
    const std::vector<std::unique_ptr<View>>& GetViewList() const { return m_views; }
    void SetFrameWindow(std::unique_ptr<FrameWindow> pWindow) { m_pWindow = std::move(pWindow); }

private:
    Application* m_pApp = nullptr;
    Document* m_pDocument = nullptr;
    std::vector<std::unique_ptr<View>> m_views;
    std::unique_ptr<FrameWindow> m_pWindow;
    bool m_bVisible = false;
    bool m_bToolBar = true;
    bool m_bStatusBar = true;
};

} // namespace shell
