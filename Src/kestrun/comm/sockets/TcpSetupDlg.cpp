#include "kestrun/comm/sockets/TcpSetupDlg.h"

#include "kestrun/comm/config/DialogNumber.h"
#include "kestrun/comm/config/DialogPresenter.h"

namespace {

using Presenters = kestrun::DialogPresenter<CdsTcpSetupDlg>;

bool ParseInt(const std::string& text, std::int32_t& value)
{
    const std::optional<std::int32_t> parsed = ParseDialogInt(text);
    if (parsed)
        value = *parsed;
    return parsed.has_value();
}

} // namespace

CdsTcpSetupDlg::CdsTcpSetupDlg(const CdsTcpipConfig& config, std::string title)
    : m_config(config), m_strTitle(std::move(title))
{
    m_strLocalAddress = m_config.m_strLocalAddress;
    m_strRemoteAddress = m_config.m_strRemoteAddress;
    m_strRemotePort = std::to_string(m_config.m_nRemotePort);
    m_strTimeOut = std::to_string(m_config.m_nTimeOut);
    m_strSocketType = m_config.m_nSocketType == 2 ? "UDP" : "TCP";
}

int CdsTcpSetupDlg::DoModal()
{
    return Presenters::Run(*this);
}

void CdsTcpSetupDlg::SetPresenter(Presenter presenter)
{
    Presenters::Set(std::move(presenter));
}

bool CdsTcpSetupDlg::Save(int* badControl)
{
    std::int32_t remotePort = 0;
    std::int32_t timeOut = 0;
    if (!ParseInt(m_strRemotePort, remotePort)) {
        if (badControl)
            *badControl = IDC_REMOTE_PORT;
        return false;
    }
    if (!ParseInt(m_strTimeOut, timeOut)) {
        if (badControl)
            *badControl = IDC_TIMEOUT;
        return false;
    }
    m_config.m_strLocalAddress = m_strLocalAddress;
    m_config.m_strRemoteAddress = m_strRemoteAddress;
    m_config.m_nRemotePort = remotePort;
    m_config.m_nTimeOut = timeOut;
    m_config.m_nSocketType = m_strSocketType == "UDP" ? 2 : 1;
    return true;
}

std::string CdsTcpSetupDlg::GetCaption() const
{
    return m_strTitle.empty() ? std::string("Set TCP/IP") : m_strTitle;
}
