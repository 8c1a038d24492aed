#include "kestrun/comm/serial/SerialCommSetup.h"

#include "kestrun/comm/config/DialogPresenter.h"
#include "kestrun/comm/serial/SerialCommException.h"
#include "platform/win/DebugOutput.h"

#include <charconv>
#include <cstdio>
#include <iterator>

namespace {

using Presenters = kestrun::DialogPresenter<COXSerialCommSetup>;

template <std::size_t N>
int IndexOf(const char* const (&list)[N], const std::string& text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == list[i])
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

COXSerialCommSetup::COXSerialCommSetup(const COXSerialCommConfig& config, std::string caption)
    : m_config(config), m_strCaption(std::move(caption))
{
    m_strPort = "Com " + std::to_string(static_cast<unsigned>(m_config.GetPortId()) + 1);
    m_strBaudRate = std::to_string(m_config.m_nBaudRate);
    m_strDataBits = std::to_string(static_cast<unsigned>(m_config.m_nDataBits));
    m_strParity = m_config.m_nParity < std::size(kParities) ? kParities[m_config.m_nParity] : "Even";
    m_strStopBits = m_config.m_nStopBits == 2 ? "2" : "1";
    const auto flow = static_cast<std::size_t>(m_config.m_eFlowControl);
    m_strFlowControl = flow < std::size(kFlowControls) ? kFlowControls[flow] : kFlowControls[0];
}

int COXSerialCommSetup::DoModal()
{
    return Presenters::Run(*this);
}

void COXSerialCommSetup::SetPresenter(Presenter presenter)
{
    Presenters::Set(std::move(presenter));
}

bool COXSerialCommSetup::Save(int* badControl, const COXSerialCommConfig::Notice& notice)
{
    // "Com 3": the number after the first four characters, minus one.
    unsigned number = 0;
    const char* begin = m_strPort.size() > 4 ? m_strPort.data() + 4 : m_strPort.data() + m_strPort.size();
    const char* end = m_strPort.data() + m_strPort.size();
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr != end || number < 1 || number > COMM_NO_PORT_ID) {
        if (badControl)
            *badControl = IDC_PORT;
        return false;
    }

    COXSerialCommConfig edited = m_config;
    edited.SetPortId(static_cast<WORD>(number - 1));
    edited.m_nBaudRate = IndexOf(kBaudRates, m_strBaudRate) >= 0 ? static_cast<DWORD>(std::stoul(m_strBaudRate)) : 9600;
    if (!m_strDataBits.empty() && m_strDataBits[0] >= '0' && m_strDataBits[0] <= '9')
        edited.m_nDataBits = static_cast<BYTE>(m_strDataBits[0] - '0');
    const int parity = IndexOf(kParities, m_strParity);
    edited.m_nParity = static_cast<BYTE>(parity >= 0 ? parity : 2);
    edited.m_nStopBits = m_strStopBits == "2" ? 2 : 0;
    const int flow = IndexOf(kFlowControls, m_strFlowControl);
    edited.m_eFlowControl = static_cast<COXSerialCommConfig::EFlowControl>(flow >= 0 ? flow : 0);

    if (!edited.IsPortAvailable()) {
        const std::string text = COXSerialCommException::GetString(IDS_PORT_NOT_AVAILABLE);
        if (notice)
            notice(text);
        else
            win::OutputDebugString(text); // never waits for a reader
        if (badControl)
            *badControl = IDC_PORT;
        return false;
    }
    m_config = edited;
    return true;
}

std::string COXSerialCommSetup::GetCaption() const
{
    return m_strCaption.empty() ? std::string("Serial Comm Setup") : m_strCaption;
}
