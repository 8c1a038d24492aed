#pragma once
// The communication setup dialogs ("Set TCP/IP", "Serial Comm Setup") as
// forms: each lays its dialog's text buffers out as fields and, on OK, lets
// the dialog save them; a refusal keeps the form open at the named control.
// The dialogs live in the communication layer and know nothing of forms; the
// desktop installs PortSetupPresenters so they show through the installed
// FormPresenter.
#include "kestrun/comm/serial/SerialCommSetup.h"
#include "kestrun/comm/sockets/TcpSetupDlg.h"
#include "kestrun/shell/forms/DialogForm.h"

namespace shell {

class TcpSetupForm final : public DialogForm {
public:
    explicit TcpSetupForm(CdsTcpSetupDlg& dialog);

protected:
    void ShowValues() override;
    bool TakeValues() override;

private:
    CdsTcpSetupDlg& m_dialog;
};

class SerialSetupForm final : public DialogForm {
public:
    // The port list offers the first ports and the dialog's own port.
    static constexpr int kListedPorts = 16;

    explicit SerialSetupForm(COXSerialCommSetup& dialog);

protected:
    void ShowValues() override;
    bool TakeValues() override;

private:
    COXSerialCommSetup& m_dialog;
};

// Both setup dialogs show through the installed FormPresenter for as long as
// this lives (application thread). One at a time.
class PortSetupPresenters {
public:
    PortSetupPresenters();
    ~PortSetupPresenters();
    PortSetupPresenters(const PortSetupPresenters&) = delete;
    PortSetupPresenters& operator=(const PortSetupPresenters&) = delete;
};

} // namespace shell
