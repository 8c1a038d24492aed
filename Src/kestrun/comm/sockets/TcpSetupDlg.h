#pragma once
// The "Set TCP/IP" dialog (template 23400) without its window: it edits a copy of a
// configuration through text buffers, one per control. A window layer shows the
// buffers and calls Save on OK; without one (headless, service mode) the dialog
// ends as Cancel and changes nothing.
#include "kestrun/comm/sockets/TcpipConfig.h"

#include <functional>
#include <string>

class CdsTcpSetupDlg {
public:
    enum { IDD = 23400 };
    enum ControlId {
        IDC_LOCAL_ADDRESS = 23401,
        IDC_REMOTE_ADDRESS = 23402,
        IDC_REMOTE_PORT = 23403,
        IDC_TIMEOUT = 23404,
        IDC_SOCKET_TYPE = 23405,
    };

    // Shows the dialog and returns COMM_DLG_OK or COMM_DLG_CANCEL. On OK it has
    // called Save and it succeeded.
    using Presenter = std::function<int(CdsTcpSetupDlg&)>;

    // Fills the buffers from a copy of config (the loading exchange).
    CdsTcpSetupDlg(const CdsTcpipConfig& config, std::string title);

    // Runs the installed presenter; COMM_DLG_CANCEL without one.
    int DoModal();
    // Installed once by the user interface at start-up; an empty one removes it.
    static void SetPresenter(Presenter presenter);

    // The saving exchange: the copy takes the buffers. False (and the copy unchanged)
    // when a number field is not an integer; badControl then names the field.
    bool Save(int* badControl = nullptr);

    // The caption to show: the title when not empty, else the template's.
    std::string GetCaption() const;
    const CdsTcpipConfig& GetConfig() const { return m_config; }

    // Combo list, in order.
    static constexpr const char* kSocketTypes[] = {"TCP", "UDP"};

    std::string m_strLocalAddress;
    std::string m_strRemoteAddress;
    std::string m_strRemotePort;
    std::string m_strTimeOut;
    std::string m_strSocketType;

private:
    CdsTcpipConfig m_config;
    std::string m_strTitle;
};
