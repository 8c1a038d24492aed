#include "kestrun/comm/TcpSetupDlg.h"

#include <charconv>
#include <mutex>

namespace {

std::mutex g_presenterMutex;
CdsTcpSetupDlg::Presenter& PresenterSlot()
{
    static CdsTcpSetupDlg::Presenter presenter;
    return presenter;
}

// An integer as a dialog edit field accepts it: blanks around an optional sign and
// digits, within 32 bits.
bool ParseInt(const std::string& text, std::int32_t& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (begin < end && *begin == '+')
        ++begin;
    std::int32_t parsed = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed);
    if (ec != std::errc() || ptr != end || begin == end)
        return false;
    value = parsed;
    return true;
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
    Presenter presenter;
    {
        std::lock_guard lock(g_presenterMutex);
        presenter = PresenterSlot();
    }
    if (!presenter)
        return COMM_DLG_CANCEL;
    return presenter(*this) == COMM_DLG_OK ? COMM_DLG_OK : COMM_DLG_CANCEL;
}

void CdsTcpSetupDlg::SetPresenter(Presenter presenter)
{
    std::lock_guard lock(g_presenterMutex);
    PresenterSlot() = std::move(presenter);
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
