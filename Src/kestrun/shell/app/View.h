#pragma once
// A view of the document. Each view is a window of the application's
// dispatcher, so other threads reach it by message: a view hint (0x465, payload
// an owned CdsHint copy) arrives as OnUpdate without a sender, unless it names
// an object of a model epoch that has ended (CdsHint::IsStale): such a hint
// is dropped unread.
#include "kestrun/shell/app/DispatcherWindow.h"
#include "platform/afx/Object.h"

class CdsHint;

namespace shell {

class Document;

class View : public CObject, public DispatcherWindow {
public:
    View();
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Registers the view's window with the dispatcher. Call once, on the
    // application thread.
    void CreateWindow(win::Dispatcher& dispatcher);
    // Unregisters the window (waiting messages are dropped) after OnDestroy.
    void DestroyWindow();

    Document* GetDocument() const { return m_pDocument; }
    // Set by the document as it adds or removes the view.
    void SetDocument(Document* pDocument) { m_pDocument = pDocument; }

    // Once, after the document is ready.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    virtual void OnUpdate(View* /*pSender*/, int /*nCode*/, CdsHint* /*pHint*/) {}
    virtual void OnTimer(UINT_PTR /*nId*/) {}
    // Messages of the view's window; the base routes timers and hints.
    virtual LRESULT OnMessage(win::Message& msg);

protected:
    // Right after the window is registered.
    virtual void OnCreate() {}
    // Before the window goes: stop timers, let go of files.
    virtual void OnDestroy() {}

private:
    Document* m_pDocument = nullptr;
};

} // namespace shell
