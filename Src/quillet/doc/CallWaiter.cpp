#include "quillet/doc/CallWaiter.h"

#include "quillet/text/StringTable.h"
#include "quillet/text/UiServices.h"

#include "platform/win/Dispatcher.h"

CCallWaiter::CCallWaiter(win::Dispatcher& dispatcher, quillet::UiServices& ui, const quillet::StringTable& texts,
                         std::string server, std::chrono::milliseconds pendingTimeout)
    : m_dispatcher(dispatcher), m_ui(ui), m_texts(texts), m_server(std::move(server)), m_pendingTimeout(pendingTimeout)
{
}

bool CCallWaiter::Serves() const { return m_dispatcher.isApplicationThread(); }

void CCallWaiter::Begin()
{
    if (m_holding) return;
    // What was queued meanwhile (callbacks, ticks, a lost link) runs after the call.
    m_dispatcher.hold();
    m_holding = true;
}

bool CCallWaiter::Waiting(std::uint64_t waitedMs)
{
    Begin();
    if (m_dispatcher.endRequested()) return false;
    if (waitedMs < kShowAfterMs) return m_ui.CallWaiting({});
    return m_ui.CallWaiting(quillet::FormatText(m_texts.Text(quillet::IDS_CALL_WAITING), m_server));
}

bool CCallWaiter::WaitAgain()
{
    Begin();
    if (m_dispatcher.endRequested()) return false;
    const std::string seconds = std::to_string((m_pendingTimeout.count() + 999) / 1000);
    // A signal that comes while the box is open ends it without an answer: Cancel.
    return !m_dispatcher.endRequested() &&
           m_ui.MessageBox(quillet::FormatText(m_texts.Text(quillet::IDS_CALL_NOT_ANSWERING), seconds),
                           quillet::PromptButtons::RetryCancel) == quillet::PromptAnswer::Retry;
}

void CCallWaiter::Done()
{
    if (!m_holding) return;
    m_holding = false;
    m_ui.EndCallWait();
    m_dispatcher.release();
}
