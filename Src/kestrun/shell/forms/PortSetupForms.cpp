#include "kestrun/shell/forms/PortSetupForms.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "kestrun/comm/serial/SerialCommException.h"

namespace shell {

namespace {

using Tcp = CdsTcpSetupDlg;
using Serial = COXSerialCommSetup;

// Each control and the dialog's text buffer behind it.
template <typename Dialog>
using Buffer = std::pair<int, std::string Dialog::*>;
const Buffer<Tcp> kTcpEdits[] = {{Tcp::IDC_LOCAL_ADDRESS, &Tcp::m_strLocalAddress},
                                 {Tcp::IDC_REMOTE_ADDRESS, &Tcp::m_strRemoteAddress},
                                 {Tcp::IDC_REMOTE_PORT, &Tcp::m_strRemotePort},
                                 {Tcp::IDC_TIMEOUT, &Tcp::m_strTimeOut}};
const Buffer<Serial> kSerialLists[] = {{Serial::IDC_PORT, &Serial::m_strPort},
                                       {Serial::IDC_BAUD_RATE, &Serial::m_strBaudRate},
                                       {Serial::IDC_DATA_BITS, &Serial::m_strDataBits},
                                       {Serial::IDC_PARITY, &Serial::m_strParity},
                                       {Serial::IDC_STOP_BITS, &Serial::m_strStopBits},
                                       {Serial::IDC_FLOW_CONTROL, &Serial::m_strFlowControl}};

template <std::size_t N>
std::vector<std::string> Entries(const char* const (&list)[N])
{
    return {std::begin(list), std::end(list)};
}

std::vector<std::string> PortEntries(const Serial& dialog)
{
    std::vector<std::string> ports;
    for (int n = 1; n <= SerialSetupForm::kListedPorts; ++n)
        ports.push_back("Com " + std::to_string(n));
    // A port beyond the list stays choosable; a line without a port chooses none.
    if (dialog.GetConfig().GetPortId() != COMM_NO_PORT_ID &&
        std::find(ports.begin(), ports.end(), dialog.m_strPort) == ports.end())
        ports.push_back(dialog.m_strPort);
    return ports;
}

// Shows the dialog's form through the installed FormPresenter.
template <typename Form, typename Dialog>
int Present(Dialog& dialog)
{
    Form form(dialog);
    return form.DoModal() == IDOK ? COMM_DLG_OK : COMM_DLG_CANCEL;
}

} // namespace

TcpSetupForm::TcpSetupForm(CdsTcpSetupDlg& dialog) : DialogForm(Tcp::IDD, dialog.GetCaption()), m_dialog(dialog)
{
    AddEdit(Tcp::IDC_LOCAL_ADDRESS, "Local Address:", "TCP/IP Address");
    AddEdit(Tcp::IDC_REMOTE_ADDRESS, "Remote Address:", "TCP/IP Address");
    AddEdit(Tcp::IDC_REMOTE_PORT, "Remote Port", "Parameters", true);
    AddEdit(Tcp::IDC_TIMEOUT, "Timeout", "Parameters", true, "milliseconds");
    AddChoice(Tcp::IDC_SOCKET_TYPE, "Socket Type", "Parameters", Entries(Tcp::kSocketTypes));
}

void TcpSetupForm::ShowValues()
{
    for (const auto& [id, text] : kTcpEdits)
        SetText(id, m_dialog.*text);
    SetChoiceText(Tcp::IDC_SOCKET_TYPE, m_dialog.m_strSocketType);
}

bool TcpSetupForm::TakeValues()
{
    for (const auto& [id, text] : kTcpEdits)
        m_dialog.*text = GetText(id);
    m_dialog.m_strSocketType = GetChoiceText(Tcp::IDC_SOCKET_TYPE);
    int bad = 0;
    return m_dialog.Save(&bad) || Refuse(bad, kIntegerPrompt);
}

SerialSetupForm::SerialSetupForm(COXSerialCommSetup& dialog)
    : DialogForm(Serial::IDD, dialog.GetCaption()), m_dialog(dialog)
{
    AddChoice(Serial::IDC_PORT, "Port:", {}, PortEntries(dialog));
    AddChoice(Serial::IDC_BAUD_RATE, "Baud Rate:", {}, Entries(Serial::kBaudRates));
    AddChoice(Serial::IDC_DATA_BITS, "Data Bits:", {}, Entries(Serial::kDataBits));
    AddChoice(Serial::IDC_PARITY, "Parity:", {}, Entries(Serial::kParities));
    AddChoice(Serial::IDC_STOP_BITS, "Stop Bits:", {}, Entries(Serial::kStopBits));
    AddChoice(Serial::IDC_FLOW_CONTROL, "Flow Control:", {}, Entries(Serial::kFlowControls));
}

void SerialSetupForm::ShowValues()
{
    for (const auto& [id, text] : kSerialLists)
        SetChoiceText(id, m_dialog.*text);
}

bool SerialSetupForm::TakeValues()
{
    for (const auto& [id, text] : kSerialLists)
        m_dialog.*text = GetChoiceText(id);
    int bad = Serial::IDC_PORT;
    std::string notice;
    if (m_dialog.Save(&bad, [&notice](const std::string& text) { notice = text; }))
        return true;
    // No port chosen reads as one that cannot be opened.
    if (notice.empty())
        notice = COXSerialCommException::GetString(Serial::IDS_PORT_NOT_AVAILABLE);
    return Refuse(bad, notice, MB_ICONERROR);
}

PortSetupPresenters::PortSetupPresenters()
{
    CdsTcpSetupDlg::SetPresenter(Present<TcpSetupForm, CdsTcpSetupDlg>);
    COXSerialCommSetup::SetPresenter(Present<SerialSetupForm, COXSerialCommSetup>);
}

PortSetupPresenters::~PortSetupPresenters()
{
    COXSerialCommSetup::SetPresenter({});
    CdsTcpSetupDlg::SetPresenter({});
}

} // namespace shell
